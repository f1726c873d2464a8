// A server that starts a member list and never ends it: the lines collected
// are bounded, and past the bound the connection is dropped as broken.
#include "MainWindowFixture.h"

namespace {

using HostileList = MainWindowTest;

TEST_F(HostileList, AListThatNeverEndsDropsTheConnectionInsteadOfGrowing) {
    startClient();
    ASSERT_TRUE(loggedOn());
    peer.send("001\t0");
    peer.send("LSETS");
    // 72 MiB of lines and no LSETE.
    const QByteArray line = "LSETD\tU\t0\tm\t\t" + QByteArray(1000, 'n') + "\t\t\t\r\n";
    peer.sendRaw(line.repeated(72 * 1024));
    qsizetype largestList = 0;
    EXPECT_TRUE(TestPeer::waitFor(
        [&] {
            largestList = std::max(largestList, mfrm->ListBuffer.byteCount());
            return !peer.clientConnected();
        },
        60000))
        << "the client hangs up on a list beyond any sane size";
    EXPECT_LE(largestList, 64 * 1024 * 1024 + line.size());
    EXPECT_LT(mfrm->ListBuffer.byteCount(), 64 * 1024 * 1024) << "what was collected is given back";
    EXPECT_TRUE(fixture.messages.isEmpty()) << "dropped like a lost connection, without a box";
    // It logs on again by itself, and the list it is sent then loads.
    EXPECT_TRUE(TestPeer::waitFor([&] { return peer.connectionCount() >= 2; }, 30000));
}

} // namespace
