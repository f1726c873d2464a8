#pragma once

#include <QByteArrayView>
#include <QString>

#include <asio/buffer.hpp>
#include <asio/ip/tcp.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <system_error>
#include <vector>

// What a connection reads from and writes to: a TCP socket, or TLS over one.
// The connection sees plain bytes either way.
class ByteStream {
public:
    using Started = std::function<void(const std::error_code &)>;
    // The bytes are valid only during the call.
    using Read = std::function<void(const std::error_code &, QByteArrayView bytes)>;
    using Written = std::function<void(const std::error_code &, std::size_t bytes)>;

    virtual ~ByteStream() = default;

    virtual asio::ip::tcp::socket &tcp() = 0;
    // The TLS handshake; a plain stream is ready at once.
    virtual void asyncStart(Started done) = 0;
    virtual void asyncRead(Read done) = 0;
    // Writes what the socket takes of the buffers (at least one byte).
    virtual void asyncWrite(const std::vector<asio::const_buffer> &buffers, Written done) = 0;
    // Writes what the socket takes of the buffers now, without waiting;
    // would_block when it takes nothing, or when the stream cannot write
    // without waiting, so that the caller goes on with asyncWrite.
    virtual std::size_t tryWrite(const std::vector<asio::const_buffer> &buffers, std::error_code &error)
    {
        (void)buffers;
        error = asio::error::would_block;
        return 0;
    }
    // Whether each byte written is one byte on the wire, so that the socket's
    // queue of unacknowledged bytes can be mapped back onto frames.
    virtual bool plain() const = 0;
};

// The buffer every stream of the calling thread reads into, made at the
// thread's first read: what one read brings is handed on before the next.
// Its size is what one client may send per turn of the loop, so that a client
// that sends without pause cannot starve the others.
std::span<char> SharedReadBuffer();

// A plain TCP stream. It holds no read buffer of its own: it waits until the
// socket is readable and then reads into one buffer that all connections of
// the thread share, so an idle connection costs no buffer.
std::unique_ptr<ByteStream> PlainStream(asio::ip::tcp::socket socket);

// The server's certificate, key and the TLS versions it offers, shared by
// its streams.
class TlsCredentials;
// TLS over the socket, as the server's side of it; the handshake is made by
// asyncStart(). Its buffers are given back once the connection has been
// quiet for `quietAfter`.
std::unique_ptr<ByteStream> TlsStream(asio::ip::tcp::socket socket, TlsCredentials &credentials,
                                      std::chrono::milliseconds quietAfter);
// TLS 1.2 or later with the PEM certificate chain and key; nothing, and why,
// when they cannot be read or do not belong together.
std::shared_ptr<TlsCredentials> TlsServerCredentials(const QString &certificateFile, const QString &keyFile,
                                                     QString *error);
