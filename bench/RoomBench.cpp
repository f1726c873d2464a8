// Room traffic through the real drain into one open room window, side by side
// with what bare widgets need for the same rows and lines: ADM for every
// member, then 10,000 typing notices (CHI) and 10,000 chat lines (CHA).
//
//   room_bench --benchmark_repetitions=5
//
// Targets: the room within 2x the floor; 4,000 members within 2.2x the time of
// 2,000 (finding a member by id must not walk the list). The ratios of the
// median CPU times are printed after the table: everything runs on one
// thread, and CPU time is what a machine shared with builds leaves alone.
#include "MedianReporter.h"
#include "OwnFolder.h"
#include "main/Tmfrm.h"
#include "meetings/TfrmMeet.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextEdit>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace {

constexpr int Notices = 10000;
constexpr int Lines = 10000;

QByteArray MemberId(int i)
{
    return "Member" + QByteArray::number(i);
}
QByteArray MemberName(int i)
{
    return "\x83\x81\x83\x93\x83\x6f" + QByteArray::number(i); // メンバ and a number
}
QByteArray LineText(int i)
{
    return "\x8d\xa1\x93\xfa\x82\xcc\x89\xef\x8b\x63 " + QByteArray::number(i); // 今日の会議
}

// The frames of the run: ADM for every member, then CHI and CHA interleaved.
// Typing notices name members in every position and letter case.
QByteArrayList RoomTraffic(int members)
{
    QByteArrayList frames;
    for (int i = 0; i < members; ++i)
        frames.append("MRD\t1\tADM\t" + MemberId(i) + "\t" + MemberName(i) + "\t");
    for (int i = 0; i < std::max(Notices, Lines); ++i) {
        const int who = (i * 7919) % members;
        if (i < Notices)
            frames.append("MRD\t1\tCHI\t" + MemberId(who).toUpper() + "\t" + (i % 2 ? "F" : "N") + "\t");
        if (i < Lines)
            frames.append("MRD\t1\tCHA\t10:00:00\t" + MemberId(who) + "\t" + MemberName(who) + "\t" + LineText(i) +
                          "\t");
    }
    return frames;
}

struct Client {
    OwnFolder folder; // made first, so the window reads no real user.ini
    Tmfrm mfrm;
};

void Drain(Tmfrm &mfrm, const QByteArrayList &frames)
{
    for (const QByteArray &frame : frames)
        mfrm.InboundQueue.push(frame);
    mfrm.ProcTimerTimer();
}

void RoomThroughTheDrain(benchmark::State &state)
{
    const int members = static_cast<int>(state.range(0));
    Client client;
    const QByteArrayList frames = RoomTraffic(members);
    for (auto _ : state) {
        state.PauseTiming();
        if (QObject *open = client.mfrm.RoomTable.find("1"))
            static_cast<TfrmMeet *>(open)->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        Drain(client.mfrm, {"MRM\t1\tbench\t"});
        QCoreApplication::processEvents();
        for (const QByteArray &frame : frames)
            client.mfrm.InboundQueue.push(frame);
        state.ResumeTiming();
        client.mfrm.ProcTimerTimer();
        QCoreApplication::processEvents(); // the repaints the notices asked for
    }
    auto *room = qobject_cast<TfrmMeet *>(client.mfrm.RoomTable.find("1"));
    if (!room || room->MemberList->count() != members || !room->Member(MemberId(members - 1)))
        state.SkipWithError("the members did not arrive");
}

// The floor: the same rows added to a bare list and the same lines appended
// to a bare text box, both shown.
void BareWidgets(benchmark::State &state)
{
    const int members = static_cast<int>(state.range(0));
    QStringList ids, lines;
    for (int i = 0; i < members; ++i)
        ids.append(QString::fromLatin1(MemberId(i)));
    for (int i = 0; i < Lines; ++i)
        lines.append(QStringLiteral("[10:00:00]メンバ%1 >>> 今日の会議 %2").arg((i * 7919) % members).arg(i));
    std::unique_ptr<QListWidget> list;
    std::unique_ptr<QTextEdit> text;
    for (auto _ : state) {
        state.PauseTiming();
        list = std::make_unique<QListWidget>(); // the previous ones go outside the timing
        text = std::make_unique<QTextEdit>();
        list->show();
        text->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        for (const QString &id : ids)
            list->addItem(id);
        for (const QString &line : lines)
            text->append(line);
        QCoreApplication::processEvents();
    }
}

double Min(const std::vector<double> &v)
{
    return *std::min_element(v.begin(), v.end());
}

BENCHMARK(BareWidgets)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);
BENCHMARK(RoomThroughTheDrain)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", Min);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The offscreen platform warns at every show; printing would be measured.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto &m = reporter.medians;
    auto ratio = [&](const std::string &a, const std::string &b) {
        if (m.count(a) && m.count(b) && m[b] > 0)
            std::printf("%-40s %6.2f\n", (a + " / " + b).c_str(), m[a] / m[b]);
    };
    ratio("RoomThroughTheDrain/2000", "BareWidgets/2000");
    ratio("RoomThroughTheDrain/4000", "BareWidgets/4000");
    ratio("RoomThroughTheDrain/4000", "RoomThroughTheDrain/2000");
    ratio("BareWidgets/4000", "BareWidgets/2000");
    benchmark::Shutdown();
    return 0;
}
