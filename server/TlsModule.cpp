#include "server/TlsModule.h"

#include <QByteArray>

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

QString TlsModulePath()
{
    std::error_code failure;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", failure);
    const std::filesystem::path module =
        program.parent_path().parent_path() / "lib" / "vantrel-server" / "vantrel-server-tls.so";
    return QString::fromStdString(module.string());
}

namespace {

// dlopen keeps one handle per file and counts opens; the module is never
// closed, since the streams it made run its code until the process ends.
const TlsModuleEntry *LoadEntry(const QString &modulePath, QString *error)
{
    static std::mutex loading;
    const std::lock_guard lock(loading);
    const QByteArray path = modulePath.toLocal8Bit();
    void *module = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        *error = QStringLiteral("cannot load the TLS module %1: %2").arg(modulePath, QString::fromLocal8Bit(dlerror()));
        return nullptr;
    }
    using EntryFunction = const TlsModuleEntry *(*)();
    const auto entry = reinterpret_cast<EntryFunction>(dlsym(module, TlsModuleSymbol));
    const TlsModuleEntry *table = entry ? entry() : nullptr;
    if (!table || table->abi != TlsModuleAbi) {
        *error = QStringLiteral("the TLS module %1 does not belong to this server; reinstall the server").arg(modulePath);
        return nullptr;
    }
    return table;
}

} // namespace

std::shared_ptr<TlsEndpoint> OpenTls(const QString &modulePath, const QString &certificateFile,
                                     const QString &keyFile, std::chrono::milliseconds quietAfter, QString *error)
{
    const TlsModuleEntry *entry = LoadEntry(modulePath, error);
    return entry ? entry->open(certificateFile, keyFile, quietAfter, error) : nullptr;
}
