// The drain and the dispatcher: routing, reports of bad frames, and that the
// frame after a bad one still takes effect.
#include "MainWindowFixture.h"

namespace {

class Dispatch : public MainWindowTest {
protected:
    void SetUp() override { startClient("[USER]\r\nPWDMEMORY=0\r\n"); }
};

TEST_F(Dispatch, BadFramesAreReportedAndTheNextFrameIsHandledUnlessTheProgramEnds)
{
    const QByteArray huge(1024 * 1024, 'x');
    const QByteArray half(512 * 1024 - 8, 'x'); // two fields of it fill the longest frame
    const struct {
        const char *name;
        QByteArray frame;
        QString message; // a prefix of the box's text; empty for none
        bool error;      // shown in the handler-failure box
        bool terminates;
    } cases[] = {
        {"missing field", "001", {}, true, false},
        {"not a number", "001\tzero", {}, true, false},
        {"empty code", "\tMSG\tx", QStringLiteral("Get Unknown Data :\tMSG\tx"), false, true},
        {"lower-case code", "msg\tu01\tu01\ttext", QStringLiteral("Get Unknown Data :msg"), false, true},
        {"client-only MRC", "MRC\t1\thello", QStringLiteral("Get Unknown Data :MRC\t1"), false, true},
        {"client-only MRE", "MRE\t1", QStringLiteral("Get Unknown Data :MRE"), false, true},
        {"client-only MRI", "MRI\t1\tN", QStringLiteral("Get Unknown Data :MRI"), false, true},
        {"invalid cp932", "002\t\xFF\x82\x20\xA0", {}, false, false},
        {"NUL bytes", QByteArray("002\tA\0B", 7), {}, false, false},
        {"1 MiB of fields", "002\t" + half + "\t" + half, {}, false, false},
        {"1 MiB unknown", huge, QStringLiteral("Get Unknown Data :xxx"), false, true},
    };
    bool terminatedUnderTheBox = false;
    fixture.whileBoxOpen = [&] { terminatedUnderTheBox |= fixture.terminations > 0; };
    for (const auto &c : cases) {
        fixture.messages.clear();
        fixture.errors.clear();
        fixture.terminations = 0;
        fixture.forgetTermination();
        mfrm->InboundQueue.clear();
        OwnDisplayName.clear();
        receive(c.frame + "\r\n002\tafter\r\n");
        if (c.error) {
            // The box opens once the drain has returned; the frames after the
            // failing one go at the next tick.
            EXPECT_TRUE(TestPeer::waitFor([&] { return !fixture.errors.isEmpty(); })) << c.name;
            receive({});
        }
        // Once the program is to end, no further frame is handled.
        EXPECT_EQ(OwnDisplayName, c.terminates ? "" : "after") << c.name;
        EXPECT_EQ(fixture.errors.size(), c.error ? 1 : 0) << c.name;
        EXPECT_EQ(fixture.terminations, c.terminates ? 1 : 0) << c.name;
        EXPECT_FALSE(terminatedUnderTheBox) << c.name << ": the end comes after the box is closed";
        if (c.message.isEmpty())
            EXPECT_TRUE(fixture.messages.isEmpty()) << c.name;
        else
            EXPECT_TRUE(fixture.messages.value(0).startsWith(c.message)) << c.name;
    }
}

TEST_F(Dispatch, FailureTextNamesTheCodeAndField)
{
    receive("001\tzero\r\n");
    ASSERT_TRUE(TestPeer::waitFor([&] { return !fixture.errors.isEmpty(); }));
    ASSERT_EQ(fixture.errors.size(), 1);
    EXPECT_TRUE(fixture.errors[0].contains(u"001"));
    EXPECT_TRUE(fixture.errors[0].contains(u"zero"));
}

TEST_F(Dispatch, FramesArrivingUnderAnOpenBoxWaitForTheSameDrain)
{
    QList<QByteArray> seenWhileOpen;
    fixture.whileBoxOpen = [&] {
        // A nested loop delivers socket reads and timer ticks: new frames are
        // queued, and the drain does not run again underneath.
        mfrm->ReceiveBuffer.CutFrames("002\tsecond\r\n", mfrm->InboundQueue);
        mfrm->ProcTimerTimer();
        seenWhileOpen.append(OwnDisplayName);
    };
    receive("002\tfirst\r\n001\t2\r\n");
    EXPECT_EQ(seenWhileOpen, QList<QByteArray>{"first"});
    EXPECT_EQ(OwnDisplayName, "second");
    EXPECT_TRUE(mfrm->InboundQueue.empty());
}

TEST_F(Dispatch, FramesAfterAFailingOneAreHandledWhileItsBoxIsOpen)
{
    // The drain runs from its timer alone: the failure box must not hold that
    // timer up.
    QByteArray nameWhileOpen;
    fixture.whileBoxOpen = [&] {
        TestPeer::waitFor([&] { return OwnDisplayName == "name"; }, 2000);
        nameWhileOpen = OwnDisplayName;
    };
    OwnDisplayName.clear();
    mfrm->ReceiveBuffer.CutFrames("001\tabc\r\n002\tname\r\n", mfrm->InboundQueue);
    ASSERT_TRUE(TestPeer::waitFor([&] { return !fixture.errors.isEmpty(); }));
    EXPECT_EQ(nameWhileOpen, "name");
    EXPECT_EQ(panel1(), QStringLiteral("nameでログインしています"));
}

TEST_F(Dispatch, UnknownCodesInBulkEndTheProgramAfterOneBox)
{
    QByteArray bulk;
    for (int i = 0; i < 5000; ++i)
        bulk += "XYZ\t" + QByteArray::number(i) + "\r\n";
    OwnDisplayName.clear();
    receive(bulk + "002\tafter\r\n");
    passTicks(2);
    EXPECT_EQ(fixture.messages, QStringList{QStringLiteral("Get Unknown Data :XYZ\t0")});
    EXPECT_EQ(fixture.terminations, 1);
    EXPECT_TRUE(OwnDisplayName.isEmpty());
}

TEST_F(Dispatch, ManyFailuresShowAFewBoxesThenOneSummary)
{
    // Ids that end in a lone lead byte swallow the TAB after them: each frame
    // is one field short and fails. The user leaves the first box open while
    // the rest arrive.
    constexpr int failing = 3000;
    QByteArray bulk;
    for (int i = 0; i < failing; ++i)
        bulk += "LSETD\tU\t0\tid" + QByteArray::number(i) + "\x81\t-\tName\tName\t\t\r\n";
    fixture.whileBoxOpen = [&] {
        if (fixture.errors.size() == 1)
            TestPeer::waitFor([&] { return mfrm->InboundQueue.empty() && OwnDisplayName == "after"; }, 30000);
    };
    OwnDisplayName.clear();
    receive(bulk + "002\tafter\r\n");
    ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.errors.size() > FailureFold::ShownBoxes; }, 30000));
    passTicks(3);
    ASSERT_EQ(fixture.errors.size(), FailureFold::ShownBoxes + 1);
    EXPECT_EQ(fixture.errors.last(), QStringLiteral("処理エラー: ほかに %1 件のデータを処理できませんでした。")
                                         .arg(failing - FailureFold::ShownBoxes));
    EXPECT_EQ(OwnDisplayName, "after");

    // Once every box is closed, the next failure has its own box again.
    fixture.whileBoxOpen = nullptr;
    receive("001\tx\r\n");
    ASSERT_TRUE(TestPeer::waitFor([&] { return fixture.errors.size() == FailureFold::ShownBoxes + 2; }));
    EXPECT_TRUE(fixture.errors.last().contains(u"001"));
}

TEST_F(Dispatch, AbsenceMessagesBeyondAnySaneNumberAreRefused)
{
    const qsizetype limit = AbsenceMessageQueue::MaxEntries;
    QByteArray bulk;
    for (qsizetype i = 0; i < limit + 50; ++i)
        bulk += "AMS\t2026/12/10 09:00:00\t-\tsender\tmessage " + QByteArray::number(i) + "\t\r\n";
    // The user leaves the first box open: the rest are folded into a summary.
    fixture.whileBoxOpen = [&] {
        if (fixture.errors.size() == 1)
            TestPeer::waitFor([&] { return OwnDisplayName == "after"; }, 20000);
    };
    OwnDisplayName.clear();
    receive(bulk + "002\tafter\r\n");
    ASSERT_TRUE(TestPeer::waitFor([&] { return OwnDisplayName == "after" && !fixture.errors.isEmpty(); }));
    EXPECT_EQ(mfrm->AbsenceQueue.size(), limit);
    EXPECT_EQ(fixture.errors[0], QStringLiteral("不在メッセージが多すぎるため、これ以上受け取れません"));
    EXPECT_TRUE(mfrm->AbsenceQueue.takeFirst().endsWith("\tmessage 0\t"));

    // Huge messages meet the bound on bytes first.
    fixture.whileBoxOpen = nullptr;
    while (!mfrm->AbsenceQueue.isEmpty())
        mfrm->AbsenceQueue.takeFirst();
    const QByteArray text(256 * 1024, 'x');
    for (int i = 0; i < 80; ++i)
        receive("AMS\tt\t-\ts\t" + text + "\t\r\n");
    // Each entry is the text and the three other fields, each with its TAB.
    EXPECT_EQ(mfrm->AbsenceQueue.size(), AbsenceMessageQueue::MaxBytes / (text.size() + 7));
}

TEST_F(Dispatch, DisplayNameIsShownAsPlainText)
{
    receive("002\t<b>x</b>\r\n");
    EXPECT_EQ(panel1(), QStringLiteral("<b>x</b>でログインしています"));
    EXPECT_EQ(mfrm->StatusPanel1->textFormat(), Qt::PlainText);
}

TEST_F(Dispatch, ZeroAloneAndWithATabReachTheLogonHandler)
{
    // Not connected, so the answer is dropped silently; what matters is that
    // neither form is an unknown code.
    receive("000\r\n000\t\r\n");
    EXPECT_TRUE(fixture.messages.isEmpty());
    EXPECT_EQ(fixture.terminations, 0);
}

} // namespace

namespace {

// While a box holds the drain up, a server that keeps sending meets a full
// socket instead of growing the client's memory; once the box closes every
// frame is handled, in order.
using Backpressure = MainWindowTest;

TEST_F(Backpressure, ServerWaitsWhileABoxIsOpenAndNoFrameIsLost)
{
    startClient();
    ASSERT_TRUE(loggedOn());
    constexpr int frames = 300000; // about 29 MiB
    qsizetype largestQueue = 0;
    fixture.whileBoxOpen = [&] {
        QByteArray burst;
        for (int i = 0; i < frames; ++i)
            burst += "LSETD\tU\t0\tm" + QByteArray::number(i) + "\t\t" + QByteArray(70, 'n') + "\t\t\t\r\n";
        peer.sendRaw(burst);
        // Past the high-water mark the client stops taking bytes; a few more
        // ticks show that the queue stays where it is.
        EXPECT_TRUE(TestPeer::waitFor(
            [&] { return mfrm->InboundQueue.byteCount() > Tmfrm::InboundQueueHighWater; }, 20000));
        passTicks(5);
        largestQueue = mfrm->InboundQueue.byteCount();
    };
    peer.send("001\t2");
    ASSERT_TRUE(TestPeer::waitFor([&] { return !fixture.messages.isEmpty(); }));
    EXPECT_GT(largestQueue, 0);
    EXPECT_LT(largestQueue, Tmfrm::InboundQueueHighWater + 2 * 1024 * 1024);
    ASSERT_TRUE(TestPeer::waitFor([&] { return mfrm->ListBuffer.size() == frames; }, 30000));
    EXPECT_TRUE(mfrm->ListBuffer.first().startsWith("U\t0\tm0\t"));
    EXPECT_TRUE(mfrm->ListBuffer.last().startsWith("U\t0\tm" + QByteArray::number(frames - 1) + "\t"));
}

} // namespace
