#include "server/DataFolder.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool PrepareDataFolder(const QString &dataDir, QString *error)
{
    const QString absolute = QDir(dataDir).absolutePath();
    const QByteArray folder = QFile::encodeName(absolute);
    // Parents are ordinary folders; only the data folder itself is closed.
    if (!QDir().mkpath(QFileInfo(absolute).path()) ||
        (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)) {
        *error = QStringLiteral("cannot create the data folder %1: %2").arg(absolute, SystemError());
        return false;
    }
    // SQLite gives its journal files the database's permissions, so a
    // database made here keeps all of them closed.
    const QByteArray database = QFile::encodeName(QDir(absolute).filePath(QStringLiteral("im.db")));
    const int fd = ::open(database.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST) {
        *error = QStringLiteral("cannot create %1: %2").arg(QFile::decodeName(database), SystemError());
        return false;
    }
    return true;
}

bool ActAsDataFolderOwner(const QString &dataDir, QString *error)
{
    struct stat info = {};
    if (::geteuid() != 0 || ::stat(QFile::encodeName(dataDir).constData(), &info) != 0 || info.st_uid == 0)
        return true;
    // Groups first: after setuid the process may no longer change them.
    if (::setgroups(0, nullptr) != 0 || ::setgid(info.st_gid) != 0 || ::setuid(info.st_uid) != 0) {
        *error = QStringLiteral("cannot act as the owner (uid %1) of %2: %3")
                     .arg(info.st_uid)
                     .arg(dataDir, SystemError());
        return false;
    }
    return true;
}
