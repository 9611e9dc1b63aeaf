// The culture table: its rows and the lookups by locale id and name, with the
// custom language.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "data/culture_table.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(CultureTable, Rows)
{
    ASSERT_NE(cultureByIndex(0), nullptr);
    EXPECT_EQ(SharedString(cultureByIndex(0)->cultureName), u"af-ZA");
    ASSERT_NE(cultureByIndex(kCultureCount - 1), nullptr);
    EXPECT_EQ(SharedString(cultureByIndex(kCultureCount - 1)->cultureName), u"vi-VN");
    EXPECT_EQ(cultureByIndex(kCultureCount), nullptr);
    EXPECT_EQ(cultureByIndex(-1), nullptr);

    // Every row is complete, and no name or id is given twice (a typo in
    // either would hide a row behind another).
    std::set<std::u16string> names;
    std::set<std::uint16_t> ids;
    for (int index = 0; index < kCultureCount; ++index) {
        const CultureInfo& row = *cultureByIndex(index);
        EXPECT_TRUE(names.insert(std::u16string(row.cultureName)).second) << index;
        EXPECT_TRUE(ids.insert(row.lcid).second) << index;
        EXPECT_NE(row.englishName[0], u'\0') << index;
        EXPECT_NE(row.nativeName[0], u'\0') << index;
        EXPECT_EQ(cultureIndexByLcid(row.lcid), index);
        EXPECT_EQ(cultureIndexByName(row.cultureName), index);
    }
}

TEST(CultureTable, TellingRows)
{
    struct Case {
        const char16_t* name;
        std::uint16_t lcid;
        const char16_t* english;
        const char16_t* country;
        const char16_t* native;
    };
    const Case cases[] = {
        {u"en-US", 1033, u"English", u"United States", u"English"},
        {u"es-ES", 3082, u"Spanish", u"Spain", u"Español"},
        {u"da-DK", 1030, u"Danish", u"Denmark", u"Dansk"},
        {u"de-DE", 1031, u"German", u"Germany", u"Deutsch"},
        {u"Lt-sr-SP", 2074, u"Serbian (Latin)", nullptr, nullptr},
        {u"Cy-sr-SP", 3098, u"Serbian (Cyrillic)", nullptr, nullptr},
        {u"en-ZW", 12297, u"English", u"Zimbabwe", nullptr},
        {u"mn-MN", 1104, u"Mongolian", nullptr, nullptr},
        {u"zh-Hans", 4, nullptr, nullptr, nullptr},
        {u"zh-Hant", 31748, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        const int index = cultureIndexByName(c.name);
        ASSERT_GE(index, 0) << toUtf8(SharedString(c.name)).c_str();
        const CultureInfo& row = *cultureByIndex(index);
        EXPECT_EQ(row.lcid, c.lcid);
        if (c.english) {
            EXPECT_EQ(SharedString(row.englishName), c.english);
        }
        if (c.country) {
            EXPECT_EQ(SharedString(row.countryName), c.country);
        }
        if (c.native) {
            EXPECT_EQ(SharedString(row.nativeName), c.native);
        }
    }
}

TEST(CultureTable, Lookups)
{
    SharedString name;
    ASSERT_TRUE(cultureNameByLcid(3098, name));
    EXPECT_EQ(name, u"Cy-sr-SP");
    ASSERT_TRUE(cultureNameByLcid(1034, name));
    EXPECT_EQ(name, u"es-ES");
    ASSERT_TRUE(cultureNameByLcid(3082, name));
    EXPECT_EQ(name, u"es-ES");
    EXPECT_EQ(cultureIndexByLcid(1034), cultureIndexByLcid(3082));
    EXPECT_FALSE(cultureNameByLcid(972, name));
    EXPECT_FALSE(cultureNameByLcid(0, name));

    std::uint16_t lcid = 77;
    ASSERT_TRUE(lcidByCultureName(u"EN-us", lcid));
    EXPECT_EQ(lcid, 1033);
    EXPECT_TRUE(lcidByCultureName(u"cy-SR-sp", lcid));
    EXPECT_EQ(lcid, 3098);
    EXPECT_FALSE(lcidByCultureName(u"en", lcid));
    EXPECT_EQ(lcid, 0);
    EXPECT_EQ(cultureIndexByName(u""), -1);

    ASSERT_TRUE(languageNameOrCustom(u"CUSTM", lcid));
    EXPECT_EQ(lcid, 972);
    ASSERT_TRUE(languageNameOrCustom(u"de-ch", lcid));
    EXPECT_EQ(lcid, 2055);
    EXPECT_FALSE(languageNameOrCustom(u"custom", lcid));
    ASSERT_TRUE(cultureNameOrCustom(972, name));
    EXPECT_EQ(name, u"custm");
    EXPECT_FALSE(cultureNameOrCustom(973, name));

    SharedString text;
    ASSERT_TRUE(languageDisplayName(972, text));
    EXPECT_EQ(text, u"Custom language");
    ASSERT_TRUE(languageNativeName(972, text));
    EXPECT_EQ(text, u"Custom language");
    ASSERT_TRUE(languageDisplayName(1034, text));
    EXPECT_EQ(text, u"Spanish");
    ASSERT_TRUE(languageNativeName(1049, text));
    EXPECT_EQ(text, u"Русский");
    EXPECT_FALSE(languageDisplayName(1, text));
    EXPECT_FALSE(languageNativeName(1, text));
}

}  // namespace
}  // namespace druvex
