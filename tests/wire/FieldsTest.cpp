#include "wire/FieldList.h"
#include "wire/Fields.h"
#include "wire/FrameText.h"
#include "wire/Cp932.h"
#include "wire/ReferenceSplit.h"

#include <random>

#include <gtest/gtest.h>

namespace {

TEST(SplitFields, Table)
{
    const struct {
        QByteArray frame;
        QByteArrayList fields;
    } cases[] = {
        {"A\tB\t", {"A", "B"}},
        {"A\t\tB", {"A", "", "B"}},
        {"LSETS", {"LSETS"}},
        {"000\t", {"000"}},
        {"\tA", {"", "A"}},
        {"MSG\tx\ny", {"MSG", "x", "y"}},       // a lone LF splits a field
        {"MSG\tx\ry\r\nz", {"MSG", "x", "y", "z"}},
        {"A\tB\r", {"A", "B", ""}},              // CR then the added CR LF
        {"A\x82\tB", {"A\x82\tB"}},              // lead byte swallows the TAB
        {"A\x82\x82\tB", {"A\x82\x82", "B"}},
        {QByteArray("A\0\tB", 4), {QByteArray("A\0", 2), "B"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitFields(c.frame), c.fields) << c.frame.toStdString();
}

TEST(SplitFields, OnePassAgreesWithTheTwoStepDefinition)
{
    std::mt19937 rng(11);
    const char alphabet[] = {'a', 'b', 'c', 'd', '\t', '\r', '\n', '\x82', '\x41', '\xE0'};
    for (int n = 0; n < 20000; ++n) {
        QByteArray frame;
        // Up to 40 bytes, so that frames long enough to be searched in blocks
        // are compared as well.
        for (int len = rng() % 41; len > 0; --len)
            frame.append(alphabet[rng() % sizeof alphabet]);
        ASSERT_EQ(SplitFields(frame), ReferenceSplit(frame)) << frame.toHex().toStdString();
    }
}

TEST(SplitFields, RoundTripsBuiltFrames)
{
    const QByteArray name = "\x8E\x52\x93\x63"; // 山田
    const QByteArray frame = MakeFrame({"MSG", "u01", name, "", "12:00:00"}, TrailingTab::Yes);
    EXPECT_EQ(frame, "MSG\tu01\t" + name + "\t\t12:00:00\t");
    EXPECT_EQ(SplitFields(frame), (QByteArrayList{"MSG", "u01", name, "", "12:00:00"}));
    EXPECT_EQ(MakeFrame({"LSETS"}, TrailingTab::No), "LSETS");
}

TEST(CleanFieldText, Table)
{
    const struct {
        QByteArray text;
        qsizetype limit;
        QByteArray clean;
    } cases[] = {
        {"ab\tc", 50, "abc"},
        {"x\r\ny", 50, "xy"},
        {"x\ry", 50, "x\ry"},                  // a lone CR stays
        {"x\ny", 50, "x\ny"},
        {"\r\r\n\n", 50, ""},                  // pairs that meet once the inner one goes
        {"\r\t\n", 50, ""},                    // never closes up into a delimiter
        {"123456789\x82\xA0", 10, "123456789"}, // tenth byte opens a character
        {"12345678\x82\xA0", 10, "12345678\x82\xA0"},
        {"\x82\x82", 50, "\x82\x82"},          // second byte, not a lead byte
        {"abcdefghijkl", 10, "abcdefghij"},
        {"ab\tcd", 3, "ab"},                   // the cut comes first
    };
    for (const auto &c : cases)
        EXPECT_EQ(CleanFieldText(c.text, c.limit), c.clean) << c.text.toStdString();
}

TEST(ParseDecimal, AcceptsOnlyWireNumbers)
{
    EXPECT_EQ(ParseDecimal("0"), 0);
    EXPECT_EQ(ParseDecimal("-12"), -12);
    EXPECT_EQ(ParseDecimal("+7"), 7);
    EXPECT_EQ(ParseDecimal("2147483647"), 2147483647);
    for (const char *bad : {"", "-", "+", "+-1", " 1", "1 ", "1a", "0x10", "2147483648", "１"})
        EXPECT_FALSE(ParseDecimal(bad).has_value()) << bad;
}

TEST(FieldList, MissingAndNonNumericFieldsThrowNamingTheCode)
{
    const FieldList fields({"UADD", "abc", "u01"});
    EXPECT_EQ(fields.field(2), "u01");
    EXPECT_EQ(fields.fieldOr(5), "");
    try {
        fields.intField(1);
        FAIL();
    } catch (const FrameError &e) {
        EXPECT_NE(std::string(e.what()).find("UADD"), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("abc"), std::string::npos);
    }
    EXPECT_THROW(fields.field(3), FrameError);
}

} // namespace
