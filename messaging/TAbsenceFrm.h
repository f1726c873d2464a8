#pragma once

#include <QByteArray>
#include <QWidget>

class FrameSender;
class MemberItem;
class QLabel;
class QPushButton;
class QTextEdit;

// Leaves a message for a member who is offline; the server delivers it at the
// member's next logon. Each double click opens a further window, kept nowhere,
// so it copies what it needs of the member rather than holding the tree node,
// which a new member list may delete while the window is open.
class TAbsenceFrm : public QWidget {
    Q_OBJECT
public:
    TAbsenceFrm(QWidget *owner, const MemberItem &node, FrameSender &sender);

    QLabel *Label1;
    QLabel *Label3;
    QLabel *tolabel;
    QTextEdit *msginp;
    QPushButton *Button1;
    QPushButton *Button2;

    const QByteArray RecipientId;

    void SendAbsence();
    void msginpKeyDown(bool &consumed, int key);
    void msginpChange();
    void Button1Click();
    void Button2Click();

private:
    FrameSender &m_sender;
};
