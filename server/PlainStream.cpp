#include "server/ByteStream.h"

namespace {

class Plain final : public ByteStream {
public:
    explicit Plain(asio::ip::tcp::socket socket) : m_socket(std::move(socket)) { m_socket.non_blocking(true); }

    asio::ip::tcp::socket &tcp() override { return m_socket; }
    void asyncStart(Started done) override { done({}); }
    bool plain() const override { return true; }

    // Asio asks the kernel to watch the socket afresh (epoll_ctl) at every
    // wait. A read into a buffer of the connection's own in its place costs
    // as much: Asio 1.22 tries it at once whenever the last read brought
    // bytes, an empty recv per line (measured at 5,000 lines/s: two recvs and
    // no epoll_ctl per line, 0.33 against 0.275 CPU-s per 10,000 lines).
    void asyncRead(Read done) override
    {
        m_socket.async_wait(asio::socket_base::wait_read, [this, done = std::move(done)](const std::error_code &error) {
            if (error) {
                done(error, {});
                return;
            }
            const std::span<char> shared = SharedReadBuffer();
            std::error_code readError;
            const std::size_t count = m_socket.read_some(asio::buffer(shared.data(), shared.size()), readError);
            if (readError == asio::error::would_block || readError == asio::error::try_again) {
                asyncRead(done); // woken for nothing
                return;
            }
            done(readError, QByteArrayView(shared.data(), static_cast<qsizetype>(count)));
        });
    }

    void asyncWrite(const std::vector<asio::const_buffer> &buffers, Written done) override
    {
        m_socket.async_write_some(buffers, std::move(done));
    }

    // One sendmsg on the non-blocking socket; the loop's wait for room is
    // armed only when the socket refuses.
    std::size_t tryWrite(const std::vector<asio::const_buffer> &buffers, std::error_code &error) override
    {
        const std::size_t written = m_socket.write_some(buffers, error);
        if (error == asio::error::try_again)
            error = asio::error::would_block;
        return written;
    }

private:
    asio::ip::tcp::socket m_socket;
};

} // namespace

std::unique_ptr<ByteStream> PlainStream(asio::ip::tcp::socket socket)
{
    return std::make_unique<Plain>(std::move(socket));
}
