// The server's TLS stream on one end of a loopback connection and an OpenSSL
// client (the other common library) on the other, both driven by hand: what the stream writes reaches the
// client whole and in order, what waited for a full socket included.
#include "TestCertificates.h"
#include "server/ByteStream.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <gtest/gtest.h>
#include <openssl/ssl.h>

#include <chrono>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

struct SslFree {
    void operator()(SSL *ssl) const { SSL_free(ssl); }
    void operator()(SSL_CTX *context) const { SSL_CTX_free(context); }
};

class TlsStreamTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(certificates.ok());
        const TestCertificates::Files files = certificates.serverFiles(QStringLiteral("IP:127.0.0.1"));
        QString error;
        credentials = TlsServerCredentials(files.certificate, files.key, &error);
        ASSERT_TRUE(credentials) << error.toStdString();

        asio::ip::tcp::acceptor acceptor(io, {asio::ip::address_v4::loopback(), 0});
        clientSocket.connect(acceptor.local_endpoint());
        clientSocket.non_blocking(true);
        // The buffers are given back after any pause of a millisecond.
        stream = TlsStream(acceptor.accept(), *credentials, std::chrono::milliseconds(1));

        // The client does not check the certificate: the server's side is tested.
        SSL_set_fd(client.get(), static_cast<int>(clientSocket.native_handle()));
        SSL_set_connect_state(client.get());
        bool started = false;
        std::error_code startError;
        stream->asyncStart([&](const std::error_code &error) {
            started = true;
            startError = error;
        });
        ASSERT_TRUE(turnUntil([&] {
            SSL_do_handshake(client.get());
            return started && SSL_is_init_finished(client.get());
        }));
        ASSERT_FALSE(startError) << startError.message();
    }

    // Runs the stream's loop and `step` until `step` says done, or 10 s pass.
    template<typename Step>
    bool turnUntil(Step step)
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
        while (!step()) {
            if (Clock::now() > deadline)
                return false;
            io.restart();
            io.poll();
        }
        return true;
    }

    TestCertificates certificates;
    std::shared_ptr<TlsCredentials> credentials;
    asio::io_context io;
    asio::ip::tcp::socket clientSocket{io};
    std::unique_ptr<ByteStream> stream;
    std::unique_ptr<SSL_CTX, SslFree> clientContext{SSL_CTX_new(TLS_client_method())};
    std::unique_ptr<SSL, SslFree> client{SSL_new(clientContext.get())};
};

} // namespace

// The connection writes at once while the socket has room and, once it has
// none, hands the same frames to the waiting write, which OpenSSL must be
// given again unchanged.
TEST_F(TlsStreamTest, WhatWaitsForAFullSocketArrivesWholeOnceTheClientReads)
{
    std::string chunk(16 * 1024, '\0');
    int chunks = 0;
    const auto nextChunk = [&] {
        for (std::size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = char('a' + (chunks + i) % 26);
        ++chunks;
    };
    std::string sent;
    std::error_code error;
    std::vector<asio::const_buffer> buffers;
    while (!error) {
        nextChunk();
        buffers = {asio::buffer(chunk)};
        sent.append(chunk, 0, stream->tryWrite(buffers, error));
        ASSERT_LT(sent.size(), std::size_t(256) << 20) << "the socket never filled";
        io.restart();
        io.poll();
    }
    ASSERT_EQ(error, asio::error::would_block) << error.message();

    bool written = false;
    std::error_code writeError;
    stream->asyncWrite(buffers, [&](const std::error_code &error, std::size_t bytes) {
        written = true;
        writeError = error;
        sent.append(chunk, 0, bytes);
    });
    std::string received;
    std::string buffer(64 * 1024, '\0');
    ASSERT_TRUE(turnUntil([&] {
        std::size_t got = 0;
        if (SSL_read_ex(client.get(), buffer.data(), buffer.size(), &got) == 1)
            received.append(buffer, 0, got);
        return written && received.size() >= sent.size();
    })) << received.size() << " of " << sent.size() << " bytes";
    EXPECT_FALSE(writeError) << writeError.message();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "bytes lost, repeated or out of order";
}
