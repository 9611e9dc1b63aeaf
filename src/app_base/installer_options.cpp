#include "app_base/installer_options.h"

#include <boost/lexical_cast.hpp>

#include <string>

#include "text/char_class.h"

namespace druvex {
namespace {

enum class Option {
    UseFullInstaller,
    TakeTimes,
    NoUpdate,
    UseHalWin,
    CheckForUpdates,
    UpdateMode,
    UninstallMode,
    NoWelcome,
    Silent,
    Tethered,
    Untethered,
    UpdateSilently,
    AdminStubMode,
    RebootAsAdmin,
    ForMobile,
    DontCheckUniqueInstance,
    EmptyInstaller,
    ShowMessageForDebug,
    CheckInstallerAlsoDaily,
    DontRemoveOrigInstaller,
    FinalizeRegistrations,
    ValidateRegistrations,
    PurgeSharedData,
    QueryVersionInfo,
    UseConfig,
    MakeConfig,
    OverrideLiveUpdateUrl,
    WaitForShutdown,
    QueryMinVerForUninst,
    UninstallFeature,
    CreateBackup,
};

struct OptionName {
    const char16_t* name;
    Option option;
    int values;  // tokens the option takes after it
};

// Options with an optional value ("check_for_updates", "admin_stub_mode") count
// 0 here and look at the next token themselves.
constexpr OptionName kOptions[] = {
    {u"use_full_installer", Option::UseFullInstaller, 1},
    {u"take_times", Option::TakeTimes, 0},
    {u"no_update", Option::NoUpdate, 0},
    {u"use_hal_win", Option::UseHalWin, 0},
    {u"check_for_updates", Option::CheckForUpdates, 0},
    {u"update_mode", Option::UpdateMode, 1},
    {u"uninstall_mode", Option::UninstallMode, 0},
    {u"no_welcome", Option::NoWelcome, 0},
    {u"silent_mode", Option::Silent, 0},
    {u"/quiet", Option::Silent, 0},
    {u"/qn", Option::Silent, 0},
    {u"tethered", Option::Tethered, 0},
    {u"untethered", Option::Untethered, 0},
    {u"update_silently", Option::UpdateSilently, 0},
    {u"admin_stub_mode", Option::AdminStubMode, 0},
    {u"reboot_as_admin", Option::RebootAsAdmin, 1},
    {u"formobile", Option::ForMobile, 0},
    {u"dont_check_unique_instance", Option::DontCheckUniqueInstance, 0},
    {u"empty_installer", Option::EmptyInstaller, 2},
    {u"show_message_for_debug", Option::ShowMessageForDebug, 0},
    {u"check_installer_also_daily", Option::CheckInstallerAlsoDaily, 0},
    {u"dont_remove_orig_installer", Option::DontRemoveOrigInstaller, 0},
    {u"finalize_registrations", Option::FinalizeRegistrations, 0},
    {u"validate_registrations", Option::ValidateRegistrations, 0},
    {u"purge_shared_data", Option::PurgeSharedData, 0},
    {u"query_version_info", Option::QueryVersionInfo, 0},
    {u"use_config", Option::UseConfig, 1},
    {u"make_config", Option::MakeConfig, 1},
    {u"override_live_update_url", Option::OverrideLiveUpdateUrl, 1},
    {u"wait_for_shutdown", Option::WaitForShutdown, 1},
    {u"query_min_ver_for_uninst", Option::QueryMinVerForUninst, 1},
    {u"uninstall_feature", Option::UninstallFeature, 1},
    {u"create_backup", Option::CreateBackup, 2},
};

const OptionName* findOption(std::u16string_view token)
{
    for (const OptionName& entry : kOptions) {
        if (equalsNoCase(token, entry.name))
            return &entry;
    }
    return nullptr;
}

int hexDigit(char16_t ch)
{
    if (ch >= u'0' && ch <= u'9')
        return ch - u'0';
    if (ch >= u'a' && ch <= u'f')
        return ch - u'a' + 10;
    if (ch >= u'A' && ch <= u'F')
        return ch - u'A' + 10;
    return -1;
}

// A handle as "%p" writes it ("0x4d2"; glibc writes "(nil)" for 0): the
// hexadecimal digits after an optional "0x", of which the low 32 bits count.
std::uint32_t parsePointerText(std::u16string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && isSpaceChar(text[at]))
        ++at;
    if (text.size() - at >= 2 && text[at] == u'0' && (text[at + 1] == u'x' || text[at + 1] == u'X'))
        at += 2;
    std::uint32_t value = 0;
    for (; at < text.size(); ++at) {
        const int digit = hexDigit(text[at]);
        if (digit < 0)
            break;
        value = (value << 4) | static_cast<std::uint32_t>(digit);
    }
    return value;
}

// The whole token as a decimal 32-bit number, as the dependency's conversion
// reads it (no blanks, no trailing text).
bool readNumber(const SharedString& token, std::int32_t& number)
{
    const SharedStringA utf8 = toUtf8(token);
    try {
        number = boost::lexical_cast<std::int32_t>(std::string(utf8.view()));
        return true;
    } catch (const boost::bad_lexical_cast&) {
        return false;
    }
}

void setError(SharedString* error, const char16_t* pattern, const SharedString& text)
{
    if (error)
        error->format(pattern, text);
}

}  // namespace

bool ParseOptions(std::span<const SharedString> arguments, InstallerOptions& options,
                  SharedString& fullInstallerPath, SharedString* error)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const OptionName* entry = findOption(arguments[i].view());
        if (!entry)
            continue;
        if (arguments.size() - i - 1 < static_cast<std::size_t>(entry->values)) {
            setError(error, u"The option \"%s\" needs a value.", SharedString(entry->name));
            return false;
        }
        const SharedString* value = entry->values > 0 ? &arguments[i + 1] : nullptr;
        i += static_cast<std::size_t>(entry->values);
        // The token after an option with an optional value, when it is no option.
        const bool hasOptionalValue = i + 1 < arguments.size() && !findOption(arguments[i + 1].view());

        switch (entry->option) {
        case Option::UseFullInstaller:
            options.useFullInstaller = true;
            fullInstallerPath = *value;
            break;
        case Option::TakeTimes:
            options.takeTimes = true;
            break;
        case Option::NoUpdate:
            options.updatesAllowed = false;
            break;
        case Option::UseHalWin:
            options.useHalWin = true;
            break;
        case Option::CheckForUpdates:
            options.checkForUpdates = true;
            // A child installer is started with the bare option, so the
            // folder is taken only when one follows.
            if (hasOptionalValue)
                options.updateCheckFolder = arguments[++i];
            break;
        case Option::UpdateMode:
            if (equalsNoCase(value->view(), u"newversion")) {
                options.updateMode = kUpdateModeNewVersion;
            } else if (equalsNoCase(value->view(), u"features")) {
                options.updateMode = kUpdateModeFeatures;
            } else {
                setError(error, u"The update mode \"%s\" is neither \"newversion\" nor \"features\".", *value);
                return false;
            }
            break;
        case Option::UninstallMode:
            options.uninstallMode = true;
            break;
        case Option::NoWelcome:
            options.noWelcome = true;
            break;
        case Option::Silent:
            options.silent = true;
            break;
        case Option::Tethered:
            options.tethering = kTetheringTethered;
            break;
        case Option::Untethered:
            options.tethering = kTetheringUntethered;
            break;
        case Option::UpdateSilently:
            options.updateSilently = true;
            options.silent = true;
            break;
        case Option::AdminStubMode: {
            options.adminStubMode = true;
            std::int32_t number = 0;
            if (hasOptionalValue && readNumber(arguments[i + 1], number)) {
                options.adminStubNumber = number;
                ++i;
            }
            break;
        }
        case Option::RebootAsAdmin: {
            const TargetPlatform platform = parsePlatform(value->view());
            if (platform < 0 || platform >= kPlatformCount) {
                setError(error, u"\"%s\" names no target platform.", *value);
                return false;
            }
            options.rebootAsAdmin = true;
            options.platform = platform;
            break;
        }
        case Option::ForMobile:
            options.forMobile = true;
            break;
        case Option::DontCheckUniqueInstance:
            options.dontCheckUniqueInstance = true;
            break;
        case Option::EmptyInstaller:
            options.emptyInstaller = true;
            if (!value[0].isEmpty())
                options.emptyInstallerHandle = parsePointerText(value[0].view());
            options.emptyInstallerPath = value[1];
            break;
        case Option::ShowMessageForDebug:
            options.showMessageForDebug = true;
            break;
        case Option::CheckInstallerAlsoDaily:
            options.checkInstallerAlsoDaily = true;
            break;
        case Option::DontRemoveOrigInstaller:
            options.dontRemoveOrigInstaller = true;
            break;
        case Option::FinalizeRegistrations:
            options.finalizeRegistrations = true;
            break;
        case Option::ValidateRegistrations:
            options.validateRegistrations = true;
            break;
        case Option::PurgeSharedData:
            options.purgeSharedData = true;
            break;
        case Option::QueryVersionInfo:
            options.queryVersionInfo = true;
            break;
        case Option::UseConfig:
            options.configMode = kConfigModeUse;
            options.configFile = *value;
            break;
        case Option::MakeConfig:
            options.configMode = kConfigModeMake;
            options.configFile = *value;
            break;
        case Option::OverrideLiveUpdateUrl:
            options.liveUpdateUrl = *value;
            break;
        case Option::WaitForShutdown:
            options.shutdownEventName = *value;
            break;
        case Option::QueryMinVerForUninst:
            options.minVersionQuery = *value;
            options.dontCheckUniqueInstance = true;
            break;
        case Option::UninstallFeature:
            options.uninstallFeature = *value;
            options.updatesAllowed = false;
            options.silent = true;
            break;
        case Option::CreateBackup:
            options.createBackup = true;
            options.createBackupText1 = value[0];
            options.createBackupText2 = value[1];
            break;
        }
    }
    return true;
}

}  // namespace druvex
