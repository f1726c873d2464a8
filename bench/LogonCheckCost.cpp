// The CPU time of one password check against an account's stored hash, at
// whatever cost that hash carries: the unit of the logon storm's bound
// (checks x cost / cores).
//
//   logon_check_cost DATA_DIR USER_ID PASSWORD [REPETITIONS]
//
// Prints min and median as "RESULT check_cost_s MIN MEDIAN COUNT".
#include "server/AccountStore.h"
#include "server/PasswordHash.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: logon_check_cost DATA_DIR USER_ID PASSWORD [REPETITIONS]\n");
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
    std::sort(seconds.begin(), seconds.end());
    std::printf("%s\n", account->passwordHash.left(account->passwordHash.indexOf("$", 12)).constData());
    std::printf("RESULT check_cost_s %.6g %.6g %d\n", seconds.front(), seconds[seconds.size() / 2], repetitions);
    return 0;
}
