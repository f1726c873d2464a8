// The store on both engines: its schema version, and the claims that make an
// absence message go to one node only.
#include "OnBothStores.h"
#include "server/AccountStore.h"
#include "server/Absences.h"
#include "server/StoreWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#include <barrier>
#include <memory>
#include <thread>

namespace {

class StoreTest : public ::testing::TestWithParam<StoreEngine> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_store.make(GetParam(), m_dir.filePath(QStringLiteral("data")));
    }

    // Another node's (or thread's) connection to the same store.
    std::unique_ptr<AccountStore> open()
    {
        QString error;
        auto store = AccountStore::Open(m_store.location(), &error);
        EXPECT_TRUE(store) << error.toStdString();
        return store;
    }

    static QList<qint64> Ids(const QList<AbsenceMessage> &messages)
    {
        QList<qint64> ids;
        for (const AbsenceMessage &message : messages)
            ids.append(message.rowId);
        return ids;
    }

    // Stores `count` messages for the recipient; their row ids.
    static QList<qint64> Store(AccountStore &store, const QByteArray &recipient, int count)
    {
        QList<qint64> ids;
        for (int i = 0; i < count; ++i)
            ids.append(store.addAbsence(recipient, AbsenceMessage{0, "2026/01/02 03:04:05", "sender",
                                                                  "text " + QByteArray::number(i)})
                           .value_or(-1));
        return ids;
    }

    QTemporaryDir m_dir;
    TestStore m_store;
};

TEST_P(StoreTest, TheFirstOpeningCreatesTheSchemaAndTheNextMigratesNothing)
{
    auto first = open();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->schemaStepsApplied(), AccountStore::SchemaVersion);
    EXPECT_EQ(first->schemaVersion(), AccountStore::SchemaVersion);
    ASSERT_TRUE(first->upsertAccount(Account{"u01", 0, "hash", "name", "", "dept"}));
    first.reset();

    auto second = open();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->schemaStepsApplied(), 0);
    EXPECT_EQ(second->schemaVersion(), AccountStore::SchemaVersion);
    EXPECT_EQ(second->accounts().size(), 1);
}

TEST_P(StoreTest, AClaimKeepsMessagesFromOtherNodesUntilReleasedOrExpired)
{
    auto nodeA = open();
    auto nodeB = open();
    ASSERT_TRUE(nodeA && nodeB);
    const QList<qint64> ids = Store(*nodeA, "u02", 3);
    Store(*nodeA, "u03", 1);
    const qint64 now = 1'000'000;

    EXPECT_EQ(Ids(nodeA->claimAbsences("u02", "A", now, now + 100)), ids) << "oldest first";
    EXPECT_TRUE(nodeB->claimAbsences("u02", "B", now, now + 100).isEmpty());
    EXPECT_EQ(Ids(nodeA->claimAbsences("u02", "A", now, now + 100)), ids) << "a node's own claims are its to send";
    EXPECT_FALSE(nodeB->claimAbsence(ids[0], "B", now, now + 100));

    ASSERT_TRUE(nodeA->releaseAbsences({ids[0], ids[1]}, "A"));
    EXPECT_EQ(Ids(nodeB->claimAbsences("u02", "B", now, now + 100)), ids.mid(0, 2));
    ASSERT_TRUE(nodeA->deleteAbsence(ids[2]));
    // Node B dies holding its claims: once they expire, A takes them.
    EXPECT_TRUE(nodeA->claimAbsences("u02", "A", now + 50, now + 150).isEmpty());
    EXPECT_EQ(Ids(nodeA->claimAbsences("u02", "A", now + 101, now + 200)), ids.mid(0, 2));
    EXPECT_EQ(nodeA->absencesFor("u03").size(), 1) << "another recipient's message is not touched";
}

// The writer asks whether a recipient's queue is full and then adds the
// message, in one transaction. Another connection's write in between (the
// loop claiming a message) must not make the store refuse the addition.
TEST_P(StoreTest, AWriteThatFollowsAReadIsNotRefusedForAnotherConnectionsWrite)
{
    auto writer = open();
    auto loop = open();
    ASSERT_TRUE(writer && loop);
    const QList<qint64> ids = Store(*writer, "u02", 1);
    const qint64 now = 1'000'000;

    ASSERT_TRUE(writer->transaction());
    EXPECT_EQ(writer->absenceCount("u02"), 1);
    loop->claimAbsence(ids[0], "A", now, now + 100); // may wait for the writer, and give up
    EXPECT_TRUE(writer->addAbsence("u02", AbsenceMessage{0, "2026/01/02 03:04:05", "sender", "after a read"}))
        << writer->lastError().toStdString();
    EXPECT_TRUE(writer->commit()) << writer->lastError().toStdString();
    EXPECT_EQ(loop->absencesFor("u02").size(), 2);
}

TEST_P(StoreTest, TwoNodesClaimingAtOnceGetEachMessageOnce)
{
    constexpr int Rounds = 20;
    auto writer = open();
    ASSERT_TRUE(writer);
    // Each round: the messages are stored, then both nodes claim at once.
    std::barrier stored(3);
    std::barrier claimed(3);
    QList<qint64> claimedBy[2];
    // A connection is used on the thread that opened it, as Qt's SQL requires.
    auto node = [&](int index) {
        QString error;
        auto store = AccountStore::Open(m_store.location(), &error);
        const QString name = QString::number(index);
        for (int round = 0; round < Rounds; ++round) {
            stored.arrive_and_wait();
            for (const AbsenceMessage &message : store ? store->claimAbsences("u02", name, 0, 1) : QList<AbsenceMessage>{})
                claimedBy[index].append(message.rowId);
            claimed.arrive_and_wait();
        }
    };
    std::thread a(node, 0);
    std::thread b(node, 1);
    for (int round = 0; round < Rounds; ++round) {
        writer->transaction();
        const QList<qint64> ids = Store(*writer, "u02", 30);
        writer->commit();
        stored.arrive_and_wait();
        claimed.arrive_and_wait();
        QList<qint64> both = claimedBy[0] + claimedBy[1];
        std::sort(both.begin(), both.end());
        EXPECT_EQ(both, ids) << "round " << round << ": one got " << claimedBy[0].size() << ", the other "
                             << claimedBy[1].size();
        claimedBy[0].clear();
        claimedBy[1].clear();
        writer->transaction();
        for (qint64 id : ids)
            writer->deleteAbsence(id);
        writer->commit();
    }
    a.join();
    b.join();
}

// The node's side of the claims: connections hold what they were sent, and
// what no connection got waits for the next logon, at any node.
TEST_P(StoreTest, MessagesAConnectionDidNotGetAreDeliveredAgainAtTheNextLogon)
{
    auto readerA = open();
    auto readerB = open();
    ASSERT_TRUE(readerA && readerB);
    const auto post = [](std::function<void()> work) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
    };
    auto writerA = std::make_unique<StoreWriter>(post);
    auto writerB = std::make_unique<StoreWriter>(post);
    QString error;
    ASSERT_TRUE(writerA->start(m_store.location(), &error)) << error.toStdString();
    ASSERT_TRUE(writerB->start(m_store.location(), &error)) << error.toStdString();
    QStringList log;
    const LogSink sink = [&log](const QString &line) { log.append(line); };
    Absences nodeA(*readerA, *writerA, sink);
    Absences nodeB(*readerB, *writerB, sink);

    int stored = 0;
    for (const QByteArray text : {"first", "second"})
        nodeA.add("u02", AbsenceMessage{0, "2026/01/02 03:04:05", "sender", text}, [&stored](qint64) { ++stored; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return stored == 2; }));

    // Logged on at A on two connections, the user is sent both on each.
    const QList<AbsenceMessage> first = nodeA.claim("u02", 1);
    ASSERT_EQ(first.size(), 2);
    EXPECT_EQ(nodeA.claim("u02", 2).size(), 2);
    EXPECT_TRUE(nodeB.claim("u02", 1).isEmpty()) << "held at A";
    // The second connection got the first message; then both ended.
    nodeA.remove(first[0].rowId);
    nodeA.release(1);
    EXPECT_TRUE(nodeB.claim("u02", 1).isEmpty()) << "connection 2 still holds the second";
    nodeA.release(2);
    const QList<AbsenceMessage> again = nodeB.claim("u02", 7);
    ASSERT_EQ(again.size(), 1);
    EXPECT_EQ(again[0].text, "second");
    nodeB.remove(again[0].rowId);
    ASSERT_TRUE(QTest::qWaitFor([&] { return readerA->absencesFor("u02").isEmpty(); }));
    EXPECT_TRUE(log.isEmpty()) << log.join(QLatin1Char('\n')).toStdString();
    // The delete's completion, posted after its commit, refers to nodeB: the
    // writers finish and it runs while nodeB lives, not in a later test.
    writerA.reset();
    writerB.reset();
    QCoreApplication::sendPostedEvents();
}

TEST(SqliteStoreTest, ADatabaseFromBeforeTheSchemaVersionIsMigratedWithItsData)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("old"));
        db.setDatabaseName(dir.filePath(QStringLiteral("im.db")));
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const char *sql :
             {"CREATE TABLE accounts (user_id BLOB PRIMARY KEY, corp INTEGER NOT NULL, pw_hash TEXT NOT NULL,"
              " display_name BLOB NOT NULL, mail BLOB NOT NULL, department BLOB NOT NULL, sort_order INTEGER NOT NULL)",
              "INSERT INTO accounts VALUES (X'753031', 0, 'hash', X'6E', X'', X'64', 1)",
              "CREATE TABLE list_owners (owner BLOB PRIMARY KEY)",
              "CREATE TABLE absence_messages (id INTEGER PRIMARY KEY AUTOINCREMENT, recipient BLOB NOT NULL,"
              " received BLOB NOT NULL, sender_name BLOB NOT NULL, body BLOB NOT NULL)",
              "INSERT INTO absence_messages (recipient, received, sender_name, body) VALUES"
              " (X'753031', X'74', X'73', X'62')"})
            ASSERT_TRUE(query.exec(QString::fromLatin1(sql))) << sql;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("old"));

    QString error;
    auto store = AccountStore::Open(dir.path(), &error);
    ASSERT_TRUE(store) << error.toStdString();
    EXPECT_EQ(store->schemaStepsApplied(), AccountStore::SchemaVersion);
    ASSERT_EQ(store->accounts().size(), 1);
    EXPECT_FALSE(store->accounts()[0].disabled);
    EXPECT_EQ(store->claimAbsences("u01", "A", 0, 1).size(), 1);
}

} // namespace

VANTREL_ON_BOTH_STORES(StoreTest);
