// The installer configuration "_config.xml": the document byte for byte, the
// refusals on both sides, and names that read as no language or no theme.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_base/theme_names.h"
#include "data/config_file.h"
#include "data/culture_table.h"
#include "test_data_files.h"

namespace druvex {
namespace {

std::string configXml(const char* lang, const char* theme)
{
    return std::string("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Lang>") + lang +
           "</Lang>\n <Theme>" + theme + "</Theme>\n</data>\n";
}

bool parseText(ConfigFile& config, const std::string& xml)
{
    return config.parse(xml.data(), xml.size());
}

TEST(ConfigFile, GermanGrayWritesTheGoldenFile)
{
    ConfigFile config;
    config.setLanguage(1031);
    config.setTheme(3);
    std::vector<std::uint8_t> out;
    ASSERT_TRUE(config.write(out));
    EXPECT_EQ(std::string(out.begin(), out.end()), test::testDataText("statefiles/_config-1031-gray.xml"));

    ConfigFile reread;
    ASSERT_TRUE(reread.parse(out));
    EXPECT_EQ(reread.getLanguage(), 1031u);
    EXPECT_EQ(reread.getTheme(), 3);
}

TEST(ConfigFile, WriteNamesLanguageAndThemeOrRefuses)
{
    struct Case {
        std::uint32_t language;
        std::int32_t theme;
        const char* lang;  // null: refused
        const char* themeText;
    } cases[] = {
        {kCustomLanguageId, kThemeDark, "custm", "Dark"},
        {1034, 5, "es-ES", "Tillora"},  // traditional Spanish is written as the modern culture
        {1033, 99, "en-US", "Dark"},
        {0, 3, nullptr, nullptr},
        {1033, kThemeNone, nullptr, nullptr},
        {1234, 3, nullptr, nullptr},  // no culture of that id
        {0x10409, 3, nullptr, nullptr},  // beyond the 16-bit ids
    };
    for (const Case& c : cases) {
        ConfigFile config;
        config.setLanguage(c.language);
        config.setTheme(c.theme);
        std::vector<std::uint8_t> out{'x'};
        if (!c.lang) {
            EXPECT_FALSE(config.write(out)) << c.language << " " << c.theme;
            EXPECT_EQ(out.size(), 1u);
            continue;
        }
        ASSERT_TRUE(config.write(out)) << c.language;
        EXPECT_EQ(std::string(out.begin(), out.end()), configXml(c.lang, c.themeText));
    }
}

TEST(ConfigFile, ParseTakesNamesAndRefusesNoLanguageOrNoTheme)
{
    struct Case {
        std::string xml;
        bool ok;
        std::uint32_t language;
        std::int32_t theme;
    } cases[] = {
        {configXml("CUSTM", "dark"), true, kCustomLanguageId, kThemeDark},
        {configXml("da-dk", "GREEN"), true, 1030, 4},
        {configXml("de-DE", "Purple"), true, 1031, kThemeDark},  // an unknown theme is the default one
        {configXml("de-DE", "NoTheme"), false, 1031, 7},
        {configXml("xx-YY", "Gray"), false, 0, 7},
        {configXml("", "Gray"), false, 0, 7},
        // Other elements pass; the root is not checked.
        {"<config><Other/><Theme>Blue</Theme></config>", true, 0, 2},
        {"<data><Lang>de-DE</Lang>", false, 1031, 7},  // cut off
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", false, 0, 7},
        {"", false, 0, 7},
    };
    for (const Case& c : cases) {
        ConfigFile config;
        config.setTheme(7);
        EXPECT_EQ(parseText(config, c.xml), c.ok) << c.xml;
        EXPECT_EQ(config.getLanguage(), c.language) << c.xml;
        EXPECT_EQ(config.getTheme(), c.theme) << c.xml;
    }
}

}  // namespace
}  // namespace druvex
