// A busy conversation: inbound MSG frames for one member through the real
// drain into its open window, side by side with appending the same lines to a
// bare text box, the toolkit's floor.
//
//   conversation_bench --benchmark_repetitions=5
//
// Targets: within 2x the floor, and 20,000 lines within 2.2x the time of
// 10,000 (no line may cost more as the transcript grows).
#include "OwnFolder.h"
#include "main/Tmfrm.h"
#include "main/members/MemberItem.h"
#include "messaging/TfrmMsg.h"
#include "platform/WidgetText.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextEdit>

#include <benchmark/benchmark.h>

namespace {

const QByteArray Text = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd, a line of an ordinary length for a chat";

QByteArray Stamp(int i)
{
    return "2026/12/10 10:" + QByteArray::number(i % 60);
}

struct Client {
    Client() : mfrm(std::make_unique<Tmfrm>())
    {
        for (const QByteArray frame : {"LSETS", "LSETD\tU\t0\tu02\t\tSuzuki\tSuzuki\t\t", "LSETE",
                                       "UADD\t7\tu02\t3\t"})
            mfrm->InboundQueue.push(frame);
        mfrm->ProcTimerTimer();
        node = mfrm->FindMember("u02").first();
        mfrm->OpenConversation(node);
    }
    TfrmMsg *window() const { return qobject_cast<TfrmMsg *>(node->node.Window.data()); }

    OwnFolder folder; // made first, so the window reads no real user.ini
    std::unique_ptr<Tmfrm> mfrm;
    MemberItem *node = nullptr;
};

void MessagesThroughTheDrain(benchmark::State &state)
{
    Client client;
    const int lines = static_cast<int>(state.range(0));
    QByteArrayList frames;
    for (int i = 0; i < lines; ++i)
        frames.append("MSG\tu02\tu02\t" + Text + "\t" + Stamp(i) + "\t");
    for (auto _ : state) {
        state.PauseTiming();
        client.window()->msgout->clear();
        for (const QByteArray &frame : frames)
            client.mfrm->InboundQueue.push(frame);
        state.ResumeTiming();
        client.mfrm->ProcTimerTimer();
        QCoreApplication::processEvents(); // the view follows the newest line
    }
    if (client.window()->msgout->document()->blockCount() != lines)
        state.SkipWithError("the lines did not all arrive");
}

// The floor: the same lines, already made, appended to a bare text box.
void BareTextBoxAppend(benchmark::State &state)
{
    QTextEdit box;
    box.setReadOnly(true);
    box.resize(370, 190);
    box.show();
    const int lines = static_cast<int>(state.range(0));
    QStringList shown;
    for (int i = 0; i < lines; ++i)
        shown.append(ToWidgetText("[" + Stamp(i) + "]Suzuki >>> " + Text));
    for (auto _ : state) {
        state.PauseTiming();
        box.clear();
        state.ResumeTiming();
        for (const QString &line : shown)
            box.append(line);
    }
}

BENCHMARK(BareTextBoxAppend)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(MessagesThroughTheDrain)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

} // namespace
