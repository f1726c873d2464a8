// Bus messages packed several to a PUBLISH, and what a node makes of a
// batch that is cut short or lies about its lengths.
#include "server/bus/BusBatch.h"

#include <gtest/gtest.h>

namespace {

TEST(ClusterBatchTest, MessagesComeOutAsTheyWentInWhateverTheyHold)
{
    const QByteArrayList cases[] = {
        {"1\nup\n1048577\nu01\n3"},
        {"1\nup\n1048577\nu01\n3", "1\nstc\n1048577\nu01\n2\nSTC\tu01\t2\t\n"},
        {"2\nline\n9\nu02\n0\n2\n0\nu01\n12:00\n3\n*\n", "", "*\n1\nx"},
    };
    for (const QByteArrayList &messages : cases)
        EXPECT_EQ(UnpackBusMessages(PackBusMessages(messages)), messages) << messages.join('|').constData();
    EXPECT_EQ(PackBusMessages({"1\nhello"}), "1\nhello") << "a lone message goes as it is";
}

TEST(ClusterBatchTest, ABadBatchGivesTheMessagesBeforeTheFault)
{
    const struct {
        QByteArray published;
        QByteArrayList messages;
    } cases[] = {
        {"*\n5\n1\nbye5\n1\nbye", {"1\nbye", "1\nbye"}},
        {"*\n5\n1\nbye9\n1\nbye", {"1\nbye"}},            // longer than what is left
        {"*\n5\n1\nbye-1\n", {"1\nbye"}},                 // negative
        {"*\n5\n1\nbyex\n", {"1\nbye"}},                  // no number
        {"*\n5\n1\nbye5", {"1\nbye"}},                    // no line end
        {"*\n99999999999999999999\n", {}},                // past any size
        {"*\n", {}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(UnpackBusMessages(c.published), c.messages) << c.published.constData();
}

} // namespace
