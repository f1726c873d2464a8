#include "wire/FrameCutter.h"

#include "wire/Cp932.h"

#include <cstring>

namespace {

enum class Scan { Done, FrameTooLong };

// Queues every complete frame of `bytes` from `frameStart` on, searching from
// `scanPos`. Delimiters are found with memchr: only a CR followed by LF can
// end a frame, and only the run of lead bytes right before that CR (back to
// the frame's start) decides whether the CR is the second byte of a character
// instead. Those runs lie between CRs, so each byte is looked at about once.
// On return `scanPos` is the first byte not yet searched: the end, or a CR
// whose LF has not come yet.
Scan CutComplete(QByteArrayView bytes, qsizetype &frameStart, qsizetype &scanPos, FrameQueue &queue)
{
    const char *data = bytes.data();
    const qsizetype size = bytes.size();
    qsizetype i = scanPos;
    while (i < size) {
        const auto *cr = static_cast<const char *>(std::memchr(data + i, '\r', size - i));
        if (!cr) {
            i = size;
            break;
        }
        const qsizetype at = cr - data;
        if (at + 1 == size) {
            i = at; // the LF may come with the next read
            break;
        }
        if (data[at + 1] != '\n' || cp932::IsTrailByteAt(bytes, at, frameStart)) {
            i = at + 1;
            continue;
        }
        // One bound for a frame, whatever the reads it came in.
        if (at - frameStart > FrameCutter::MaxFrameBytes)
            return Scan::FrameTooLong;
        if (at > frameStart)
            queue.push(bytes.sliced(frameStart, at - frameStart));
        i = at + 2;
        frameStart = i;
    }
    scanPos = i;
    return Scan::Done;
}

} // namespace

FrameCutter::Result FrameCutter::CutFrames(QByteArrayView bytes, InboundQueue &queue)
{
    Scan scan;
    if (m_buffer.isEmpty()) {
        // Nothing pending: the frames are cut from the read itself, and only
        // its unfinished end is kept.
        qsizetype frameStart = 0;
        qsizetype scanPos = 0;
        scan = CutComplete(bytes, frameStart, scanPos, queue);
        if (scan == Scan::Done) {
            m_buffer.append(bytes.sliced(frameStart));
            m_scanPos = scanPos - frameStart;
        }
    } else {
        m_buffer.append(bytes);
        scan = CutComplete(m_buffer, m_frameStart, m_scanPos, queue);
    }
    // A CR waiting for its LF is not counted: it may be the delimiter.
    if (scan == Scan::FrameTooLong || m_scanPos - m_frameStart > MaxFrameBytes) {
        clear();
        return Result::Overflow;
    }
    compact();
    return Result::Ok;
}

void FrameCutter::clear()
{
    m_buffer.clear();
    m_frameStart = m_scanPos = 0;
}

// Cut frames are dropped from the front once they make up half the buffer,
// which keeps the cost per byte constant; a buffer left with nothing pending
// is emptied, so the next read is cut in place.
void FrameCutter::compact()
{
    if (m_frameStart == m_buffer.size()) {
        m_buffer.truncate(0);
        m_frameStart = m_scanPos = 0;
        return;
    }
    if (m_frameStart == 0 || m_frameStart * 2 < m_buffer.size())
        return;
    m_buffer.remove(0, m_frameStart);
    m_scanPos -= m_frameStart;
    m_frameStart = 0;
}
