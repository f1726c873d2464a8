#include "messaging/TfrmMsg.h"

#include "main/members/MemberItem.h"
#include "meetings/TfrmCRM.h"
#include "messaging/MessageText.h"
#include "platform/CleanedInput.h"
#include "platform/Anchors.h"
#include "platform/Fonts.h"
#include "platform/MessageInput.h"
#include "platform/OnScreen.h"
#include "platform/OwnedWindow.h"
#include "platform/TranscriptBox.h"
#include "platform/WidgetText.h"
#include "wire/ChatLine.h"
#include "wire/FrameSender.h"
#include "wire/FrameText.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int CompactHeight = 180;
constexpr int ExpandedHeight = 280;
constexpr int ExpandedInputPanelHeight = 120;
} // namespace

TfrmMsg::TfrmMsg(QWidget *owner, MemberItem *node, FrameSender &sender, QTreeWidget *ftree)
    : Node(node), m_sender(sender), m_ftree(ftree)
{
    MakeOwnedTopLevel(this, owner);
    setWindowTitle(QStringLiteral("メッセージ送信"));
    setFont(WindowFont(12));
    resize(398, CompactHeight);

    Panel3 = new QWidget(this);
    Panel1 = new QWidget(Panel3);
    msgout = new QTextEdit(Panel1);
    msgout->setReadOnly(true);
    msgout->setAcceptRichText(false);
    msgout->setFocusPolicy(Qt::ClickFocus); // not reached by tab
    msgout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    (new Anchors(Panel1, {388, 105}))->place(msgout, {8, 8, 370, 89}, Anchors::All);

    Panel2 = new QWidget(Panel3);
    tolabel = new QLabel(QStringLiteral("宛先："), Panel2);
    tolabel->setTextFormat(Qt::PlainText);
    msginp = NewMessageInput(Panel2, {[this](bool &consumed, int key) { msginpKeyDown(consumed, key); },
                                      [this] { msginpKeyUp(); }});
    closebtn = new QPushButton(QStringLiteral("閉じる(&C)"), Panel2);
    InviteBtn = new QPushButton(QStringLiteral("会議(&I)"), Panel2);
    sendbtn = new QPushButton(QStringLiteral("送信(&S)"), Panel2);
    auto *anchors = new Anchors(Panel2, {388, 127});
    anchors->place(tolabel, {8, 8, 370, 14}, Anchors::Left | Anchors::Top | Anchors::Right);
    anchors->place(msginp, {8, 24, 370, 61}, Anchors::All);
    anchors->place(closebtn, {115, 96, 75, 25}, Anchors::Right | Anchors::Bottom);
    anchors->place(InviteBtn, {219, 96, 75, 25}, Anchors::Right | Anchors::Bottom);
    anchors->place(sendbtn, {299, 96, 75, 25}, Anchors::Right | Anchors::Bottom);

    auto *panels = new QVBoxLayout(Panel3);
    panels->setContentsMargins(0, 0, 0, 0);
    panels->setSpacing(0);
    panels->addWidget(Panel1, 1);
    panels->addWidget(Panel2, 1);

    MsgStatusBar = new QStatusBar(this);
    MsgStatusBar->setSizeGripEnabled(false);
    MsgStatusPanel = new QLabel(MsgStatusBar);
    MsgStatusPanel->setTextFormat(Qt::PlainText);
    MsgStatusBar->addWidget(MsgStatusPanel, 1);

    auto *window = new QVBoxLayout(this);
    window->setContentsMargins(0, 0, 0, 0);
    window->setSpacing(0);
    window->addWidget(Panel3, 1);
    window->addWidget(MsgStatusBar);

    setTabOrder(msginp, closebtn);
    setTabOrder(closebtn, InviteBtn);
    setTabOrder(InviteBtn, sendbtn);

    connect(msginp, &QTextEdit::textChanged, this, &TfrmMsg::msginpChange);
    connect(sendbtn, &QPushButton::clicked, this, &TfrmMsg::sendbtnClick);
    connect(closebtn, &QPushButton::clicked, this, &TfrmMsg::closebtnClick);
    connect(InviteBtn, &QPushButton::clicked, this, &TfrmMsg::InviteBtnClick);

    DispTimer = new QTimer(this);
    DispTimer->setInterval(100);
    connect(DispTimer, &QTimer::timeout, this, &TfrmMsg::DispTimerTimer);
    DispTimer->start();
}

void TfrmMsg::AddTranscriptLine(const QByteArray &stamp, const QByteArray &name, const QByteArray &text)
{
    ExpandTranscript();
    AddTranscriptText(msgout, ChatLine(stamp, name, text));
}

// Once: the window grows to show the transcript above the input.
void TfrmMsg::ExpandTranscript()
{
    if (!Panel1->isHidden())
        return;
    if (height() < ExpandedHeight) {
        resize(width(), ExpandedHeight);
        KeepOnScreen(this);
    }
    Panel1->show();
    auto *panels = static_cast<QVBoxLayout *>(Panel3->layout());
    panels->setStretchFactor(Panel2, 0);
    Panel2->setFixedHeight(ExpandedInputPanelHeight);
}

void TfrmMsg::SendMsg()
{
    const QByteArray text = inputText();
    if (text.isEmpty())
        return;
    ExpandTranscript();
    // Sent with the last known connection, even to a member gone offline.
    m_sender.SendFrame(
        MakeFrame({"MSG", QByteArray::number(Node->node.ConnectionNo), Node->node.Id, text}, TrailingTab::Yes));
    msginp->clear();
    msginp->setFocus();
}

// Notices go only when the user's state changes, and only once the transcript
// holds a line; Typing follows the input either way.
void TfrmMsg::NotifyTyping()
{
    if (Node->node.ConnectionNo == -1)
        return;
    const TypingNotice notice = NextTypingNotice(Typing, msginp->document()->isEmpty());
    if (notice != TypingNotice::None && !msgout->document()->isEmpty())
        m_sender.SendFrame(MakeFrame({"MSI", QByteArray::number(Node->node.ConnectionNo), Node->node.Id,
                                      TypingStateText(notice)},
                                     TrailingTab::Yes));
}

void TfrmMsg::ShowPeerTyping(QByteArrayView typingState)
{
    if (typingState == "F")
        PeerTyping = 0;
    else if (typingState == "N")
        PeerTyping = 1;
}

void TfrmMsg::msginpKeyDown(bool &consumed, int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    SendMsg();
    consumed = true;
    msginp->clear();
}

void TfrmMsg::msginpKeyUp()
{
    NotifyTyping();
}

void TfrmMsg::msginpChange()
{
    ReplaceWithCleanText(msginp, MessageTextLimit, CaretAfterCleaning::AtEnd);
}

void TfrmMsg::sendbtnClick()
{
    SendMsg();
    NotifyTyping();
}

void TfrmMsg::closebtnClick()
{
    close();
}

// A room with this member already on the list of those invited.
void TfrmMsg::InviteBtnClick()
{
    auto *dialog = new TfrmCRM(this, m_ftree, m_sender, "0");
    dialog->AddEntry(Node->node.DisplayName, Node->node.Id);
    dialog->show();
}

void TfrmMsg::DispTimerTimer()
{
    MsgStatusPanel->setText(PeerTyping == 1 ? QStringLiteral("****相手が応答中です****") : QString());
}

// The member forgets the window; nothing goes to the server.
void TfrmMsg::closeEvent(QCloseEvent *event)
{
    Node->node.Window = nullptr;
    event->accept();
}

void TfrmMsg::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        msginp->setFocus(); // FormActivate
    QWidget::changeEvent(event);
}

QByteArray TfrmMsg::inputText() const
{
    return CleanInputText(msginp, MessageTextLimit);
}
