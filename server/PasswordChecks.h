#pragma once

#include "server/PasswordHash.h"

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// Password checks of logons, on worker threads, one per core: a slow hash
// takes a core for a while and must never run on the server's loop. Each
// result is handed back to the loop through `post`. A logon verified before
// answers without a hash (VerifiedLogons). Everything but the workers runs on
// the owner's thread: submit, cancel, stop and the results.
class PasswordChecks {
public:
    using Post = std::function<void(std::function<void()>)>; // thread-safe: workers call it
    using Verify = std::function<bool(const QByteArray &storedHash, const QByteArray &password)>;
    using Done = std::function<void(bool passwordOk)>;
    using Ticket = quint64;

    struct Options {
        int workers = 0; // 0: one per core
        // Checks waiting for a worker. A connection has at most one check at
        // a time (it reads nothing more until it is answered), and a client
        // waits for its answer as long as it takes, so every waiting check
        // is a client that will still want it: the bound is the number of
        // connections the server takes, and refusing below it would only
        // turn waiting into reconnecting. A waiting check holds two short
        // strings, under 200 bytes.
        std::size_t maxWaiting = 4096;
        // Logons remembered: two for each connection the server takes, for
        // those who come and go. 32 bytes of digest each, plus the index.
        std::size_t remembered = 8192;
        Verify verify = VerifyPassword; // tests count or slow the hashes with it
    };

    PasswordChecks(Post post, Options options);
    explicit PasswordChecks(Post post) : PasswordChecks(std::move(post), Options{}) {}
    ~PasswordChecks(); // stop()
    PasswordChecks(const PasswordChecks &) = delete;
    PasswordChecks &operator=(const PasswordChecks &) = delete;

    // Checks the password of account `id` against its stored hash; `done`
    // runs on the owner's loop unless the check is cancelled first. Nothing
    // when the waiting checks are at their bound.
    std::optional<Ticket> submit(const QByteArray &id, const QByteArray &storedHash, const QByteArray &password,
                                 Done done);
    // The connection is gone: a check not started is dropped, the result of
    // one running is ignored. Unknown or answered tickets are ignored.
    void cancel(Ticket ticket);
    // Drops every waiting check and waits only for those running (one per
    // worker at most); no result is handed back after it. Safe to call twice.
    void stop();

    std::size_t waiting() const;
    int workers() const { return int(m_workers.size()); }

private:
    struct Shared;
    static void Work(const std::shared_ptr<Shared> &shared);

    std::shared_ptr<Shared> m_shared;
    std::vector<std::thread> m_workers;
};
