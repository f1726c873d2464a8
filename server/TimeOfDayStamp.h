#pragma once

#include <QByteArray>

#include <cstdint>

// The local time of day, "HH:mm:ss", that the server puts on every message it
// routes. Finding the local time costs a look at the zone file and a
// formatting each time; at tens of thousands of messages a second that was a
// tenth of the server's CPU, so the text is made once per second and kept.
class TimeOfDayStamp
{
public:
    QByteArray now();

private:
    std::int64_t m_second = -1; // seconds since the epoch that m_text shows
    QByteArray m_text;
};
