#pragma once

#include "ServerFixture.h"
#include "server/StoreLocation.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

enum class StoreEngine { Sqlite, Postgres };
void PrintTo(StoreEngine engine, std::ostream *out);

// A store of the test's engine: SQLite in a data folder, or a fresh database
// of the process's throwaway PostgreSQL cluster. Tests on PostgreSQL are
// skipped, saying why, where its binaries are absent.
class TestStore {
public:
    // Fails or skips the test (check IsSkipped()/HasFatalFailure()) when the
    // store cannot be made.
    void make(StoreEngine engine, const QString &dataDir);
    const StoreLocation &location() const { return m_location; }
    // The store's options on vantrel-server's command line.
    QStringList arguments() const;

private:
    StoreLocation m_location;
};

// The end-to-end server fixture, once with each store engine:
//   using SomeTest = OnBothStores;  TEST_P(SomeTest, ...)  VANTREL_ON_BOTH_STORES(SomeTest);
class OnBothStores : public ServerFixture, public ::testing::WithParamInterface<StoreEngine> {
protected:
    void SetUp() override;
    ServerOptions options() override;
    // Where this test's server keeps its state.
    const StoreLocation &store() const { return m_store.location(); }

private:
    TestStore m_store;
};

std::string StoreEngineName(const ::testing::TestParamInfo<StoreEngine> &info);

#define VANTREL_ON_BOTH_STORES(suite)                                                                                \
    INSTANTIATE_TEST_SUITE_P(Store, suite, ::testing::Values(StoreEngine::Sqlite, StoreEngine::Postgres),          \
                             StoreEngineName)
