#include "meetings/TfrmJoin.h"

#include "meetings/CentreOnScreen.h"
#include "meetings/RoomId.h"
#include "platform/CleanedInput.h"
#include "platform/Fonts.h"
#include "platform/OwnedWindow.h"
#include "platform/WidgetText.h"
#include "wire/FrameSender.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace {

constexpr qsizetype ReasonLimit = 50;

template <typename W>
W *Place(W *widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
    return widget;
}

// A box that only shows a text from the server.
QLineEdit *ShownText(QWidget *parent)
{
    auto *box = new QLineEdit(parent);
    box->setFrame(false);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    box->setStyleSheet(QStringLiteral("background: transparent"));
    return box;
}

} // namespace

TfrmJoin::TfrmJoin(QWidget *owner, FrameSender &sender) : m_sender(sender)
{
    MakeOwnedTopLevel(this, owner);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("会議参加確認"));
    setFont(WindowFont(12));
    setFixedSize(335, 282);

    Label1 = Place(new QLabel(QStringLiteral("会議室への参加依頼を受信しました"), this), 15, 12, 305, 20);
    QFont heading = WindowFont(14);
    heading.setBold(true);
    Label1->setFont(heading);
    Label1->setStyleSheet(QStringLiteral("color: navy"));
    Label2 = Place(new QLabel(QStringLiteral("会議名："), this), 15, 42, 60, 18);
    rname = Place(ShownText(this), 80, 42, 240, 18);
    Label3 = Place(new QLabel(QStringLiteral("依頼者："), this), 15, 64, 60, 18);
    rowner = Place(ShownText(this), 80, 64, 240, 18);
    rmsg = Place(new QLabel(this), 15, 88, 305, 48);
    rmsg->setTextFormat(Qt::PlainText);
    rmsg->setAlignment(Qt::AlignCenter);
    rmsg->setWordWrap(true);
    QFont bold = WindowFont(12);
    bold.setBold(true);
    rmsg->setFont(bold);
    rmsg->setAutoFillBackground(true);
    rmsg->setStyleSheet(QStringLiteral("color: blue; background: #a6caf0"));

    GroupBox1 = Place(new QGroupBox(QStringLiteral("応答"), this), 15, 144, 305, 90);
    RadioButton1 = Place(new QRadioButton(QStringLiteral("参加する"), GroupBox1), 12, 20, 120, 18);
    RadioButton1->setChecked(true);
    RadioButton2 = Place(new QRadioButton(QStringLiteral("拒否"), GroupBox1), 12, 42, 120, 18);
    Label4 = Place(new QLabel(QStringLiteral("理由："), GroupBox1), 30, 64, 40, 18);
    ReasonTxt = Place(new QLineEdit(QStringLiteral("多忙につき参加できません。"), GroupBox1), 72, 62, 220, 20);
    Button1 = Place(new QPushButton(QStringLiteral("確定"), this), 128, 244, 80, 26);
    Button1->setDefault(true);

    connect(RadioButton1, &QRadioButton::clicked, this, &TfrmJoin::RadioButton1Click);
    connect(RadioButton2, &QRadioButton::clicked, this, &TfrmJoin::RadioButton2Click);
    connect(ReasonTxt, &QLineEdit::textChanged, this, &TfrmJoin::ReasonTxtChange);
    connect(Button1, &QPushButton::clicked, this, &TfrmJoin::Button1Click);
    FormCreate();
}

void TfrmJoin::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_centred) {
        CentreOnScreen(this);
        m_centred = true;
    }
}

void TfrmJoin::FormCreate()
{
    ReasonTxt->setEnabled(false);
}

void TfrmJoin::RadioButton1Click()
{
    ReasonTxt->setEnabled(false);
}

void TfrmJoin::RadioButton2Click()
{
    ReasonTxt->setEnabled(true);
}

void TfrmJoin::ReasonTxtChange()
{
    ReplaceWithCleanText(ReasonTxt, ReasonLimit, CaretAfterCleaning::AtEnd);
}

void TfrmJoin::Button1Click()
{
    QByteArray answer;
    if (RadioButton1->isChecked())
        answer = "0\tJOIN";
    else if (RadioButton2->isChecked())
        answer = "1\t" + FromWidgetText(ReasonTxt->text());
    else
        return;
    m_sender.SendFrame("MRJ\t" + RoomKey(RoomId) + "\t" + answer + "\t");
    close();
}
