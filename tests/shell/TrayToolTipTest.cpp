#include "shell/TfrmDummyMain.h"
#include "shell/TrayToolTip.h"

#include <gtest/gtest.h>

namespace {

TEST(TrayToolTip, NamesTheUserAndTheOwnStateWhileLoggedOn)
{
    const QString title = QStringLiteral("VantrelＩＭ");
    const QString name = QStringLiteral("佐藤 花子");
    const struct {
        int state;
        bool loggedOn;
        QString tip;
    } cases[] = {
        {3, true, QStringLiteral("VantrelＩＭ\n佐藤 花子（応答可）")},
        {2, true, QStringLiteral("VantrelＩＭ\n佐藤 花子（離席中）")},
        {4, true, QStringLiteral("VantrelＩＭ\n佐藤 花子（応答不可）")},
        {2, false, title},
    };
    for (const auto &c : cases)
        EXPECT_EQ(TrayToolTip(title, name, c.state, c.loggedOn), c.tip) << c.state << c.loggedOn;
    EXPECT_EQ(TrayToolTip(title, QString(), 3, true), title) << "no name yet";

    // The tray check asks the source again, so the tooltip follows the user.
    TfrmDummyMain form;
    QString tip = QStringLiteral("first");
    form.setToolTipSource([&] { return tip; });
    form.TrayWatchTimer();
    EXPECT_EQ(form.trayIcon()->toolTip(), QStringLiteral("first"));
    tip = QStringLiteral("second");
    form.TrayWatchTimer();
    EXPECT_EQ(form.trayIcon()->toolTip(), QStringLiteral("second"));
}

} // namespace
