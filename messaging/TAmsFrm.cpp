#include "messaging/TAmsFrm.h"

#include "messaging/AbsenceQueue.h"
#include "platform/Fonts.h"
#include "platform/WidgetText.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

TAmsFrm::TAmsFrm(AbsenceMessageQueue &queue, QWidget *parent) : QWidget(parent, Qt::Window), m_queue(queue)
{
    setWindowTitle(QStringLiteral("留守メッセージ"));
    setFont(WindowFont(12));
    resize(394, 225);
    setMinimumSize(394, 225);

    Label4 = new QLabel(QStringLiteral("オフライン中に下記のメッセージを受信しました"), this);
    QFont heading = WindowFont(16);
    heading.setBold(true);
    Label4->setFont(heading);
    Label4->setAlignment(Qt::AlignCenter);
    Label4->setStyleSheet(QStringLiteral("color: navy"));
    // The sender and the time are the server's text: shown as the characters
    // they are, never as markup.
    fromLabel = new QLabel(this);
    fromLabel->setTextFormat(Qt::PlainText);
    gettimeLabel = new QLabel(this);
    gettimeLabel->setTextFormat(Qt::PlainText);
    gettimeLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Label3 = new QLabel(QStringLiteral("メッセージ："), this);
    getmsg = new QTextEdit(this);
    getmsg->setReadOnly(true);
    getmsg->setAcceptRichText(false);
    getmsg->setFocusPolicy(Qt::ClickFocus); // not reached by tab
    getmsg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Button1 = new QPushButton(QStringLiteral("確認"), this);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label4);
    auto *line = new QHBoxLayout;
    line->addWidget(fromLabel);
    line->addStretch();
    line->addWidget(gettimeLabel);
    layout->addLayout(line);
    layout->addWidget(Label3);
    layout->addWidget(getmsg, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &TAmsFrm::Button1Click);
    Timer1 = new QTimer(this);
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TAmsFrm::Timer1Timer);
    Timer1->start();
}

void TAmsFrm::Timer1Timer()
{
    if (!isHidden() || m_queue.isEmpty())
        return;
    const AbsenceEntry message = ReadAbsenceEntry(m_queue.takeFirst());
    gettimeLabel->setText(QStringLiteral("受付日時：") + ToWidgetText(message.received));
    fromLabel->setText(QStringLiteral("送信者：") + ToWidgetText(message.sender));
    getmsg->setPlainText(ToWidgetText(message.text));
    show();
}

// The close box does the same: a closed top-level window is only hidden.
void TAmsFrm::Button1Click()
{
    hide();
}
