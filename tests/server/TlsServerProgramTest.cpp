// The server program with certificate and key files it cannot use: it stops
// at once with a non-zero exit, naming the file and the reason.
#include "TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Binary = QStringLiteral(VANTREL_SERVER_BINARY);

struct Outcome {
    bool finished = false;
    int exitCode = -1;
    QString log;
};

Outcome Serve(const QString &dataDir, const QString &certificate, const QString &key)
{
    QProcess server;
    server.start(Binary, {QStringLiteral("--data"), dataDir, QStringLiteral("--port"), QStringLiteral("0"),
                          QStringLiteral("--tls-cert"), certificate, QStringLiteral("--tls-key"), key});
    server.closeWriteChannel(); // nobody to type a passphrase
    Outcome outcome;
    outcome.finished = server.waitForFinished(10000);
    if (!outcome.finished) {
        server.kill();
        server.waitForFinished();
    }
    outcome.exitCode = server.exitCode();
    outcome.log = QString::fromUtf8(server.readAllStandardError());
    return outcome;
}

} // namespace

TEST(TlsServerProgramTest, RefusesToStartWithACertificateOrKeyItCannotUse)
{
    TestCertificates certificates;
    ASSERT_TRUE(certificates.ok());
    const TestCertificates::Files pair = certificates.serverFiles(QStringLiteral("DNS:localhost"));
    const TestCertificates::Files other = certificates.serverFiles(QStringLiteral("DNS:localhost"));
    const QString protectedKey = certificates.keyWithPassphrase(pair.key);
    ASSERT_FALSE(protectedKey.isEmpty());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notPem = dir.filePath(QStringLiteral("not-pem.txt"));
    QFile file(notPem);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("not a certificate\n") > 0);
    file.close();
    const QString missing = dir.filePath(QStringLiteral("missing.pem"));

    const struct {
        const char *name;
        QString certificate;
        QString key;
        QString named;  // the file the message names
        QString reason; // and the words that say why
    } cases[] = {
        {"missing certificate", missing, pair.key, missing, "No such file"},
        {"certificate that is not PEM", notPem, pair.key, notPem, "no PEM certificate"},
        {"a folder as the certificate", dir.path(), pair.key, dir.path(), "cannot use the certificate"},
        {"missing key", pair.certificate, missing, missing, "No such file"},
        {"key of another certificate", pair.certificate, other.key, other.key, "does not belong"},
        {"key behind a passphrase", pair.certificate, protectedKey, protectedKey, "passphrase"},
    };
    for (const auto &c : cases) {
        const Outcome outcome = Serve(dir.filePath(QStringLiteral("data")), c.certificate, c.key);
        ASSERT_TRUE(outcome.finished) << c.name << ": still running";
        EXPECT_NE(outcome.exitCode, 0) << c.name;
        EXPECT_TRUE(outcome.log.contains(c.named)) << c.name << ": " << outcome.log.toStdString();
        EXPECT_TRUE(outcome.log.contains(c.reason, Qt::CaseInsensitive)) << c.name << ": " << outcome.log.toStdString();
        EXPECT_FALSE(outcome.log.contains(QStringLiteral("listening"))) << c.name;
    }
}
