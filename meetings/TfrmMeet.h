#pragma once

#include "meetings/MeetMember.h"

#include <QByteArray>
#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <QTreeWidget>

class FieldList;
class FrameSender;
class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPainter;
class QPushButton;
class QTextEdit;
class RoomRegistry;

// The window of one meeting room: the transcript, the members with their
// typing states, and the input line. The room's traffic arrives as sub-frames
// through ProcRoomFrame; it sends MRC, MRI and MRE, and through the invitation
// dialog MRM. Closing it by any road leaves the room; being destroyed with
// the main window at the program's end does not.
class TfrmMeet : public QMainWindow {
    Q_OBJECT
public:
    // `ftree` is the member tree the invitation dialog takes members from.
    TfrmMeet(QWidget *owner, FrameSender &sender, RoomRegistry &rooms, QTreeWidget *ftree);
    ~TfrmMeet() override;

    int RoomId = 0;
    QByteArray RoomName;
    bool Typing = false; // the last typing notice sent said "N"

    QTextEdit *msgout;
    QLineEdit *msginp;
    QPushButton *Button1;
    QWidget *HeaderPanel;
    QLabel *NameHeader;
    QLabel *StateHeader;
    QListWidget *MemberList;
    QPushButton *Button2;
    QMenu *F1;
    QAction *N2;
    QAction *N1;
    QAction *X1;

    // The room's sub-frames; field 0 is the sub-code. Unknown codes are
    // ignored; a frame short of a field its handler reads throws FrameError.
    void ProcRoomFrame(const FieldList &fields);
    void ProcADM(const FieldList &fields);
    void ProcDLM(const FieldList &fields);
    void ProcCHA(const FieldList &fields);
    void ProcCHI(const FieldList &fields);
    void ProcSYS(const FieldList &fields);

    void SendChat();
    void AddTranscriptLine(const QByteArray &text);
    void OpenInvite();

    void Button1Click();
    // True when the key was Enter and has been taken.
    bool msginpKeyDown(int key);
    void msginpKeyUp();
    void msginpChange();
    void Button2Click();
    void N2Click();
    void X1Click();
    void FormShow();
    void FormActivate();
    void FormClose();
    void MemberListDrawItem(QPainter &painter, int index, const QRect &rect, bool selected);

    // The member of this id, letter case aside; null when not in the room.
    const MeetMember *Member(QByteArrayView userId) const;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createMenu();
    void createControls();
    QListWidgetItem *FindItem(QByteArrayView userId) const;
    QByteArray RoomIdText() const;

    FrameSender &m_sender;
    RoomRegistry &m_rooms;
    QPointer<QTreeWidget> m_ftree;
    QHash<QByteArray, QListWidgetItem *> m_itemsByFoldedId;
    bool m_composing = false; // an input method holds text not yet committed
    bool m_left = false;
    bool m_centred = false;
};
