// The administrator's account commands, run as the program.
#include "OnBothStores.h"
#include "server/AccountStore.h"
#include "wire/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString Binary = QStringLiteral(VANTREL_SERVER_BINARY);

struct Outcome {
    int status = -1;
    QString out;
    QString err;
};

// Runs the program on the store (--data DIR or --store URL); `input` is its
// standard input (not a terminal).
Outcome Server(const QStringList &store, const QStringList &args, const QByteArray &input = {})
{
    QProcess process;
    process.start(Binary, store + args);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()), QString::fromLocal8Bit(process.readAllStandardError())};
}

QStringList Add(const QString &id, const QString &name = QStringLiteral("佐藤 花子"),
                const QString &department = QStringLiteral("営業部"))
{
    return {QStringLiteral("accounts"), QStringLiteral("add"), id, QStringLiteral("--name"), name,
            QStringLiteral("--department"), department};
}

class AccountCommandsTest : public ::testing::TestWithParam<StoreEngine> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_store.make(GetParam(), m_dir.filePath(QStringLiteral("data")));
        if (IsSkipped() || HasFatalFailure())
            return;
        const Outcome added = Server(data(), Add(QStringLiteral("u01")) + QStringList{QStringLiteral("--mail"),
                                                                                   QStringLiteral("h@example.com")},
                                 "secret\n");
        ASSERT_EQ(added.status, 0) << added.err.toStdString();
    }
    QStringList data() const { return m_store.arguments(); }
    QString list() const { return Server(data(), {QStringLiteral("accounts"), QStringLiteral("list")}).out; }
    // Everything the commands could have changed: the SQLite file as it is,
    // PostgreSQL's accounts with their password hashes.
    QByteArray written() const
    {
        if (!m_store.location().isPostgres()) {
            QFile file(QDir(m_store.location().dataDir).filePath(QStringLiteral("im.db")));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        QString error;
        auto store = AccountStore::Open(m_store.location(), &error);
        QByteArray rows = error.toUtf8();
        for (const Account &account : store ? store->accounts() : QList<Account>{})
            rows += account.id + '\t' + account.passwordHash + '\t' + account.displayName + '\n';
        return rows;
    }

    QTemporaryDir m_dir;
    TestStore m_store;
};

TEST_P(AccountCommandsTest, ListShowsWhatAddDisableAndDeleteDid)
{
    EXPECT_EQ(list(), QStringLiteral("u01\t0\t佐藤 花子\th@example.com\t営業部\tenabled\n"));
    ASSERT_EQ(Server(data(), Add(QStringLiteral("u02"), QStringLiteral("鈴木"), QStringLiteral("開発部")), "pw2\n").status,
              0);
    ASSERT_EQ(Server(data(), {QStringLiteral("accounts"), QStringLiteral("disable"), QStringLiteral("u01")}).status, 0);
    EXPECT_EQ(list(), QStringLiteral("u01\t0\t佐藤 花子\th@example.com\t営業部\tdisabled\n"
                                     "u02\t0\t鈴木\t\t開発部\tenabled\n"));
    ASSERT_EQ(Server(data(), {QStringLiteral("accounts"), QStringLiteral("enable"), QStringLiteral("u01")}).status, 0);
    ASSERT_EQ(Server(data(), {QStringLiteral("accounts"), QStringLiteral("delete"), QStringLiteral("u02")}).status, 0);
    EXPECT_EQ(list(), QStringLiteral("u01\t0\t佐藤 花子\th@example.com\t営業部\tenabled\n"));
}

TEST_P(AccountCommandsTest, BadInputIsRefusedWithItsReasonAndChangesNothing)
{
    struct Case {
        QStringList args;
        QByteArray input;
        int status;
        const char *reason;
    };
    const QString tooLong = QStringLiteral("abcdefghijk");
    const QList<Case> cases = {
        {Add(QStringLiteral("u01")), "pw\n", 1, "the account u01 exists already"},
        {Add(tooLong), "pw\n", 1, "the user id must have 1 to 10 bytes"},
        {Add(QStringLiteral("佐藤花子一二")), "pw\n", 1, "the user id must have 1 to 10 bytes"}, // 12 bytes in cp932
        {Add(QStringLiteral("u\t9")), "pw\n", 1, "the user id holds the control character U+0009"},
        {Add(QStringLiteral("u09"), QStringLiteral("Sa\x1bto")), "pw\n", 1,
         "the display name holds the control character U+001b"},
        {Add(QStringLiteral("u09"), QStringLiteral("☃")), "pw\n", 1,
         "the display name has characters that code page 932 cannot hold"},
        {Add(QStringLiteral("u09")), "", 1, "no password on standard input"},
        {Add(QStringLiteral("u09")), "\n", 1, "the password must have 1 to 50 bytes"},
        {Add(QStringLiteral("u09")), QByteArray(51, 'x') + "\n", 1, "the password must have 1 to 50 bytes"},
        {{QStringLiteral("accounts"), QStringLiteral("add"), QStringLiteral("u09")}, "pw\n", 1,
         "accounts add needs --name and --department"},
        {{QStringLiteral("accounts"), QStringLiteral("passwd"), QStringLiteral("u99")}, "pw\n", 1,
         "there is no account u99"},
        {{QStringLiteral("accounts"), QStringLiteral("passwd"), QStringLiteral("u01")}, "", 1,
         "no password on standard input"},
        {{QStringLiteral("accounts"), QStringLiteral("delete"), QStringLiteral("u99")}, {}, 1,
         "there is no account u99"},
        {{QStringLiteral("accounts"), QStringLiteral("remove"), QStringLiteral("u01")}, {}, 2, "accounts takes"},
        {{QStringLiteral("accounts"), QStringLiteral("disable")}, {}, 2, "accounts takes"},
        {{QStringLiteral("accounts"), QStringLiteral("list"), QStringLiteral("--name"), QStringLiteral("x")}, {}, 2,
         "--name is only for accounts add"},
    };
    const QString before = list();
    const QByteArray database = written();
    for (const Case &c : cases) {
        const Outcome run = Server(data(), c.args, c.input);
        const std::string what = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(run.status, c.status) << what;
        EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.reason))) << what << "\n" << run.err.toStdString();
    }
    EXPECT_EQ(list(), before);
    // The password was not changed either: the stored hash is as it was.
    EXPECT_EQ(written(), database);
}

TEST(DataFolderTest, AMistypedDataFolderIsNotCreated)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString elsewhere = dir.filePath(QStringLiteral("typo"));
    const Outcome run = Server({QStringLiteral("--data"), elsewhere}, {QStringLiteral("accounts"), QStringLiteral("list")});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.contains(QStringLiteral("there is no database in"))) << run.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(elsewhere));
}

TEST(DataFolderTest, FolderAndDatabaseAreClosedToOthersWhateverTheUmask)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString data = dir.filePath(QStringLiteral("new/data"));
    QProcess process;
    process.start(QStringLiteral("/bin/sh"),
                  {QStringLiteral("-c"), QStringLiteral("umask 000; exec \"$0\" --data \"$1\" accounts add u01 "
                                                        "--name n --department d"),
                   Binary, data});
    process.write("pw\n");
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    for (const QString &name : {QStringLiteral("new/data"), QStringLiteral("new/data/im.db")}) {
        struct stat info = {};
        ASSERT_EQ(::stat(QFile::encodeName(dir.filePath(name)).constData(), &info), 0) << name.toStdString();
        EXPECT_EQ(info.st_mode & 077, 0u) << name.toStdString() << " is open to others: " << std::oct << info.st_mode;
    }
}

} // namespace

VANTREL_ON_BOTH_STORES(AccountCommandsTest);
