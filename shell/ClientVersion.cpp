#include "shell/ClientVersion.h"

QString VersionText(const VersionNumbers &version)
{
    return QStringLiteral("Ver.%1.%2.%3").arg(version.major).arg(version.minor).arg(version.release);
}
