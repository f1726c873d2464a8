// The entry point of vantrel-server-tls.so: the TLS stream and context behind
// the interface that the server sees.
#include "server/ByteStream.h"
#include "server/TlsModule.h"

#include <asio/ssl/context.hpp>

namespace {

class Endpoint final : public TlsEndpoint {
public:
    Endpoint(std::shared_ptr<asio::ssl::context> context, std::chrono::milliseconds quietAfter)
        : m_context(std::move(context)), m_quietAfter(quietAfter)
    {
    }

    std::unique_ptr<ByteStream> stream(asio::ip::tcp::socket socket) override
    {
        return TlsStream(std::move(socket), *m_context, m_quietAfter);
    }

private:
    std::shared_ptr<asio::ssl::context> m_context;
    std::chrono::milliseconds m_quietAfter;
};

std::shared_ptr<TlsEndpoint> Open(const QString &certificateFile, const QString &keyFile,
                                  std::chrono::milliseconds quietAfter, QString *error)
{
    auto context = TlsServerContext(certificateFile, keyFile, error);
    if (!context)
        return nullptr;
    return std::make_shared<Endpoint>(std::move(context), quietAfter);
}

constexpr TlsModuleEntry Entry{TlsModuleAbi, &Open};

} // namespace

extern "C" __attribute__((visibility("default"))) const TlsModuleEntry *vantrel_server_tls_module()
{
    return &Entry;
}
