// The command line of the installer: InstallerOptions, the record that
// ParseOptions fills from the program's arguments and the controller copies.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "app_base/target_platform.h"
#include "text/name_table.h"
#include "text/shared_string.h"

namespace druvex {

enum class UpdateMode : std::int32_t {
    kUpdateModeNone = 0,
    kUpdateModeNewVersion = 1,  // "update_mode newversion"
    kUpdateModeFeatures = 2,    // "update_mode features"
};
using enum UpdateMode;
// The values of "update_mode", read ignoring case.
extern const NameTable<UpdateMode> kUpdateModeNames;

enum class Tethering : std::int32_t {
    kTetheringUnset = 0,
    kTetheringUntethered = 1,  // "untethered"
    kTetheringTethered = 2,    // "tethered"
};
using enum Tethering;

enum class ConfigMode : std::int32_t {
    kConfigModeNone = 0,
    kConfigModeUse = 1,   // "use_config <file>"
    kConfigModeMake = 2,  // "make_config <file>"
};
using enum ConfigMode;

// The fields in record order, each with the option that sets it.
struct InstallerOptions {
    bool useFullInstaller = false;        // "use_full_installer <path>" (the path is ParseOptions' own output)
    bool takeTimes = false;               // "take_times"
    bool updatesAllowed = true;           // cleared by "no_update" and "uninstall_feature"
    bool useHalWin = false;               // "use_hal_win": the run is never tethered
    bool checkForUpdates = false;         // "check_for_updates [folder]"
    UpdateMode updateMode = kUpdateModeNone;  // "update_mode newversion|features"
    bool uninstallMode = false;           // "uninstall_mode"
    bool noWelcome = false;               // "no_welcome"
    bool silent = false;                  // "silent_mode", "/quiet", "/qn", "update_silently", "uninstall_feature"
    Tethering tethering = kTetheringUnset;    // "tethered", "untethered"
    bool updateSilently = false;          // "update_silently"
    bool adminStubMode = false;           // "admin_stub_mode [number]"
    bool rebootAsAdmin = false;           // "reboot_as_admin <platform>"
    bool forMobile = false;               // "formobile"
    bool dontCheckUniqueInstance = false; // "dont_check_unique_instance", "query_min_ver_for_uninst"
    bool emptyInstaller = false;          // "empty_installer <handle> <path>"
    bool showMessageForDebug = false;     // "show_message_for_debug"
    bool checkInstallerAlsoDaily = false; // "check_installer_also_daily"
    bool dontRemoveOrigInstaller = false; // "dont_remove_orig_installer"
    bool finalizeRegistrations = false;   // "finalize_registrations"
    bool validateRegistrations = false;   // "validate_registrations"
    bool purgeSharedData = false;         // "purge_shared_data"
    bool queryVersionInfo = false;        // "query_version_info"
    TargetPlatform platform = kPlatformUnknown;  // the platform after "reboot_as_admin"
    ConfigMode configMode = kConfigModeNone;     // "use_config", "make_config"
    SharedString configFile;              // the file after "use_config" or "make_config"
    SharedString liveUpdateUrl;           // "override_live_update_url <url>"
    SharedString updateCheckFolder;       // the folder after "check_for_updates"
    SharedString shutdownEventName;       // "wait_for_shutdown <name>"
    SharedString minVersionQuery;         // "query_min_ver_for_uninst <version>"
    SharedString emptyInstallerPath;      // the path after "empty_installer"
    std::uint32_t emptyInstallerHandle = 0;  // the handle after "empty_installer" ("%p" form)
    SharedString uninstallFeature;        // "uninstall_feature <name>"
    bool createBackup = false;            // "create_backup <text1> <text2>"
    SharedString createBackupText1;       // the first text after "create_backup"
    SharedString createBackupText2;       // the second text after "create_backup"
    std::int32_t adminStubNumber = 0;     // the number after "admin_stub_mode", when it reads as one
};

// Fills `options` from the program's arguments (the program's name not among
// them). Option names compare ignoring case, and so do the values of
// "update_mode" and "reboot_as_admin"; a token that is no option is passed
// over. False, with the reason in `error` (may be null), when an option lacks
// its value, "update_mode" names neither mode or "reboot_as_admin" names no
// platform (0 to 8): the program then ends with -1. The path after
// "use_full_installer" goes to `fullInstallerPath`. The tokens passed over are
// added to `passedOver` (may be null), in their order, for the log: a
// misspelt option would otherwise leave no trace.
bool ParseOptions(std::span<const SharedString> arguments, InstallerOptions& options,
                  SharedString& fullInstallerPath, SharedString* error = nullptr,
                  std::vector<SharedString>* passedOver = nullptr);

}  // namespace druvex
