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

TEST(FrameCutter, LargeFrameSentByteByByteIsCutOnce)
{
    // Carrying the search position makes this linear; rescanning would take
    // half a trillion steps.
    FrameCutter cutter;
    InboundQueue queue;
    const qsizetype size = FrameCutter::MaxFrameBytes - 2;
    for (qsizetype i = 0; i < size; ++i)
        ASSERT_EQ(cutter.CutFrames("y", queue), FrameCutter::Result::Ok);
    cutter.CutFrames("\r\n", queue);
    ASSERT_EQ(queue.size(), 1);
    EXPECT_EQ(queue.takeFirst().size(), size);
}

} // namespace
