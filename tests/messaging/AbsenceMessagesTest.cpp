// Absence messages delivered at logon: queued whole by the main window, shown
// one at a time, oldest first, each after the user confirmed the one before.
#include "ClientFixture.h"
#include "main/Tmfrm.h"
#include "messaging/TAmsFrm.h"
#include "platform/WidgetText.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class AbsenceMessages : public testing::Test {
protected:
    void receive(const QByteArray &bytes)
    {
        mfrm.ReceiveBuffer.CutFrames(bytes, mfrm.InboundQueue);
        mfrm.ProcTimerTimer();
    }
    // One tick of the window's own timer, as the event loop delivers it.
    void tick()
    {
        QSignalSpy ticks(AmsFrm.Timer1, &QTimer::timeout);
        ASSERT_TRUE(ticks.wait(3000));
    }

    ClientFixture fixture;
    Tmfrm mfrm;
    TAmsFrm AmsFrm{mfrm.AbsenceQueue};
};

TEST_F(AbsenceMessages, ShownOneAtATimeOldestFirst)
{
    const QByteArray sender = FromWidgetText(QStringLiteral("鈴木 一郎"));
    receive("AMS\t2026/12/10 09:00:00\t\t" + sender + "\tfirst\t\r\n"
            "AMS\t2026/12/10 09:01:00\tanything at all\t" + sender + "\tsecond\t\r\n"
            "AMS\t2026/12/10 09:02:00\t\tx\tthird\t\r\n");
    EXPECT_EQ(mfrm.AbsenceQueue.size(), 3);
    EXPECT_TRUE(AmsFrm.isHidden()); // nothing shows when the frames arrive

    tick();
    ASSERT_TRUE(AmsFrm.isVisible());
    EXPECT_EQ(AmsFrm.gettimeLabel->text(), QStringLiteral("受付日時：2026/12/10 09:00:00"));
    EXPECT_EQ(AmsFrm.fromLabel->text(), QStringLiteral("送信者：鈴木 一郎"));
    EXPECT_EQ(AmsFrm.getmsg->toPlainText(), QStringLiteral("first"));
    tick(); // while one is shown the others wait
    EXPECT_EQ(AmsFrm.getmsg->toPlainText(), QStringLiteral("first"));

    QTest::mouseClick(AmsFrm.Button1, Qt::LeftButton);
    EXPECT_TRUE(AmsFrm.isHidden());
    tick();
    EXPECT_EQ(AmsFrm.getmsg->toPlainText(), QStringLiteral("second"));
    EXPECT_EQ(AmsFrm.gettimeLabel->text(), QStringLiteral("受付日時：2026/12/10 09:01:00"));

    AmsFrm.close(); // the close box confirms as well
    tick();
    EXPECT_EQ(AmsFrm.getmsg->toPlainText(), QStringLiteral("third"));
    EXPECT_TRUE(mfrm.AbsenceQueue.isEmpty());
}

TEST_F(AbsenceMessages, ShortFrameQueuesNothingAndTheNextOneStillArrives)
{
    receive("AMS\t2026/12/10 09:00:00\t\tsender\r\nAMS\tt\t\ts\tkept\t\r\n");
    EXPECT_TRUE(mfrm.AbsenceQueue.isEmpty());
    // The failure box opens once the drain has returned.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fixture.errors.size() == 1; }));
    mfrm.ProcTimerTimer(); // the frame after a failure goes at the next tick
    ASSERT_EQ(mfrm.AbsenceQueue.size(), 1);
    EXPECT_EQ(mfrm.AbsenceQueue.takeFirst(), "t\t\ts\tkept\t");
}

} // namespace
