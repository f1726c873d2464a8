#include "settings/Tlogonfrm.h"

#include "ClientFixture.h"
#include "main/Session.h"
#include "platform/WidgetText.h"
#include "settings/UserSettings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class LogonDialog : public testing::Test {
protected:
    void SetUp() override
    {
        UserSettings = TUserSettings{};
        SessionState = ssIdle;
    }
    ClientFixture fixture;
};

TEST_F(LogonDialog, ThePasswordIsNotShownAsItIsTyped)
{
    Tlogonfrm dialog;
    EXPECT_EQ(dialog.inppwd->echoMode(), QLineEdit::Password);
}

TEST_F(LogonDialog, BoxesAreCleanedAsTheUserTypesOrPastes)
{
    Tlogonfrm dialog;
    const struct {
        QLineEdit *box;
        QString entered;
        QString kept;
    } cases[] = {
        {dialog.inpuid, QStringLiteral("abcdefghijkl"), QStringLiteral("abcdefghij")},
        {dialog.inpuid, QStringLiteral("ab\ncd\r\nef"), QStringLiteral("abcdef")},
        {dialog.inpuid, QStringLiteral("a\tb"), QStringLiteral("ab")},
        {dialog.inpuid, QStringLiteral("abcdefghi山"), QStringLiteral("abcdefghi")}, // 11 bytes
        {dialog.inppwd, QStringLiteral("pass\nword"), QStringLiteral("password")},
    };
    for (const auto &c : cases) {
        c.box->clear();
        c.box->insert(c.entered);
        EXPECT_EQ(c.box->text(), c.kept) << c.entered.toStdString();
    }
}

TEST_F(LogonDialog, CaretStaysWhereItWasAfterCleaning)
{
    Tlogonfrm dialog;
    dialog.inpuid->setText(QStringLiteral("abcd"));
    dialog.inpuid->setCursorPosition(2);
    dialog.inpuid->insert(QStringLiteral("\t"));
    EXPECT_EQ(dialog.inpuid->text(), QStringLiteral("abcd"));
    EXPECT_EQ(dialog.inpuid->cursorPosition(), 3);
}

TEST_F(LogonDialog, CorporateListOnlyForFreeService)
{
    const struct {
        QByteArray type;
        int storedCorp;
        bool visible;
        int handedOver;
    } cases[] = {
        {"", 2, false, 0}, {"PAID", 2, false, 0}, {"free", 2, true, 2}, {"Free", 1, true, 1}, {"FREE", 9, true, -1},
    };
    for (const auto &c : cases) {
        UserSettings = TUserSettings{};
        UserSettings.ServiceType = c.type;
        UserSettings.CorpIndex = c.storedCorp;
        Tlogonfrm dialog;
        EXPECT_EQ(!dialog.CorpCmb->isHidden(), c.visible) << c.type.toStdString();
        EXPECT_EQ(dialog.CorpCmb->isEnabled(), c.visible);
        dialog.Button1Click();
        EXPECT_EQ(UserSettings.CorpIndex, c.handedOver) << c.type.toStdString();
    }
}

TEST_F(LogonDialog, LogonHandsOverTrimmedValuesAndRequestsAConnection)
{
    UserSettings.UserId = "u01";
    UserSettings.Password = "pw";
    UserSettings.RememberPassword = true;
    Tlogonfrm dialog;
    EXPECT_EQ(dialog.inpuid->text(), QStringLiteral("u01"));
    EXPECT_TRUE(dialog.inppwdmemory->isChecked());
    EXPECT_TRUE(dialog.Button2->isHidden());

    dialog.show();
    dialog.inpuid->setText(QStringLiteral("   "));
    dialog.inppwd->setText(QStringLiteral(" 山田\x01 "));
    dialog.inppwdmemory->setChecked(false);
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);

    EXPECT_EQ(UserSettings.UserId, "");
    EXPECT_EQ(UserSettings.Password, FromWidgetText(QStringLiteral("山田")));
    EXPECT_EQ(dialog.inppwd->text(), QStringLiteral("山田"));
    EXPECT_FALSE(UserSettings.RememberPassword);
    EXPECT_EQ(SessionState, ssConnectRequested);
    EXPECT_TRUE(dialog.isHidden());
}

TEST_F(LogonDialog, TheServerLineShowsTheSettingsAndRefusesWhatNamesNoServer)
{
    UserSettings.Host = "im.example.co.jp";
    UserSettings.Port = 9100;
    Tlogonfrm dialog;
    EXPECT_EQ(dialog.inpserver->text(), QStringLiteral("im.example.co.jp:9100"));
    dialog.show();

    dialog.inpserver->setText(QStringLiteral("im.example.co.jp:http"));
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    EXPECT_EQ(fixture.messages.size(), 1);
    EXPECT_EQ(fixture.beeps, 1);
    EXPECT_EQ(SessionState, ssIdle) << "the dialog stays open";
    EXPECT_FALSE(dialog.isHidden());
    EXPECT_EQ(UserSettings.Port, 9100);

    dialog.inpserver->setText(QStringLiteral("10.0.0.5"));
    QTest::mouseClick(dialog.Button1, Qt::LeftButton);
    EXPECT_EQ(SessionState, ssConnectRequested);
    EXPECT_EQ(UserSettings.Host, "10.0.0.5");
    EXPECT_EQ(UserSettings.Port, 9002);
}

TEST_F(LogonDialog, EnterTogglesTheCheckBoxAndLogsOnOnlyFromTheButton)
{
    Tlogonfrm dialog;
    dialog.show();
    dialog.inppwdmemory->setFocus();
    QTest::keyClick(dialog.inppwdmemory, Qt::Key_Return);
    EXPECT_TRUE(dialog.inppwdmemory->isChecked());
    QTest::keyClick(dialog.inppwdmemory, Qt::Key_Enter);
    EXPECT_FALSE(dialog.inppwdmemory->isChecked());
    for (QWidget *box : {static_cast<QWidget *>(dialog.inpuid), static_cast<QWidget *>(dialog.inppwd)})
        QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(SessionState, ssIdle);
    EXPECT_FALSE(dialog.isHidden());

    // Enter on the focused logon button presses it.
    dialog.Button1->setFocus();
    QTest::keyClick(dialog.Button1, Qt::Key_Return);
    EXPECT_EQ(SessionState, ssConnectRequested);
    EXPECT_TRUE(dialog.isHidden());
}

} // namespace
