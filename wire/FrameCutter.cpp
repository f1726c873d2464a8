#include "wire/FrameCutter.h"

#include "wire/Cp932.h"

FrameCutter::Result FrameCutter::CutFrames(QByteArrayView bytes, InboundQueue &queue)
{
    m_buffer.append(bytes);
    const qsizetype size = m_buffer.size();
    const char *data = m_buffer.constData();

    qsizetype i = m_scanPos;
    while (i < size) {
        const auto byte = static_cast<unsigned char>(data[i]);
        if (byte == '\r' && !m_oddLeadRun) {
            if (i + 1 == size)
                break; // the LF may come with the next read
            if (data[i + 1] == '\n') {
                if (i > m_frameStart)
                    queue.push(QByteArray(data + m_frameStart, i - m_frameStart));
                i += 2;
                m_frameStart = i;
                continue; // the lead-byte run restarts with the frame
            }
        }
        m_oddLeadRun = cp932::IsLeadByte(byte) && !m_oddLeadRun;
        ++i;
    }
    m_scanPos = i;

    if (pendingBytes() > MaxFrameBytes) {
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
    m_oddLeadRun = false;
}

// Cut frames are dropped from the front only once they make up half the
// buffer, which keeps the cost per byte constant.
void FrameCutter::compact()
{
    if (m_frameStart == 0 || m_frameStart * 2 < m_buffer.size())
        return;
    m_buffer.remove(0, m_frameStart);
    m_scanPos -= m_frameStart;
    m_frameStart = 0;
}
