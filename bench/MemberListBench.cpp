// How long a large member list takes to arrive, side by side with what the
// tree widget itself needs for the same nodes, and the burst of UADD frames
// that follows a logon.
//
//   memberlist_bench --benchmark_min_time=2
//
// Targets: the list through the drain within 3x the bare insertion; 10,000
// UADD frames within the time of the list itself.
#include "OwnFolder.h"
#include "main/Tmfrm.h"
#include "main/members/MemberTree.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

namespace {

constexpr int Groups = 200;
constexpr int MembersPerGroup = 99; // with the groups, 20,000 nodes
constexpr int OnlineMembers = 10000;

QByteArray MemberId(int group, int member)
{
    return "m" + QByteArray::number(group * MembersPerGroup + member);
}

// LSETS, one LSETD per node (groups at depth 0, members at depth 1), LSETE.
QByteArrayList ListFrames()
{
    QByteArrayList frames{"LSETS"};
    for (int g = 0; g < Groups; ++g) {
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

void ListThroughTheDrain(benchmark::State &state)
{
    Client client;
    const QByteArrayList frames = ListFrames();
    for (auto _ : state) {
        state.PauseTiming();
        // The previous list goes outside the timing, as the bare tree's does.
        client.mfrm.Members->clear();
        client.mfrm.ListBuffer.clear();
        Queue(client.mfrm, frames);
        state.ResumeTiming();
        client.mfrm.ProcTimerTimer();
    }
    if (client.mfrm.FindMember(MemberId(Groups - 1, MembersPerGroup - 1)).size() != 1)
        state.SkipWithError("the list did not load");
}

// The floor: the same nodes made and inserted into a bare tree in one batch.
void BareTreeInsertion(benchmark::State &state)
{
    QTreeWidget tree;
    QList<QStringList> groupNames, memberNames;
    for (int g = 0; g < Groups; ++g) {
        groupNames.append({QStringLiteral("g%1").arg(g)});
        for (int m = 0; m < MembersPerGroup; ++m)
            memberNames.append({QStringLiteral("メンバ") + QString::fromLatin1(MemberId(g, m))});
    }
    for (auto _ : state) {
        state.PauseTiming();
        tree.clear();
        state.ResumeTiming();
        QList<QTreeWidgetItem *> top;
        top.reserve(Groups);
        for (int g = 0; g < Groups; ++g) {
            auto *group = new QTreeWidgetItem(groupNames[g]);
            for (int m = 0; m < MembersPerGroup; ++m)
                group->addChild(new QTreeWidgetItem(memberNames[g * MembersPerGroup + m]));
            top.append(group);
        }
        tree.addTopLevelItems(top);
    }
}

void UaddBurstAfterTheList(benchmark::State &state)
{
    Client client;
    Queue(client.mfrm, ListFrames());
    client.mfrm.ProcTimerTimer();
    QByteArrayList uadds;
    for (int i = 0; i < OnlineMembers; ++i)
        uadds.append("UADD\t" + QByteArray::number(i) + "\t" + MemberId(i % Groups, i / Groups) + "\t3\t");
    for (auto _ : state) {
        state.PauseTiming();
        Queue(client.mfrm, uadds);
        state.ResumeTiming();
        client.mfrm.ProcTimerTimer();
    }
}

BENCHMARK(BareTreeInsertion)->Unit(benchmark::kMillisecond);
BENCHMARK(ListThroughTheDrain)->Unit(benchmark::kMillisecond);
BENCHMARK(UaddBurstAfterTheList)->Unit(benchmark::kMillisecond);

} // namespace
