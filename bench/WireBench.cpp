// Cutting received bytes into frames, and frames into fields, side by side
// with memchr scanning the same bytes: the floor of any search for CR LF.
//
//   wire_bench --benchmark_repetitions=5
//
// Targets: cutting within 3x memchr for CR LF; cutting plus field spans within
// 2x memchr for CR LF and TAB.
#include "wire/FieldList.h"
#include "wire/Fields.h"
#include "wire/FrameCutter.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

namespace {

constexpr qsizetype StreamBytes = 64 << 20;
constexpr qsizetype ReadBytes = 64 << 10; // what one socket read brings

// Frames as a logged-on client receives them: messages with Japanese text,
// presence, typing notices and list lines.
const QByteArray &Stream()
{
    static const QByteArray stream = [] {
        const QByteArray japanese = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\x81\x41\x8d\xa1\x93\xfa\x82\xcd";
        const QByteArray kinds[] = {
            "MSG\tu0123\tu0456\t" + japanese + " see you at the meeting at 10, room " + japanese +
                "\t2026/12/10 10:00:00\t\r\n",
            "UADD\t1234\tu0789\t3\t\r\n",
            "STC\tu0789\t2\t\r\n",
            "MSI\tu0123\tN\t\r\n",
            "LSETD\tU\t1\tu0999\t\t" + japanese + "\t" + japanese + "\tu0999@example.jp\t\r\n",
        };
        std::mt19937 rng(42);
        QByteArray bytes;
        bytes.reserve(StreamBytes + 256);
        while (bytes.size() < StreamBytes)
            bytes.append(kinds[rng() % std::size(kinds)]);
        return bytes;
    }();
    return stream;
}

// The floor: every CR LF found by memchr, in the same reads.
void MemchrCrLf(benchmark::State &state)
{
    const QByteArray &stream = Stream();
    for (auto _ : state) {
        qsizetype frames = 0;
        const char *p = stream.constData();
        const char *end = p + stream.size();
        while (const char *cr = static_cast<const char *>(std::memchr(p, '\r', end - p))) {
            if (cr + 1 < end && cr[1] == '\n')
                ++frames;
            p = cr + 1;
        }
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}

// The floor with fields: each frame found by memchr, then its TABs by memchr.
void MemchrCrLfAndTab(benchmark::State &state)
{
    const QByteArray &stream = Stream();
    for (auto _ : state) {
        qsizetype fields = 0;
        const char *p = stream.constData();
        const char *end = p + stream.size();
        while (const char *cr = static_cast<const char *>(std::memchr(p, '\r', end - p))) {
            for (const char *t = p; (t = static_cast<const char *>(std::memchr(t, '\t', cr - t))); ++t)
                ++fields;
            p = cr + 2;
        }
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}

template <typename EachFrame> void CutInReads(benchmark::State &state, EachFrame &&eachFrame)
{
    const QByteArray &stream = Stream();
    for (auto _ : state) {
        FrameCutter cutter;
        InboundQueue queue;
        for (qsizetype at = 0; at < stream.size(); at += ReadBytes) {
            cutter.CutFrames(QByteArrayView(stream).sliced(at, std::min(ReadBytes, stream.size() - at)), queue);
            for (; !queue.empty(); queue.popFirst())
                eachFrame(queue.first());
        }
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}

void CutFrames(benchmark::State &state)
{
    CutInReads(state, [](QByteArrayView frame) { benchmark::DoNotOptimize(frame.data()); });
}

void CutFramesAndFieldSpans(benchmark::State &state)
{
    CutInReads(state, [](QByteArrayView frame) { benchmark::DoNotOptimize(FieldSpans(frame).size()); });
}

// A frame of the largest size, in one read and in one-byte reads: the cost per
// byte must not grow with the frame.
void LargestFrame(benchmark::State &state)
{
    const qsizetype chunk = state.range(0);
    const QByteArray frame = QByteArray(FrameCutter::MaxFrameBytes, 'x') + "\r\n";
    for (auto _ : state) {
        FrameCutter cutter;
        InboundQueue queue;
        for (qsizetype at = 0; at < frame.size(); at += chunk)
            cutter.CutFrames(QByteArrayView(frame).sliced(at, std::min(chunk, frame.size() - at)), queue);
        if (queue.size() != 1)
            state.SkipWithError("the frame was not cut");
    }
    state.SetBytesProcessed(state.iterations() * frame.size());
}

BENCHMARK(MemchrCrLf)->Unit(benchmark::kMillisecond);
BENCHMARK(CutFrames)->Unit(benchmark::kMillisecond);
BENCHMARK(MemchrCrLfAndTab)->Unit(benchmark::kMillisecond);
BENCHMARK(CutFramesAndFieldSpans)->Unit(benchmark::kMillisecond);
BENCHMARK(LargestFrame)->Arg(FrameCutter::MaxFrameBytes + 2)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
