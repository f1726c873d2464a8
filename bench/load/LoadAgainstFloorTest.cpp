// The load generator against the floor relay, both in this process: it must
// log everyone on, count every message once, time every copy back, keep the
// rate it was given and hold idle connections open.

#include "Clock.h"
#include "FloorRelay.h"
#include "LoadPhases.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class LoadAgainstFloor : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_floor.listen("127.0.0.1", 0, &error)) << error;
        m_thread = std::thread([this] { m_floor.run(); });
    }
    void TearDown() override
    {
        m_floor.stop();
        m_thread.join();
    }

    LoadTarget target() const { return {"127.0.0.1", m_floor.port(), Dialect::Vantrel, {}}; }

    FloorRelay m_floor;
    std::thread m_thread;
    const ProcessProbe m_noServer{0};
};

TEST_F(LoadAgainstFloor, LogsOnRoutesAndTimesEveryMessage)
{
    constexpr int Clients = 20;
    LoadEngine engine(target(), Clients, 0, 40);
    const StormResult storm = LogonStorm(engine, m_noServer, false, 10);
    ASSERT_TRUE(storm.complete);
    EXPECT_EQ(storm.loggedOn, Clients);
    EXPECT_EQ(storm.counters.attempts, Clients);
    EXPECT_EQ(storm.counters.cutOff, 0);

    const RoutingResult loop = ClosedLoop(engine, m_noServer, 2, 0.1, 0.3);
    EXPECT_GT(loop.messages, 100);
    EXPECT_GT(loop.p50Ms, 0);
    EXPECT_GE(loop.p99Ms, loop.p50Ms);
    EXPECT_GT(loop.deliveryP50Ms, 0);
    EXPECT_GE(loop.deliveryP99Ms, loop.deliveryP50Ms);
    // After the drain every message has been delivered once and copied back once.
    EXPECT_EQ(engine.inFlight(), 0);
    EXPECT_EQ(engine.counters().copies, engine.counters().sent);
    EXPECT_EQ(engine.counters().deliveries, engine.counters().sent);

    const long sentBefore = engine.counters().sent;
    const RoutingResult fixed = FixedRate(engine, m_noServer, 2000, 0.1, 0.5);
    // 0.6 s at 2,000/s, all of it sent and back; about 1,000 copies in the measured half-second.
    EXPECT_NEAR(static_cast<double>(engine.counters().sent - sentBefore), 1200, 60);
    EXPECT_NEAR(fixed.messagesPerSecond, 2000, 400);
    EXPECT_EQ(engine.counters().copies, engine.counters().sent);
    EXPECT_EQ(engine.counters().deliveries, engine.counters().sent);
}

TEST_F(LoadAgainstFloor, HoldsIdleConnectionsBesideTheClients)
{
    LoadEngine engine(target(), 4, 0, 40);
    ASSERT_TRUE(LogonPaced(engine, 2, 10));
    // More than the batch in which they are opened, logged on as users other than the clients'.
    ASSERT_TRUE(OpenIdleConnections(engine, 300, 4, 50, 10));
    EXPECT_EQ(engine.idleReady(), 300);
    EXPECT_EQ(engine.idleOpen(), 300);
    const RoutingResult fixed = FixedRate(engine, m_noServer, 1000, 0.05, 0.2);
    EXPECT_GT(fixed.messages, 0);
    engine.closeIdle();
    EXPECT_EQ(engine.idleOpen(), 0);
    EXPECT_EQ(engine.onCount(), 4);
}

} // namespace
