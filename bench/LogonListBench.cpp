// The member list a logon sends, for companies of 5,000 to 50,000 accounts,
// side by side with its floor: one pass grouping the accounts by department
// into the frames of the company list.
//
//   logon_list_bench --benchmark_repetitions=5
//
// CompanyList is the list of a user who never uploaded one; StoredList that
// of a user who uploaded theirs when the company had one member, so that
// every other account joins it at the logon (the most a stored list can
// grow). Targets: each within 2x the floor, and T(50,000)/T(20,000) at most
// 2.7 (2.5 is linear). Ratios of the median CPU times follow the table.
#include "MedianReporter.h"
#include "server/Directory.h"
#include "server/MemberList.h"
#include "server/StoredListUpdate.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int PeoplePerDepartment = 50;

Directory Company(int people)
{
    QList<Account> accounts;
    accounts.reserve(people);
    for (int i = 1; i <= people; ++i) {
        const QByteArray n = QByteArray::number(i);
        accounts.append(Account{"c" + n, 0, "hash", "\x8e\xd0\x88\xf5 " + n, "c" + n + "@example.jp",
                                "Dept " + QByteArray::number(i % (people / PeoplePerDepartment)), false, i});
    }
    return Directory(std::move(accounts));
}

QByteArray Frame(const QByteArray &kind, int depth, const QByteArray &id, const QByteArray &name,
                 const QByteArray &mail)
{
    return MakeFrame({"LSETD", kind, QByteArray::number(depth), id, "", name, name, mail}, TrailingTab::Yes);
}

// The floor: one pass putting each account's frame under its department.
void OnePassGrouping(benchmark::State &state)
{
    const Directory company = Company(int(state.range(0)));
    for (auto _ : state) {
        std::map<QByteArray, QByteArrayList> byDepartment;
        for (const Account &account : company.accounts())
            byDepartment[account.department].append(
                Frame("U", 1, account.id, account.displayName, account.mail));
        QByteArrayList frames;
        frames.reserve(company.accounts().size() + qsizetype(byDepartment.size()));
        for (auto &[department, members] : byDepartment) {
            frames.append(Frame("G", 0, department, department, {}));
            frames.append(members);
        }
        benchmark::DoNotOptimize(frames.data());
    }
}

void CompanyList(benchmark::State &state)
{
    const Directory company = Company(int(state.range(0)));
    for (auto _ : state) {
        QByteArrayList frames = CompanyListFrames(company);
        benchmark::DoNotOptimize(frames.data());
    }
}

void StoredList(benchmark::State &state)
{
    const Directory company = Company(int(state.range(0)));
    const Account &first = company.accounts().first();
    const QList<ListNode> stored{{"G", first.department, 0, first.department}, {"U", first.id, 1, first.displayName}};
    for (auto _ : state) {
        const ::StoredList list = UpdateStoredList(company, stored, first.order);
        QByteArrayList frames;
        frames.reserve(list.nodes.size());
        for (qsizetype i = 0; i < list.nodes.size(); ++i)
            frames.append(StoredNodeFrame(list, i));
        if (frames.size() != company.accounts().size() + company.departments().size())
            state.SkipWithError("the list is incomplete");
        benchmark::DoNotOptimize(frames.data());
    }
}

double Min(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

#define LIST_BENCHMARK(name)                                                                                       \
    BENCHMARK(name)->Arg(5000)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min)
LIST_BENCHMARK(OnePassGrouping);
LIST_BENCHMARK(CompanyList);
LIST_BENCHMARK(StoredList);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto &m = reporter.medians;
    auto ratio = [&](const std::string &a, const std::string &b) {
        if (m.count(a) && m.count(b) && m[b] > 0)
            std::printf("%-44s %6.2f\n", (a + " / " + b).c_str(), m[a] / m[b]);
    };
    for (const char *list : {"CompanyList", "StoredList"}) {
        for (const char *size : {"/5000", "/20000", "/50000"})
            ratio(list + std::string(size), "OnePassGrouping" + std::string(size));
        ratio(list + std::string("/50000"), list + std::string("/20000"));
    }
    ratio("OnePassGrouping/50000", "OnePassGrouping/20000");
    benchmark::Shutdown();
    return 0;
}
