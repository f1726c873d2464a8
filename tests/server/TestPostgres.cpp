#include "TestPostgres.h"

#include "server/StoreLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QVersionNumber>

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

// The newest installed PostgreSQL's programs.
QString BinaryFolder()
{
    QString best;
    QVersionNumber newest;
    for (const QFileInfo &version : QDir(QStringLiteral("/usr/lib/postgresql")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QVersionNumber number = QVersionNumber::fromString(version.fileName());
        if (QFileInfo::exists(version.filePath() + QStringLiteral("/bin/initdb")) && number > newest) {
            newest = number;
            best = version.filePath() + QStringLiteral("/bin");
        }
    }
    return best;
}

// The program's command line, as the `postgres` user when we are root.
QStringList AsClusterOwner(const QStringList &command)
{
    if (::geteuid() != 0)
        return command;
    return QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--")} +
           command;
}

bool Run(const QStringList &command, QString *error)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    *error = QStringLiteral("%1 failed: %2").arg(command.join(QLatin1Char(' ')),
                                                 QString::fromLocal8Bit(process.readAll()).trimmed());
    return false;
}

quint16 FreePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

QString TestPostgres::StartCluster(const QString &folder, QString *error)
{
    const QString bin = BinaryFolder();
    if (bin.isEmpty()) {
        *error = QStringLiteral("PostgreSQL is not installed (Debian package postgresql)");
        return {};
    }
    QDir().mkpath(folder);
    if (::geteuid() == 0) {
        const passwd *owner = ::getpwnam("postgres");
        if (!owner || ::chown(QFile::encodeName(folder).constData(), owner->pw_uid, owner->pw_gid) != 0) {
            *error = QStringLiteral("cannot give %1 to the postgres user").arg(folder);
            return {};
        }
    }
    const QString data = folder + QStringLiteral("/data");
    const quint16 port = FreePort();
    // Surviving a crash of the machine is no matter for a cluster that lives
    // as long as a test run, so nothing is synced to the disk. A commit is
    // still written out before it is answered: a test that stops the server
    // as a crash would (pg_ctl -m immediate) must find every acknowledged
    // transaction after the restart, as with a real server.
    const QString settings = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 -c fsync=off"
                                            " -c full_page_writes=off")
                                 .arg(port)
                                 .arg(folder);
    if (!Run(AsClusterOwner({bin + QStringLiteral("/initdb"), QStringLiteral("-D"), data, QStringLiteral("-U"),
                             QStringLiteral("vantrel"), QStringLiteral("--auth=trust"), QStringLiteral("--no-sync"),
                             QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C")}),
             error) ||
        !Run(AsClusterOwner({bin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data, QStringLiteral("-l"),
                             folder + QStringLiteral("/log"), QStringLiteral("-o"), settings, QStringLiteral("-w"),
                             QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")}),
             error))
        return {};
    return QStringLiteral("postgresql://vantrel@127.0.0.1:%1/postgres").arg(port);
}

void TestPostgres::StopCluster(const QString &folder)
{
    // Also at the process's exit, when Qt may be gone: the plain C way.
    const QStringList command = AsClusterOwner({BinaryFolder() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
                                                folder + QStringLiteral("/data"), QStringLiteral("-m"),
                                                QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")});
    const QByteArray line = command.join(QLatin1Char(' ')).toLocal8Bit() + " >/dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(line.constData());
}

bool TestPostgres::RestartCluster(const QString &folder, QString *error)
{
    // Without a running server, "restart" starts it with the options it last had.
    return Run(AsClusterOwner({BinaryFolder() + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
                               folder + QStringLiteral("/data"), QStringLiteral("-l"), folder + QStringLiteral("/log"),
                               QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
                               QStringLiteral("restart")}),
               error);
}

TestPostgres *TestPostgres::Instance(QString *whyNot)
{
    static std::unique_ptr<TestPostgres> instance;
    static QString failure;
    if (instance || !failure.isEmpty()) {
        *whyNot = failure;
        return instance.get();
    }
    std::unique_ptr<TestPostgres> cluster(new TestPostgres);
    // The cluster that ctest's "postgres" fixture started for every test
    // process, while it runs.
    QFile shared(QStringLiteral(VANTREL_TEST_POSTGRES_DIR "/url"));
    if (shared.open(QIODevice::ReadOnly)) {
        cluster->m_adminUrl = QString::fromUtf8(shared.readAll()).trimmed();
        QString unused;
        if (cluster->newDatabase(&unused).isEmpty())
            cluster->m_adminUrl.clear(); // left by a run that was interrupted
    }
    if (cluster->m_adminUrl.isEmpty()) {
        cluster->m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vantrel-pg-XXXXXX"));
        cluster->m_adminUrl = StartCluster(cluster->m_dir->path(), &failure);
        if (cluster->m_adminUrl.isEmpty()) {
            StopCluster(cluster->m_dir->path());
            *whyNot = failure;
            return nullptr;
        }
    }
    instance = std::move(cluster);
    return instance.get();
}

TestPostgres::~TestPostgres()
{
    if (m_dir)
        StopCluster(m_dir->path());
}

QString TestPostgres::newDatabase(QString *error)
{
    PostgresAddress address;
    if (!ParsePostgresUrl(m_adminUrl, &address, error))
        return {};
    // Unique across the test processes that may share the cluster.
    const QString name = QStringLiteral("t%1_%2").arg(QCoreApplication::applicationPid()).arg(++m_databases);
    const QString connection = QStringLiteral("vantrel-test-postgres");
    QString failure;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection);
        db.setHostName(address.host);
        db.setPort(address.port);
        db.setUserName(address.user);
        db.setDatabaseName(address.database);
        if (!db.open()) {
            failure = db.lastError().text();
        } else {
            QSqlQuery query(db);
            if (!query.exec(QStringLiteral("CREATE DATABASE ") + name))
                failure = query.lastError().text();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    if (!failure.isEmpty()) {
        *error = failure;
        return {};
    }
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(address.user, address.host).arg(address.port).arg(name);
}
