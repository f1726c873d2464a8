#include "server/EventLoop.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

// Runs the loop until nothing is left to run (every timer due or cancelled).
void RunOut(asio::io_context &io)
{
    io.restart();
    io.run();
}

} // namespace

TEST(LoopTimer, RunsOnceUnlessStoppedRestartedOrDestroyed)
{
    asio::io_context io(1);
    std::vector<int> ran;

    LoopTimer once(io);
    EXPECT_FALSE(once.isActive());
    once.start(1ms, [&] { ran.push_back(1); });
    EXPECT_TRUE(once.isActive());

    LoopTimer stopped(io);
    stopped.start(1ms, [&] { ran.push_back(2); });
    stopped.stop();
    EXPECT_FALSE(stopped.isActive());

    LoopTimer restarted(io);
    restarted.start(1ms, [&] { ran.push_back(3); });
    restarted.start(2ms, [&] { ran.push_back(4); });

    LoopTimer stoppedThenStarted(io);
    stoppedThenStarted.start(1ms, [&] { ran.push_back(5); });
    stoppedThenStarted.stop();
    stoppedThenStarted.start(1ms, [&] { ran.push_back(6); });

    auto destroyed = std::make_unique<LoopTimer>(io);
    destroyed->start(1ms, [&] { ran.push_back(7); });
    destroyed.reset();

    RunOut(io);
    std::sort(ran.begin(), ran.end());
    EXPECT_EQ(ran, (std::vector<int>{1, 4, 6}));
    EXPECT_FALSE(once.isActive());
}

// A task may start its own timer again (a periodic check) or stop it, and a
// task may destroy the timer that runs it.
TEST(LoopTimer, ATaskMayRestartStopOrDestroyItsOwnTimer)
{
    asio::io_context io(1);
    int periodic = 0;
    LoopTimer again(io);
    std::function<void()> tick = [&] {
        if (++periodic < 3)
            again.start(1ms, tick);
    };
    again.start(1ms, tick);

    bool stoppedRan = false;
    LoopTimer self(io);
    self.start(1ms, [&] {
        stoppedRan = true;
        self.stop();
        EXPECT_FALSE(self.isActive());
    });

    auto owned = std::make_unique<LoopTimer>(io);
    bool destroyedRan = false;
    owned->start(1ms, [&] {
        destroyedRan = true;
        owned.reset();
    });

    RunOut(io);
    EXPECT_EQ(periodic, 3);
    EXPECT_TRUE(stoppedRan);
    EXPECT_TRUE(destroyedRan);
    EXPECT_FALSE(again.isActive());
}
