#include "server/EventLoop.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <cstdint>

PostToLoop PosterFor(asio::io_context &io)
{
    return [&io](std::function<void()> task) { asio::post(io, std::move(task)); };
}

void RunAfter(asio::io_context &io, std::chrono::milliseconds delay, std::function<void()> task)
{
    auto timer = std::make_shared<asio::steady_timer>(io, delay);
    timer->async_wait([timer, task = std::move(task)](const std::error_code &) { task(); });
}

struct LoopTimer::State {
    explicit State(asio::io_context &io) : timer(io) {}
    asio::steady_timer timer;
    std::uint64_t turn = 0; // a task runs only in the turn it was started for
    bool active = false;
};

LoopTimer::LoopTimer(asio::io_context &io) : m_io(io) {}

LoopTimer::~LoopTimer()
{
    stop();
}

void LoopTimer::start(std::chrono::milliseconds delay, std::function<void()> task)
{
    if (!m_state)
        m_state = std::make_shared<State>(m_io);
    const std::uint64_t turn = ++m_state->turn;
    m_state->active = true;
    m_state->timer.expires_after(delay);
    m_state->timer.async_wait([weak = std::weak_ptr<State>(m_state), turn, task = std::move(task)](const std::error_code &) {
        const auto state = weak.lock();
        if (!state || state->turn != turn || !state->active)
            return;
        state->active = false;
        task();
    });
}

// The wait still pending holds only a weak reference, so it finds nothing to
// run; a task that stops its own timer keeps the state until it returns.
void LoopTimer::stop()
{
    m_state.reset();
}

bool LoopTimer::isActive() const
{
    return m_state && m_state->active;
}
