// Shortcuts through the device host: the ".lnk" and launcher-entry bytes, the
// places each device model uses, and removal.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "data/feature_records.h"
#include "host/shortcut_files.h"
#include "support/external_tool.h"
#include "support/fault_injecting_hal.h"
#include "host_checks.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

const std::filesystem::path kGolden = std::filesystem::path(DRUVEX_TEST_DATA_DIR) / "shortcuts";
const SharedString kTarget = u"\\Program Files\\App\\App.exe";

Shortcut shortcut(const char16_t* name, std::int32_t position = kLinkMenuPrograms, const char16_t* folder = u"")
{
    Shortcut result;
    result.name = name;
    result.linkPos = position;
    result.folderName = folder;
    return result;
}

class ShortcutFixture : public test::DeviceModelFixture {
protected:

    // Every file below fs/, as paths relative to it with '/'.
    std::set<std::string> deviceFiles()
    {
        std::set<std::string> files;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(device().fsFolder())) {
            if (entry.is_regular_file())
                files.insert(entry.path().lexically_relative(device().fsFolder()).generic_string());
        }
        return files;
    }

    test::Bytes deviceBytes(std::string_view relative) { return test::readFileBytes(device().hostPath(relative)); }
};

class ShortcutFiles : public ShortcutFixture {};
class LauncherEntry : public ShortcutFixture {};

TEST_F(ShortcutFiles, LinkFileHoldsTheQuotedTargetAfterItsLength)
{
    setDeviceType(DeviceType::GENERIC_WIN_MOBILE6);
    ASSERT_TRUE(host().createShortcut(shortcut(u"App"), kTarget));
    EXPECT_EQ(deviceBytes("Windows/Start Menu/Programs/App.lnk"), test::readFileBytes(kGolden / "app.lnk"));

    // The length counts the target's characters; the file holds its ANSI bytes.
    ASSERT_TRUE(host().createShortcut(shortcut(u"Z\u00fc"), u"\\Program Files\\Z\u00fcrich\\Z\u00fc.exe"));
    EXPECT_EQ(deviceBytes("Windows/Start Menu/Programs/Z\xc3\xbc.lnk"), test::readFileBytes(kGolden / "ansi.lnk"));
}

TEST_F(LauncherEntry, TotalStationsGetAnIniEntryNamedWithoutBlanks)
{
    device().makeFolder("ROMDisk2/INI");
    const SharedString target = u"\\ROMDisk\\Program\\My App\\MyApp.exe";
    const std::pair<DeviceType, const char*> cases[] = {
        {DeviceType::TS_ONBOARD, "launcher_off.ini"},
        {DeviceType::TS_QM40, "launcher_off.ini"},
        {DeviceType::TS_TSORLAN, "launcher_on.ini"},
    };
    for (const auto& [type, golden] : cases) {
        SCOPED_TRACE(static_cast<int>(type));
        setDeviceType(type);
        ASSERT_TRUE(host().createShortcut(shortcut(u"My App", kLinkDesktop), target));
        EXPECT_EQ(deviceBytes("ROMDisk2/INI/My_App.ini"), test::readFileBytes(kGolden / golden));
        EXPECT_EQ(deviceFiles(), std::set<std::string>{"ROMDisk2/INI/My_App.ini"});
        EXPECT_TRUE(host().removeShortcut(shortcut(u"My App")));
        EXPECT_TRUE(deviceFiles().empty());
    }

    // The launcher's folder belongs to the device; it is not made here.
    std::filesystem::remove_all(device().hostPath("ROMDisk2"));
    EXPECT_FALSE(host().createShortcut(shortcut(u"My App"), target));
}

TEST_F(ShortcutFiles, PlacesFollowTheDeviceModelAndRemovalClearsThem)
{
    struct Case {
        DeviceType type;
        std::int32_t position;
        const char16_t* folder;
        std::set<std::string> files;
    };
    const Case cases[] = {
        {DeviceType::KT_61, kLinkMenuPrograms, u"Tools",
         {"Windows/Start Menu/My App.lnk", "SystemCF/TTStartup/ColdBootCopy/Windows/Programs/My App.lnk"}},
        {DeviceType::KT_61, kLinkDesktop, u"Tools",
         {"Windows/Desktop/My App.lnk", "SystemCF/TTStartup/ColdBootCopy/Windows/Desktop/My App.lnk"}},
        {DeviceType::LQ5, kLinkMenuPrograms, u"Tools",
         {"Windows/Start Menu/My App.lnk", "HARDDISK/Windows/BOOT/Programs/Tools/My App.lnk"}},
        {DeviceType::LQ5, kLinkMenuPrograms, u"",
         {"Windows/Start Menu/My App.lnk", "HARDDISK/Windows/BOOT/Programs/My App.lnk"}},
        {DeviceType::LQ5, kLinkDesktop, u"Tools",
         {"Windows/Desktop/My App.lnk", "HARDDISK/Windows/BOOT/DESKTOP/My App.lnk"}},
        {DeviceType::LQ1, kLinkMenuPrograms, u"Tools", {"Windows/Start Menu/My App.lnk"}},
        {DeviceType::LQ1, kLinkDesktop, u"Tools", {"Windows/Start Menu/My App.lnk"}},
        {DeviceType::GENERIC_WIN_MOBILE6, kLinkMenuPrograms, u"Tools", {"Windows/Start Menu/Programs/My App.lnk"}},
        {DeviceType::GENERIC_WIN_MOBILE6, kLinkDesktop, u"Tools", {"Windows/Start Menu/Programs/My App.lnk"}},
        {DeviceType::KT_11, kLinkDesktop, u"", {"Windows/Start Menu/Programs/My App.lnk"}},
        {DeviceType::WIN32, kLinkMenuPrograms, u"", {"Windows/Start Menu/Programs/My App.lnk"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.type) << " at " << c.position);
        setDeviceType(c.type);
        const Shortcut link = shortcut(u"My App", c.position, c.folder);
        ASSERT_TRUE(host().createShortcut(link, kTarget));
        EXPECT_EQ(deviceFiles(), c.files);
        for (const std::string& file : c.files)
            EXPECT_EQ(deviceBytes(file), test::readFileBytes(kGolden / "app.lnk"));
        EXPECT_TRUE(host().removeShortcut(link));
        EXPECT_TRUE(deviceFiles().empty());
        EXPECT_FALSE(host().removeShortcut(link));
    }
}

TEST_F(ShortcutFiles, ReadOnlyColdBootCopyFailsTheCreationButKeepsTheStartMenuLink)
{
    DeviceStore coldBootCopy;
    coldBootCopy.path = u"\\SystemCF\\TTStartup\\ColdBootCopy";
    coldBootCopy.readOnly = true;
    setDeviceType(DeviceType::KT_61, {coldBootCopy});
    const Shortcut link = shortcut(u"My App");
    EXPECT_FALSE(host().createShortcut(link, kTarget));
    EXPECT_EQ(deviceFiles(), std::set<std::string>{"Windows/Start Menu/My App.lnk"});
    // Removal, like creation, answers for both places.
    EXPECT_FALSE(host().removeShortcut(link));
    EXPECT_TRUE(deviceFiles().empty());
}

TEST_F(ShortcutFiles, ShortcutsWithoutANameAreRefused)
{
    setDeviceType(DeviceType::GENERIC_WIN_MOBILE6);
    device().writeFile("Windows/Start Menu/Programs/.lnk");
    EXPECT_FALSE(host().createShortcut(shortcut(u""), kTarget));
    EXPECT_TRUE(test::refused(host(), host().removeShortcut(shortcut(u"")), kErrorInvalidParameter));
    EXPECT_TRUE(device().exists("Windows/Start Menu/Programs/.lnk"));
}

TEST_F(ShortcutFiles, AWriteThatFailsIsAFailedCreation)
{
    setDeviceType(DeviceType::GENERIC_WIN_MOBILE6);
    test::HalFaultPlan plan;
    plan.shortWriteNumber = 1;
    test::FaultInjectingHal faulty(host_, plan);
    EXPECT_FALSE(createShortcutForDevice(faulty, shortcut(u"App"), kTarget));
    plan = {};
    plan.failClose = true;
    faulty.setPlan(plan);
    EXPECT_FALSE(createShortcutForDevice(faulty, shortcut(u"App"), kTarget));
}

}  // namespace
}  // namespace druvex
