#include "server/ByteStream.h"

#include <QFile>

#include <asio/ssl.hpp>

#include <array>
#include <string>

namespace {

// A TLS record carries at most 16 KiB of plain text.
constexpr std::size_t RecordBytes = 16 * 1024;

class Tls final : public ByteStream {
public:
    Tls(asio::ip::tcp::socket socket, asio::ssl::context &context) : m_stream(std::move(socket), context) {}

    asio::ip::tcp::socket &tcp() override { return m_stream.next_layer(); }
    bool plain() const override { return false; }

    void asyncStart(Started done) override
    {
        m_stream.async_handshake(asio::ssl::stream_base::server, std::move(done));
    }

    void asyncRead(Read done) override
    {
        m_stream.async_read_some(asio::buffer(m_in), [this, done = std::move(done)](const std::error_code &error,
                                                                                      std::size_t count) {
            done(error, QByteArrayView(m_in.data(), static_cast<qsizetype>(count)));
        });
    }

    // TLS writes one buffer at a time, so the frames are gathered into one
    // record's worth first rather than sent as a record each.
    void asyncWrite(const std::vector<asio::const_buffer> &buffers, Written done) override
    {
        m_out.clear();
        for (const asio::const_buffer &buffer : buffers) {
            const std::size_t room = RecordBytes - m_out.size();
            m_out.append(static_cast<const char *>(buffer.data()), std::min(room, buffer.size()));
            if (m_out.size() == RecordBytes)
                break;
        }
        m_stream.async_write_some(asio::buffer(m_out), std::move(done));
    }

private:
    asio::ssl::stream<asio::ip::tcp::socket> m_stream;
    std::array<char, RecordBytes> m_in;
    std::string m_out;
};

bool KeyHasPassphrase(const QString &keyFile)
{
    QFile file(keyFile);
    return file.open(QIODevice::ReadOnly) && file.read(64 * 1024).contains("ENCRYPTED");
}

} // namespace

std::unique_ptr<ByteStream> TlsStream(asio::ip::tcp::socket socket, asio::ssl::context &context)
{
    return std::make_unique<Tls>(std::move(socket), context);
}

std::shared_ptr<asio::ssl::context> TlsServerContext(const QString &certificateFile, const QString &keyFile,
                                                     QString *error)
{
    auto context = std::make_shared<asio::ssl::context>(asio::ssl::context::tls_server);
    // TLS 1.2 and later only.
    context->set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                         asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                         asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
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
