// The culture table: its rows and the lookups by locale id and name, with the
// custom language.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "data/culture_table.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// The text a lookup by id gives, or "(none)" when it answers false.
SharedString text(bool (*lookup)(std::uint16_t, SharedString&), std::uint16_t lcid)
{
    SharedString out;
    return lookup(lcid, out) ? out : SharedString(u"(none)");
}

// The id a lookup by name gives; -1 when it answers false and clears the id.
int id(bool (*lookup)(std::u16string_view, std::uint16_t&), std::u16string_view name)
{
    std::uint16_t lcid = 77;
    if (lookup(name, lcid))
        return lcid;
    return lcid == 0 ? -1 : -2;
}

TEST(CultureTable, Rows)
{
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

    struct Case {
        const char16_t* name;
        std::uint16_t lcid;
        const char16_t* english;
        const char16_t* country;
        const char16_t* native;
    };
    const Case cases[] = {
        {u"es-ES", 3082, u"Spanish", u"Spain", u"Español"},
        {u"de-DE", 1031, u"German", u"Germany", u"Deutsch"},
        {u"Lt-sr-SP", 2074, u"Serbian (Latin)", nullptr, nullptr},
        {u"Cy-sr-SP", 3098, u"Serbian (Cyrillic)", nullptr, nullptr},
        {u"en-ZW", 12297, u"English", u"Zimbabwe", nullptr},
        {u"zh-Hans", 4, nullptr, nullptr, nullptr},
        {u"zh-Hant", 31748, nullptr, nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(SharedString(c.name)).c_str());
        const int index = cultureIndexByName(c.name);
        ASSERT_GE(index, 0);
        const CultureInfo& row = *cultureByIndex(index);
        EXPECT_EQ(row.lcid, c.lcid);
        for (const auto& [actual, expected] : {std::pair{row.englishName, c.english},
                                               std::pair{row.countryName, c.country},
                                               std::pair{row.nativeName, c.native}}) {
            if (expected) {
                EXPECT_EQ(SharedString(actual), expected);
            }
        }
    }
}

TEST(CultureTable, Lookups)
{
    EXPECT_EQ(text(cultureNameByLcid, 3098), u"Cy-sr-SP");
    EXPECT_EQ(text(cultureNameByLcid, 1034), u"es-ES");  // traditional Spanish is the modern culture
    EXPECT_EQ(text(cultureNameByLcid, 3082), u"es-ES");
    EXPECT_EQ(cultureIndexByLcid(1034), cultureIndexByLcid(3082));
    EXPECT_EQ(text(cultureNameByLcid, 972), u"(none)");
    EXPECT_EQ(text(cultureNameByLcid, 0), u"(none)");
    EXPECT_EQ(text(cultureNameOrCustom, 972), u"custm");
    EXPECT_EQ(text(cultureNameOrCustom, 973), u"(none)");
    EXPECT_EQ(text(languageDisplayName, 972), u"Custom language");
    EXPECT_EQ(text(languageNativeName, 972), u"Custom language");
    EXPECT_EQ(text(languageDisplayName, 1034), u"Spanish");
    EXPECT_EQ(text(languageNativeName, 1049), u"Русский");
    EXPECT_EQ(text(languageDisplayName, 1), u"(none)");
    EXPECT_EQ(text(languageNativeName, 1), u"(none)");

    EXPECT_EQ(id(lcidByCultureName, u"EN-us"), 1033);
    EXPECT_EQ(id(lcidByCultureName, u"cy-SR-sp"), 3098);
    EXPECT_EQ(id(lcidByCultureName, u"en"), -1);
    EXPECT_EQ(cultureIndexByName(u""), -1);
    EXPECT_EQ(id(languageNameOrCustom, u"CUSTM"), 972);
    EXPECT_EQ(id(languageNameOrCustom, u"de-ch"), 2055);
    EXPECT_LT(id(languageNameOrCustom, u"custom"), 0);
}

}  // namespace
}  // namespace druvex
