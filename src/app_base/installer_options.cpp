#include "app_base/installer_options.h"

#include <boost/lexical_cast.hpp>

#include <optional>
#include <string>

#include "text/char_class.h"

namespace druvex {
namespace {

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

// What an option's handler works on: the arguments, the index of the
// option's last value token (moved on by a handler that takes an optional
// value), the option's values, and the outputs.
struct OptionCall {
    std::span<const SharedString> arguments;
    std::size_t& index;
    const SharedString* value;  // the first value token; null without values
    bool hasOptionalValue;      // the next token exists and is no option
    InstallerOptions& options;
    SharedString& fullInstallerPath;
    SharedString* error;
};

// False ends the parse: the option's value is refused.
using OptionHandler = bool (*)(OptionCall&);

struct OptionName {
    const char16_t* name;
    int values;  // tokens the option takes after it
    OptionHandler handle;
};

template <bool InstallerOptions::*kField>
bool setFlag(OptionCall& call)
{
    call.options.*kField = true;
    return true;
}

template <SharedString InstallerOptions::*kField>
bool setText(OptionCall& call)
{
    call.options.*kField = *call.value;
    return true;
}

void setError(SharedString* error, const char16_t* pattern, const SharedString& text)
{
    if (error)
        error->format(pattern, text);
}

constexpr NamedValue<UpdateMode> kUpdateModes[] = {
    {kUpdateModeNewVersion, u"newversion"},
    {kUpdateModeFeatures, u"features"},
};

}  // namespace

const NameTable<UpdateMode> kUpdateModeNames{kUpdateModes, NameCase::kIgnoreCase};

namespace {

bool useFullInstaller(OptionCall& call)
{
    call.options.useFullInstaller = true;
    call.fullInstallerPath = *call.value;
    return true;
}

bool noUpdate(OptionCall& call)
{
    call.options.updatesAllowed = false;
    return true;
}

bool checkForUpdates(OptionCall& call)
{
    call.options.checkForUpdates = true;
    // A child installer is started with the bare option, so the folder is
    // taken only when one follows.
    if (call.hasOptionalValue)
        call.options.updateCheckFolder = call.arguments[++call.index];
    return true;
}

bool updateMode(OptionCall& call)
{
    const std::optional<UpdateMode> mode = kUpdateModeNames.find(call.value->view());
    if (!mode) {
        setError(call.error, u"The update mode \"%s\" is neither \"newversion\" nor \"features\".", *call.value);
        return false;
    }
    call.options.updateMode = *mode;
    return true;
}

bool tethered(OptionCall& call)
{
    call.options.tethering = kTetheringTethered;
    return true;
}

bool untethered(OptionCall& call)
{
    call.options.tethering = kTetheringUntethered;
    return true;
}

bool updateSilently(OptionCall& call)
{
    call.options.updateSilently = true;
    call.options.silent = true;
    return true;
}

bool adminStubMode(OptionCall& call)
{
    call.options.adminStubMode = true;
    std::int32_t number = 0;
    if (call.hasOptionalValue && readNumber(call.arguments[call.index + 1], number)) {
        call.options.adminStubNumber = number;
        ++call.index;
    }
    return true;
}

bool rebootAsAdmin(OptionCall& call)
{
    const TargetPlatform platform = parsePlatform(call.value->view());
    if (platform < 0 || platform >= kPlatformCount) {
        setError(call.error, u"\"%s\" names no target platform.", *call.value);
        return false;
    }
    call.options.rebootAsAdmin = true;
    call.options.platform = platform;
    return true;
}

bool emptyInstaller(OptionCall& call)
{
    call.options.emptyInstaller = true;
    if (!call.value[0].isEmpty())
        call.options.emptyInstallerHandle = parsePointerText(call.value[0].view());
    call.options.emptyInstallerPath = call.value[1];
    return true;
}

bool useConfig(OptionCall& call)
{
    call.options.configMode = kConfigModeUse;
    call.options.configFile = *call.value;
    return true;
}

bool makeConfig(OptionCall& call)
{
    call.options.configMode = kConfigModeMake;
    call.options.configFile = *call.value;
    return true;
}

bool queryMinVerForUninst(OptionCall& call)
{
    call.options.minVersionQuery = *call.value;
    call.options.dontCheckUniqueInstance = true;
    return true;
}

bool uninstallFeature(OptionCall& call)
{
    call.options.uninstallFeature = *call.value;
    call.options.updatesAllowed = false;
    call.options.silent = true;
    return true;
}

bool createBackup(OptionCall& call)
{
    call.options.createBackup = true;
    call.options.createBackupText1 = call.value[0];
    call.options.createBackupText2 = call.value[1];
    return true;
}

// Options with an optional value ("check_for_updates", "admin_stub_mode") count
// 0 here and look at the next token themselves.
constexpr OptionName kOptions[] = {
    {u"use_full_installer", 1, useFullInstaller},
    {u"take_times", 0, setFlag<&InstallerOptions::takeTimes>},
    {u"no_update", 0, noUpdate},
    {u"use_hal_win", 0, setFlag<&InstallerOptions::useHalWin>},
    {u"check_for_updates", 0, checkForUpdates},
    {u"update_mode", 1, updateMode},
    {u"uninstall_mode", 0, setFlag<&InstallerOptions::uninstallMode>},
    {u"no_welcome", 0, setFlag<&InstallerOptions::noWelcome>},
    {u"silent_mode", 0, setFlag<&InstallerOptions::silent>},
    {u"/quiet", 0, setFlag<&InstallerOptions::silent>},
    {u"/qn", 0, setFlag<&InstallerOptions::silent>},
    {u"tethered", 0, tethered},
    {u"untethered", 0, untethered},
    {u"update_silently", 0, updateSilently},
    {u"admin_stub_mode", 0, adminStubMode},
    {u"reboot_as_admin", 1, rebootAsAdmin},
    {u"formobile", 0, setFlag<&InstallerOptions::forMobile>},
    {u"dont_check_unique_instance", 0, setFlag<&InstallerOptions::dontCheckUniqueInstance>},
    {u"empty_installer", 2, emptyInstaller},
    {u"show_message_for_debug", 0, setFlag<&InstallerOptions::showMessageForDebug>},
    {u"check_installer_also_daily", 0, setFlag<&InstallerOptions::checkInstallerAlsoDaily>},
    {u"dont_remove_orig_installer", 0, setFlag<&InstallerOptions::dontRemoveOrigInstaller>},
    {u"finalize_registrations", 0, setFlag<&InstallerOptions::finalizeRegistrations>},
    {u"validate_registrations", 0, setFlag<&InstallerOptions::validateRegistrations>},
    {u"purge_shared_data", 0, setFlag<&InstallerOptions::purgeSharedData>},
    {u"query_version_info", 0, setFlag<&InstallerOptions::queryVersionInfo>},
    {u"use_config", 1, useConfig},
    {u"make_config", 1, makeConfig},
    {u"override_live_update_url", 1, setText<&InstallerOptions::liveUpdateUrl>},
    {u"wait_for_shutdown", 1, setText<&InstallerOptions::shutdownEventName>},
    {u"query_min_ver_for_uninst", 1, queryMinVerForUninst},
    {u"uninstall_feature", 1, uninstallFeature},
    {u"create_backup", 2, createBackup},
};

const OptionName* findOption(std::u16string_view token)
{
    for (const OptionName& entry : kOptions) {
        if (equalsNoCase(token, entry.name))
            return &entry;
    }
    return nullptr;
}

}  // namespace

bool ParseOptions(std::span<const SharedString> arguments, InstallerOptions& options,
                  SharedString& fullInstallerPath, SharedString* error, std::vector<SharedString>* passedOver)
{
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const OptionName* entry = findOption(arguments[i].view());
        if (!entry) {
            if (passedOver)
                passedOver->push_back(arguments[i]);
            continue;
        }
        if (arguments.size() - i - 1 < static_cast<std::size_t>(entry->values)) {
            setError(error, u"The option \"%s\" needs a value.", SharedString(entry->name));
            return false;
        }
        const SharedString* value = entry->values > 0 ? &arguments[i + 1] : nullptr;
        i += static_cast<std::size_t>(entry->values);
        const bool hasOptionalValue = i + 1 < arguments.size() && !findOption(arguments[i + 1].view());
        OptionCall call{arguments, i, value, hasOptionalValue, options, fullInstallerPath, error};
        if (!entry->handle(call))
            return false;
    }
    return true;
}

}  // namespace druvex
