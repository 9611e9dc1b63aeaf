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

std::vector<SharedString> tokens(std::initializer_list<const char16_t*> list)
{
    std::vector<SharedString> out;
    for (const char16_t* token : list)
        out.emplace_back(token);
    return out;
}

struct Parsed {
    bool ok = false;
    InstallerOptions options;
    SharedString fullInstallerPath;
    SharedString error;
};

Parsed parse(std::initializer_list<const char16_t*> list)
{
    Parsed parsed;
    const std::vector<SharedString> args = tokens(list);
    parsed.ok = ParseOptions(args, parsed.options, parsed.fullInstallerPath, &parsed.error);
    return parsed;
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

// One row per option: the command line and what it must set.
struct OptionCase {
    std::vector<const char16_t*> line;
    std::function<bool(const Parsed&)> check;
    const char* what;
};

TEST(InstallerOptions, EachOptionSetsItsField)
{
    const OptionCase cases[] = {
        {{u"use_full_installer", u"\\Temp\\full.exe"},
         [](const Parsed& p) { return p.options.useFullInstaller && p.fullInstallerPath == u"\\Temp\\full.exe"; },
         "use_full_installer"},
        {{u"take_times"}, [](const Parsed& p) { return p.options.takeTimes; }, "take_times"},
        {{u"no_update"}, [](const Parsed& p) { return !p.options.updatesAllowed && !p.options.silent; }, "no_update"},
        {{u"use_hal_win"}, [](const Parsed& p) { return p.options.useHalWin; }, "use_hal_win"},
        {{u"check_for_updates", u"\\Temp\\check"},
         [](const Parsed& p) { return p.options.checkForUpdates && p.options.updateCheckFolder == u"\\Temp\\check"; },
         "check_for_updates with a folder"},
        {{u"check_for_updates", u"silent_mode"},
         [](const Parsed& p) {
             return p.options.checkForUpdates && p.options.updateCheckFolder.isEmpty() && p.options.silent;
         },
         "check_for_updates without a folder"},
        {{u"update_mode", u"newversion"}, [](const Parsed& p) { return p.options.updateMode == 1; }, "newversion"},
        {{u"update_mode", u"Features"}, [](const Parsed& p) { return p.options.updateMode == 2; }, "features"},
        {{u"uninstall_mode"}, [](const Parsed& p) { return p.options.uninstallMode; }, "uninstall_mode"},
        {{u"no_welcome"}, [](const Parsed& p) { return p.options.noWelcome; }, "no_welcome"},
        {{u"silent_mode"}, [](const Parsed& p) { return p.options.silent; }, "silent_mode"},
        {{u"/QUIET"}, [](const Parsed& p) { return p.options.silent; }, "/quiet"},
        {{u"/qn"}, [](const Parsed& p) { return p.options.silent; }, "/qn"},
        {{u"tethered"}, [](const Parsed& p) { return p.options.tethering == 2; }, "tethered"},
        {{u"untethered"}, [](const Parsed& p) { return p.options.tethering == 1; }, "untethered"},
        {{u"update_silently"},
         [](const Parsed& p) { return p.options.updateSilently && p.options.silent; }, "update_silently"},
        {{u"admin_stub_mode", u"7"},
         [](const Parsed& p) { return p.options.adminStubMode && p.options.adminStubNumber == 7; }, "stub number"},
        {{u"admin_stub_mode", u"7x", u"formobile"},
         [](const Parsed& p) {
             return p.options.adminStubMode && p.options.adminStubNumber == 0 && p.options.forMobile;
         },
         "stub without a number"},
        {{u"reboot_as_admin", u"qm40"},
         [](const Parsed& p) { return p.options.rebootAsAdmin && p.options.platform == 2; }, "reboot_as_admin"},
        {{u"formobile"}, [](const Parsed& p) { return p.options.forMobile; }, "formobile"},
        {{u"dont_check_unique_instance"},
         [](const Parsed& p) { return p.options.dontCheckUniqueInstance; }, "dont_check_unique_instance"},
        {{u"empty_installer", u"0x4d2", u"\\Temp\\x.exe"},
         [](const Parsed& p) {
             return p.options.emptyInstaller && p.options.emptyInstallerHandle == 0x4d2 &&
                    p.options.emptyInstallerPath == u"\\Temp\\x.exe";
         },
         "empty_installer"},
        {{u"empty_installer", u"", u"\\Temp\\x.exe"},
         [](const Parsed& p) { return p.options.emptyInstaller && p.options.emptyInstallerHandle == 0; },
         "empty_installer without a handle"},
        {{u"empty_installer", u"1234ABCD9", u"x"},
         [](const Parsed& p) { return p.options.emptyInstallerHandle == 0x234ABCD9u; }, "handle's low 32 bits"},
        {{u"show_message_for_debug"}, [](const Parsed& p) { return p.options.showMessageForDebug; }, "debug"},
        {{u"check_installer_also_daily"},
         [](const Parsed& p) { return p.options.checkInstallerAlsoDaily; }, "daily"},
        {{u"dont_remove_orig_installer"},
         [](const Parsed& p) { return p.options.dontRemoveOrigInstaller; }, "dont_remove_orig_installer"},
        {{u"finalize_registrations"}, [](const Parsed& p) { return p.options.finalizeRegistrations; }, "finalize"},
        {{u"validate_registrations"}, [](const Parsed& p) { return p.options.validateRegistrations; }, "validate"},
        {{u"purge_shared_data"}, [](const Parsed& p) { return p.options.purgeSharedData; }, "purge"},
        {{u"query_version_info"}, [](const Parsed& p) { return p.options.queryVersionInfo; }, "query_version_info"},
        {{u"use_config", u"\\cfg.xml"},
         [](const Parsed& p) { return p.options.configMode == 1 && p.options.configFile == u"\\cfg.xml"; },
         "use_config"},
        {{u"make_config", u"\\cfg.xml"},
         [](const Parsed& p) { return p.options.configMode == 2 && p.options.configFile == u"\\cfg.xml"; },
         "make_config"},
        {{u"override_live_update_url", u"http://h/x"},
         [](const Parsed& p) { return p.options.liveUpdateUrl == u"http://h/x"; }, "override_live_update_url"},
        {{u"wait_for_shutdown", u"evt"},
         [](const Parsed& p) { return p.options.shutdownEventName == u"evt"; }, "wait_for_shutdown"},
        {{u"query_min_ver_for_uninst", u"5.1"},
         [](const Parsed& p) {
             return p.options.minVersionQuery == u"5.1" && p.options.dontCheckUniqueInstance;
         },
         "query_min_ver_for_uninst"},
        {{u"uninstall_feature", u"Help"},
         [](const Parsed& p) {
             return p.options.uninstallFeature == u"Help" && p.options.silent && !p.options.updatesAllowed;
         },
         "uninstall_feature"},
        {{u"create_backup", u"\\b.7z", u"\\Data"},
         [](const Parsed& p) {
             return p.options.createBackup && p.options.createBackupText1 == u"\\b.7z" &&
                    p.options.createBackupText2 == u"\\Data";
         },
         "create_backup"},
        {{u"Silent_Mode", u"USE_CONFIG", u"uninstall_mode"},
         [](const Parsed& p) { return p.options.silent && p.options.configFile == u"uninstall_mode"; },
         "names ignore case; a value is the next token whatever it reads"},
    };
    for (const OptionCase& c : cases) {
        Parsed parsed;
        std::vector<SharedString> args;
        for (const char16_t* token : c.line)
            args.emplace_back(token);
        parsed.ok = ParseOptions(args, parsed.options, parsed.fullInstallerPath, &parsed.error);
        EXPECT_TRUE(parsed.ok) << c.what << ": " << toUtf8(parsed.error).c_str();
        EXPECT_TRUE(c.check(parsed)) << c.what;
    }
}

TEST(InstallerOptions, FailuresEndTheProgram)
{
    const std::vector<std::vector<const char16_t*>> failing = {
        {u"use_full_installer"},
        {u"uninstall_feature"},
        {u"update_mode"},
        {u"update_mode", u"bogus"},
        {u"update_mode", u"newversion2"},
        {u"reboot_as_admin"},
        {u"reboot_as_admin", u"Bogus"},
        {u"reboot_as_admin", u"Unknown"},
        {u"reboot_as_admin", u"Windows"},
        {u"empty_installer", u"0x1"},
        {u"use_config"},
        {u"make_config"},
        {u"override_live_update_url"},
        {u"wait_for_shutdown"},
        {u"query_min_ver_for_uninst"},
        {u"create_backup", u"a"},
        {u"silent_mode", u"update_mode"},
    };
    for (const auto& line : failing) {
        std::vector<SharedString> args;
        std::string shown;
        for (const char16_t* token : line) {
            args.emplace_back(token);
            shown += toUtf8(SharedString(token)).c_str();
            shown += ' ';
        }
        InstallerOptions options;
        SharedString path;
        SharedString error;
        EXPECT_FALSE(ParseOptions(args, options, path, &error)) << shown;
        EXPECT_FALSE(error.isEmpty()) << shown;
    }
}

TEST(InstallerOptions, FailureTextsNameTheCause)
{
    Parsed parsed = parse({u"reboot_as_admin", u"Bogus"});
    ASSERT_FALSE(parsed.ok);
    EXPECT_EQ(parsed.error, u"\"Bogus\" names no target platform.");
    parsed = parse({u"update_mode", u"later"});
    EXPECT_EQ(parsed.error, u"The update mode \"later\" is neither \"newversion\" nor \"features\".");
    parsed = parse({u"create_backup", u"x"});
    EXPECT_EQ(parsed.error, u"The option \"create_backup\" needs a value.");
}

}  // namespace
}  // namespace druvex
