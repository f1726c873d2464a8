// How long a large member list takes to arrive and how much heap it holds once
// loaded, side by side with what a bare tree widget needs for the same nodes,
// and the burst of UADD frames that follows a logon.
//
//   memberlist_bench --benchmark_repetitions=5
//
// Targets: the list through the drain within 3x the bare insertion; the heap
// held per node at most 1.3x the bare tree's; 10,000 UADD frames within the
// time of the list itself. The ratios of the medians (and of the minimums) are
// printed after the table: everything runs on one thread, and CPU time is what
// a machine shared with builds leaves alone.
#include "OwnFolder.h"
#include "main/Tmfrm.h"
#include "main/members/MemberTree.h"

#include <QApplication>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace {

constexpr int MembersPerGroup = 99; // a group and its members: 100 nodes
constexpr int OnlineMembers = 10000;
const char *const HeapCounter = "heap_B_per_node";

int GroupsFor(const benchmark::State &state)
{
    return static_cast<int>(state.range(0)) / (MembersPerGroup + 1);
}

QByteArray MemberId(int group, int member)
{
    return "m" + QByteArray::number(group * MembersPerGroup + member);
}

// LSETS, one LSETD per node (groups at depth 0, members at depth 1), LSETE.
QByteArrayList ListFrames(int groups)
{
    QByteArrayList frames{"LSETS"};
    for (int g = 0; g < groups; ++g) {
        const QByteArray group = "g" + QByteArray::number(g);
        frames.append("LSETD\tG\t0\t" + group + "\t\t" + group + "\t" + group + "\t\t");
        for (int m = 0; m < MembersPerGroup; ++m) {
            const QByteArray id = MemberId(g, m);
            frames.append("LSETD\tU\t1\t" + id + "\t\t\x83\x81\x83\x93\x83\x6f" + id + "\t" + id + "\t" + id +
                          "@example.jp\t");
        }
    }
    frames.append("LSETE");
    return frames;
}

// The bare tree's captions: what the client's labels show.
QString GroupCaption(int g)
{
    return QStringLiteral("g%1").arg(g);
}
QString MemberCaption(int g, int m)
{
    return QStringLiteral("メンバ") + QString::fromLatin1(MemberId(g, m));
}

// The bare tree's nodes, made and inserted in one batch.
void InsertBare(QTreeWidget &tree, const QList<QStringList> &groupNames, const QList<QStringList> &memberNames)
{
    QList<QTreeWidgetItem *> top;
    top.reserve(groupNames.size());
    for (qsizetype g = 0; g < groupNames.size(); ++g) {
        auto *group = new QTreeWidgetItem(groupNames[g]);
        for (int m = 0; m < MembersPerGroup; ++m)
            group->addChild(new QTreeWidgetItem(memberNames[g * MembersPerGroup + m]));
        top.append(group);
    }
    tree.addTopLevelItems(top);
}

// Bytes in use on the heap, all arenas, mapped blocks included.
qint64 HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
}

// The main window in a folder of its own, so no user.ini is touched.
struct Client {
    OwnFolder folder; // made first, so the window reads no real user.ini
    Tmfrm mfrm;
};

void Queue(Tmfrm &mfrm, const QByteArrayList &frames)
{
    for (const QByteArray &frame : frames)
        mfrm.InboundQueue.push(frame);
}

void ClearList(Tmfrm &mfrm)
{
    mfrm.Members->clear();
    mfrm.ListBuffer.clear();
}

// The heap a loaded list holds per node: from an empty tree with nothing
// queued to the list loaded and the drain returned.
double ClientHeapPerNode(Tmfrm &mfrm, const QByteArrayList &frames, qint64 nodes)
{
    ClearList(mfrm);
    const qint64 before = HeapInUse();
    Queue(mfrm, frames);
    mfrm.ProcTimerTimer();
    return double(HeapInUse() - before) / double(nodes);
}

// The same for the bare tree, its captions made inside the measurement as the
// client's are.
double BareHeapPerNode(QTreeWidget &tree, int groups)
{
    tree.clear();
    const qint64 before = HeapInUse();
    QList<QStringList> groupNames, memberNames;
    for (int g = 0; g < groups; ++g) {
        groupNames.append({GroupCaption(g)});
        for (int m = 0; m < MembersPerGroup; ++m)
            memberNames.append({MemberCaption(g, m)});
    }
    InsertBare(tree, groupNames, memberNames);
    groupNames.clear();
    memberNames.clear();
    return double(HeapInUse() - before) / double(groups * (MembersPerGroup + 1));
}

void ListThroughTheDrain(benchmark::State &state)
{
    Client client;
    const int groups = GroupsFor(state);
    const QByteArrayList frames = ListFrames(groups);
    for (auto _ : state) {
        state.PauseTiming();
        // The previous list goes outside the timing, as the bare tree's does.
        ClearList(client.mfrm);
        Queue(client.mfrm, frames);
        state.ResumeTiming();
        client.mfrm.ProcTimerTimer();
    }
    if (client.mfrm.FindMember(MemberId(groups - 1, MembersPerGroup - 1)).size() != 1)
        state.SkipWithError("the list did not load");
    state.counters[HeapCounter] = ClientHeapPerNode(client.mfrm, frames, state.range(0));
}

// The floor: the same nodes made and inserted into a bare tree in one batch.
void BareTreeInsertion(benchmark::State &state)
{
    QTreeWidget tree;
    const int groups = GroupsFor(state);
    QList<QStringList> groupNames, memberNames;
    for (int g = 0; g < groups; ++g) {
        groupNames.append({GroupCaption(g)});
        for (int m = 0; m < MembersPerGroup; ++m)
            memberNames.append({MemberCaption(g, m)});
    }
    for (auto _ : state) {
        state.PauseTiming();
        tree.clear();
        state.ResumeTiming();
        InsertBare(tree, groupNames, memberNames);
    }
    state.counters[HeapCounter] = BareHeapPerNode(tree, groups);
}

void UaddBurstAfterTheList(benchmark::State &state)
{
    Client client;
    const int groups = GroupsFor(state);
    Queue(client.mfrm, ListFrames(groups));
    client.mfrm.ProcTimerTimer();
    QByteArrayList uadds;
    for (int i = 0; i < OnlineMembers; ++i)
        uadds.append("UADD\t" + QByteArray::number(i) + "\t" + MemberId(i % groups, i / groups) + "\t3\t");
    for (auto _ : state) {
        state.PauseTiming();
        Queue(client.mfrm, uadds);
        state.ResumeTiming();
        client.mfrm.ProcTimerTimer();
    }
}

double Min(const std::vector<double> &v)
{
    return v.empty() ? 0 : *std::min_element(v.begin(), v.end());
}

BENCHMARK(BareTreeInsertion)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);
BENCHMARK(ListThroughTheDrain)->Arg(20000)->Arg(50000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);
BENCHMARK(UaddBurstAfterTheList)->Arg(20000)->Unit(benchmark::kMillisecond);

// Keeps the median and minimum of each figure to print the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Figures {
        double cpu = 0;
        double heap = 0;
    };
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const std::string key = run.run_name.function_name + "/" + run.run_name.args;
            const auto heap = run.counters.find(HeapCounter);
            const Figures figures{run.GetAdjustedCPUTime(), heap == run.counters.end() ? 0.0 : double(heap->second)};
            if (run.run_type == Run::RT_Aggregate && (run.aggregate_name == "median" || run.aggregate_name == "min"))
                byStatistic[run.aggregate_name][key] = figures;
            else if (run.run_type == Run::RT_Iteration && run.repetitions <= 1)
                byStatistic["median"][key] = byStatistic["min"][key] = figures;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, std::map<std::string, Figures>> byStatistic;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns at every raise(); a desktop does not, and
    // printing thousands of warnings would be measured with the rest.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n%-48s %8s %8s %10s %10s\n", "ratio", "cpu med", "cpu min", "heap med", "heap min");
    for (const char *nodes : {"20000", "50000"}) {
        const std::string client = std::string("ListThroughTheDrain/") + nodes;
        const std::string bare = std::string("BareTreeInsertion/") + nodes;
        auto &median = reporter.byStatistic["median"];
        auto &min = reporter.byStatistic["min"];
        if (!median.count(client) || !median.count(bare))
            continue;
        const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
        std::printf("%-48s %8.2f %8.2f %10.2f %10.2f\n", (client + " / " + bare).c_str(),
                    ratio(median[client].cpu, median[bare].cpu), ratio(min[client].cpu, min[bare].cpu),
                    ratio(median[client].heap, median[bare].heap), ratio(min[client].heap, min[bare].heap));
    }
    benchmark::Shutdown();
    return 0;
}
