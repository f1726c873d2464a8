#pragma once

#include <QString>

#include <asio/ip/tcp.hpp>

#include <chrono>
#include <memory>

class ByteStream;

// The server's TLS lives in a module of its own, opened only when the server
// is given a certificate: a server on plain TCP then never maps the TLS
// library (some 1.7 MB of resident pages it would not use).
class TlsEndpoint {
public:
    virtual ~TlsEndpoint() = default;
    // TLS over an accepted socket, as the server's side of it.
    virtual std::unique_ptr<ByteStream> stream(asio::ip::tcp::socket socket) = 0;
};

// What the module hands the server. The module and the server are built
// from the same headers; `abi` refuses a module left from another build
// whose types could differ.
struct TlsModuleEntry {
    int abi;
    std::shared_ptr<TlsEndpoint> (*open)(const QString &certificateFile, const QString &keyFile,
                                         std::chrono::milliseconds quietAfter, QString *error);
};
inline constexpr int TlsModuleAbi = 1;
inline constexpr char TlsModuleSymbol[] = "vantrel_server_tls_module";

// Where the module is installed: a fixed path relative to the program, so that
// the build tree and the package look alike (bin/ and lib/vantrel-server/).
QString TlsModulePath();

// Opens `modulePath` (once per process; it stays loaded), reads the
// certificate chain and key and returns the endpoint that makes TLS streams
// with them; nothing, and why, when the module or the files cannot be used.
std::shared_ptr<TlsEndpoint> OpenTls(const QString &modulePath, const QString &certificateFile,
                                     const QString &keyFile, std::chrono::milliseconds quietAfter, QString *error);
