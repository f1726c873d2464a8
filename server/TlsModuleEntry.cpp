// The entry point of vantrel-server-tls.so: the TLS stream and credentials behind
// the interface that the server sees.
#include "server/ByteStream.h"
#include "server/TlsModule.h"

namespace {

class Endpoint final : public TlsEndpoint {
public:
    Endpoint(std::shared_ptr<TlsCredentials> credentials, std::chrono::milliseconds quietAfter)
        : m_credentials(std::move(credentials)), m_quietAfter(quietAfter)
    {
    }

    std::unique_ptr<ByteStream> stream(asio::ip::tcp::socket socket) override
    {
        return TlsStream(std::move(socket), *m_credentials, m_quietAfter);
    }

private:
    std::shared_ptr<TlsCredentials> m_credentials;
    std::chrono::milliseconds m_quietAfter;
};

std::shared_ptr<TlsEndpoint> Open(const QString &certificateFile, const QString &keyFile,
                                  std::chrono::milliseconds quietAfter, QString *error)
{
    auto credentials = TlsServerCredentials(certificateFile, keyFile, error);
    if (!credentials)
        return nullptr;
    return std::make_shared<Endpoint>(std::move(credentials), quietAfter);
}

constexpr TlsModuleEntry Entry{TlsModuleAbi, &Open};

} // namespace

extern "C" __attribute__((visibility("default"))) const TlsModuleEntry *vantrel_server_tls_module()
{
    return &Entry;
}
