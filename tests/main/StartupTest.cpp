// Start-up without settings, closing versus ending, and hiding when minimised.
#include "FileModesApply.h"
#include "MainWindowFixture.h"
#include "settings/SettingsFile.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QMenu>
#include <QMenuBar>

namespace {

using Startup = MainWindowTest;

TEST_F(Startup, WithoutUserIniTheWindowWaitsAtItsDefaults)
{
    mfrm = std::make_unique<Tmfrm>();
    EXPECT_EQ(mfrm->StatusPanel0->text(), u"NONACTIVE");
    EXPECT_EQ(QRect(mfrm->pos(), mfrm->size()), QRect(0, 0, 230, 510));
    EXPECT_TRUE(mfrm->ftree->isHidden());
    EXPECT_EQ(mfrm->Panel2->text(), QStringLiteral("応答可▼"));
    EXPECT_EQ(mfrm->windowTitle(), QStringLiteral("Vantrel"));
    EXPECT_EQ(SessionState, ssIdle);
    passTicks(2);
    EXPECT_EQ(mfrm->StatusPanel0->text(), u"NON-ACTIVE");
    EXPECT_EQ(mfrm->csock->state(), QAbstractSocket::UnconnectedState);
}

TEST_F(Startup, ClosingSavesBoundsAndEnds)
{
    mfrm = std::make_unique<Tmfrm>();
    mfrm->show();
    mfrm->move(40, 30);
    mfrm->resize(250, 400);
    EXPECT_TRUE(mfrm->close());
    EXPECT_EQ(fixture.terminations, 1);
    const QRect frame = mfrm->frameGeometry();
    const QByteArray ini = fixture.readUserIni();
    EXPECT_TRUE(ini.contains("LEFT=40\r\nTOP=30\r\nWIDTH=" + QByteArray::number(frame.width()) +
                             "\r\nHEIGHT=" + QByteArray::number(frame.height())))
        << ini.toStdString();
}

TEST_F(Startup, StoredBoundsAreTheOuterFrameAndComeBackUnchanged)
{
    fixture.writeUserIni("[MFORM]\r\nLEFT=10\r\nTOP=20\r\nWIDTH=230\r\nHEIGHT=510\r\n");
    for (int start = 0; start < 2; ++start) {
        mfrm = std::make_unique<Tmfrm>();
        mfrm->show();
        ASSERT_TRUE(TestPeer::waitFor([&] { return mfrm->frameGeometry() == QRect(10, 20, 230, 510); }))
            << start << ": " << mfrm->frameGeometry().width() << "x" << mfrm->frameGeometry().height();
        EXPECT_NE(mfrm->size(), mfrm->frameGeometry().size()) << "the platform draws a frame";
        EXPECT_TRUE(mfrm->close());
        EXPECT_EQ(fixture.readUserIni(), "[MFORM]\r\nLEFT=10\r\nTOP=20\r\nWIDTH=230\r\nHEIGHT=510\r\n");
    }
}

TEST_F(Startup, EveryMenuIsInSightAtTheDefaultWidth)
{
    mfrm = std::make_unique<Tmfrm>();
    mfrm->show();
    auto inSight = [&](QMenu *menu) {
        for (QMenuBar *row : mfrm->findChildren<QMenuBar *>()) {
            if (row->isVisible() && row->actions().contains(menu->menuAction())) {
                const QRect place = row->actionGeometry(menu->menuAction());
                return !place.isEmpty() && row->rect().contains(place);
            }
        }
        return false;
    };
    auto rowsShown = [&] {
        int shown = 0;
        for (QMenuBar *row : mfrm->findChildren<QMenuBar *>())
            shown += row->isVisible() ? 1 : 0;
        return shown;
    };
    for (const int width : {230, 800, 230}) {
        mfrm->resize(width, mfrm->height());
        ASSERT_TRUE(TestPeer::waitFor([&] { return mfrm->menuWidget()->width() == width; }));
        for (QMenu *menu : {mfrm->MMenuUser, mfrm->E1, mfrm->M1, mfrm->H1})
            EXPECT_TRUE(inSight(menu)) << width << " " << menu->title().toStdString();
        EXPECT_EQ(rowsShown(), width == 800 ? 1 : 2) << width;
    }
}

TEST_F(Startup, RefusedBoundsWriteKeepsTheWindowOpen)
{
    mfrm = std::make_unique<Tmfrm>();
    mfrm->show();
    QDir(fixture.dir()).mkdir(QStringLiteral("user.ini"));
    EXPECT_FALSE(mfrm->close());
    EXPECT_EQ(fixture.errors.size(), 1);
    EXPECT_TRUE(fixture.errors[0].endsWith(QStringLiteral("user.ini に書き込めません")));
    EXPECT_EQ(fixture.terminations, 0);
    mfrm->X1->trigger(); // still ends the program
    EXPECT_EQ(fixture.terminations, 1);
}

TEST_F(Startup, UnreadableSettingsAreNotOverwrittenAndTheWindowStillCloses)
{
    const QByteArray kept = "[SYSTEM]\r\nHOST=10.9.8.7\r\n[MFORM]\r\nLEFT=5\r\n";
    fixture.writeUserIni(kept);
    QFile::setPermissions(UserIniPath(), QFileDevice::WriteOwner);
    {
        FileModesApply modes;
        mfrm = std::make_unique<Tmfrm>();
        mfrm->show();
        EXPECT_TRUE(mfrm->close());
    }
    EXPECT_EQ(fixture.terminations, 1);
    ASSERT_EQ(fixture.errors.size(), 1);
    EXPECT_TRUE(fixture.errors[0].endsWith(QStringLiteral("user.ini を読み込めないため、設定を保存しません")));
    QFile::setPermissions(UserIniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(fixture.readUserIni(), kept);
}

TEST_F(Startup, EndingFromTheMenuWritesNothing)
{
    mfrm = std::make_unique<Tmfrm>();
    mfrm->show();
    mfrm->X1->trigger();
    EXPECT_EQ(fixture.terminations, 1);
    EXPECT_TRUE(fixture.readUserIni().isEmpty());
}

TEST_F(Startup, EditingAndMeetingsAreOfferedOnlyWithTheTreeShown)
{
    mfrm = std::make_unique<Tmfrm>();
    mfrm->E1Click();
    mfrm->M1Click();
    EXPECT_FALSE(mfrm->N4->isEnabled());
    EXPECT_FALSE(mfrm->N10->isEnabled());
    receive("LSETS\r\nLSETE\r\n");
    mfrm->E1Click();
    mfrm->M1Click();
    EXPECT_TRUE(mfrm->N4->isEnabled());
    EXPECT_TRUE(mfrm->N10->isEnabled());

    mfrm->WEB1->trigger();
    ASSERT_EQ(fixture.opened.size(), 1);
    EXPECT_EQ(fixture.opened[0].scheme(), u"https");
}

TEST_F(Startup, MinimisedWindowHidesOnlyWhereATrayCanBringItBack)
{
    for (const bool tray : {true, false}) {
        ui::Hooks hooks;
        hooks.hasNotificationArea = [tray] { return tray; };
        hooks.terminate = [] {};
        ui::ScopedHooks scoped(hooks);
        mfrm = std::make_unique<Tmfrm>();
        mfrm->show();
        mfrm->showMinimized();
        ASSERT_TRUE(TestPeer::waitFor([&] { return mfrm->isMinimized(); }));
        passTicks(2);
        EXPECT_EQ(mfrm->isVisible(), !tray) << tray;
        // A normal window either way: a utility window may lose its minimise
        // button and its place in window switching.
        EXPECT_EQ(mfrm->windowType(), Qt::Window) << tray;
    }
}

} // namespace
