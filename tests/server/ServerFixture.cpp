#include "ServerFixture.h"

#include "server/AccountImport.h"
#include "server/AccountStore.h"
#include "wire/Cp932.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

QByteArray SampleFile()
{
    QFile file(QStringLiteral(VANTREL_SAMPLE_ACCOUNTS));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList SampleLine(const QByteArray &userId)
{
    for (const QByteArray &line : SampleFile().split('\n')) {
        const QStringList cells = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (cells.size() >= 6 && cells[0] == QLatin1String(userId))
            return cells;
    }
    return {};
}

} // namespace

QByteArray SamplePassword(const QByteArray &userId)
{
    return SampleLine(userId).value(2).toUtf8();
}

QByteArray SampleName(const QByteArray &userId)
{
    return cp932::FromUnicode(SampleLine(userId).value(3));
}

QByteArray Sjis(const char16_t *text)
{
    return cp932::FromUnicode(QString::fromUtf16(text));
}

void ServerFixture::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    QString error;
    auto store = AccountStore::Open(m_dir.path(), &error);
    ASSERT_TRUE(store) << error.toStdString();
    const ImportReport report = ImportAccounts(*store, accounts(), HashCost::TestOnly);
    ASSERT_GT(report.written, 0);
    ASSERT_TRUE(report.skipped.isEmpty()) << report.skipped.join(QLatin1Char('\n')).toStdString();
    store.reset();
    startServer();
}

QByteArray ServerFixture::accounts()
{
    return SampleFile();
}

QByteArray CompanyAccounts(int people, int departments)
{
    QByteArray tsv;
    for (int i = 1; i <= people; ++i)
        tsv += "c" + QByteArray::number(i) + "\t0\tpw\tPerson " + QByteArray::number(i) + "\t\tDept " +
               QByteArray::number(i % departments) + "\n";
    return tsv;
}

void ServerFixture::TearDown()
{
    m_server.stop();
}

ServerOptions ServerFixture::options()
{
    ServerOptions options;
    options.dataDir = m_dir.path();
    options.logonTimeout = std::chrono::milliseconds(2000);
    options.refusalDelay = std::chrono::milliseconds(20);
    options.readerStall = std::chrono::milliseconds(500);
    options.log = [this](const QString &line) {
        std::lock_guard lock(m_logMutex);
        m_log.append(line);
    };
    return options;
}

void ServerFixture::startServer()
{
    QString error;
    ASSERT_TRUE(m_server.start(options(), &error)) << error.toStdString();
}

void ServerFixture::restartServer()
{
    m_server.stop();
    startServer();
}

std::unique_ptr<TestClient> ServerFixture::logOn(const QByteArray &userId)
{
    auto client = newClient();
    EXPECT_EQ(client->logOn(userId, SamplePassword(userId)), 0) << userId.constData();
    // The list ends with this user's own UADD.
    EXPECT_TRUE(client->take("UADD", [&](const QByteArrayList &f) { return f.value(2) == userId; }))
        << userId.constData();
    // The user may have other clients, whose UADDs come first: the server's
    // log tells which number is this client's.
    const QRegularExpression logon(QStringLiteral("logon of %1 as connection (\\d+) from [^ ]*:%2$")
                                       .arg(QString::fromLatin1(userId))
                                       .arg(client->socket().localPort()));
    for (const QString &line : log())
        if (const auto match = logon.match(line); match.hasMatch())
            client->setNumber(match.captured(1).toInt());
    return client;
}

QByteArray ServerFixture::clientUserIni(const QByteArray &userId)
{
    return "[SYSTEM]\r\nHOST=127.0.0.1\r\nPORT=" + QByteArray::number(server().port()) + "\r\n[USER]\r\nID=" +
           userId + "\r\nCORP=0\r\nPWD=" + SamplePassword(userId) + "\r\nPWDMEMORY=1\r\n";
}
