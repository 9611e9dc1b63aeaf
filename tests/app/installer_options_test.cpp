// The command line: every option into its field, the defaults, and the
// failures that end the program with -1.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "app/base/installer_options.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

struct Parsed {
    bool ok = false;
    InstallerOptions options;
    SharedString fullInstallerPath;
    SharedString error;
};

using Line = std::vector<const char16_t*>;

Parsed parse(const Line& line)
{
    Parsed parsed;
    const std::vector<SharedString> args(line.begin(), line.end());
    parsed.ok = ParseOptions(args, parsed.options, parsed.fullInstallerPath, &parsed.error);
    return parsed;
}

std::string shown(const Line& line)
{
    std::string text;
    for (const char16_t* token : line)
        text += toUtf8(SharedString(token)).c_str() + std::string(" ");
    return text;
}

TEST(InstallerOptions, Defaults)
{
    const Parsed parsed = parse({u"no option here", u"C:\\x"});
    ASSERT_TRUE(parsed.ok);
    const InstallerOptions& o = parsed.options;
    EXPECT_TRUE(o.updatesAllowed);
    EXPECT_EQ(o.platform, 1201);
    EXPECT_EQ(o.updateMode, 0);
    EXPECT_EQ(o.tethering, 0);
    EXPECT_EQ(o.configMode, 0);
    EXPECT_EQ(o.adminStubNumber, 0);
    EXPECT_EQ(o.emptyInstallerHandle, 0u);
    EXPECT_FALSE(o.silent || o.useFullInstaller || o.checkForUpdates || o.createBackup || o.rebootAsAdmin);
    EXPECT_TRUE(o.configFile.isEmpty() && o.liveUpdateUrl.isEmpty() && parsed.fullInstallerPath.isEmpty());
}

TEST(InstallerOptions, EachOptionSetsItsField)
{
    const struct {
        const char16_t* token;
        bool InstallerOptions::*field;
    } flags[] = {
        {u"take_times", &InstallerOptions::takeTimes},
        {u"use_hal_win", &InstallerOptions::useHalWin},
        {u"uninstall_mode", &InstallerOptions::uninstallMode},
        {u"no_welcome", &InstallerOptions::noWelcome},
        {u"silent_mode", &InstallerOptions::silent},
        {u"/QUIET", &InstallerOptions::silent},
        {u"/qn", &InstallerOptions::silent},
        {u"formobile", &InstallerOptions::forMobile},
        {u"dont_check_unique_instance", &InstallerOptions::dontCheckUniqueInstance},
        {u"show_message_for_debug", &InstallerOptions::showMessageForDebug},
        {u"check_installer_also_daily", &InstallerOptions::checkInstallerAlsoDaily},
        {u"dont_remove_orig_installer", &InstallerOptions::dontRemoveOrigInstaller},
        {u"finalize_registrations", &InstallerOptions::finalizeRegistrations},
        {u"validate_registrations", &InstallerOptions::validateRegistrations},
        {u"purge_shared_data", &InstallerOptions::purgeSharedData},
        {u"query_version_info", &InstallerOptions::queryVersionInfo},
    };
    for (const auto& flag : flags) {
        const Parsed parsed = parse({flag.token});
        EXPECT_TRUE(parsed.ok) << shown({flag.token});
        EXPECT_TRUE(parsed.options.*flag.field) << shown({flag.token});
    }

    const std::pair<Line, std::function<bool(const Parsed&)>> cases[] = {
        {{u"use_full_installer", u"\\Temp\\full.exe"},
         [](const Parsed& p) { return p.options.useFullInstaller && p.fullInstallerPath == u"\\Temp\\full.exe"; }},
        {{u"no_update"}, [](const Parsed& p) { return !p.options.updatesAllowed && !p.options.silent; }},
        {{u"check_for_updates", u"\\Temp\\check"},
         [](const Parsed& p) { return p.options.checkForUpdates && p.options.updateCheckFolder == u"\\Temp\\check"; }},
        {{u"check_for_updates", u"silent_mode"},
         [](const Parsed& p) {
             return p.options.checkForUpdates && p.options.updateCheckFolder.isEmpty() && p.options.silent;
         }},
        {{u"update_mode", u"newversion"}, [](const Parsed& p) { return p.options.updateMode == 1; }},
        {{u"update_mode", u"Features"}, [](const Parsed& p) { return p.options.updateMode == 2; }},
        {{u"tethered"}, [](const Parsed& p) { return p.options.tethering == 2; }},
        {{u"untethered"}, [](const Parsed& p) { return p.options.tethering == 1; }},
        {{u"update_silently"}, [](const Parsed& p) { return p.options.updateSilently && p.options.silent; }},
        {{u"admin_stub_mode", u"7"},
         [](const Parsed& p) { return p.options.adminStubMode && p.options.adminStubNumber == 7; }},
        {{u"admin_stub_mode", u"7x", u"formobile"},  // not a number: no number, and the token is read on
         [](const Parsed& p) {
             return p.options.adminStubMode && p.options.adminStubNumber == 0 && p.options.forMobile;
         }},
        {{u"reboot_as_admin", u"qm40"},
         [](const Parsed& p) { return p.options.rebootAsAdmin && p.options.platform == 2; }},
        {{u"empty_installer", u"0x4d2", u"\\Temp\\x.exe"},
         [](const Parsed& p) {
             return p.options.emptyInstaller && p.options.emptyInstallerHandle == 0x4d2 &&
                    p.options.emptyInstallerPath == u"\\Temp\\x.exe";
         }},
        {{u"empty_installer", u"", u"\\Temp\\x.exe"},
         [](const Parsed& p) { return p.options.emptyInstaller && p.options.emptyInstallerHandle == 0; }},
        {{u"empty_installer", u"1234ABCD9", u"x"},  // the handle's low 32 bits
         [](const Parsed& p) { return p.options.emptyInstallerHandle == 0x234ABCD9u; }},
        {{u"use_config", u"\\cfg.xml"},
         [](const Parsed& p) { return p.options.configMode == 1 && p.options.configFile == u"\\cfg.xml"; }},
        {{u"make_config", u"\\cfg.xml"},
         [](const Parsed& p) { return p.options.configMode == 2 && p.options.configFile == u"\\cfg.xml"; }},
        {{u"override_live_update_url", u"http://h/x"},
         [](const Parsed& p) { return p.options.liveUpdateUrl == u"http://h/x"; }},
        {{u"wait_for_shutdown", u"evt"}, [](const Parsed& p) { return p.options.shutdownEventName == u"evt"; }},
        {{u"query_min_ver_for_uninst", u"5.1"},
         [](const Parsed& p) { return p.options.minVersionQuery == u"5.1" && p.options.dontCheckUniqueInstance; }},
        {{u"uninstall_feature", u"Help"},
         [](const Parsed& p) {
             return p.options.uninstallFeature == u"Help" && p.options.silent && !p.options.updatesAllowed;
         }},
        {{u"create_backup", u"\\b.7z", u"\\Data"},
         [](const Parsed& p) {
             return p.options.createBackup && p.options.createBackupText1 == u"\\b.7z" &&
                    p.options.createBackupText2 == u"\\Data";
         }},
        // Names ignore case; a value is the next token whatever it reads.
        {{u"Silent_Mode", u"USE_CONFIG", u"uninstall_mode"},
         [](const Parsed& p) { return p.options.silent && p.options.configFile == u"uninstall_mode"; }},
    };
    for (const auto& [line, check] : cases) {
        const Parsed parsed = parse(line);
        EXPECT_TRUE(parsed.ok) << shown(line) << ": " << toUtf8(parsed.error).c_str();
        EXPECT_TRUE(check(parsed)) << shown(line);
    }
}

// Each failure ends the program with its reason.
TEST(InstallerOptions, FailuresEndTheProgram)
{
    const std::pair<Line, const char16_t*> failing[] = {
        {{u"use_full_installer"}, nullptr},
        {{u"uninstall_feature"}, nullptr},
        {{u"update_mode"}, nullptr},
        {{u"update_mode", u"bogus"}, nullptr},
        {{u"update_mode", u"newversion2"}, nullptr},
        {{u"update_mode", u"later"}, u"The update mode \"later\" is neither \"newversion\" nor \"features\"."},
        {{u"reboot_as_admin"}, nullptr},
        {{u"reboot_as_admin", u"Bogus"}, u"\"Bogus\" names no target platform."},
        {{u"reboot_as_admin", u"Unknown"}, nullptr},
        {{u"reboot_as_admin", u"Windows"}, nullptr},
        {{u"empty_installer", u"0x1"}, nullptr},
        {{u"use_config"}, nullptr},
        {{u"make_config"}, nullptr},
        {{u"override_live_update_url"}, nullptr},
        {{u"wait_for_shutdown"}, nullptr},
        {{u"query_min_ver_for_uninst"}, nullptr},
        {{u"create_backup", u"a"}, u"The option \"create_backup\" needs a value."},
        {{u"silent_mode", u"update_mode"}, nullptr},
    };
    for (const auto& [line, error] : failing) {
        const Parsed parsed = parse(line);
        EXPECT_FALSE(parsed.ok) << shown(line);
        EXPECT_FALSE(parsed.error.isEmpty()) << shown(line);
        if (error) {
            EXPECT_EQ(parsed.error, error) << shown(line);
        }
    }
}

}  // namespace
}  // namespace druvex
