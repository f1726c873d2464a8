#include "server/ByteStream.h"

#include <QFile>
#include <QScopeGuard>

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <gnutls/gnutls.h>
#include <gnutls/x509.h>

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <optional>
#include <string>

// The session's certificate and the versions and ciphers it offers, shared by
// every connection.
class TlsCredentials {
public:
    TlsCredentials() = default;
    ~TlsCredentials()
    {
        if (priorities)
            gnutls_priority_deinit(priorities);
        if (certificates)
            gnutls_certificate_free_credentials(certificates);
    }
    TlsCredentials(const TlsCredentials &) = delete;
    TlsCredentials &operator=(const TlsCredentials &) = delete;

    gnutls_certificate_credentials_t certificates = nullptr;
    gnutls_priority_t priorities = nullptr;
};

namespace {

// A TLS record carries at most 16 KiB of plain text.
constexpr std::size_t RecordBytes = 16 * 1024;
// The most one record takes on the wire: header, text, padding and tag.
constexpr std::size_t WireRecordBytes = 5 + RecordBytes + 256;

// Records without text (warnings, requests to renegotiate) that one read
// passes over; a client that sends more at once only keeps the loop busy,
// and its connection ends with the last one's reason.
constexpr int MaxStrayRecords = 16;

// TLS 1.2 and 1.3 only, with the library's usual choice of ciphers.
constexpr char Priorities[] = "NORMAL:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2";

class TlsErrorCategory final : public std::error_category {
public:
    const char *name() const noexcept override { return "tls"; }
    std::string message(int code) const override { return gnutls_strerror(code); }
};

std::error_code TlsError(int code)
{
    static const TlsErrorCategory category;
    return {code, category};
}

// What the library has taken off the socket, in cipher text, waits here
// between its reads: one recv brings a record's header and body (and
// whatever follows) where the library alone would ask for each apart.
std::span<char> CipherReadBuffer()
{
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer)
        buffer = std::make_unique_for_overwrite<char[]>(WireRecordBytes);
    return {buffer.get(), WireRecordBytes};
}

// GnuTLS on the non-blocking socket, driven by the loop's readiness waits as
// the plain stream is. Its per-record cost is well under half of what the
// other common library spends on records as short as chat lines, and a busy
// server's TLS is almost all records of that size.
//
// The library reads through pull() and writes through push(), so the socket
// is touched only here. What a read brings beyond what the library asked for
// is kept in m_in; it and the gathered writes in m_out are given back once
// the connection has been quiet for a while.
class Tls final : public ByteStream {
public:
    Tls(asio::ip::tcp::socket socket, TlsCredentials &credentials, std::chrono::milliseconds quietAfter)
        : m_socket(std::move(socket)), m_quietAfter(quietAfter), m_quiet(m_socket.get_executor())
    {
        std::error_code ignored;
        m_socket.non_blocking(true, ignored);
        if (gnutls_init(&m_session, GNUTLS_SERVER | GNUTLS_NONBLOCK | GNUTLS_NO_SIGNAL) != GNUTLS_E_SUCCESS) {
            m_session = nullptr;
            return;
        }
        if (gnutls_priority_set(m_session, credentials.priorities) != GNUTLS_E_SUCCESS ||
            gnutls_credentials_set(m_session, GNUTLS_CRD_CERTIFICATE, credentials.certificates) != GNUTLS_E_SUCCESS) {
            gnutls_deinit(m_session);
            m_session = nullptr;
            return;
        }
        gnutls_certificate_server_set_request(m_session, GNUTLS_CERT_IGNORE);
        // The connection's logon clock bounds the handshake.
        gnutls_handshake_set_timeout(m_session, 0);
        gnutls_transport_set_ptr(m_session, this);
        gnutls_transport_set_pull_function(m_session, &Tls::pull);
        gnutls_transport_set_pull_timeout_function(m_session, &Tls::pullTimeout);
        gnutls_transport_set_vec_push_function(m_session, &Tls::push);
    }
    ~Tls() override
    {
        if (m_session)
            gnutls_deinit(m_session);
    }

    asio::ip::tcp::socket &tcp() override { return m_socket; }
    bool plain() const override { return false; }

    void asyncStart(Started done) override
    {
        busy();
        if (!m_session || !m_socket.is_open()) {
            asio::post(m_socket.get_executor(), [done = std::move(done)] { done(asio::error::operation_aborted); });
            return;
        }
        int rc = gnutls_handshake(m_session);
        while (rc < 0 && rc != GNUTLS_E_AGAIN && !gnutls_error_is_fatal(rc))
            rc = gnutls_handshake(m_session); // interrupted, or a warning
        if (rc == GNUTLS_E_SUCCESS) {
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
        // Bytes already taken from the socket: no readiness will come for them.
        if (pending()) {
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
    // must wait is retried with the same bytes, as the library requires: the
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
        const ssize_t rc = write();
        if (rc >= 0) {
            error = {};
            return static_cast<std::size_t>(rc);
        }
        asio::socket_base::wait_type direction{};
        error = failureOf(static_cast<int>(rc), direction);
        if (!error)
            error = asio::error::would_block;
        return 0;
    }

private:
    bool pending() const
    {
        return m_inUsed < m_in.size() || (m_session && gnutls_record_check_pending(m_session) > 0);
    }

    // The library's session holds the descriptor's number through this
    // stream: once the socket is closed it may be another connection's.
    void readNow(const Read &done)
    {
        if (!m_socket.is_open())
            return done(asio::error::operation_aborted, {});
        busy();
        const std::span<char> shared = SharedReadBuffer();
        std::size_t got = 0;
        ssize_t rc = 0;
        int strays = 0;
        while (got < shared.size() && (got == 0 || pending())) {
            rc = gnutls_record_recv(m_session, shared.data() + got, shared.size() - got);
            if (rc > 0)
                got += static_cast<std::size_t>(rc);
            else if (rc == 0 || rc == GNUTLS_E_AGAIN || gnutls_error_is_fatal(static_cast<int>(rc)) ||
                     ++strays > MaxStrayRecords)
                break;
            // else: interrupted, a warning alert, or a TLS 1.2 client asking
            // to renegotiate, which is not done: read on.
        }
        if (got > 0) {
            done({}, QByteArrayView(shared.data(), static_cast<qsizetype>(got)));
            return;
        }
        if (rc == 0)
            return done(asio::error::eof, {}); // the client's close_notify
        const std::error_code failure = waitFor(static_cast<int>(rc), [this, done](const std::error_code &error) {
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

    ssize_t write()
    {
        if (!m_socket.is_open() || !m_session)
            return GNUTLS_E_INVALID_SESSION;
        busy();
        ssize_t rc = 0;
        do
            rc = gnutls_record_send(m_session, m_out.data(), m_out.size());
        while (rc == GNUTLS_E_INTERRUPTED);
        return rc;
    }

    void writeNow(Written done)
    {
        const ssize_t rc = write();
        if (rc >= 0) {
            asio::post(m_socket.get_executor(),
                       [done = std::move(done), rc] { done({}, static_cast<std::size_t>(rc)); });
            return;
        }
        const std::error_code failure = waitFor(static_cast<int>(rc), [this, done](const std::error_code &error) {
            if (error)
                done(error, 0);
            else
                writeNow(done);
        });
        if (failure)
            asio::post(m_socket.get_executor(), [done = std::move(done), failure] { done(failure, 0); });
    }

    // The library's reads: from what the last recv brought, or one recv of
    // up to a whole record, whose rest waits in m_in.
    static ssize_t pull(gnutls_transport_ptr_t transport, void *data, std::size_t size)
    {
        Tls &self = *static_cast<Tls *>(transport);
        if (self.m_inUsed == self.m_in.size()) {
            const std::span<char> buffer = CipherReadBuffer();
            const ssize_t got = ::recv(self.m_socket.native_handle(), buffer.data(), buffer.size(), 0);
            if (got <= 0) {
                self.m_socketErrno = got < 0 ? errno : 0;
                gnutls_transport_set_errno(self.m_session, got < 0 ? errno : 0);
                return got;
            }
            self.m_in.assign(buffer.data(), static_cast<std::size_t>(got));
            self.m_inUsed = 0;
        }
        const std::size_t n = std::min(size, self.m_in.size() - self.m_inUsed);
        std::memcpy(data, self.m_in.data() + self.m_inUsed, n);
        self.m_inUsed += n;
        if (self.m_inUsed == self.m_in.size()) {
            self.m_in.clear();
            self.m_inUsed = 0;
        }
        return static_cast<ssize_t>(n);
    }

    // Asked by the library whether a read would bring something; it never
    // waits, since the loop does the waiting.
    static int pullTimeout(gnutls_transport_ptr_t transport, unsigned int)
    {
        Tls &self = *static_cast<Tls *>(transport);
        if (self.m_inUsed < self.m_in.size())
            return 1;
        pollfd socket{self.m_socket.native_handle(), POLLIN, 0};
        return ::poll(&socket, 1, 0);
    }

    static ssize_t push(gnutls_transport_ptr_t transport, const giovec_t *iov, int count)
    {
        Tls &self = *static_cast<Tls *>(transport);
        msghdr message{};
        message.msg_iov = const_cast<iovec *>(reinterpret_cast<const iovec *>(iov));
        message.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t sent = ::sendmsg(self.m_socket.native_handle(), &message, MSG_NOSIGNAL);
        if (sent < 0) {
            self.m_socketErrno = errno;
            gnutls_transport_set_errno(self.m_session, errno);
        }
        return sent;
    }

    void busy()
    {
        m_busy = true;
        if (!m_quietWatched)
            watchForQuiet();
    }

    // A connection that did nothing since the last look gives its buffers
    // back, unless they hold bytes not yet taken.
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
            if (m_busy || !m_in.empty()) {
                watchForQuiet();
                return;
            }
            m_quietWatched = false;
            m_in = std::string();
            m_out = std::string(); // the logon's long list may have grown it
        });
    }

    // After a call that did not succeed: waits for the socket in the
    // direction the library needs and then calls `retry`, or returns why the
    // session is over.
    std::error_code waitFor(int rc, std::function<void(const std::error_code &)> retry)
    {
        asio::socket_base::wait_type direction{};
        const std::error_code failure = failureOf(rc, direction);
        if (!failure)
            m_socket.async_wait(direction, std::move(retry));
        return failure;
    }

    // Why the session is over after a call that did not succeed (the peer's
    // close, a socket or TLS error), or nothing when the library only needs
    // the socket to be ready in `direction`.
    std::error_code failureOf(int rc, asio::socket_base::wait_type &direction)
    {
        if (!m_socket.is_open() || !m_session)
            return asio::error::operation_aborted;
        switch (rc) {
        case GNUTLS_E_AGAIN:
            direction = gnutls_record_get_direction(m_session) == 1 ? asio::socket_base::wait_write
                                                                    : asio::socket_base::wait_read;
            return {};
        case GNUTLS_E_PREMATURE_TERMINATION: // a client that closes without a close_notify has simply gone
            return asio::error::eof;
        case GNUTLS_E_PULL_ERROR:
        case GNUTLS_E_PUSH_ERROR:
            return m_socketErrno ? std::error_code(m_socketErrno, std::system_category()) : asio::error::eof;
        default:
            return TlsError(rc);
        }
    }

    asio::ip::tcp::socket m_socket;
    gnutls_session_t m_session = nullptr;
    std::string m_in;
    std::size_t m_inUsed = 0;
    std::string m_out;
    int m_socketErrno = 0;
    const std::chrono::milliseconds m_quietAfter;
    asio::steady_timer m_quiet;
    bool m_quietWatched = false;
    bool m_busy = false;
    std::shared_ptr<char> m_lifetime = std::make_shared<char>();
};

bool KeyHasPassphrase(const QByteArray &key)
{
    return key.contains("ENCRYPTED");
}

// The file's bytes, or nothing and why.
std::optional<QByteArray> ReadPem(const QString &path, QString *why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *why = file.errorString();
        return std::nullopt;
    }
    // A certificate chain or key is a few kilobytes; more is not one.
    constexpr qint64 MostBytes = 1024 * 1024;
    QByteArray bytes = file.read(MostBytes);
    if (file.error() != QFileDevice::NoError) {
        *why = file.errorString();
        return std::nullopt;
    }
    return bytes;
}

gnutls_datum_t Datum(const QByteArray &bytes)
{
    return {reinterpret_cast<unsigned char *>(const_cast<char *>(bytes.constData())),
            static_cast<unsigned int>(bytes.size())};
}

QString Why(int rc)
{
    return QString::fromUtf8(gnutls_strerror(rc));
}

} // namespace

std::unique_ptr<ByteStream> TlsStream(asio::ip::tcp::socket socket, TlsCredentials &credentials,
                                      std::chrono::milliseconds quietAfter)
{
    return std::make_unique<Tls>(std::move(socket), credentials, quietAfter);
}

std::shared_ptr<TlsCredentials> TlsServerCredentials(const QString &certificateFile, const QString &keyFile,
                                                     QString *error)
{
    auto credentials = std::make_shared<TlsCredentials>();
    if (gnutls_certificate_allocate_credentials(&credentials->certificates) != GNUTLS_E_SUCCESS ||
        gnutls_priority_init(&credentials->priorities, Priorities, nullptr) != GNUTLS_E_SUCCESS) {
        *error = QStringLiteral("cannot set up TLS");
        return nullptr;
    }
    // Certificate and key are read apart, so that a message names the file
    // at fault and says why.
    const auto fail = [error](const QString &why) {
        *error = why;
        return nullptr;
    };
    QString why;
    const std::optional<QByteArray> chainPem = ReadPem(certificateFile, &why);
    if (!chainPem)
        return fail(QStringLiteral("cannot use the certificate %1: %2").arg(certificateFile, why));
    gnutls_x509_crt_t *chain = nullptr;
    unsigned int chainLength = 0;
    gnutls_datum_t chainDatum = Datum(*chainPem);
    if (const int rc = gnutls_x509_crt_list_import2(&chain, &chainLength, &chainDatum, GNUTLS_X509_FMT_PEM, 0);
        rc < 0)
        return fail(
            QStringLiteral("cannot use the certificate %1: it holds no PEM certificate (%2)").arg(certificateFile, Why(rc)));
    const auto freeChain = qScopeGuard([&] {
        for (unsigned int i = 0; i < chainLength; ++i)
            gnutls_x509_crt_deinit(chain[i]);
        gnutls_free(chain);
    });

    const std::optional<QByteArray> keyPem = ReadPem(keyFile, &why);
    if (!keyPem)
        return fail(QStringLiteral("cannot use the key %1: %2").arg(keyFile, why));
    gnutls_x509_privkey_t key = nullptr;
    if (gnutls_x509_privkey_init(&key) != GNUTLS_E_SUCCESS)
        return fail(QStringLiteral("cannot set up TLS"));
    const auto freeKey = qScopeGuard([&] { gnutls_x509_privkey_deinit(key); });
    // The library never asks for a passphrase: a protected key simply fails.
    gnutls_datum_t keyDatum = Datum(*keyPem);
    if (const int rc = gnutls_x509_privkey_import2(key, &keyDatum, GNUTLS_X509_FMT_PEM, nullptr, 0); rc < 0) {
        if (KeyHasPassphrase(*keyPem))
            return fail(QStringLiteral("cannot use the key %1, which is protected by a passphrase; give the server a "
                                       "key without one")
                            .arg(keyFile));
        return fail(QStringLiteral("cannot use the key %1: %2").arg(keyFile, Why(rc)));
    }

    const int rc = gnutls_certificate_set_x509_key(credentials->certificates, chain, chainLength, key);
    if (rc == GNUTLS_E_CERTIFICATE_KEY_MISMATCH)
        return fail(QStringLiteral("the key %1 does not belong to the certificate %2").arg(keyFile, certificateFile));
    if (rc < 0)
        return fail(QStringLiteral("cannot use the certificate %1 with the key %2: %3")
                        .arg(certificateFile, keyFile, Why(rc)));
    return credentials;
}
