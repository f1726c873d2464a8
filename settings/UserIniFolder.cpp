#include "settings/UserIniFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace {

QString g_folder; // empty: the current folder, found anew at every access

} // namespace

QString UserIniFolder()
{
    return g_folder.isEmpty() ? QDir::currentPath() : g_folder;
}

bool UseConfigFolder(QString *error)
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString folder = base + QStringLiteral("/vantrel-im");
    if (!QDir().mkpath(base) ||
        (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) || !QFileInfo(folder).isDir()) {
        *error = QStringLiteral("%1: %2").arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    g_folder = folder;
    return true;
}

bool UsesConfigFolder()
{
    return !g_folder.isEmpty();
}

void UseCurrentFolder()
{
    g_folder.clear();
}

QString SystemIniPath()
{
    QByteArray dirs = qgetenv("XDG_CONFIG_DIRS");
    if (dirs.isEmpty())
        dirs = "/etc/xdg";
    for (const QByteArray &dir : dirs.split(':')) {
        const QString path = QFile::decodeName(dir) + QStringLiteral("/vantrel-im/user.ini");
        if (!dir.isEmpty() && QFileInfo(path).isFile())
            return path;
    }
    return {};
}
