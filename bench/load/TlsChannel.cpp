#include "TlsChannel.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <stdexcept>

TlsClientContext::TlsClientContext(const std::string &caFile, const std::string &host)
    : m_context(SSL_CTX_new(TLS_client_method())), m_host(host)
{
    if (!m_context)
        throw std::runtime_error("SSL_CTX_new failed");
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    // A server that closes without a close_notify has simply closed.
    SSL_CTX_set_options(m_context, SSL_OP_IGNORE_UNEXPECTED_EOF);
    // Writes of part of the buffer, from a buffer that moves as the client's
    // queue grows, as with send().
    SSL_CTX_set_mode(m_context, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Whole socket reads rather than one record header and body at a time:
    // as few system calls as the plain client makes.
    SSL_CTX_set_read_ahead(m_context, 1);
    if (SSL_CTX_load_verify_locations(m_context, caFile.c_str(), nullptr) != 1) {
        SSL_CTX_free(m_context);
        throw std::runtime_error("cannot read the authority " + caFile);
    }
}

TlsClientContext::~TlsClientContext()
{
    SSL_CTX_free(m_context);
}

TlsChannel::TlsChannel(const TlsClientContext &context, int fd) : m_ssl(SSL_new(context.get()))
{
    if (!m_ssl)
        throw std::runtime_error("SSL_new failed");
    SSL_set_fd(m_ssl, fd);
    SSL_set_connect_state(m_ssl);
    in_addr address{};
    X509_VERIFY_PARAM *verify = SSL_get0_param(m_ssl);
    if (::inet_pton(AF_INET, context.host().c_str(), &address) == 1) {
        X509_VERIFY_PARAM_set1_ip_asc(verify, context.host().c_str());
    } else {
        SSL_set_tlsext_host_name(m_ssl, context.host().c_str());
        SSL_set1_host(m_ssl, context.host().c_str());
    }
}

TlsChannel::~TlsChannel()
{
    SSL_free(m_ssl);
}

void TlsChannel::start()
{
    result(SSL_do_handshake(m_ssl));
}

ssize_t TlsChannel::receive(char *buffer, size_t size)
{
    // Record by record while OpenSSL holds bytes it has read, so that nothing
    // is left waiting inside it; what is still in the socket makes epoll
    // report it again.
    size_t got = 0;
    while (got < size && (got == 0 || SSL_has_pending(m_ssl))) {
        size_t n = 0;
        const int rc = SSL_read_ex(m_ssl, buffer + got, size - got, &n);
        if (rc != 1) {
            const ssize_t failure = result(rc);
            if (got > 0 && failure < 0 && errno == EAGAIN)
                break;
            return got > 0 ? static_cast<ssize_t>(got) : failure;
        }
        got += n;
    }
    return static_cast<ssize_t>(got);
}

bool TlsChannel::pending() const
{
    return SSL_has_pending(m_ssl) == 1;
}

ssize_t TlsChannel::send(const char *data, size_t size)
{
    size_t n = 0;
    const int rc = SSL_write_ex(m_ssl, data, size, &n);
    return rc == 1 ? (m_blockedOnRead = false, static_cast<ssize_t>(n)) : result(rc);
}

ssize_t TlsChannel::result(int rc)
{
    const int error = SSL_get_error(m_ssl, rc);
    m_blockedOnRead = error == SSL_ERROR_WANT_READ;
    switch (error) {
    case SSL_ERROR_NONE:
        return rc;
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_ZERO_RETURN:
        return 0;
    case SSL_ERROR_SYSCALL:
        ERR_clear_error();
        if (errno == 0)
            return 0; // the server closed without a close_notify
        return -1;
    default: {
        // Said once: a certificate the run does not trust fails every client alike.
        static bool said = false;
        if (!said) {
            said = true;
            const long verify = SSL_get_verify_result(m_ssl);
            std::fprintf(stderr, "vantrel-load: TLS failed: %s%s%s\n", ERR_reason_error_string(ERR_peek_error()),
                         verify == X509_V_OK ? "" : "; ",
                         verify == X509_V_OK ? "" : X509_verify_cert_error_string(verify));
        }
        ERR_clear_error();
        errno = EPROTO;
        return -1;
    }
    }
}
