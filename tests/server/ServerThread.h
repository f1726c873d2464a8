#pragma once

#include "server/ImServer.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <functional>
#include <future>
#include <optional>
#include <memory>
#include <thread>

// The server with its event loop on a thread of its own, as the program runs
// it on its main thread, while the test's thread runs Qt's loop for the
// clients.
class ServerThread {
public:
    ServerThread() = default;
    ~ServerThread() { stop(); }
    ServerThread(const ServerThread &) = delete;
    ServerThread &operator=(const ServerThread &) = delete;

    // The server is made, started and destroyed on the loop's thread, which
    // its store's database connection belongs to.
    bool start(ServerOptions options, QString *error)
    {
        m_io = std::make_unique<asio::io_context>(1);
        m_thread = std::thread([io = m_io.get()] {
            auto work = asio::make_work_guard(*io);
            io->run();
        });
        bool started = false;
        onLoop([&] {
            m_server = new ImServer(*m_io, std::move(options));
            started = m_server->start(asio::ip::address_v4::loopback(), 0, error);
            m_port = started ? m_server->port() : 0;
        });
        return started;
    }

    // Nothing the server posted while it went runs after it.
    void stop()
    {
        if (!m_io)
            return;
        asio::post(*m_io, [this] {
            delete std::exchange(m_server, nullptr);
            m_io->stop();
        });
        m_thread.join();
        m_io.reset();
    }

    quint16 port() const { return m_port; }

    // Runs `task` with the server on the loop's thread and returns its result.
    template <class Task>
    auto call(Task task)
    {
        std::optional<decltype(task(*m_server))> result;
        onLoop([&] { result.emplace(task(*m_server)); });
        return *result;
    }

private:
    void onLoop(const std::function<void()> &task)
    {
        std::promise<void> done;
        asio::post(*m_io, [&] {
            task();
            done.set_value();
        });
        done.get_future().get();
    }

    std::unique_ptr<asio::io_context> m_io;
    ImServer *m_server = nullptr;
    std::thread m_thread;
    quint16 m_port = 0;
};
