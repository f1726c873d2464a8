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

// A timer on the loop that runs its task once; restarting or destroying it
// cancels what was due.
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
    std::shared_ptr<State> m_state;
};
