#include "platform/device_config.h"

#include <gtest/gtest.h>

#include <thread>

#include "text/text_convert.h"
#include "platform/device_root.h"
#include "platform/wildcard.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(DeviceConfig, StoresMatchByWholeComponentsAndTheLongestPrefixWins)
{
    DeviceConfig config;
    config.stores = {{u"\\", 100, 50, false, false},
                     {u"\\Storage Card", {}, {}, false, true},
                     {u"\\SystemCF\\TTStartup\\ColdBootCopy\\", {}, {}, true, false}};
    EXPECT_EQ(config.findStore(u"\\Windows\\x")->path, u"\\");
    EXPECT_EQ(config.findStore(u"/storage card/a.txt")->path, u"\\Storage Card");
    EXPECT_EQ(config.findStore(u"\\Storage Card")->path, u"\\Storage Card");
    EXPECT_EQ(config.findStore(u"\\Storage Cards\\a")->path, u"\\");
    EXPECT_TRUE(config.findStore(u"\\SYSTEMCF\\ttstartup\\coldbootcopy\\a.lnk")->readOnly);
    EXPECT_FALSE(config.findStore(u"\\SystemCF\\TTStartup")->readOnly);
    config.stores.erase(config.stores.begin());
    EXPECT_EQ(config.findStore(u"\\Windows"), nullptr);
}

TEST(DeviceConfig, ProgramsAndVendorValuesIgnoreCase)
{
    DeviceConfig config;
    config.programs.push_back({u"unload.exe", "/usr/bin/true"});
    config.vendor[u"FsapiI2CRegister"] = u"0x40";
    ASSERT_NE(config.findProgram(u"UNLOAD.EXE"), nullptr);
    EXPECT_EQ(config.findProgram(u"Unload.exe")->hostProgram, "/usr/bin/true");
    EXPECT_EQ(config.findProgram(u"load.exe"), nullptr);
    ASSERT_NE(config.findVendorValue(u"fsapii2cregister"), nullptr);
    EXPECT_EQ(*config.findVendorValue(u"fsapii2cregister"), u"0x40");
    EXPECT_EQ(config.findVendorValue(u"Other"), nullptr);
}

TEST(DeviceConfig, ActivationSetsTheMapperAndTheCodePage)
{
    DeviceConfig config;
    config.ansiCodePage = 1251;
    config.userLocale = 1049;
    {
        test::TestDevice device("[Device]\nAnsiCodePage=1251\n", config);
        EXPECT_EQ(ansiCodePage(), 1251u);
        EXPECT_EQ(activeDeviceConfig()->userLocale, 1049u);
        EXPECT_EQ(activeDeviceConfig()->deviceDirectory, device.directory().string());
        EXPECT_FALSE(DeviceRoot::instance().isIdentity());
        EXPECT_TRUE(std::filesystem::exists(device.directory() / "device.ini"));
        EXPECT_TRUE(std::filesystem::is_directory(device.fsFolder()));
    }
    EXPECT_EQ(ansiCodePage(), 1252u);
    EXPECT_EQ(activeDeviceConfig()->userLocale, 1033u);
    EXPECT_TRUE(activeDeviceConfig()->deviceDirectory.empty());
    EXPECT_TRUE(DeviceRoot::instance().isIdentity());
}

TEST(DeviceWildcard, Matching)
{
    struct Case {
        std::u16string_view name;
        std::u16string_view pattern;
        bool matches;
    } cases[] = {
        {u"readme.txt", u"*.txt", true},
        {u"README.TXT", u"*.txt", true},
        {u"readme.txt.bak", u"*.txt", false},
        {u"noext", u"*.*", true},
        {u"noext", u"*", true},
        {u"a.b", u"?.?", true},
        {u"ab.b", u"?.?", false},
        {u"abc", u"a*c", true},
        {u"ac", u"a*c", true},
        {u"abcbc", u"a*bc", true},
        {u"abcbd", u"a*bc", false},
        {u"x", u"", false},
        {u"", u"*", true},
        {u"\u00C4rger", u"\u00E4*", true},
        {u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*a*a*a*c", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(matchesWildcard(c.name, c.pattern), c.matches)
            << toUtf8(SharedString(c.name)).c_str() << " " << toUtf8(SharedString(c.pattern)).c_str();
    EXPECT_TRUE(hasWildcard(u"a?"));
    EXPECT_TRUE(hasWildcard(u"*"));
    EXPECT_FALSE(hasWildcard(u"plain.txt"));
}

TEST(DeviceErrorThreads, TheLastErrorBelongsToEachThread)
{
    setLastError(kErrorAccessDenied);
    std::uint32_t seen = 99;
    std::thread other([&] {
        seen = getLastError();
        setLastError(kErrorSharingViolation);
    });
    other.join();
    EXPECT_EQ(seen, kErrorSuccess);
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
}

}  // namespace
}  // namespace druvex
