#include "server/TimeOfDayStamp.h"

#include <QTime>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

QByteArray LocalTimeOfDay() { return QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1(); }

// The kept text must follow the clock: the same as the local time read
// afresh, and a new one once the second has passed.
TEST(TimeOfDayStamp, FollowsTheLocalClockAcrossSeconds)
{
    TimeOfDayStamp stamp;
    const QByteArray first = stamp.now();
    QByteArray latest = first;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (latest == first && std::chrono::steady_clock::now() < deadline) {
        const QByteArray before = LocalTimeOfDay();
        latest = stamp.now();
        const QByteArray after = LocalTimeOfDay();
        EXPECT_TRUE(latest == before || latest == after) << latest.constData() << " between " << before.constData()
                                                         << " and " << after.constData();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_NE(latest, first) << "the text stayed " << first.constData() << " for 3 s";
    EXPECT_EQ(latest.size(), 8);
}

} // namespace
