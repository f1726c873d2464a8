#include "wire/FrameCutter.h"

#include <gtest/gtest.h>

#include <random>

namespace {

QByteArrayList Drain(InboundQueue &queue)
{
    QByteArrayList frames;
    while (!queue.empty())
        frames.append(queue.takeFirst());
    return frames;
}

// Feeds the reads one by one and returns every frame queued, in order.
QByteArrayList Cut(const QByteArrayList &reads)
{
    FrameCutter cutter;
    InboundQueue queue;
    for (const QByteArray &read : reads)
        EXPECT_EQ(cutter.CutFrames(read, queue), FrameCutter::Result::Ok);
    return Drain(queue);
}

struct CutCase {
    const char *name;
    QByteArrayList reads;
    QByteArrayList frames;
};

TEST(FrameCutter, CutsFramesAcrossReadBoundaries)
{
    const CutCase cases[] = {
        {"two frames in one read", {"000\r\nLSETS\r\n"}, {"000", "LSETS"}},
        {"one frame over three reads", {"UA", "DD\t1\tu0", "1\t3\t\r\n"}, {"UADD\t1\tu01\t3\t"}},
        {"CR and LF in separate reads", {"000\r", "\n002\tx\r\n"}, {"000", "002\tx"}},
        {"CR LF CR LF yields nothing", {"\r\n\r\n"}, {}},
        {"delimiter at stream start", {"\r\n000\r\n"}, {"000"}},
        {"frame waits for its delimiter", {"000\r\nMSG\tpartial"}, {"000"}},
        {"lone CR and LF stay in the frame", {"A\rB\nC\r\n"}, {"A\rB\nC"}},
        {"NUL bytes are kept", {QByteArray("A\0B\r\n", 5)}, {QByteArray("A\0B", 3)}},
        // 0x82 opens a double-byte character, so the CR after it is swallowed.
        {"lone lead byte swallows CR", {"A\x82\r\nB\r\n"}, {"A\x82\r\nB"}},
        {"even lead run leaves CR alone", {"\x82\x82\r\nB\r\n"}, {"\x82\x82", "B"}},
        {"lead run restarts with a frame", {"\x82\x82\r\n\x82\x41\r\n"}, {"\x82\x82", "\x82\x41"}},
        {"lead byte parity carried across reads", {"A\x82", "\r\n", "B\r\n"}, {"A\x82\r\nB"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Cut(c.reads), c.frames) << c.name;
}

TEST(FrameCutter, ByteByByteMatchesOneRead)
{
    std::mt19937 rng(7);
    QByteArray stream;
    const char alphabet[] = {'a', '\t', '\r', '\n', '\x82', '\xE0', '\x41', '\0'};
    for (int i = 0; i < 5000; ++i)
        stream.append(alphabet[rng() % sizeof alphabet]);

    QByteArrayList bytes;
    for (char b : stream)
        bytes.append(QByteArray(1, b));
    EXPECT_EQ(Cut(bytes), Cut({stream}));
}

TEST(FrameCutter, OverflowDropsPendingBytesAndRecovers)
{
    FrameCutter cutter;
    InboundQueue queue;
    const QByteArray chunk(64 * 1024, 'x');
    FrameCutter::Result result = FrameCutter::Result::Ok;
    EXPECT_EQ(cutter.CutFrames("000\r\n", queue), FrameCutter::Result::Ok);
    for (int i = 0; i < 17 && result == FrameCutter::Result::Ok; ++i)
        result = cutter.CutFrames(chunk, queue);
    EXPECT_EQ(result, FrameCutter::Result::Overflow);
    EXPECT_EQ(cutter.pendingBytes(), 0);
    EXPECT_EQ(cutter.CutFrames("LSETS\r\n", queue), FrameCutter::Result::Ok);
    EXPECT_EQ(Drain(queue), (QByteArrayList{"000", "LSETS"}));
}

// The longest frame is the same whether it comes in one read, in chunks or a
// byte at a time (the CR waiting for its LF is not held against it), and
// cutting it byte by byte stays linear: rescanning would take half a trillion
// steps.
TEST(FrameCutter, OneBoundForAFrameWhateverItsReads)
{
    for (const qsizetype size : {FrameCutter::MaxFrameBytes, FrameCutter::MaxFrameBytes + 1}) {
        const QByteArray frame = QByteArray(size, 'y') + "\r\n";
        for (const qsizetype chunk : {frame.size(), qsizetype(4096), qsizetype(1)}) {
            FrameCutter cutter;
            InboundQueue queue;
            FrameCutter::Result result = FrameCutter::Result::Ok;
            for (qsizetype at = 0; at < frame.size() && result == FrameCutter::Result::Ok; at += chunk)
                result = cutter.CutFrames(QByteArrayView(frame).sliced(at, std::min(chunk, frame.size() - at)), queue);
            const bool fits = size <= FrameCutter::MaxFrameBytes;
            EXPECT_EQ(result, fits ? FrameCutter::Result::Ok : FrameCutter::Result::Overflow)
                << size << " bytes in reads of " << chunk;
            EXPECT_EQ(queue.size(), fits ? 1 : 0) << size << " bytes in reads of " << chunk;
        }
    }
}

} // namespace
