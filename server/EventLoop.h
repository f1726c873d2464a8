#pragma once

#include <chrono>
#include <functional>
#include <memory>

namespace asio {
class io_context;
}

// The server runs on one event loop (epoll, through Asio). Worker threads
// hand their results back to it through a post function.
using PostToLoop = std::function<void(std::function<void()>)>;
PostToLoop PosterFor(asio::io_context &io);

// Runs `task` on the loop once the delay has passed. The task itself checks
// that what it works on still exists; nothing cancels it.
void RunAfter(asio::io_context &io, std::chrono::milliseconds delay, std::function<void()> task);

// A timer on the loop that runs its task once; restarting or destroying it
// cancels what was due. It holds no memory until started and none once
// stopped: every connection has several, and most never run.
class LoopTimer {
public:
    explicit LoopTimer(asio::io_context &io);
    ~LoopTimer();
    LoopTimer(const LoopTimer &) = delete;
    LoopTimer &operator=(const LoopTimer &) = delete;

    void start(std::chrono::milliseconds delay, std::function<void()> task);
    void stop();
    bool isActive() const;

private:
    struct State;
    asio::io_context &m_io;
    std::shared_ptr<State> m_state;
};
