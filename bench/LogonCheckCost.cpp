// The cost of a password check against an account's stored hash, at whatever
// cost that hash carries: the unit of the logon storm's bound.
//
//   logon_check_cost DATA_DIR USER_ID PASSWORD [REPETITIONS] [THREADS]
//
// Prints the CPU time of one check run alone as
// "RESULT check_cost_s MIN MEDIAN COUNT"; with THREADS, also the wall time of
// a batch of THREADS checks run at once on THREADS threads, as
// "RESULT batch_wall_s MIN MEDIAN COUNT THREADS". Checks side by side are
// each slower than one alone: every check sweeps its own 64 MiB, and they
// share the memory bandwidth and the last-level cache. A storm runs the
// checks side by side on every core, so the batch is what it pays.
#include "server/AccountStore.h"
#include "server/PasswordHash.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

namespace {

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double WallSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The wall time of `threads` checks started together, one on each thread;
// negative when a check fails.
double Batch(const QByteArray &hash, const char *password, int threads)
{
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<bool> failed{false};
    std::vector<std::thread> workers;
    for (int i = 0; i < threads; ++i)
        workers.emplace_back([&] {
            ready.fetch_add(1);
            while (!go.load())
                std::this_thread::yield();
            if (!VerifyPassword(hash, password))
                failed.store(true);
        });
    while (ready.load() < threads)
        std::this_thread::yield();
    const double start = WallSeconds();
    go.store(true);
    for (std::thread &worker : workers)
        worker.join();
    return failed.load() ? -1 : WallSeconds() - start;
}

void PrintResult(const char *name, std::vector<double> seconds, const char *extra = "")
{
    std::sort(seconds.begin(), seconds.end());
    std::printf("RESULT %s %.6g %.6g %zu%s\n", name, seconds.front(), seconds[seconds.size() / 2], seconds.size(), extra);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: logon_check_cost DATA_DIR USER_ID PASSWORD [REPETITIONS] [THREADS]\n");
        return 2;
    }
    QString error;
    const auto store = AccountStore::Open(QString::fromLocal8Bit(argv[1]), &error);
    const auto account = store ? store->account(argv[2]) : std::nullopt;
    if (!account) {
        std::fprintf(stderr, "no account %s: %s\n", argv[2], qPrintable(error));
        return 1;
    }
    const int repetitions = argc > 4 ? std::max(1, std::atoi(argv[4])) : 9;
    std::vector<double> seconds;
    for (int i = 0; i < repetitions; ++i) {
        const double start = ThreadCpuSeconds();
        if (!VerifyPassword(account->passwordHash, argv[3])) {
            std::fprintf(stderr, "the password does not match\n");
            return 1;
        }
        seconds.push_back(ThreadCpuSeconds() - start);
    }
    std::printf("%s\n", account->passwordHash.left(account->passwordHash.indexOf("$", 12)).constData());
    PrintResult("check_cost_s", seconds);

    const int threads = argc > 5 ? std::max(1, std::atoi(argv[5])) : 0;
    if (threads == 0)
        return 0;
    std::vector<double> batches;
    for (int i = 0; i < repetitions; ++i) {
        const double wall = Batch(account->passwordHash, argv[3], threads);
        if (wall < 0) {
            std::fprintf(stderr, "the password does not match\n");
            return 1;
        }
        batches.push_back(wall);
    }
    PrintResult("batch_wall_s", batches, (" " + std::to_string(threads)).c_str());
    return 0;
}
