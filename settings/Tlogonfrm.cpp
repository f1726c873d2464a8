#include "settings/Tlogonfrm.h"

#include "main/Session.h"
#include "platform/CleanedInput.h"
#include "platform/Fonts.h"
#include "platform/WidgetText.h"
#include "resources/Pictures.h"
#include "platform/Ui.h"
#include "settings/ServerAddress.h"
#include "settings/UserSettings.h"
#include "wire/Fields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

const QStringList Tlogonfrm::CorporateDomains = {
    QStringLiteral("@vantrel.example"),
    QStringLiteral("@branch.vantrel.example"),
    QStringLiteral("@partner.vantrel.example"),
    QStringLiteral("@trial.vantrel.example"),
};

namespace {

template <typename W>
W *Place(W *widget, int left, int top, int width = -1, int height = -1)
{
    widget->move(left, top);
    if (width > 0)
        widget->resize(width, height);
    return widget;
}

// Blanks and control characters off both ends; bytes of double-byte
// characters are never below 0x40, so this cannot split one.
QByteArray Trimmed(QByteArray text)
{
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    while (!text.isEmpty() && blank(text.back()))
        text.chop(1);
    qsizetype start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.sliced(start);
}

} // namespace

Tlogonfrm::Tlogonfrm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ログオン"));
    setFont(WindowFont(12));
    setFixedSize(348, 274);

    Image1 = Place(new QLabel(this), 32, 8, 280, 60);
    Image1->setPixmap(pictures::LogonBanner());
    Label4 = Place(new QLabel(this), 24, 80, 313, 41);
    Label4->setWordWrap(true);
    Label4->setText(QStringLiteral("サーバにログオンする場合は、ユーザＩＤとパスワードを入力して”ログオン”をクリックして"
                                   "ください。ＩＤとパスワードが不明の場合はシステム管理者に問い合わせてください。"));
    Label1 = Place(new QLabel(QStringLiteral("ユーザＩＤ："), this), 32, 133);
    Label2 = Place(new QLabel(QStringLiteral("パスワード："), this), 32, 157);
    Label5 = Place(new QLabel(QStringLiteral("サーバ："), this), 32, 181);

    // Created in tab order.
    inpuid = Place(new QLineEdit(this), 112, 128, 65, 20);
    CorpCmb = Place(new QComboBox(this), 176, 128, 129, 20);
    CorpCmb->addItems(CorporateDomains);
    inppwd = Place(new QLineEdit(this), 112, 152, 193, 20);
    inppwd->setMaxLength(50);
    inppwd->setEchoMode(QLineEdit::Password);
    inpserver = Place(new QLineEdit(this), 112, 176, 193, 20);
    inpserver->setMaxLength(300);
    inppwdmemory = Place(new QCheckBox(QStringLiteral("パスワードを保存"), this), 32, 208, 289, 17);
    Button2 = Place(new QPushButton(QStringLiteral("接続設定"), this), 104, 240, 75, 25);
    Button2->setVisible(false);
    Button1 = Place(new QPushButton(QStringLiteral("ログオン(&L)"), this), 208, 240, 99, 25);
    Button1->setAutoDefault(false);
    Button1->setDefault(false);
    for (QPushButton *button : {Button1, Button2})
        button->setAutoDefault(false);

    connect(inpuid, &QLineEdit::textChanged, this, &Tlogonfrm::inpuidChange);
    connect(inppwd, &QLineEdit::textChanged, this, &Tlogonfrm::inppwdChange);
    connect(Button1, &QPushButton::clicked, this, &Tlogonfrm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &Tlogonfrm::Button2Click);
    inppwdmemory->installEventFilter(this);
    Button1->installEventFilter(this);

    FormCreate();
}

void Tlogonfrm::FormCreate()
{
    inpuid->setText(ToWidgetText(UserSettings.UserId));
    inppwd->setText(ToWidgetText(UserSettings.Password));
    const bool free = UserSettings.isFreeService();
    CorpCmb->setCurrentIndex(free ? (UserSettings.CorpIndex < CorpCmb->count() ? UserSettings.CorpIndex : -1)
                                  : 0);
    CorpCmb->setVisible(free);
    CorpCmb->setEnabled(free);
    inppwdmemory->setChecked(UserSettings.RememberPassword);
    inpserver->setText(ServerAddressText({UserSettings.Host, UserSettings.Port}));
}

void Tlogonfrm::Button1Click()
{
    const QByteArray userId = Trimmed(FromWidgetText(inpuid->text()));
    const QByteArray password = Trimmed(FromWidgetText(inppwd->text()));
    const std::optional<ServerAddress> server = ParseServerAddress(inpserver->text(), 9002);
    if (!server) {
        ui::Beep();
        ui::ShowMessage(QStringLiteral("サーバは「ホスト名:ポート番号」の形で入力してください。"));
        inpserver->setFocus();
        return;
    }
    UserSettings.Host = server->host;
    UserSettings.Port = server->port;
    inpuid->setText(ToWidgetText(userId));
    inppwd->setText(ToWidgetText(password));

    UserSettings.UserId = userId;
    UserSettings.CorpIndex = CorpCmb->currentIndex();
    UserSettings.Password = password;
    UserSettings.RememberPassword = inppwdmemory->isChecked();
    SessionState = ssConnectRequested;
    hide();
}

void Tlogonfrm::Button2Click()
{
    if (settingfrm)
        settingfrm->show();
}

void Tlogonfrm::inpuidChange()
{
    ReplaceWithCleanText(inpuid, 10, CaretAfterCleaning::Kept);
}

void Tlogonfrm::inppwdChange()
{
    ReplaceWithCleanText(inppwd, 50, CaretAfterCleaning::Kept);
}

// Enter on the check box toggles it instead of reaching the dialog, and Enter
// on the focused logon button presses it. Neither is a default button, so
// Enter in the edit boxes logs nobody on.
bool Tlogonfrm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == inppwdmemory) {
                inppwdmemory->toggle();
                return true;
            }
            if (watched == Button1) {
                Button1->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}
