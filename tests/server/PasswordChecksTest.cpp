#include "server/PasswordChecks.h"
#include "server/VerifiedLogons.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

using namespace std::chrono_literals;

namespace {

// The owner's loop: what the workers post waits here until the test runs it.
class Loop {
public:
    PasswordChecks::Post post()
    {
        return [this](std::function<void()> task) {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
            m_wake.notify_all();
        };
    }
    // Runs what is posted until `done` holds; false after `timeout` without it.
    bool runUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout = 10s)
    {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            std::unique_lock lock(m_mutex);
            if (!m_wake.wait_until(lock, end, [&] { return !m_tasks.empty(); }))
                return false;
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
        }
        return true;
    }
    // Runs everything posted so far.
    void runPosted()
    {
        std::unique_lock lock(m_mutex);
        while (!m_tasks.empty()) {
            auto task = std::move(m_tasks.front());
            m_tasks.pop_front();
            lock.unlock();
            task();
            lock.lock();
        }
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
};

// A check that holds its worker until the test opens the gate.
class Gate {
public:
    PasswordChecks::Verify verify()
    {
        return [this](const QByteArray &, const QByteArray &password) {
            std::unique_lock lock(m_mutex);
            ++m_entered;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_open; });
            return password == "right";
        };
    }
    bool waitEntered(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_entered >= count; });
    }
    int entered()
    {
        std::lock_guard lock(m_mutex);
        return m_entered;
    }
    void open()
    {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_entered = 0;
    bool m_open = false;
};

TEST(PasswordChecksTest, AVerifiedLogonIsRememberedAndNothingElseIs)
{
    Loop loop;
    std::atomic<int> hashes = 0;
    PasswordChecks::Options options;
    options.verify = [&](const QByteArray &hash, const QByteArray &password) {
        ++hashes;
        return VerifyPassword(hash, password);
    };
    PasswordChecks checks(loop.post(), options);
    const QByteArray before = *HashPassword("right", HashCost::TestOnly);
    const QByteArray changed = *HashPassword("new", HashCost::TestOnly);
    struct Step {
        const char *what;
        QByteArray id, storedHash, password;
        bool ok, hashed;
    };
    const Step steps[] = {
        {"a first logon is checked", "c1", before, "right", true, true},
        {"the same logon again is not", "c1", before, "right", true, false},
        {"a wrong password is checked", "c1", before, "wrong", false, true},
        {"and never remembered", "c1", before, "wrong", false, true},
        {"after a password change the old one is checked, and refused", "c1", changed, "right", false, true},
        {"the new one is checked", "c1", changed, "new", true, true},
        {"another account with the same hash is checked", "c2", before, "right", true, true},
        {"the first one is still remembered", "c1", before, "right", true, false},
    };
    for (const Step &step : steps) {
        const int hashesBefore = hashes;
        std::optional<bool> result;
        ASSERT_TRUE(checks.submit(step.id, step.storedHash, step.password, [&](bool ok) { result = ok; }));
        EXPECT_FALSE(result) << step.what << ": answered only from the loop";
        ASSERT_TRUE(loop.runUntil([&] { return result.has_value(); })) << step.what;
        EXPECT_EQ(*result, step.ok) << step.what;
        EXPECT_EQ(hashes - hashesBefore, step.hashed ? 1 : 0) << step.what;
    }
}

TEST(PasswordChecksTest, CancelDropsAWaitingCheckAndIgnoresARunningOne)
{
    Loop loop;
    Gate gate;
    PasswordChecks checks(loop.post(), {.workers = 1, .verify = gate.verify()});
    int answers = 0;
    const auto running = checks.submit("c1", "h", "right", [&](bool) { ++answers; });
    ASSERT_TRUE(gate.waitEntered(1));
    const auto waiting = checks.submit("c2", "h", "right", [&](bool) { ++answers; });
    ASSERT_TRUE(running && waiting);
    EXPECT_EQ(checks.waiting(), 1u);

    checks.cancel(*waiting);
    checks.cancel(*running);
    EXPECT_EQ(checks.waiting(), 0u);
    bool last = false;
    ASSERT_TRUE(checks.submit("c3", "h", "right", [&](bool ok) { last = ok; }));
    gate.open();
    ASSERT_TRUE(loop.runUntil([&] { return last; }));
    loop.runPosted();
    EXPECT_EQ(answers, 0);
    EXPECT_EQ(gate.entered(), 2) << "the cancelled waiting check never ran";
}

TEST(PasswordChecksTest, WaitingChecksHaveABoundThatARememberedLogonPasses)
{
    Loop loop;
    Gate gate;
    const PasswordChecks::Verify held = gate.verify();
    PasswordChecks checks(loop.post(), {.workers = 1,
                                        .maxWaiting = 2,
                                        .verify = [&](const QByteArray &hash, const QByteArray &password) {
                                            return password == "quick" || held(hash, password);
                                        }});
    bool remembered = false;
    ASSERT_TRUE(checks.submit("c0", "h", "quick", [&](bool ok) { remembered = ok; }));
    ASSERT_TRUE(loop.runUntil([&] { return remembered; }));

    ASSERT_TRUE(checks.submit("c1", "h", "right", {}));
    ASSERT_TRUE(gate.waitEntered(1));
    const auto second = checks.submit("c2", "h", "right", {});
    ASSERT_TRUE(second);
    ASSERT_TRUE(checks.submit("c3", "h", "right", {}));
    EXPECT_FALSE(checks.submit("c4", "h", "right", {})) << "two wait already";
    remembered = false;
    ASSERT_TRUE(checks.submit("c0", "h", "quick", [&](bool ok) { remembered = ok; })) << "it takes no place";
    EXPECT_TRUE(loop.runUntil([&] { return remembered; })) << "and waits for nobody";
    checks.cancel(*second);
    EXPECT_TRUE(checks.submit("c4", "h", "right", {})) << "a cancelled check frees its place";
    gate.open();
}

TEST(PasswordChecksTest, StopDropsTheWaitingChecksAtOnce)
{
    Loop loop;
    std::atomic<int> started = 0;
    // Each check takes a worker for 20 ms, as a real one takes longer.
    PasswordChecks checks(loop.post(), {.workers = 2, .verify = [&](const QByteArray &, const QByteArray &) {
                                            ++started;
                                            std::this_thread::sleep_for(20ms);
                                            return true;
                                        }});
    int answers = 0;
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(checks.submit("c" + QByteArray::number(i), "h", "pw", [&](bool) { ++answers; }));
    const auto begin = std::chrono::steady_clock::now();
    checks.stop();
    const auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_LT(took, 2s) << "the 1,000 waiting checks would take 10 s";
    EXPECT_LE(started, 4);
    EXPECT_EQ(checks.waiting(), 0u);
    loop.runPosted();
    EXPECT_EQ(answers, 0) << "nothing is answered after the stop";
    EXPECT_FALSE(checks.submit("c1", "h", "pw", {}));
}

TEST(VerifiedLogonsTest, TheLeastRecentlyUsedGoesWhenFull)
{
    VerifiedLogons logons(2);
    logons.remember("a", "h", "pw");
    logons.remember("b", "h", "pw");
    EXPECT_TRUE(logons.contains("a", "h", "pw"));
    logons.remember("c", "h", "pw");
    EXPECT_EQ(logons.size(), 2u);
    EXPECT_TRUE(logons.contains("a", "h", "pw"));
    EXPECT_FALSE(logons.contains("b", "h", "pw"));
    EXPECT_TRUE(logons.contains("c", "h", "pw"));
    // The parts are kept apart: moving bytes from one to the next is another logon.
    EXPECT_FALSE(logons.contains("a", "hp", "w"));
}

} // namespace
