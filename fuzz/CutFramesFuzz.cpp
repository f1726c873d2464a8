// Frame cutting with read boundaries of the fuzzer's choosing gives the same
// frames, and the same verdict on an overlong frame, as one read of the lot.
#include "wire/FrameCutter.h"

#include <QByteArrayList>

#include <cstdint>
#include <cstdlib>

namespace {

struct Outcome {
    QByteArrayList frames;
    bool overflow = false;
    bool operator==(const Outcome &) const = default;
};

Outcome Cut(QByteArrayView stream, QByteArrayView boundaries)
{
    Outcome outcome;
    FrameCutter cutter;
    InboundQueue queue;
    qsizetype at = 0;
    for (qsizetype b = 0; at < stream.size(); ++b) {
        // Each boundary byte is the length of one read (1 to 256 bytes); the
        // rest of the stream comes in one read.
        const qsizetype length = b < boundaries.size() ? static_cast<unsigned char>(boundaries[b]) + 1
                                                       : stream.size() - at;
        const QByteArrayView read = stream.sliced(at, std::min(length, stream.size() - at));
        at += read.size();
        if (cutter.CutFrames(read, queue) == FrameCutter::Result::Overflow) {
            outcome.overflow = true;
            break;
        }
    }
    while (!queue.empty())
        outcome.frames.append(queue.takeFirst());
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte says how many of the following bytes are read lengths.
    const QByteArrayView input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const qsizetype boundaryCount = std::min<qsizetype>(static_cast<unsigned char>(input[0]), input.size() - 1);
    const QByteArrayView boundaries = input.sliced(1, boundaryCount);
    const QByteArrayView stream = input.sliced(1 + boundaryCount);
    if (!(Cut(stream, boundaries) == Cut(stream, {})))
        std::abort();
    return 0;
}
