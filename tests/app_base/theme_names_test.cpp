// Theme names both ways, as the settings and "_config.xml" use them.
#include <gtest/gtest.h>

#include "app_base/theme_names.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(SettingsThemeNames, BothWays)
{
    struct Case {
        const char16_t* name;
        std::int32_t id;
    };
    const Case table[] = {
        {u"Yellow", 1}, {u"Blue", 2}, {u"Gray", 3}, {u"Green", 4}, {u"NoTheme", -1},
        {u"Tillora", 5}, {u"Tillora 2nd Skin", 6}, {u"Kemrin", 7},
    };
    for (const Case& c : table) {
        EXPECT_EQ(themeFromName(c.name), c.id);
        EXPECT_EQ(themeName(c.id), c.name);
    }
    EXPECT_EQ(themeFromName(u"tillora 2ND skin"), 6);
    EXPECT_EQ(themeFromName(u"Dark"), 0);
    EXPECT_EQ(themeFromName(u"Grey"), 0);
    EXPECT_EQ(themeFromName(u""), 0);
    EXPECT_EQ(themeName(0), u"Dark");
    EXPECT_EQ(themeName(8), u"Dark");
    EXPECT_EQ(themeName(-2), u"Dark");
}

}  // namespace
}  // namespace druvex
