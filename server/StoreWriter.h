#pragma once

#include <QObject>
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
// to disk for many writes. Each write's completion then runs on the thread
// that made the writer, told whether the transaction was committed.
class StoreWriter : public QObject {
    Q_OBJECT
public:
    using Completion = std::function<void(bool committed)>;
    // Runs on the writing thread with its own store; returns what runs after
    // the commit on the owner's thread.
    using Operation = std::function<Completion(AccountStore &store)>;

    // `beforeBatch` runs on the writing thread before each batch (tests slow
    // the disk down with it); it may be empty.
    explicit StoreWriter(std::function<void()> beforeBatch = {}, QObject *parent = nullptr);
    // Writes everything queued, then stops; completions not run yet are dropped.
    ~StoreWriter() override;

    // Opens the writer's own connection to DIR/im.db on its thread.
    bool start(const QString &dataDir, QString *error);
    void write(Operation operation);

private:
    void run(std::unique_ptr<AccountStore> store);

    std::function<void()> m_beforeBatch;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Operation> m_queue;
    bool m_stopping = false;
    std::thread m_thread;
};
