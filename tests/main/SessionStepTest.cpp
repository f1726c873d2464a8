#include "main/Session.h"

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

} // namespace
