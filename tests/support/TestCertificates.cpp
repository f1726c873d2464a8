#include "TestCertificates.h"

#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QSslKey>

namespace {

const QStringList EcKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

} // namespace

TestCertificates::TestCertificates()
{
    m_ok = m_dir.isValid() && makeAuthority("trusted-ca") && makeAuthority("other-ca");
}

bool TestCertificates::run(const QStringList &arguments)
{
    QProcess openssl;
    openssl.setWorkingDirectory(m_dir.path());
    openssl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    openssl.start("openssl", arguments);
    return openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
}

bool TestCertificates::makeAuthority(const QString &name)
{
    // req -x509 marks the certificate as an authority (the default v3_ca).
    return run(QStringList{"req", "-x509"} + EcKey +
               QStringList{"-keyout", name + ".key", "-out", name + ".pem", "-days", "2", "-subj", "/CN=" + name});
}

TestCertificates::Files TestCertificates::serverFiles(const QString &names, bool trusted)
{
    const QString base = QStringLiteral("server%1").arg(++m_made);
    const QString ca = trusted ? "trusted-ca" : "other-ca";
    QFile extensions(m_dir.filePath(base + ".ext"));
    const bool made =
        extensions.open(QIODevice::WriteOnly) &&
        extensions.write(("basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\nsubjectAltName=" + names + "\n")
                             .toUtf8()) > 0 &&
        (extensions.close(), true) &&
        run(QStringList{"req"} + EcKey + QStringList{"-keyout", base + ".key", "-out", base + ".csr", "-subj", "/CN=test server"}) &&
        run({"x509", "-req", "-in", base + ".csr", "-CA", ca + ".pem", "-CAkey", ca + ".key", "-CAcreateserial", "-out",
             base + ".pem", "-days", "2", "-extfile", base + ".ext"});
    if (!made) {
        m_ok = false;
        return {};
    }
    return {m_dir.filePath(base + ".pem"), m_dir.filePath(base + ".key")};
}

QString TestCertificates::keyWithPassphrase(const QString &key)
{
    const QString copy = m_dir.filePath(QStringLiteral("protected%1.key").arg(++m_made));
    return run({"pkey", "-in", key, "-out", copy, "-aes256", "-passout", "pass:secret"}) ? copy : QString();
}

QSslConfiguration TestCertificates::server(const QString &names, bool trusted)
{
    const Files files = serverFiles(names, trusted);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(files.certificate);
    QFile keyFile(files.key);
    const QSslKey key = keyFile.open(QIODevice::ReadOnly) ? QSslKey(&keyFile, QSsl::Ec) : QSslKey();
    if (chain.isEmpty() || key.isNull()) {
        m_ok = false;
        return configuration;
    }
    configuration.setLocalCertificateChain(chain);
    configuration.setPrivateKey(key);
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}
