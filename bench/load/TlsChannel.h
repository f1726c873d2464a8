#pragma once

#include <memory>
#include <string>
#include <sys/types.h>

struct ssl_st;
struct ssl_ctx_st;

// What every TLS client of one load run shares: TLS 1.2 or later, the
// server's certificate verified against one authority and the host name or
// address connected to. Throws when the authority cannot be read.
class TlsClientContext {
public:
    TlsClientContext(const std::string &caFile, const std::string &host);
    ~TlsClientContext();
    TlsClientContext(const TlsClientContext &) = delete;
    TlsClientContext &operator=(const TlsClientContext &) = delete;

    ssl_ctx_st *get() const { return m_context; }
    const std::string &host() const { return m_host; }

private:
    ssl_ctx_st *m_context;
    std::string m_host;
};

// One client's TLS over its non-blocking socket. The handshake goes on inside
// the reads and writes, which behave as recv and send do: bytes, 0 at the
// end, or -1 with errno EAGAIN when the socket must be waited for (in the
// direction blockedOnRead() tells) and another errno when TLS failed.
class TlsChannel {
public:
    TlsChannel(const TlsClientContext &context, int fd);
    ~TlsChannel();
    TlsChannel(const TlsChannel &) = delete;
    TlsChannel &operator=(const TlsChannel &) = delete;

    // Sends the first message of the handshake.
    void start();
    ssize_t receive(char *buffer, size_t size);
    ssize_t send(const char *data, size_t size);
    // The last call waits for bytes from the server (a write in the middle
    // of the handshake does), not for room in the socket.
    bool blockedOnRead() const { return m_blockedOnRead; }
    // Bytes read from the socket that OpenSSL still holds: the socket may be
    // empty, so epoll will not say so.
    bool pending() const;

private:
    ssize_t result(int rc);

    ssl_st *m_ssl;
    bool m_blockedOnRead = false;
};
