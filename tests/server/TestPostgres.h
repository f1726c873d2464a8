#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

// A throwaway PostgreSQL cluster from the Debian packages: initdb into a
// temporary folder, the server on a free loopback port with its socket in
// that folder, stopped when the test process ends. PostgreSQL refuses to run
// as root, so under root the cluster belongs to the `postgres` user.
// While ctest runs, every test process shares the cluster that its
// "postgres" fixture started (test_postgres_cluster).
class TestPostgres {
public:
    // The process's cluster, started at the first call; nothing and a reason
    // when there are no PostgreSQL binaries or it does not start.
    static TestPostgres *Instance(QString *whyNot);
    ~TestPostgres();
    TestPostgres(const TestPostgres &) = delete;
    TestPostgres &operator=(const TestPostgres &) = delete;

    // A new, empty database for one test; its URL, or empty and a reason.
    QString newDatabase(QString *error);

    // Starts a cluster in `folder` (which must be empty or absent); the URL
    // of its maintenance database, or empty and a reason.
    static QString StartCluster(const QString &folder, QString *error);
    static void StopCluster(const QString &folder);
    // Starts a stopped cluster again, with the settings and port it had.
    static bool RestartCluster(const QString &folder, QString *error);

private:
    TestPostgres() = default;

    std::unique_ptr<QTemporaryDir> m_dir; // when this process started the cluster
    QString m_adminUrl;
    int m_databases = 0;
};
