#pragma once

#include <QByteArray>

#include <deque>

// Complete frames waiting for the drain, oldest first. Never holds an empty
// frame. Keeps a byte count so the reader can stop taking bytes from the socket
// while a modal box holds the drain up.
class FrameQueue {
public:
    void push(QByteArray frame)
    {
        m_bytes += frame.size();
        m_frames.push_back(std::move(frame));
    }
    QByteArray takeFirst()
    {
        QByteArray frame = std::move(m_frames.front());
        m_frames.pop_front();
        m_bytes -= frame.size();
        return frame;
    }
    bool empty() const { return m_frames.empty(); }
    qsizetype size() const { return static_cast<qsizetype>(m_frames.size()); }
    qsizetype byteCount() const { return m_bytes; }
    void clear()
    {
        m_frames.clear();
        m_bytes = 0;
    }

private:
    std::deque<QByteArray> m_frames;
    qsizetype m_bytes = 0;
};

// The queue as the receive path names it.
using InboundQueue = FrameQueue;
