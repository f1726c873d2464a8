#include "server/StoreWriter.h"

#include "server/AccountStore.h"

#include <future>

StoreWriter::StoreWriter(Post post, std::function<void()> beforeBatch)
    : m_post(std::move(post)), m_beforeBatch(std::move(beforeBatch))
{
}

StoreWriter::~StoreWriter()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}

bool StoreWriter::start(const StoreLocation &where, QString *error)
{
    // The store is opened on the thread that uses it, as Qt's SQL requires.
    std::promise<QString> opened;
    std::future<QString> result = opened.get_future();
    m_thread = std::thread([this, where, &opened] {
        QString openError;
        std::unique_ptr<AccountStore> store = AccountStore::Open(where, &openError);
        const bool ok = store != nullptr;
        opened.set_value(ok ? QString() : openError);
        if (ok)
            run(std::move(store));
    });
    *error = result.get();
    if (error->isEmpty())
        return true;
    m_thread.join();
    return false;
}

void StoreWriter::write(Operation operation)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(operation));
    }
    m_wake.notify_one();
}

void StoreWriter::run(std::unique_ptr<AccountStore> store)
{
    for (;;) {
        std::deque<Operation> batch;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty())
                break; // stopping, and everything is written
            batch.swap(m_queue);
        }
        if (m_beforeBatch)
            m_beforeBatch();
        std::vector<Completion> completions;
        completions.reserve(batch.size());
        // A connection that broke (the database restarted) is opened again;
        // while it cannot be, every write fails and is never acknowledged.
        // Without a transaction each write commits on its own, as it goes.
        const bool began = store->transaction() || (store->reconnect() && store->transaction());
        // A write that fails undoes only itself (AccountStore::isolated).
        for (Operation &operation : batch)
            completions.push_back(operation(*store));
        const bool committed = !began || store->commit();
        if (!committed)
            store->rollback();
        m_post([completions = std::move(completions), committed] {
            for (const Completion &completion : completions)
                if (completion)
                    completion(committed);
        });
    }
    store.reset(); // closed on the thread that opened it
}
