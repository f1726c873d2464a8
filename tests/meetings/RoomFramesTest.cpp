// MRM, MRJ and MRD as the main window handles them: which rooms open, which
// invitations show, where room traffic goes, and what bad frames get.
#include "../main/MainWindowFixture.h"
#include "meetings/TfrmJoin.h"
#include "meetings/TfrmMeet.h"
#include "platform/WidgetText.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTextEdit>

namespace {

class RoomFrames : public MainWindowTest {
protected:
    void SetUp() override
    {
        startClient();
        ASSERT_TRUE(loggedOn());
    }
    template <typename W>
    static QList<W *> Open()
    {
        QList<W *> found;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<W *>(w); window && window->isVisible())
                found.append(window);
        return found;
    }
    TfrmMeet *room(const QByteArray &key) { return qobject_cast<TfrmMeet *>(mfrm->RoomTable.find(key)); }
    QString transcript(const QByteArray &key) { return room(key)->msgout->toPlainText(); }
};

TEST_F(RoomFrames, RoomsOpenOnceByTheirCanonicalId)
{
    receive("MRM\t007\tSeven\t\r\nMRD\t7\tSYS\tto seven\t\r\nMRD\t+7\tSYS\tagain\t\r\n");
    ASSERT_TRUE(room("7"));
    EXPECT_EQ(room("7")->RoomId, 7);
    EXPECT_EQ(room("7")->windowTitle(), QStringLiteral("Seven"));
    EXPECT_EQ(transcript("7"), QStringLiteral("to seven\nagain"));

    receive("MRM\t7\tRenamed\t\r\nMRM\t0007\tRenamed\t\r\n");
    EXPECT_EQ(Open<TfrmMeet>().size(), 1);
    EXPECT_EQ(room("7")->windowTitle(), QStringLiteral("Seven")) << "the caption stays";

    receive("MRM\t-5\tNegative\t\r\n");
    ASSERT_TRUE(room("-5"));
    EXPECT_EQ(room("-5")->RoomId, -5);

    receive("MRM\t0\tzero\t\r\nMRM\tabc\tletters\t\r\nMRM\t4294967303\ttoo big\t\r\n");
    EXPECT_EQ(Open<TfrmMeet>().size(), 2);
    EXPECT_EQ(mfrm->RoomTable.size(), 2);
    EXPECT_TRUE(fixture.messages.isEmpty());
    EXPECT_TRUE(fixture.errors.isEmpty());
}

TEST_F(RoomFrames, InvitationsShowForRoomsNotOpenHere)
{
    receive("MRM\t3\tOpen\t\r\nMRJ\t3\tOpen\tu02\tjoin us\t\r\nMRJ\t0\tx\ty\tz\t\r\n");
    EXPECT_TRUE(Open<TfrmJoin>().isEmpty());
    EXPECT_EQ(fixture.beeps, 0);

    const QByteArray name = FromWidgetText(QStringLiteral("定例会議"));
    receive("MRJ\t12\t" + name + "\t" + FromWidgetText(QStringLiteral("鈴木")) + "\t<b>come</b>\t\r\n"
            "MRJ\t012\tsame room\tu03\tagain\t\r\n");
    const QList<TfrmJoin *> joins = Open<TfrmJoin>();
    ASSERT_EQ(joins.size(), 2) << "two invitations, two dialogs";
    EXPECT_EQ(fixture.beeps, 2);
    TfrmJoin *first = joins[0]->rowner->text() == QStringLiteral("鈴木") ? joins[0] : joins[1];
    EXPECT_EQ(first->RoomId, 12);
    EXPECT_EQ(first->rname->text(), QStringLiteral("定例会議"));
    EXPECT_EQ(first->rmsg->text(), QStringLiteral("<b>come</b>"));
    EXPECT_EQ(mfrm->RoomTable.size(), 1) << "join dialogs are not rooms";
}

TEST_F(RoomFrames, TrafficForNoRoomIsReportedEachTime)
{
    receive("MRD\tabc\tSYS\tx\t\r\nMRD\t99999999999\tSYS\tx\t\r\nMRD\t0\tSYS\tx\t\r\n");
    EXPECT_EQ(fixture.messages, QStringList(3, QStringLiteral("room id error")));
    fixture.messages.clear();

    receive("MRM\t8\tEight\t\r\n");
    room("8")->close();
    receive("MRD\t8\tSYS\tone\t\r\nMRD\t8\tCHA\t1\tu\tn\tt\t\r\nMRD\t9\tADM\tu\tn\t\r\n");
    EXPECT_EQ(fixture.messages, QStringList(3, QStringLiteral("room memory error")));
    EXPECT_EQ(mfrm->RoomTable.size(), 0);
}

TEST_F(RoomFrames, ABadSubFrameFailsAloneAndTheNextIsHandled)
{
    receive("MRM\t4\tFour\t\r\n");
    receive("MRD\t4\t\r\nMRD\t4\tSYS\tafter\t\r\n");
    // Failure boxes open once the drain has returned.
    EXPECT_TRUE(QTest::qWaitFor([&] { return fixture.errors.size() == 1; })) << "no sub-code";
    EXPECT_TRUE(QTest::qWaitFor([&] { return transcript("4") == QStringLiteral("after"); })) << transcript("4").toStdString();

    receive("MRD\t4\tCHA\tstamp\tu02\tname\t\r\nMRD\t4\tNEW\tx\t\r\nMRD\t4\tSYS\tlast\t\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fixture.errors.size() == 2; })) << "a chat line without its text";
    EXPECT_TRUE(QTest::qWaitFor([&] { return transcript("4") == QStringLiteral("after\nlast"); })) << transcript("4").toStdString();
    EXPECT_TRUE(fixture.messages.isEmpty());

    receive("MRM\t5\r\nMRJ\t5\tname\tu02\r\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fixture.errors.size() == 4; }))
        << "MRM without a name, MRJ without a message";
    EXPECT_EQ(mfrm->RoomTable.size(), 1);
    EXPECT_TRUE(Open<TfrmJoin>().isEmpty());
}

TEST_F(RoomFrames, ClosingLeavesTheRoomButTheConnectionsEndDoesNot)
{
    receive("MRM\t21\tA\t\r\nMRM\t22\tB\t\r\n");
    room("21")->X1Click();
    EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().contains("MRE\t21\t"); }));
    EXPECT_EQ(mfrm->RoomTable.size(), 1);

    peer.closeClient();
    ASSERT_TRUE(TestPeer::waitFor([&] { return !peer.clientConnected(); }));
    passTicks(3);
    mfrm->LogoffItemClick();
    passTicks(3);
    EXPECT_TRUE(room("22")) << "the room stays open";
    EXPECT_TRUE(room("22")->isVisible());
}

TEST_F(RoomFrames, TheProgramsEndSendsNoMre)
{
    receive("MRM\t31\tA\t\r\n");
    QPointer<TfrmMeet> open = room("31");
    mfrm.reset();
    EXPECT_TRUE(open.isNull());
    ASSERT_TRUE(TestPeer::waitFor([&] { return !peer.clientConnected(); }));
    EXPECT_FALSE(peer.frames().contains("MRE\t31\t"));
}

} // namespace
