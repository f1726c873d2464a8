// A server that opens thousands of rooms at once: every window opens, the
// program keeps answering in between, the rooms' traffic reaches them, and
// closing them all leaves each room once.
#include "../main/MainWindowFixture.h"
#include "meetings/TfrmMeet.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTextEdit>

namespace {

class ManyRooms : public MainWindowTest {};

TEST_F(ManyRooms, EveryRoomOpensWhileTheProgramKeepsAnswering)
{
    // VANTREL_MANY_ROOMS=10000 for the full burst; the default keeps the
    // test short and still shows a burst spread over many turns.
    const int rooms = qEnvironmentVariableIntValue("VANTREL_MANY_ROOMS") > 0
                          ? qEnvironmentVariableIntValue("VANTREL_MANY_ROOMS")
                          : 300;
    startClient();
    ASSERT_TRUE(loggedOn());
    QByteArray bytes;
    for (int i = 1; i <= rooms; ++i) {
        const QByteArray id = QByteArray::number(i);
        bytes += "MRM\t" + id + "\troom " + id + "\t\r\nMRD\t" + id + "\tSYS\tline of " + id + "\t\r\n";
    }
    bytes += "MRD\t1\tSYS\tlast\t\r\n";
    bytes += "MRD\t" + QByteArray::number(rooms) + "\tCHI\tu02\t\r\n"; // no state: fails when handed over

    // The longest time the event loop went without a turn, from the burst
    // until every window is open.
    QElapsedTimer clock, sinceTurn;
    qint64 longestWait = 0;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longestWait = std::max(longestWait, sinceTurn.restart());
    });
    clock.start();
    sinceTurn.start();
    turns.start();
    receive(bytes);
    longestWait = std::max(longestWait, sinceTurn.restart());
    const qint64 drained = clock.elapsed();
    EXPECT_EQ(mfrm->RoomTable.size(), rooms) << "every room has its row at once";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !mfrm->RoomTable.hasPending(); }, 600000));
    turns.stop();
    const qint64 opened = clock.restart();

    const QList<RoomEntry> rows = mfrm->RoomTable.rows();
    ASSERT_EQ(rows.size(), rooms);
    for (const RoomEntry &row : rows)
        ASSERT_TRUE(row.window && static_cast<QWidget *>(row.window.data())->isVisible()) << row.key.constData();
    auto *first = static_cast<TfrmMeet *>(rows.first().window.data());
    auto *last = static_cast<TfrmMeet *>(rows.last().window.data());
    EXPECT_EQ(first->msgout->toPlainText(), QStringLiteral("line of 1\nlast"));
    EXPECT_EQ(last->msgout->toPlainText(), QStringLiteral("line of %1").arg(rooms));
    EXPECT_LT(longestWait, 2000) << "the program answered at least every two seconds";
    EXPECT_TRUE(QTest::qWaitFor([&] { return fixture.errors.size() == 1; })) << "the short sub-frame failed alone";

    const qsizetype before = peer.frames().size();
    for (const RoomEntry &row : rows)
        static_cast<QWidget *>(row.window.data())->close();
    const qint64 closed = clock.restart();
    EXPECT_EQ(mfrm->RoomTable.size(), 0);
    ASSERT_TRUE(TestPeer::waitFor([&] { return peer.frames().size() >= before + rooms; }, 60000));
    const QByteArrayList sent = peer.frames().mid(before);
    EXPECT_EQ(QSet<QByteArray>(sent.begin(), sent.end()).size(), rooms) << "one MRE each";
    EXPECT_TRUE(sent.contains("MRE\t1\t"));
    std::printf("%d rooms: drain %lld ms, all open after %lld ms more, longest wait for the event loop %lld ms, "
                "closing %lld ms\n",
                rooms, static_cast<long long>(drained), static_cast<long long>(opened),
                static_cast<long long>(longestWait), static_cast<long long>(closed));
}

} // namespace
