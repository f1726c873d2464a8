#pragma once

#include "wire/InboundQueue.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>

// The receive buffer: bytes read from the socket but not yet cut into frames.
// The search for CR LF carries its position from one read to the next, so
// every byte is examined about once however the frame is split across reads.
class FrameCutter {
public:
    // A frame longer than this means the peer is not speaking our protocol;
    // the caller treats the connection as broken. The bound is the same
    // whether the frame comes in one read or a byte at a time.
    static constexpr qsizetype MaxFrameBytes = 1 << 20;

    enum class Result { Ok, Overflow };

    // Appends the bytes and moves every complete, non-empty frame into `queue`.
    // On Overflow the pending bytes are dropped; frames cut before stay queued.
    Result CutFrames(QByteArrayView bytes, InboundQueue &queue);

    // Drops a partial frame, e.g. one left over from a connection that ended.
    void clear();
    qsizetype pendingBytes() const { return m_buffer.size() - m_frameStart; }

private:
    void compact();

    QByteArray m_buffer;
    qsizetype m_frameStart = 0;   // first byte of the frame being searched
    qsizetype m_scanPos = 0;      // first byte not yet examined
};
