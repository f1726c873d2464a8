#include "server/ByteStream.h"

#include <QFile>

#include <asio/post.hpp>
#include <asio/ssl.hpp>
#include <asio/steady_timer.hpp>

#include <cerrno>
#include <chrono>
#include <functional>
#include <string>

namespace {

// A TLS record carries at most 16 KiB of plain text.
constexpr std::size_t RecordBytes = 16 * 1024;

// OpenSSL straight on the non-blocking socket, driven by the loop's readiness
// waits as the plain stream is: no buffers or copies of a layer between.
//
// OpenSSL's own read and write buffers (some 34 KiB) stay while the
// connection is busy and are given back once it has been quiet for a while.
// Letting OpenSSL release them after every record made each record allocate
// and free them, which at full load cost the server more than the cipher;
// keeping them for every idle user would cost 34 KiB each.
class Tls final : public ByteStream {
public:
    Tls(asio::ip::tcp::socket socket, asio::ssl::context &context, std::chrono::milliseconds quietAfter)
        : m_socket(std::move(socket)), m_ssl(SSL_new(context.native_handle())), m_quietAfter(quietAfter),
          m_quiet(m_socket.get_executor())
    {
        std::error_code ignored;
        m_socket.non_blocking(true, ignored);
        if (m_ssl) {
            SSL_set_fd(m_ssl, static_cast<int>(m_socket.native_handle()));
            SSL_set_accept_state(m_ssl);
            // Whole socket reads rather than a record's header and body apart.
            SSL_set_read_ahead(m_ssl, 1);
            // A write that waits is retried with the same bytes, which may
            // have been gathered again into the same string.
            SSL_set_mode(m_ssl, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        }
    }
    ~Tls() override { SSL_free(m_ssl); }

    asio::ip::tcp::socket &tcp() override { return m_socket; }
    bool plain() const override { return false; }

    void asyncStart(Started done) override
    {
        busy();
        if (!m_ssl || !m_socket.is_open()) {
            asio::post(m_socket.get_executor(), [done = std::move(done)] { done(asio::error::operation_aborted); });
            return;
        }
        ERR_clear_error();
        const int rc = SSL_do_handshake(m_ssl);
        if (rc == 1) {
            asio::post(m_socket.get_executor(), [done = std::move(done)] { done({}); });
            return;
        }
        const std::error_code failure = waitFor(rc, [this, done](const std::error_code &error) {
            if (error)
                done(error);
            else
                asyncStart(done);
        });
        if (failure)
            asio::post(m_socket.get_executor(), [done = std::move(done), failure] { done(failure); });
    }

    void asyncRead(Read done) override
    {
        // Bytes OpenSSL has already taken from the socket: no readiness will
        // come for them.
        if (SSL_has_pending(m_ssl)) {
            asio::post(m_socket.get_executor(), [this, done = std::move(done)] { readNow(done); });
            return;
        }
        m_socket.async_wait(asio::socket_base::wait_read, [this, done = std::move(done)](const std::error_code &error) {
            if (error)
                done(error, {});
            else
                readNow(done);
        });
    }

    // TLS writes one buffer at a time, so the frames are gathered into one
    // record's worth first rather than sent as a record each. A write that
    // must wait is retried with the same bytes, as OpenSSL requires: the
    // caller hands the same frames to asyncWrite() after a tryWrite() that
    // would block.
    void asyncWrite(const std::vector<asio::const_buffer> &buffers, Written done) override
    {
        gather(buffers);
        writeNow(std::move(done));
    }

    std::size_t tryWrite(const std::vector<asio::const_buffer> &buffers, std::error_code &error) override
    {
        gather(buffers);
        std::size_t written = 0;
        const int rc = write(written);
        if (rc == 1) {
            error = {};
            return written;
        }
        asio::socket_base::wait_type direction{};
        error = failureOf(rc, direction);
        if (!error)
            error = asio::error::would_block;
        return 0;
    }

private:
    // OpenSSL holds the descriptor's number: once the socket is closed it may
    // be another connection's.
    void readNow(const Read &done)
    {
        if (!m_socket.is_open())
            return done(asio::error::operation_aborted, {});
        busy();
        const std::span<char> shared = SharedReadBuffer();
        std::size_t got = 0;
        int rc = 1;
        while (got < shared.size() && (got == 0 || SSL_has_pending(m_ssl))) {
            std::size_t n = 0;
            ERR_clear_error();
            rc = SSL_read_ex(m_ssl, shared.data() + got, shared.size() - got, &n);
            if (rc != 1)
                break;
            got += n;
        }
        if (got > 0) {
            done({}, QByteArrayView(shared.data(), static_cast<qsizetype>(got)));
            return;
        }
        const std::error_code failure = waitFor(rc, [this, done](const std::error_code &error) {
            if (error)
                done(error, {});
            else
                readNow(done);
        });
        if (failure)
            done(failure, {});
    }

    void gather(const std::vector<asio::const_buffer> &buffers)
    {
        m_out.clear();
        for (const asio::const_buffer &buffer : buffers) {
            const std::size_t room = RecordBytes - m_out.size();
            m_out.append(static_cast<const char *>(buffer.data()), std::min(room, buffer.size()));
            if (m_out.size() == RecordBytes)
                break;
        }
    }

    int write(std::size_t &written)
    {
        if (!m_socket.is_open())
            return 0;
        busy();
        ERR_clear_error();
        return SSL_write_ex(m_ssl, m_out.data(), m_out.size(), &written);
    }

    void writeNow(Written done)
    {
        std::size_t written = 0;
        const int rc = write(written);
        if (rc == 1) {
            asio::post(m_socket.get_executor(), [done = std::move(done), written] { done({}, written); });
            return;
        }
        const std::error_code failure = waitFor(rc, [this, done](const std::error_code &error) {
            if (error)
                done(error, 0);
            else
                writeNow(done);
        });
        if (failure)
            asio::post(m_socket.get_executor(), [done = std::move(done), failure] { done(failure, 0); });
    }

    void busy()
    {
        m_busy = true;
        if (!m_quietWatched)
            watchForQuiet();
    }

    // A connection that did nothing since the last look gives its buffers
    // back; OpenSSL keeps them while they hold part of a record.
    void watchForQuiet()
    {
        m_quietWatched = true;
        m_busy = false;
        m_quiet.expires_after(m_quietAfter);
        // A wait that has ended may still be queued when the stream goes, so
        // the stream's lifetime is asked rather than the error.
        m_quiet.async_wait([this, alive = std::weak_ptr<char>(m_lifetime)](const std::error_code &) {
            if (alive.expired())
                return;
            if (m_busy || SSL_free_buffers(m_ssl) != 1) {
                watchForQuiet();
                return;
            }
            m_quietWatched = false;
            m_out = std::string(); // the logon's long list may have grown it
        });
    }

    // After a call that did not succeed: waits for the socket in the
    // direction OpenSSL needs and then calls `retry`, or returns why the
    // session is over.
    std::error_code waitFor(int rc, std::function<void(const std::error_code &)> retry)
    {
        asio::socket_base::wait_type direction{};
        const std::error_code failure = failureOf(rc, direction);
        if (!failure)
            m_socket.async_wait(direction, std::move(retry));
        return failure;
    }

    // Why the session is over after a call that did not succeed (its end,
    // the peer's close, a TLS error), or nothing when OpenSSL only needs the
    // socket to be ready in `direction`.
    std::error_code failureOf(int rc, asio::socket_base::wait_type &direction)
    {
        if (!m_socket.is_open())
            return asio::error::operation_aborted;
        switch (SSL_get_error(m_ssl, rc)) {
        case SSL_ERROR_WANT_READ:
            direction = asio::socket_base::wait_read;
            return {};
        case SSL_ERROR_WANT_WRITE:
            direction = asio::socket_base::wait_write;
            return {};
        case SSL_ERROR_ZERO_RETURN:
            return asio::error::eof;
        case SSL_ERROR_SYSCALL:
            if (const unsigned long error = ERR_get_error())
                return {static_cast<int>(error), asio::error::get_ssl_category()};
            return errno ? std::error_code(errno, std::system_category()) : asio::error::eof;
        default:
            if (const unsigned long error = ERR_get_error())
                return {static_cast<int>(error), asio::error::get_ssl_category()};
            return asio::error::connection_aborted;
        }
    }

    asio::ip::tcp::socket m_socket;
    SSL *m_ssl;
    std::string m_out;
    const std::chrono::milliseconds m_quietAfter;
    asio::steady_timer m_quiet;
    bool m_quietWatched = false;
    bool m_busy = false;
    std::shared_ptr<char> m_lifetime = std::make_shared<char>();
};

bool KeyHasPassphrase(const QString &keyFile)
{
    QFile file(keyFile);
    return file.open(QIODevice::ReadOnly) && file.read(64 * 1024).contains("ENCRYPTED");
}

} // namespace

std::unique_ptr<ByteStream> TlsStream(asio::ip::tcp::socket socket, asio::ssl::context &context,
                                      std::chrono::milliseconds quietAfter)
{
    return std::make_unique<Tls>(std::move(socket), context, quietAfter);
}

std::shared_ptr<asio::ssl::context> TlsServerContext(const QString &certificateFile, const QString &keyFile,
                                                     QString *error)
{
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    // TLS 1.2 and later only.
    context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                         asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                         asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
    // A client that closes without a close_notify has simply gone.
    SSL_CTX_set_options(context->native_handle(), SSL_OP_IGNORE_UNEXPECTED_EOF);
    std::error_code failure;
    const auto fail = [&](const QString &what) {
        *error = QStringLiteral("%1: %2").arg(what, QString::fromStdString(failure.message()));
        return nullptr;
    };
    context->use_certificate_chain_file(certificateFile.toStdString(), failure);
    if (failure)
        return fail(QStringLiteral("cannot use the certificate %1").arg(certificateFile));
    // Nobody is there to type a passphrase: without this OpenSSL would ask for
    // one on the terminal and the server would hang at start.
    context->set_password_callback(
        [](std::size_t, asio::ssl::context::password_purpose) { return std::string(); }, failure);
    context->use_private_key_file(keyFile.toStdString(), asio::ssl::context::pem, failure);
    if (failure && KeyHasPassphrase(keyFile))
        return fail(QStringLiteral("cannot use the key %1, which is protected by a passphrase; give the server a key "
                                   "without one")
                        .arg(keyFile));
    if (failure)
        return fail(QStringLiteral("cannot use the key %1").arg(keyFile));
    if (SSL_CTX_check_private_key(context->native_handle()) != 1) {
        *error = QStringLiteral("the key %1 does not belong to the certificate %2").arg(keyFile, certificateFile);
        return nullptr;
    }
    return context;
}
