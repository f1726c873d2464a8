#include "server/PasswordChecks.h"

#include "server/VerifiedLogons.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <unordered_map>

namespace {

struct Job {
    QByteArray storedHash;
    QByteArray password;
};

// What the owner's thread keeps of a check until it is answered.
struct Pending {
    QByteArray id;
    QByteArray storedHash;
    QByteArray password;
    PasswordChecks::Done done;
};

} // namespace

struct PasswordChecks::Shared {
    Shared(Post post, const Options &options)
        : post(std::move(post)), verify(options.verify), maxWaiting(options.maxWaiting), remembered(options.remembered)
    {
    }

    // The owner's thread: the result of a check, unless it was cancelled or
    // the checks stopped meanwhile.
    void deliver(Ticket ticket, bool ok)
    {
        if (stopped)
            return;
        const auto it = pending.find(ticket);
        if (it == pending.end())
            return;
        Pending done = std::move(it->second);
        pending.erase(it);
        if (ok)
            remembered.remember(done.id, done.storedHash, done.password);
        done.done(ok);
    }

    const Post post;
    const Verify verify;
    const std::size_t maxWaiting;

    std::mutex mutex; // guards the three below, shared with the workers
    std::condition_variable wake;
    std::map<Ticket, Job> queue; // not started, oldest first
    bool stopping = false;

    // The owner's thread only.
    Ticket lastTicket = 0;
    bool stopped = false;
    std::unordered_map<Ticket, Pending> pending; // submitted and neither answered nor cancelled
    VerifiedLogons remembered;
};

PasswordChecks::PasswordChecks(Post post, Options options)
    : m_shared(std::make_shared<Shared>(std::move(post), options))
{
    const int workers = options.workers > 0 ? options.workers
                                            : std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([shared = m_shared] { Work(shared); });
}

PasswordChecks::~PasswordChecks()
{
    stop();
}

void PasswordChecks::Work(const std::shared_ptr<Shared> &shared)
{
    for (;;) {
        std::unique_lock lock(shared->mutex);
        shared->wake.wait(lock, [&] { return shared->stopping || !shared->queue.empty(); });
        if (shared->stopping)
            return;
        auto job = shared->queue.extract(shared->queue.begin());
        lock.unlock();
        const bool ok = shared->verify(job.mapped().storedHash, job.mapped().password);
        shared->post([shared, ticket = job.key(), ok] { shared->deliver(ticket, ok); });
    }
}

std::optional<PasswordChecks::Ticket> PasswordChecks::submit(const QByteArray &id, const QByteArray &storedHash,
                                                             const QByteArray &password, Done done)
{
    Shared &shared = *m_shared;
    if (shared.stopped)
        return std::nullopt;
    const Ticket ticket = ++shared.lastTicket;
    if (shared.remembered.contains(id, storedHash, password)) {
        // Answered on a later turn of the loop all the same, as a check is.
        shared.post([shared = m_shared, ticket] { shared->deliver(ticket, true); });
    } else {
        std::lock_guard lock(shared.mutex);
        if (shared.queue.size() >= shared.maxWaiting)
            return std::nullopt;
        shared.queue.emplace(ticket, Job{storedHash, password});
        shared.wake.notify_one();
    }
    shared.pending.emplace(ticket, Pending{id, storedHash, password, std::move(done)});
    return ticket;
}

void PasswordChecks::cancel(Ticket ticket)
{
    Shared &shared = *m_shared;
    shared.pending.erase(ticket);
    std::lock_guard lock(shared.mutex);
    shared.queue.erase(ticket);
}

void PasswordChecks::stop()
{
    Shared &shared = *m_shared;
    {
        std::lock_guard lock(shared.mutex);
        shared.stopping = true;
        shared.queue.clear();
    }
    shared.wake.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
    m_workers.clear();
    shared.stopped = true;
    shared.pending.clear();
}

std::size_t PasswordChecks::waiting() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->queue.size();
}
