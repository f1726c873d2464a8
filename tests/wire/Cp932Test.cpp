#include "wire/Cp932.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp932, RoundTripsJapaneseAndWindowsOnlyCharacters)
{
    // ～ (U+FF5E) and ① exist in code page 932 but not in plain Shift_JIS.
    const QString text = QStringLiteral("山田 太郎 ～ ① ＩＭ");
    const QByteArray bytes = cp932::FromUnicode(text);
    EXPECT_EQ(bytes.left(4), QByteArray("\x8E\x52\x93\x63"));
    EXPECT_EQ(cp932::ToUnicode(bytes), text);
}

TEST(Cp932, UnmappableAndInvalidBytesAreReplaced)
{
    EXPECT_EQ(cp932::FromUnicode(QStringLiteral("a😀b€")), QByteArray("a?b?"));
    EXPECT_EQ(cp932::ToUnicode(QByteArray("a\x82")), QStringLiteral("a\uFFFD"));
    EXPECT_EQ(cp932::ToUnicode(QByteArray("\xA0z")).back(), QChar('z'));
}

TEST(Cp932, TrailByteRule)
{
    const QByteArray text = "\x82\x82\x82\t";
    EXPECT_TRUE(cp932::IsTrailByteAt(text, 1));
    EXPECT_FALSE(cp932::IsTrailByteAt(text, 2));
    EXPECT_TRUE(cp932::IsTrailByteAt(text, 3));
}

} // namespace
