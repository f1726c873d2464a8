// vantrel-peer [--host H] [--port N] [--corp N] [--tls-ca FILE] --user ID --password PWD
// A scripted colleague for the demo: it answers whatever it is told.

#include "server/peer/DemoPeer.h"
#include "wire/Cp932.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSslCertificate>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A scripted Vantrel IM user that answers every message."));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Server address."), QStringLiteral("H"),
                                  QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Server port."), QStringLiteral("N"),
                                  QStringLiteral("9002"));
    const QCommandLineOption corp(QStringLiteral("corp"), QStringLiteral("Corporate index."), QStringLiteral("N"),
                                  QStringLiteral("0"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("User id."), QStringLiteral("ID"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Password."), QStringLiteral("PWD"));
    const QCommandLineOption tlsCa(QStringLiteral("tls-ca"),
                                   QStringLiteral("Connect with TLS, trusting only the authorities of this PEM file."),
                                   QStringLiteral("FILE"));
    parser.addOptions({host, port, corp, user, password, tlsCa});
    parser.process(app);
    if (!parser.isSet(user) || !parser.isSet(password))
        parser.showHelp(2);
    QList<QSslCertificate> authorities;
    if (parser.isSet(tlsCa)) {
        authorities = QSslCertificate::fromPath(parser.value(tlsCa), QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
        if (authorities.isEmpty()) {
            std::fprintf(stderr, "vantrel-peer: no certificate in %s\n", qPrintable(parser.value(tlsCa)));
            return 2;
        }
    }

    DemoPeer peer(parser.value(host), static_cast<quint16>(parser.value(port).toUInt()), cp932::FromUnicode(parser.value(user)),
                  cp932::FromUnicode(parser.value(password)), parser.value(corp).toInt());
    if (parser.isSet(tlsCa))
        peer.useTls(authorities);
    peer.start();
    return app.exec();
}
