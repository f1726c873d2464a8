#include "messaging/TAbsenceFrm.h"

#include "main/members/MemberItem.h"
#include "messaging/MessageText.h"
#include "platform/CleanedInput.h"
#include "platform/Fonts.h"
#include "platform/MessageInput.h"
#include "platform/OwnedWindow.h"
#include "platform/WidgetText.h"
#include "wire/FrameSender.h"
#include "wire/FrameText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QVBoxLayout>

TAbsenceFrm::TAbsenceFrm(QWidget *owner, const MemberItem &node, FrameSender &sender)
    : RecipientId(node.node.Id), m_sender(sender)
{
    MakeOwnedTopLevel(this, owner);
    setWindowTitle(QStringLiteral("留守メッセージ作成"));
    setFont(WindowFont(12));
    resize(398, 211);
    setMinimumSize(349, 211);

    Label1 = new QLabel(QStringLiteral("送信先は現在接続していません。"), this);
    Label3 = new QLabel(QStringLiteral("このメッセージはユーザがオンラインになった際に通知されます。"), this);
    for (QLabel *label : {Label1, Label3})
        label->setStyleSheet(QStringLiteral("color: navy"));
    tolabel = new QLabel(QStringLiteral("宛先：") + ToWidgetText(node.node.DisplayName), this);
    tolabel->setTextFormat(Qt::PlainText);
    msginp = NewMessageInput(this, {[this](bool &consumed, int key) { msginpKeyDown(consumed, key); }, {}});
    Button1 = new QPushButton(QStringLiteral("閉じる(&C)"), this);
    Button2 = new QPushButton(QStringLiteral("送信(&S)"), this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(Label3);
    layout->addWidget(tolabel);
    layout->addWidget(msginp, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    layout->addLayout(buttons);
    setTabOrder(msginp, Button1);
    setTabOrder(Button1, Button2);

    connect(msginp, &QTextEdit::textChanged, this, &TAbsenceFrm::msginpChange);
    connect(Button1, &QPushButton::clicked, this, &TAbsenceFrm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TAbsenceFrm::Button2Click);
}

void TAbsenceFrm::SendAbsence()
{
    const QByteArray text = CleanInputText(msginp, MessageTextLimit);
    if (text.isEmpty())
        return;
    m_sender.SendFrame(MakeFrame({"AMS", RecipientId, text}, TrailingTab::Yes));
    msginp->clear();
    msginp->setFocus();
    close();
}

void TAbsenceFrm::msginpKeyDown(bool &consumed, int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    SendAbsence();
    consumed = true;
    msginp->clear(); // a closed window is freed only once this handler returns
}

// Cleaned like a conversation's input: a TAB or a line break would shift or
// split the fields of the frame.
void TAbsenceFrm::msginpChange()
{
    ReplaceWithCleanText(msginp, MessageTextLimit, CaretAfterCleaning::AtEnd);
}

void TAbsenceFrm::Button1Click()
{
    close();
}

void TAbsenceFrm::Button2Click()
{
    SendAbsence();
}
