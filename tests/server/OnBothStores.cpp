#include "OnBothStores.h"

#include "TestPostgres.h"
#include "server/AccountImport.h"
#include "server/AccountStore.h"

void TestStore::make(StoreEngine engine, const QString &dataDir)
{
    m_location = StoreLocation{};
    m_location.dataDir = dataDir;
    if (engine == StoreEngine::Sqlite)
        return;
    QString error;
    TestPostgres *cluster = TestPostgres::Instance(&error);
    if (!cluster)
        GTEST_SKIP() << "no PostgreSQL to test with: " << error.toStdString();
    m_location.postgresUrl = cluster->newDatabase(&error);
    ASSERT_FALSE(m_location.postgresUrl.isEmpty()) << error.toStdString();
}

QStringList TestStore::arguments() const
{
    return m_location.isPostgres() ? QStringList{QStringLiteral("--store"), m_location.postgresUrl}
                                   : QStringList{QStringLiteral("--data"), m_location.dataDir};
}

void OnBothStores::SetUp()
{
    m_store.make(GetParam(), dataDir());
    if (IsSkipped() || HasFatalFailure())
        return;
    if (m_store.location().isPostgres()) {
        // The fixture fills the data folder; the PostgreSQL database gets the
        // same accounts.
        QString error;
        auto store = AccountStore::Open(m_store.location(), &error);
        ASSERT_TRUE(store) << error.toStdString();
        const ImportReport report = ImportAccounts(*store, accounts(), HashCost::TestOnly);
        ASSERT_TRUE(report.skipped.isEmpty()) << report.skipped.join(QLatin1Char('\n')).toStdString();
    }
    ServerFixture::SetUp();
}

ServerOptions OnBothStores::options()
{
    ServerOptions options = ServerFixture::options();
    options.postgresUrl = m_store.location().postgresUrl;
    return options;
}

void PrintTo(StoreEngine engine, std::ostream *out)
{
    *out << (engine == StoreEngine::Sqlite ? "SQLite" : "PostgreSQL");
}

std::string StoreEngineName(const ::testing::TestParamInfo<StoreEngine> &info)
{
    return ::testing::PrintToString(info.param);
}
