#pragma once

#include <QByteArray>
#include <QWidget>

class FrameSender;
class MemberItem;
class QLabel;
class QPushButton;
class QStatusBar;
class QTextEdit;
class QTimer;
class QTreeWidget;

// A one-to-one conversation with the member of one tree node: the transcript,
// the input box, typing notices both ways. The server's copy of what the user
// sent is the only way the user's own lines reach the transcript.
//
// The node must outlive the window's open life: a new member list closes
// every conversation before the old nodes go.
class TfrmMsg : public QWidget {
    Q_OBJECT
public:
    TfrmMsg(QWidget *owner, MemberItem *node, FrameSender &sender, QTreeWidget *ftree);

    // Controls, named as on the form.
    QWidget *Panel3;
    QWidget *Panel1;
    QTextEdit *msgout;
    QWidget *Panel2;
    QLabel *tolabel;
    QTextEdit *msginp;
    QPushButton *closebtn;
    QPushButton *InviteBtn;
    QPushButton *sendbtn;
    QStatusBar *MsgStatusBar;
    QLabel *MsgStatusPanel;
    QTimer *DispTimer;

    MemberItem *Node;
    bool Typing = false;
    int PeerTyping = 0;

    void AddTranscriptLine(const QByteArray &stamp, const QByteArray &name, const QByteArray &text);
    void ExpandTranscript();
    void SendMsg();
    void NotifyTyping();
    void ShowPeerTyping(QByteArrayView typingState);

    void msginpKeyDown(bool &consumed, int key);
    void msginpKeyUp();
    void msginpChange();
    void sendbtnClick();
    void closebtnClick();
    void InviteBtnClick();
    void DispTimerTimer();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QByteArray inputText() const;

    FrameSender &m_sender;
    QTreeWidget *m_ftree;
};
