#include "server/Listener.h"

#include "server/ByteStream.h"
#include "server/TlsModule.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>

namespace {

// Room in the kernel's queue for a burst of logons, such as every client
// reconnecting after a restart.
constexpr int Backlog = 1024;
// Out of file descriptors: the connections waiting stay in the kernel's
// queue until some close, rather than the loop spinning on the error.
constexpr std::chrono::milliseconds NoDescriptorsPause{100};

} // namespace

struct Listener::State : std::enable_shared_from_this<State> {
    State(asio::io_context &io, Accepted accepted) : acceptor(io), pause(io), accepted(std::move(accepted)) {}

    void acceptNext()
    {
        acceptor.async_accept([self = shared_from_this()](const std::error_code &error, asio::ip::tcp::socket socket) {
            if (!self->acceptor.is_open() || error == asio::error::operation_aborted)
                return;
            if (error) {
                self->pause.expires_after(NoDescriptorsPause);
                self->pause.async_wait([self](const std::error_code &waited) {
                    if (!waited)
                        self->acceptNext();
                });
                return;
            }
            self->accepted(self->tls ? self->tls->stream(std::move(socket)) : PlainStream(std::move(socket)));
            self->acceptNext();
        });
    }

    asio::ip::tcp::acceptor acceptor;
    asio::steady_timer pause;
    Accepted accepted;
    std::shared_ptr<TlsEndpoint> tls;
};

Listener::Listener(asio::io_context &io, Accepted accepted)
    : m_state(std::make_shared<State>(io, std::move(accepted)))
{
}

Listener::~Listener()
{
    close();
}

bool Listener::listen(const asio::ip::address &ip, quint16 port, QString *error)
{
    std::error_code failure;
    asio::ip::tcp::acceptor &acceptor = m_state->acceptor;
    acceptor.open(ip.is_v6() ? asio::ip::tcp::v6() : asio::ip::tcp::v4(), failure);
    if (!failure)
        acceptor.set_option(asio::socket_base::reuse_address(true), failure);
    if (!failure)
        acceptor.bind(asio::ip::tcp::endpoint(ip, port), failure);
    if (!failure)
        acceptor.listen(Backlog, failure);
    if (failure) {
        *error = QStringLiteral("%1:%2: %3").arg(QString::fromStdString(ip.to_string())).arg(port).arg(QString::fromStdString(failure.message()));
        close();
        return false;
    }
    m_state->acceptNext();
    return true;
}

void Listener::useTls(std::shared_ptr<TlsEndpoint> endpoint)
{
    m_state->tls = std::move(endpoint);
}

quint16 Listener::port() const
{
    std::error_code ignored;
    return m_state->acceptor.local_endpoint(ignored).port();
}

void Listener::close()
{
    std::error_code ignored;
    m_state->acceptor.close(ignored);
    m_state->pause.cancel();
}
