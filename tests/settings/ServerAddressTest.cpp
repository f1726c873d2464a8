#include "settings/ServerAddress.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerAddress, ReadsWhatTheServerLineHolds)
{
    const struct {
        const char *text;
        std::optional<ServerAddress> parsed;
    } cases[] = {
        {"im.example.co.jp", ServerAddress{"im.example.co.jp", 9002}},
        {" 10.0.0.5:9100 ", ServerAddress{"10.0.0.5", 9100}},
        {"[::1]:9003", ServerAddress{"::1", 9003}},
        {"[fe80::1]", ServerAddress{"fe80::1", 9002}},
        {"fe80::1", ServerAddress{"fe80::1", 9002}},
        {"", std::nullopt},
        {"host:", std::nullopt},
        {"host:0", std::nullopt},
        {"host:65536", std::nullopt},
        {"host:+80", std::nullopt},
        {"host:http", std::nullopt},
        {"two words", std::nullopt},
        {"user@host", std::nullopt},
        {"[::1", std::nullopt},
        {"[::1]9003", std::nullopt},
        {"ホスト", std::nullopt},
    };
    for (const auto &c : cases) {
        const auto parsed = ParseServerAddress(QString::fromUtf8(c.text), 9002);
        ASSERT_EQ(parsed.has_value(), c.parsed.has_value()) << c.text;
        if (parsed) {
            EXPECT_EQ(parsed->host, c.parsed->host) << c.text;
            EXPECT_EQ(parsed->port, c.parsed->port) << c.text;
            // What the dialog shows reads back as the same server.
            const auto again = ParseServerAddress(ServerAddressText(*parsed), 1);
            ASSERT_TRUE(again) << c.text;
            EXPECT_EQ(again->host, parsed->host);
            EXPECT_EQ(again->port, parsed->port);
        }
    }
}

} // namespace
