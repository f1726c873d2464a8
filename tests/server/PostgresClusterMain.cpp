// test_postgres_cluster start|stop DIR: one throwaway PostgreSQL cluster for
// every test process of a ctest run (the "postgres" fixture), instead of one
// each. `start` leaves the maintenance database's URL in DIR/url; without
// PostgreSQL it says so and leaves none, and the tests skip what needs it.
#include "TestPostgres.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() != 2 || (args[0] != QLatin1String("start") && args[0] != QLatin1String("stop"))) {
        std::fprintf(stderr, "usage: test_postgres_cluster start|stop DIR\n");
        return 2;
    }
    const QString folder = args[1];
    const QString cluster = folder + QStringLiteral("/cluster");
    // A cluster left by a run that was interrupted goes first.
    if (QFileInfo::exists(cluster))
        TestPostgres::StopCluster(cluster);
    QDir(folder).removeRecursively();
    if (args[0] == QLatin1String("stop"))
        return 0;

    QString error;
    const QString url = TestPostgres::StartCluster(cluster, &error);
    if (url.isEmpty()) {
        std::fprintf(stderr, "no PostgreSQL cluster for the tests: %s\n", qPrintable(error));
        TestPostgres::StopCluster(cluster);
        return 0;
    }
    QFile file(folder + QStringLiteral("/url"));
    if (!file.open(QIODevice::WriteOnly) || file.write(url.toUtf8()) != url.toUtf8().size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }
    std::printf("%s\n", qPrintable(url));
    return 0;
}
