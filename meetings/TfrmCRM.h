#pragma once

#include "meetings/InviteeList.h"

#include <QByteArray>
#include <QPointer>
#include <QWidget>

class FrameSender;
struct MemberNode;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidget;

// The dialog that gathers members from the member tree and sends one MRM:
// with the room id text "0" it creates a room, with a room's id it invites
// more members into that room (the room name then cannot be edited). It is a
// top-level window of its own, freed when closed and destroyed with its owner.
class TfrmCRM : public QWidget {
    Q_OBJECT
public:
    TfrmCRM(QWidget *owner, QTreeWidget *ftree, FrameSender &sender, const QByteArray &roomIdText);

    // Puts a member into the list, as the conversation window does for its
    // partner; nothing happens when the id is listed already.
    void AddEntry(const QByteArray &text, const QByteArray &userId);
    const InviteeList &Invitees() const { return m_invitees; }

    const QByteArray RoomIdText;

    QLabel *Label1;
    QLineEdit *Edit1;
    QLabel *Label2;
    QLabel *Label4;
    QListWidget *AddListBox;
    QPushButton *Button1;
    QPushButton *Button2;
    QPushButton *Button5;
    QLabel *Label3;
    QLineEdit *Edit2;
    QPushButton *Button3;
    QPushButton *Button4;
    QTimer *Timer1;

    void FormShow();
    // Whether a drag from `source` may be dropped on the list: only from the
    // member tree, and only a member the list may take.
    bool AddListBoxDragOver(QObject *source) const;
    void AddListBoxDragDrop(QObject *source);
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
    void Edit1Change();
    void Edit2Change();
    void Timer1Timer();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool IsCreateMode() const { return RoomIdText == "0"; }
    // The tree's selected node when it is a member or group record, else null.
    const MemberNode *SelectedNode() const;
    void AppendSelectedNode();
    bool EntrySelected() const;

    QPointer<QTreeWidget> m_ftree;
    FrameSender &m_sender;
    InviteeList m_invitees;
    bool m_centred = false;
};
