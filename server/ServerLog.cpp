#include "server/ServerLog.h"

#include <QDateTime>

#include <cstdio>

void LogToStderr(const QString &line)
{
    const QByteArray text = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")).toUtf8() +
                            line.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
    std::fflush(stderr);
}
