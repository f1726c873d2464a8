#include "server/TimeOfDayStamp.h"

#include <QTime>

#include <chrono>

QByteArray TimeOfDayStamp::now()
{
    // The zone's offset changes only on a whole second, so a text made within
    // the same second of the epoch is still right.
    const std::int64_t second =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    if (second != m_second) {
        m_text = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1();
        m_second = second;
    }
    return m_text;
}
