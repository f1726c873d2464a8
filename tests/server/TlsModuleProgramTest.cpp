// The server program opens its TLS module, and with it the TLS library, only
// when it serves TLS; without the module it refuses TLS and says where it
// looked.
#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const QString Binary = QStringLiteral(VANTREL_SERVER_BINARY);

// The libraries a running process has mapped, by file name.
QStringList MappedLibraries(qint64 pid)
{
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    if (!maps.open(QIODevice::ReadOnly))
        return {};
    QStringList names;
    const QList<QByteArray> lines = maps.readAll().split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype slash = line.lastIndexOf('/');
        if (slash >= 0)
            names.append(QString::fromUtf8(line.mid(slash + 1)));
    }
    names.removeDuplicates();
    return names;
}

bool Maps(const QStringList &libraries, const char *prefix)
{
    return std::any_of(libraries.begin(), libraries.end(),
                       [&](const QString &name) { return name.startsWith(QLatin1String(prefix)); });
}

} // namespace

TEST(TlsModuleProgramTest, LoadsTheTlsLibraryOnlyWhenServingTls)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.ok());
    const TestCertificates::Files pair = certificates.serverFiles(QStringLiteral("DNS:localhost"));
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());

    const struct {
        const char *name;
        QStringList tlsArguments;
        bool tls;
    } cases[] = {
        {"plain TCP", {}, false},
        {"TLS", {QStringLiteral("--tls-cert"), pair.certificate, QStringLiteral("--tls-key"), pair.key}, true},
    };
    for (const auto &c : cases) {
        QProcess server;
        server.start(Binary, QStringList{QStringLiteral("--data"), dir.filePath(QStringLiteral("data")),
                                         QStringLiteral("--port"), QStringLiteral("0")} +
                                 c.tlsArguments);
        QString log;
        const bool listening = QTest::qWaitFor(
            [&] {
                log += QString::fromUtf8(server.readAllStandardError());
                return log.contains(QLatin1String("listening on"));
            },
            10000);
        ASSERT_TRUE(listening) << c.name << ": " << log.toStdString();
        const QStringList libraries = MappedLibraries(server.processId());
        server.kill();
        server.waitForFinished();
        ASSERT_TRUE(Maps(libraries, "libc.so")) << c.name << ": maps not read";
        EXPECT_EQ(Maps(libraries, "libgnutls.so"), c.tls) << c.name;
        EXPECT_FALSE(Maps(libraries, "libssl.so")) << c.name;
        EXPECT_EQ(Maps(libraries, "vantrel-server-tls.so"), c.tls) << c.name;
    }
}

TEST(TlsModuleProgramTest, WithoutItsModuleRefusesTlsNamingWhereItLooked)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.ok());
    const TestCertificates::Files pair = certificates.serverFiles(QStringLiteral("DNS:localhost"));
    // The program alone in a bin folder with no lib folder beside it.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("bin")));
    const QString copy = dir.filePath(QStringLiteral("bin/vantrel-server"));
    ASSERT_TRUE(QFile::copy(Binary, copy));

    QProcess server;
    server.start(copy, {QStringLiteral("--data"), dir.filePath(QStringLiteral("data")), QStringLiteral("--port"),
                        QStringLiteral("0"), QStringLiteral("--tls-cert"), pair.certificate,
                        QStringLiteral("--tls-key"), pair.key});
    ASSERT_TRUE(server.waitForFinished(10000));
    const QString log = QString::fromUtf8(server.readAllStandardError());
    EXPECT_NE(server.exitCode(), 0);
    EXPECT_TRUE(log.contains(QStringLiteral("cannot load the TLS module %1")
                                 .arg(dir.filePath(QStringLiteral("lib/vantrel-server/vantrel-server-tls.so")))))
        << log.toStdString();
    EXPECT_FALSE(log.contains(QLatin1String("listening"))) << log.toStdString();
}
