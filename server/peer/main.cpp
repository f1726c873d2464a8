// vantrel-peer [--host H] [--port N] [--corp N] --user ID --password PWD
// A scripted colleague for the demo: it answers whatever it is told.

#include "server/peer/DemoPeer.h"
#include "wire/Cp932.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    parser.addOptions({host, port, corp, user, password});
    parser.process(app);
    if (!parser.isSet(user) || !parser.isSet(password))
        parser.showHelp(2);

    DemoPeer peer(parser.value(host), static_cast<quint16>(parser.value(port).toUInt()), cp932::FromUnicode(parser.value(user)),
                  cp932::FromUnicode(parser.value(password)), parser.value(corp).toInt());
    peer.start();
    return app.exec();
}
