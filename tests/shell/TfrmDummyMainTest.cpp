#include "platform/TaskbarEntry.h"
#include "platform/Ui.h"
#include "shell/TfrmDummyMain.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr int LeftDown = 513;
constexpr int LeftDouble = 515;
constexpr int RightDown = 516;
constexpr int MiddleDown = 519;
constexpr int TimerRunsOut = -1; // ClickTimer expires, if it is running

ui::Hooks TrayHooks(std::function<bool()> hasNotificationArea)
{
    ui::Hooks hooks;
    hooks.hasNotificationArea = std::move(hasNotificationArea);
    return hooks;
}

// The owner window with a plain main window and a tray that is there unless
// a test says otherwise. Menu openings are counted through aboutToShow.
class DummyMainFixture : public testing::Test {
protected:
    DummyMainFixture()
    {
        form.setMainWindow(&mainWindow);
        mainWindow.show();
    }

    // Plays mouse messages and timer expiries; an opened menu is closed again
    // so that the next opening is seen.
    void Play(const std::vector<int> &steps)
    {
        for (int step : steps) {
            if (step == TimerRunsOut) {
                if (form.ClickTimer->isActive())
                    form.ClickTimerTimer();
            } else {
                form.IconMessage(step);
            }
            form.PopupMenu1->hide();
        }
    }

    bool trayAvailable = true;
    ui::ScopedHooks hooks{TrayHooks([this] { return trayAvailable; })};
    TfrmDummyMain form;
    QWidget mainWindow;
    QSignalSpy menuOpenings{form.PopupMenu1, &QMenu::aboutToShow};
};

TEST_F(DummyMainFixture, ClickRules)
{
    const struct {
        const char *name;
        bool visibleBefore;
        std::vector<int> steps;
        int menus;
        bool visibleAfter;
    } cases[] = {
        {"single click opens the menu when the timer runs out", true, {LeftDown, TimerRunsOut}, 1, true},
        {"single click waits for the timer", true, {LeftDown}, 0, true},
        {"double click hides a visible main window", true, {LeftDown, LeftDouble, TimerRunsOut}, 0, false},
        {"double click shows a hidden main window", false, {LeftDown, LeftDouble, TimerRunsOut}, 0, true},
        {"double click message alone toggles", false, {LeftDouble}, 0, true},
        {"two double clicks toggle twice",
         true,
         {LeftDown, LeftDouble, LeftDown, LeftDouble, TimerRunsOut},
         0,
         true},
        {"two single clicks, two menus", true, {LeftDown, TimerRunsOut, LeftDown, TimerRunsOut}, 2, true},
        {"double click after an answered single click", true, {LeftDown, TimerRunsOut, LeftDown, LeftDouble}, 1,
         false},
        {"right click opens the menu at once", true, {RightDown}, 1, true},
        {"middle button is ignored", true, {MiddleDown, TimerRunsOut}, 0, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        mainWindow.setVisible(c.visibleBefore);
        menuOpenings.clear();
        Play(c.steps);
        EXPECT_EQ(menuOpenings.size(), c.menus);
        EXPECT_EQ(mainWindow.isVisible(), c.visibleAfter);
        // Leave no click pending for the next case.
        form.ClickTimer->stop();
    }
}

TEST_F(DummyMainFixture, SingleClickMenuComesFromTheRunningTimer)
{
    QElapsedTimer elapsed;
    elapsed.start();
    form.IconMessage(LeftDown);
    EXPECT_TRUE(menuOpenings.isEmpty());
    ASSERT_TRUE(menuOpenings.wait(3000));
    EXPECT_GE(elapsed.elapsed(), 900);
    EXPECT_FALSE(form.ClickTimer->isActive());
    form.PopupMenu1->hide();
}

TEST_F(DummyMainFixture, MenuOpensAtTheCursor)
{
    QCursor::setPos(200, 150);
    form.IconMessage(RightDown);
    EXPECT_TRUE(form.PopupMenu1->isVisible());
    EXPECT_EQ(form.PopupMenu1->pos(), QPoint(200, 150));
    form.PopupMenu1->hide();
}

TEST_F(DummyMainFixture, TrayActivationsReachTheClickRules)
{
    // The sequence the toolkit reports for a double click, then a right click.
    emit form.trayIcon()->activated(QSystemTrayIcon::Trigger);
    emit form.trayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_FALSE(mainWindow.isVisible());
    EXPECT_FALSE(form.ClickTimer->isActive());
    EXPECT_TRUE(menuOpenings.isEmpty());

    emit form.trayIcon()->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(menuOpenings.size(), 1);
    form.PopupMenu1->hide();
}

TEST_F(DummyMainFixture, DoubleClickRestoresAMinimisedHiddenWindowWithFocus)
{
    mainWindow.showMinimized();
    mainWindow.hide();
    form.IconMessage(LeftDown);
    form.IconMessage(LeftDouble);
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_FALSE(mainWindow.isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&mainWindow));
    EXPECT_TRUE(mainWindow.hasFocus());
}

TEST_F(DummyMainFixture, MenuItemsOpenAndClose)
{
    EXPECT_EQ(form.trayIcon()->toolTip(), "VantrelＩＭ");
    EXPECT_TRUE(form.trayIcon()->isVisible());
    EXPECT_TRUE(form.N2->isVisible());

    form.N2->trigger();
    EXPECT_FALSE(mainWindow.isVisible());
    mainWindow.setWindowState(Qt::WindowMinimized);
    form.N1->trigger();
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_FALSE(mainWindow.isMinimized());
}

TEST_F(DummyMainFixture, WithoutTrayNothingHidesTheMainWindow)
{
    trayAvailable = false;
    form.TrayWatchTimer();
    EXPECT_FALSE(form.trayIcon()->isVisible());
    EXPECT_FALSE(form.N2->isVisible());
    form.N2Click();
    EXPECT_TRUE(mainWindow.isVisible());

    // A panel that starts later brings the icon and "閉じる" back.
    trayAvailable = true;
    form.TrayWatchTimer();
    EXPECT_TRUE(form.trayIcon()->isVisible());
    EXPECT_TRUE(form.N2->isVisible());
}

TEST_F(DummyMainFixture, TrayGoingAwayBringsAHiddenMainWindowBack)
{
    form.N2Click();
    ASSERT_TRUE(mainWindow.isHidden());
    trayAvailable = false;
    form.TrayWatchTimer();
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_FALSE(SkipsTaskbar(&mainWindow));
}

TEST_F(DummyMainFixture, MainWindowHasNoTaskbarButtonOnlyWhileTheIconIsShown)
{
    EXPECT_TRUE(SkipsTaskbar(&mainWindow));
    // Going while the window is shown: it keeps its place and gets its button.
    trayAvailable = false;
    form.TrayWatchTimer();
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_FALSE(SkipsTaskbar(&mainWindow));
    trayAvailable = true;
    form.TrayWatchTimer();
    EXPECT_TRUE(SkipsTaskbar(&mainWindow));
    EXPECT_EQ(mainWindow.windowType(), Qt::Window);
}

TEST(TfrmDummyMain, StartsWithoutTrayWhenThereIsNone)
{
    ui::ScopedHooks hooks(TrayHooks([] { return false; }));
    TfrmDummyMain form;
    EXPECT_FALSE(form.trayIcon()->isVisible());
    EXPECT_FALSE(form.N2->isVisible());
}

TEST(TfrmDummyMain, ExitEndsTheEventLoopAtOnce)
{
    ui::ScopedHooks hooks(TrayHooks([] { return true; }));
    TfrmDummyMain form;
    QTimer::singleShot(0, form.X1, &QAction::trigger);
    // A guard so that a broken exit fails the test instead of hanging it.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

} // namespace
