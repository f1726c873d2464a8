#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <deque>

// Complete frames waiting for the drain, oldest first. Never holds an empty
// frame. The frames lie one after another in one store, so queuing a frame
// costs a copy of its bytes and no allocation of its own; a reader that
// handles a frame before anything else touches the queue can read it in place.
// Keeps a byte count so the reader can stop taking bytes from the socket while
// a modal box holds the drain up.
class FrameQueue {
public:
    void push(QByteArrayView frame);
    // The oldest frame, valid until the next push, pop or clear.
    QByteArrayView first() const;
    void popFirst();
    QByteArray takeFirst();

    bool empty() const { return m_frames.empty(); }
    qsizetype size() const { return static_cast<qsizetype>(m_frames.size()); }
    qsizetype byteCount() const { return m_bytes; }
    void clear();

private:
    struct Span {
        qsizetype position; // in the stream of all bytes ever stored
        qsizetype length;
    };
    QByteArray m_store;     // the stream from m_base on
    qsizetype m_base = 0;   // stream position of m_store's first byte
    std::deque<Span> m_frames;
    qsizetype m_bytes = 0;
};

// The queue as the receive path names it.
using InboundQueue = FrameQueue;
