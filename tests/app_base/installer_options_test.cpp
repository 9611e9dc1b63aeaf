// The command line: every option into its field, the defaults, and the
// failures that end the program with -1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_base/installer_options.h"
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

std::string shown(const Line& line)
{
    std::string text;
    for (const char16_t* token : line)
        text += toUtf8(SharedString(token)).c_str() + std::string(" ");
    return text;
}

// Parses the line; a line meant to parse that fails says so with its reason.
Parsed parse(const Line& line, bool failing = false)
{
    Parsed parsed;
    const std::vector<SharedString> args(line.begin(), line.end());
    parsed.ok = ParseOptions(args, parsed.options, parsed.fullInstallerPath, &parsed.error);
    EXPECT_EQ(parsed.ok, !failing) << shown(line) << ": " << toUtf8(parsed.error).c_str();
    return parsed;
}

TEST(InstallerOptions, Defaults)
{
    const Parsed parsed = parse({u"no option here", u"C:\\x"});
    ASSERT_TRUE(parsed.ok);
    const InstallerOptions& o = parsed.options;
    EXPECT_TRUE(o.updatesAllowed);
    EXPECT_EQ(o.platform, 1201);
    EXPECT_EQ(o.updateMode, kUpdateModeNone);
    EXPECT_EQ(o.tethering, kTetheringUnset);
    EXPECT_EQ(o.configMode, kConfigModeNone);
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
    for (const auto& flag : flags)
        EXPECT_TRUE(parse({flag.token}).options.*flag.field) << shown({flag.token});


    Parsed p = parse({u"use_full_installer", u"\\Temp\\full.exe"});
    EXPECT_TRUE(p.options.useFullInstaller);
    EXPECT_EQ(p.fullInstallerPath, u"\\Temp\\full.exe");
    p = parse({u"no_update"});
    EXPECT_FALSE(p.options.updatesAllowed || p.options.silent);
    p = parse({u"check_for_updates", u"\\Temp\\check"});
    EXPECT_TRUE(p.options.checkForUpdates);
    EXPECT_EQ(p.options.updateCheckFolder, u"\\Temp\\check");
    p = parse({u"check_for_updates", u"silent_mode"});
    EXPECT_TRUE(p.options.checkForUpdates && p.options.updateCheckFolder.isEmpty() && p.options.silent);
    EXPECT_EQ(parse({u"update_mode", u"newversion"}).options.updateMode, kUpdateModeNewVersion);
    EXPECT_EQ(parse({u"update_mode", u"Features"}).options.updateMode, kUpdateModeFeatures);
    EXPECT_EQ(parse({u"tethered"}).options.tethering, kTetheringTethered);
    EXPECT_EQ(parse({u"untethered"}).options.tethering, kTetheringUntethered);
    p = parse({u"update_silently"});
    EXPECT_TRUE(p.options.updateSilently && p.options.silent);
    p = parse({u"admin_stub_mode", u"7"});
    EXPECT_TRUE(p.options.adminStubMode);
    EXPECT_EQ(p.options.adminStubNumber, 7);
    p = parse({u"admin_stub_mode", u"7x", u"formobile"});  // not a number: no number, and the token is read on
    EXPECT_TRUE(p.options.adminStubMode && p.options.forMobile);
    EXPECT_EQ(p.options.adminStubNumber, 0);
    p = parse({u"reboot_as_admin", u"qm40"});
    EXPECT_TRUE(p.options.rebootAsAdmin);
    EXPECT_EQ(p.options.platform, 2);
    p = parse({u"empty_installer", u"0x4d2", u"\\Temp\\x.exe"});
    EXPECT_TRUE(p.options.emptyInstaller);
    EXPECT_EQ(p.options.emptyInstallerHandle, 0x4d2u);
    EXPECT_EQ(p.options.emptyInstallerPath, u"\\Temp\\x.exe");
    p = parse({u"empty_installer", u"", u"\\Temp\\x.exe"});
    EXPECT_TRUE(p.options.emptyInstaller);
    EXPECT_EQ(p.options.emptyInstallerHandle, 0u);
    EXPECT_EQ(parse({u"empty_installer", u"1234ABCD9", u"x"}).options.emptyInstallerHandle, 0x234ABCD9u);  // low 32 bits
    p = parse({u"use_config", u"\\cfg.xml"});
    EXPECT_EQ(p.options.configMode, kConfigModeUse);
    EXPECT_EQ(p.options.configFile, u"\\cfg.xml");
    p = parse({u"make_config", u"\\cfg.xml"});
    EXPECT_EQ(p.options.configMode, kConfigModeMake);
    EXPECT_EQ(p.options.configFile, u"\\cfg.xml");
    EXPECT_EQ(parse({u"override_live_update_url", u"http://h/x"}).options.liveUpdateUrl, u"http://h/x");
    EXPECT_EQ(parse({u"wait_for_shutdown", u"evt"}).options.shutdownEventName, u"evt");
    p = parse({u"query_min_ver_for_uninst", u"5.1"});
    EXPECT_EQ(p.options.minVersionQuery, u"5.1");
    EXPECT_TRUE(p.options.dontCheckUniqueInstance);
    p = parse({u"uninstall_feature", u"Help"});
    EXPECT_EQ(p.options.uninstallFeature, u"Help");
    EXPECT_TRUE(p.options.silent && !p.options.updatesAllowed);
    p = parse({u"create_backup", u"\\b.7z", u"\\Data"});
    EXPECT_TRUE(p.options.createBackup);
    EXPECT_EQ(p.options.createBackupText1, u"\\b.7z");
    EXPECT_EQ(p.options.createBackupText2, u"\\Data");
    // Names ignore case; a value is the next token whatever it reads.
    p = parse({u"Silent_Mode", u"USE_CONFIG", u"uninstall_mode"});
    EXPECT_TRUE(p.options.silent);
    EXPECT_EQ(p.options.configFile, u"uninstall_mode");
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
        const Parsed parsed = parse(line, true);
        EXPECT_FALSE(parsed.error.isEmpty()) << shown(line);
        if (error) {
            EXPECT_EQ(parsed.error, error) << shown(line);
        }
    }
}

// A word that is no option is passed over, and reported in its order for the
// log; the values an option takes, even optional ones, are not among them.
TEST(InstallerOptions, WordsPassedOverAreReported)
{
    const struct {
        Line line;
        std::vector<SharedString> passedOver;
    } rows[] = {
        {{u"silent_mod", u"unistall_mode", u"/quite"},
         {SharedString(u"silent_mod"), SharedString(u"unistall_mode"), SharedString(u"/quite")}},
        {{u"SILENT_MODE", u"uninstall_mode"}, {}},
        {{u"use_config", u"\\cfg.xml", u"extra", u"check_for_updates", u"\\Temp", u"admin_stub_mode", u"3",
          u"admin_stub_mode", u"three"},
         {SharedString(u"extra"), SharedString(u"three")}},
        {{u"create_backup", u"\\a.7z", u"Jobs", u"silent_mode", u""}, {SharedString(u"")}},
    };
    for (const auto& row : rows) {
        InstallerOptions options;
        SharedString fullInstallerPath;
        std::vector<SharedString> passedOver;
        const std::vector<SharedString> args(row.line.begin(), row.line.end());
        EXPECT_TRUE(ParseOptions(args, options, fullInstallerPath, nullptr, &passedOver)) << shown(row.line);
        EXPECT_EQ(passedOver, row.passedOver) << shown(row.line);
    }
    // The misspelt words leave the options they meant unset: the run is not silent.
    EXPECT_FALSE(parse({u"silent_mod", u"unistall_mode"}).options.silent);
}

}  // namespace
}  // namespace druvex
