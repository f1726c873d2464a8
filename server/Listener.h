#pragma once

#include <QString>

#include <functional>
#include <memory>

class ByteStream;
class TlsEndpoint;
namespace asio {
class io_context;
namespace ip {
class address;
}
} // namespace asio

// Accepts TCP connections on one address and hands each over as a stream.
class Listener {
public:
    using Accepted = std::function<void(std::unique_ptr<ByteStream> stream)>;

    Listener(asio::io_context &io, Accepted accepted);
    ~Listener();
    Listener(const Listener &) = delete;
    Listener &operator=(const Listener &) = delete;

    // Every connection from now on speaks TLS through this endpoint.
    void useTls(std::shared_ptr<TlsEndpoint> endpoint);
    // Port 0 picks a free port; port() tells which.
    bool listen(const asio::ip::address &address, quint16 port, QString *error);
    quint16 port() const;
    void close();

private:
    struct State;
    std::shared_ptr<State> m_state;
};
