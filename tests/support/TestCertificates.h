#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QTemporaryDir>

// Throwaway certificates for TLS tests, made with the openssl tool in a
// temporary folder: an authority the client is told to trust, one it is not,
// and server certificates signed by either for the names asked for.
class TestCertificates {
public:
    TestCertificates();
    bool ok() const { return m_ok; }

    // The PEM file of the trusted authority, for CAFILE=.
    QString trustedCaFile() const { return m_dir.filePath("trusted-ca.pem"); }
    // The other authority's, which signed none of the trusted servers.
    QString otherCaFile() const { return m_dir.filePath("other-ca.pem"); }

    // A server's configuration: a certificate for the names (subjectAltName
    // syntax, "DNS:localhost,IP:127.0.0.1") signed by the trusted authority or
    // by the other one, and its key.
    QSslConfiguration server(const QString &names, bool trusted = true);
    // The same as files: the certificate's PEM file and its key's; empty
    // names when openssl failed.
    struct Files {
        QString certificate;
        QString key;
    };
    Files serverFiles(const QString &names, bool trusted = true);
    // A copy of the key protected by a passphrase; empty when openssl failed.
    QString keyWithPassphrase(const QString &key);

private:
    bool run(const QStringList &arguments);
    bool makeAuthority(const QString &name);

    QTemporaryDir m_dir;
    bool m_ok = false;
    int m_made = 0;
};
