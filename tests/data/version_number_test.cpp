// Version numbers: parsing, printing and part-by-part comparison.
#include <gtest/gtest.h>

#include "data/version_number.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(VersionNumber, ParseAndPrint)
{
    struct Case {
        const char16_t* text;
        int parts;
        const char16_t* printed;
    };
    const Case accepted[] = {
        {u"1.2.3", 3, u"1.2.3"},
        {u"1..2", 2, u"1.2"},
        {u".", 0, u""},
        {u"007.0", 2, u"7.0"},
        {u"4.", 1, u"4"},
        {u"99999999999.1", 2, u"2147483647.1"},  // saturates instead of wrapping
    };
    for (const Case& c : accepted) {
        VersionNumber number;
        ASSERT_TRUE(number.parse(c.text)) << toUtf8(SharedString(c.text)).c_str();
        EXPECT_EQ(number.partCount(), c.parts);
        EXPECT_EQ(number.toText(), c.printed);
    }
    // A refused text keeps the previous value.
    for (const char16_t* text : {u"1.2a", u"", u" 1", u"-1", u"1,2", u"v1"}) {
        VersionNumber number = VersionNumber::fromText(u"9.8");
        EXPECT_FALSE(number.parse(text));
        EXPECT_EQ(number.toText(), u"9.8");
    }
}

TEST(VersionNumber, Compare)
{
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int result;
    };
    const Case cases[] = {
        {u"2", u"2.0.1", -1},  {u"2.0.0", u"2", 0},   {u"1.10", u"1.9", 1}, {u"1.2", u"1.2.0.0", 0},
        {u"", u"0.0", 0},      {u"", u"0.1", -1},     {u"3.0.1", u"3", 1},  {u"5.1", u"5.1", 0},
        {u"2147483647", u"99999999999", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VersionNumber::compare(VersionNumber::fromText(c.a), VersionNumber::fromText(c.b)), c.result)
            << toUtf8(SharedString(c.a)).c_str() << " vs " << toUtf8(SharedString(c.b)).c_str();
        EXPECT_EQ(VersionNumber::compare(VersionNumber::fromText(c.b), VersionNumber::fromText(c.a)), -c.result);
    }
    // Parts are signed, and a negative extra part decides as a non-zero one.
    EXPECT_EQ(VersionNumber::compare(VersionNumber::fromParts(1, 0, 0, -1), VersionNumber::fromText(u"1")), 1);
    EXPECT_EQ(VersionNumber::compare(VersionNumber::fromParts(-1, 0, 0, 0), VersionNumber::fromText(u"0")), -1);
}

TEST(VersionNumber, PartsAndFourthPart)
{
    EXPECT_EQ(VersionNumber::fromParts(4, 1, 0, 0).toText(), u"4.1.0");
    EXPECT_EQ(VersionNumber::fromParts(4, 1, 0, 7).toText(), u"4.1.0.7");
    const VersionNumber number = VersionNumber::fromText(u"4.1");
    EXPECT_EQ(number.part(1), 1);
    EXPECT_EQ(number.part(2), 0);
    EXPECT_EQ(number.part(-1), 0);
    EXPECT_EQ(formatVersionPart(number, 0), u"4");
    EXPECT_EQ(formatVersionPart(number, 2), u"");
    EXPECT_TRUE(number.isNonZero());
    EXPECT_FALSE(VersionNumber::fromText(u"0.0.0").isNonZero());
    EXPECT_FALSE(VersionNumber().isNonZero());
}

}  // namespace
}  // namespace druvex
