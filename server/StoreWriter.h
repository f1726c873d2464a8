#pragma once

#include "server/StoreLocation.h"

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class AccountStore;

// Writes to the store on a thread of its own, so that no client waits for the
// disk: each turn, everything queued is written in one transaction, one sync
// to disk for many writes. Each write's completion is then handed to the
// owner's event loop, told whether the transaction was committed.
class StoreWriter {
public:
    using Completion = std::function<void(bool committed)>;
    // Runs on the writing thread with its own store; returns what runs after
    // the commit on the owner's thread.
    using Operation = std::function<Completion(AccountStore &store)>;

    // Hands a completion to the owner's thread (its event loop).
    using Post = std::function<void(std::function<void()>)>;

    // `beforeBatch` runs on the writing thread before each batch (tests slow
    // the disk down with it); it may be empty.
    explicit StoreWriter(Post post, std::function<void()> beforeBatch = {});
    // Writes everything queued, then stops; completions not run yet are dropped.
    ~StoreWriter();
    StoreWriter(const StoreWriter &) = delete;
    StoreWriter &operator=(const StoreWriter &) = delete;

    // Opens the writer's own connection to the store on its thread.
    bool start(const StoreLocation &where, QString *error);
    void write(Operation operation);

private:
    void run(std::unique_ptr<AccountStore> store);

    Post m_post;
    std::function<void()> m_beforeBatch;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Operation> m_queue;
    bool m_stopping = false;
    std::thread m_thread;
};
