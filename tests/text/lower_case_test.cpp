// The case table (Unicode 5.1 simple lower-case mapping) and the space class.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "text/char_class.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

TEST(LowerCase, MappingsOfUnicode51)
{
    struct Case {
        char16_t unit;
        char16_t lower;
    };
    const Case cases[] = {
        {u'A', u'a'},          {u'Z', u'z'},          {u'a', u'a'},          {u'@', u'@'},
        {0x00C0, 0x00E0},      {0x00D7, 0x00D7},      {0x00DF, 0x00DF},      {0x0178, 0x00FF},
        {0x0130, u'i'},        {0x0049, u'i'},        {0x1E9E, 0x00DF},      {0x212A, u'k'},
        {0x2126, 0x03C9},      {0x0391, 0x03B1},      {0x03F4, 0x03B8},      {0x0410, 0x0430},
        {0x0400, 0x0450},      {0x10A0, 0x2D00},      {0x2160, 0x2170},      {0x24B6, 0x24D0},
        {0xFF21, 0xFF41},      {0x0370, 0x0371},      {0xA640, 0xA641},      {0x2C6F, 0x0250},
        {0xA77D, 0x1D79},      {0x2C00, 0x2C30},
        // Added after 5.1, or their lower-case forms were: unchanged.
        {0x2C70, 0x2C70},      {0x13A0, 0x13A0},      {0x2C7E, 0x2C7E},      {0x10C7, 0x10C7},
        {0xA7AA, 0xA7AA},      {0x037F, 0x037F},      {0xA698, 0xA698},
        // Surrogates and the end of the plane.
        {0xD800, 0xD800},      {0xDFFF, 0xDFFF},      {0xFFFF, 0xFFFF},      {0x0000, 0x0000},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<unsigned>(toLowerChar(c.unit)), static_cast<unsigned>(c.lower))
            << std::hex << "U+" << static_cast<unsigned>(c.unit);
}

TEST(LowerCase, TwoLevelTableOf67Pages)
{
    std::set<int> used;
    for (int block = 0; block < 2048; ++block) {
        const int page = detail::kLowerCaseIndex[block];
        ASSERT_LT(page, kLowerCasePageCount);
        used.insert(page);
    }
    EXPECT_EQ(static_cast<int>(used.size()), kLowerCasePageCount);
    // Page 0 changes nothing and serves every run of 32 units without a mapping.
    for (char16_t unit : detail::kLowerCasePages[0])
        EXPECT_EQ(unit, 0xFFFF);
    EXPECT_EQ(detail::kLowerCaseIndex[0], 0);
    EXPECT_EQ(detail::kLowerCaseIndex[0x3000 >> 5], 0);
}

TEST(LowerCase, CommittedTableMatchesItsGenerator)
{
    const std::filesystem::path unicode = "/usr/share/unicode";
    ASSERT_TRUE(std::filesystem::exists(unicode / "UnicodeData.txt"))
        << "the unicode-data package is not installed (scripts/test installs it)";
    ASSERT_TRUE(test::toolInstalled("python3"));
    const std::filesystem::path source = DRUVEX_SOURCE_DIR;
    test::ScratchDir scratch;
    const std::filesystem::path generated = scratch.path() / "lower_case_table.cpp";
    const test::ToolResult run = test::runTool("python3 '" + (source / "tools/gen_lower_case_table.py").string() +
                                               "' --output '" + generated.string() + "' 2>/dev/null");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(test::readFileBytes(generated), test::readFileBytes(source / "src/text/lower_case_table.cpp"));
}

TEST(SpaceClass, ExactlyTheListedUnits)
{
    const char16_t spaces[] = {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x20, 0xA0, 0x1680, 0x2000, 0x2005,
                               0x200A, 0x2028, 0x2029, 0x202F, 0x205F, 0x3000};
    int count = 0;
    for (unsigned unit = 0; unit <= 0xFFFF; ++unit)
        count += isSpaceChar(static_cast<char16_t>(unit)) ? 1 : 0;
    EXPECT_EQ(count, 6 + 1 + 1 + 11 + 2 + 1 + 1 + 1);
    for (char16_t unit : spaces)
        EXPECT_TRUE(isSpaceChar(unit)) << std::hex << static_cast<unsigned>(unit);
    for (char16_t unit : {u'\0', u'\x08', u'\x0E', u'\x1F', u'\x85', u'\u180E', u'\u200B', u'\uFEFF', u'a'})
        EXPECT_FALSE(isSpaceChar(unit)) << std::hex << static_cast<unsigned>(unit);
}

}  // namespace
}  // namespace druvex
