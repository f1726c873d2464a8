#include "main/Session.h"
#include "wire/RetryPause.h"

#include <gtest/gtest.h>

namespace {

// Every row of the session timer's table.
TEST(SessionStep, OneStepPerTickInOrder)
{
    const struct {
        TSessionState before;
        bool connected;
        SessionStep step;
        TSessionState after;
    } cases[] = {
        {ssIdle, false, SessionStep::None, ssIdle},
        {ssIdle, true, SessionStep::None, ssIdle},
        {ssConnectRequested, false, SessionStep::OpenSocket, ssIdle},
        {ssConnectRequested, true, SessionStep::OpenSocket, ssIdle},
        {ssOnline, true, SessionStep::None, ssOnline},
        {ssOnline, false, SessionStep::None, ssConnectRequested}, // the next tick reconnects
        {ssLogoffRequested, true, SessionStep::CloseSocket, ssLogoffRequested},
        {ssLogoffRequested, false, SessionStep::CloseSocket, ssLogoffRequested}, // lasting
    };
    for (const auto &c : cases) {
        TSessionState state = c.before;
        EXPECT_EQ(NextSessionStep(state, c.connected), c.step) << c.before << " " << c.connected;
        EXPECT_EQ(state, c.after) << c.before << " " << c.connected;
    }
}

// The pause before another handshake with a server whose TLS was refused.
TEST(RetryPause, DoublesFromOneTickToHalfAMinuteAndEndsOnReset)
{
    using namespace std::chrono_literals;
    const RetryPause::Clock::time_point t0{};
    RetryPause pause(100ms, 30s);
    EXPECT_FALSE(pause.holds(t0)) << "nothing failed yet";
    const std::chrono::milliseconds expected[] = {100ms, 200ms, 400ms, 800ms, 1600ms, 3200ms,
                                                  6400ms, 12800ms, 25600ms, 30000ms, 30000ms};
    auto now = t0;
    for (const auto wait : expected) {
        pause.failed(now);
        EXPECT_EQ(pause.pause(), wait);
        EXPECT_TRUE(pause.holds(now + wait - 1ms));
        EXPECT_FALSE(pause.holds(now + wait));
        now += wait;
    }
    pause.failed(now);
    pause.reset();
    EXPECT_FALSE(pause.holds(now));
    pause.failed(now);
    EXPECT_EQ(pause.pause(), 100ms) << "a reset starts again from one tick";
}

} // namespace
