// vantrel-server [--listen ADDR] [--port N] [--data DIR]
// vantrel-server --data DIR import-accounts FILE

#include "server/AccountImport.h"
#include "server/AccountStore.h"
#include "server/ImServer.h"
#include "server/StopSignals.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <cstdio>

namespace {

int ImportAccountsCommand(const QString &dataDir, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LogToStderr(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return 1;
    }
    QString error;
    auto store = AccountStore::Open(dataDir, &error);
    if (!store) {
        LogToStderr(QStringLiteral("cannot open the database in %1: %2").arg(dataDir, error));
        return 1;
    }
    const ImportReport report = ImportAccounts(*store, file.readAll(), HashCost::Interactive);
    for (const QString &line : report.skipped)
        LogToStderr(QStringLiteral("skipped %1").arg(line));
    LogToStderr(QStringLiteral("imported %1 accounts into %2").arg(report.written).arg(dataDir));
    return report.skipped.isEmpty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantrel-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The Vantrel IM server."));
    parser.addHelpOption();
    const QCommandLineOption listen(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
                                    QStringLiteral("ADDR"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("Port to listen on (0 picks a free one)."),
                                  QStringLiteral("N"), QStringLiteral("9002"));
    const QCommandLineOption data(QStringLiteral("data"), QStringLiteral("Data folder holding im.db."),
                                  QStringLiteral("DIR"), QStringLiteral("vantrel-data"));
    parser.addOptions({listen, port, data});
    parser.addPositionalArgument(QStringLiteral("import-accounts"),
                                 QStringLiteral("import-accounts FILE: add or update the accounts of a UTF-8 TSV file."));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (!args.isEmpty()) {
        if (args.size() != 2 || args[0] != QLatin1String("import-accounts")) {
            std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
            return 2;
        }
        return ImportAccountsCommand(parser.value(data), args[1]);
    }

    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    const QHostAddress address(parser.value(listen));
    if (!portOk || portNumber > 65535 || address.isNull()) {
        LogToStderr(QStringLiteral("--listen takes an IP address and --port a number from 0 to 65535"));
        return 2;
    }

    ServerOptions options;
    options.dataDir = parser.value(data);
    QuitOnStopSignals();
    {
        ImServer server(options);
        QString error;
        if (!server.start(address, static_cast<quint16>(portNumber), &error)) {
            LogToStderr(QStringLiteral("cannot start: %1").arg(error));
            return 1;
        }
        app.exec();
        LogToStderr(QStringLiteral("stopping"));
    }
    LogToStderr(QStringLiteral("stopped"));
    return 0;
}
