#include "server/StoreLocation.h"

#include <QUrl>

QString StoreLocation::shown() const
{
    if (!isPostgres())
        return dataDir;
    QUrl url(postgresUrl);
    url.setPassword(QString());
    return url.toString();
}

bool ParsePostgresUrl(const QString &text, PostgresAddress *address, QString *error)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString database = url.path().mid(1);
    if (!url.isValid() || (url.scheme() != QLatin1String("postgresql") && url.scheme() != QLatin1String("postgres")) ||
        url.host().isEmpty() || database.isEmpty() || database.contains(QLatin1Char('/'))) {
        *error = QStringLiteral("--store takes postgresql://USER@HOST:PORT/DATABASE, not %1").arg(text);
        return false;
    }
    address->user = url.userName();
    address->password = url.password();
    if (address->password.isEmpty())
        address->password = qEnvironmentVariable("PGPASSWORD");
    address->host = url.host();
    address->port = url.port(5432);
    address->database = database;
    return true;
}
