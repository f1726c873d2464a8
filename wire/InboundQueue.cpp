#include "wire/InboundQueue.h"

#include <cstring>

void FrameQueue::push(QByteArrayView frame)
{
    const qsizetype at = m_store.size();
    m_frames.push_back({m_base + at, frame.size()});
    // Grown and copied by hand: append() takes the general insertion path,
    // which costs more than the copy for frames of a few dozen bytes.
    m_store.resize(at + frame.size());
    std::memcpy(m_store.data() + at, frame.data(), frame.size());
    m_bytes += frame.size();
}

QByteArrayView FrameQueue::first() const
{
    const Span &span = m_frames.front();
    return QByteArrayView(m_store).sliced(span.position - m_base, span.length);
}

// Taken bytes leave the store when the queue runs empty, or once they make up
// half of it, so each byte is moved at most about once.
void FrameQueue::popFirst()
{
    m_bytes -= m_frames.front().length;
    m_frames.pop_front();
    if (m_frames.empty()) {
        m_base += m_store.size();
        m_store.truncate(0); // keeps the capacity for the next frames
        return;
    }
    const qsizetype taken = m_frames.front().position - m_base;
    if (taken * 2 >= m_store.size()) {
        m_store.remove(0, taken);
        m_base += taken;
    }
}

QByteArray FrameQueue::takeFirst()
{
    QByteArray frame = first().toByteArray();
    popFirst();
    return frame;
}

void FrameQueue::clear()
{
    m_frames.clear();
    m_base += m_store.size();
    m_store.clear();
    m_bytes = 0;
}
