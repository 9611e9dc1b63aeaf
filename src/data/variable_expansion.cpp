#include "data/variable_expansion.h"

#include <algorithm>

#include "text/char_class.h"
#include "data/install_data.h"
#include "data/installer_settings.h"
#include "data/installer_variable.h"
#include "hal/hal_access.h"
#include "platform/path_components.h"

namespace druvex {
namespace {

enum class FolderKind { Target, Special, Text, SystemDrive };

struct FolderVariable {
    const char16_t* name;
    FolderKind kind;
    int csidlAllUsers;        // Special: the folder for all users
    int csidlCurrentUser;     // Special: the folder for the current user
    const char16_t* text;     // Text: the value
};

constexpr int kCsidlDesktop = 0;
constexpr int kCsidlPrograms = 2;
constexpr int kCsidlPersonal = 5;
constexpr int kCsidlStartup = 7;
constexpr int kCsidlStartMenu = 11;
constexpr int kCsidlDesktopDirectory = 16;
constexpr int kCsidlAppData = 26;
constexpr int kCsidlWindows = 36;
constexpr int kCsidlProgramFiles = 38;

constexpr FolderVariable special(const char16_t* name, int csidl)
{
    return {name, FolderKind::Special, csidl, csidl, nullptr};
}

constexpr FolderVariable userDependent(const char16_t* name, int allUsers, int currentUser)
{
    return {name, FolderKind::Special, allUsers, currentUser, nullptr};
}

constexpr FolderVariable kFolderVariables[] = {
    {u"TARGETDIR", FolderKind::Target, 0, 0, nullptr},
    {u"INSTALLDIR", FolderKind::Target, 0, 0, nullptr},
    special(u"APPDATA", kCsidlAppData),
    special(u"COMMON_APPDATA", kCsidlAppData),
    special(u"COMMON_DESKTOPDIRECTORY", kCsidlDesktopDirectory),
    special(u"COMMON_DOCUMENTS", kCsidlPersonal),
    special(u"COMMON_PROGRAMS", kCsidlPrograms),
    special(u"DESKTOP", kCsidlDesktop),
    special(u"LOCAL_APPDATA", kCsidlAppData),
    special(u"MYDOCUMENTS", kCsidlPersonal),
    special(u"PROGRAM_FILES", kCsidlProgramFiles),
    special(u"PROGRAM_FILESX86", kCsidlPrograms),
    special(u"PROGRAM_FILES_COMMON", kCsidlPrograms),
    special(u"PROGRAM_FILES_COMMONX86", kCsidlPrograms),
    special(u"STARTMENU", kCsidlStartMenu),
    special(u"STARTUP", kCsidlStartup),
    special(u"SYSTEM", kCsidlWindows),
    special(u"SYSTEMX86", kCsidlWindows),
    special(u"WINDOWS", kCsidlWindows),
    special(u"USERDEP_DOCUMENTS", kCsidlPersonal),
    userDependent(u"USERDEP_PROGRAM_FILES", kCsidlProgramFiles, kCsidlAppData),
    userDependent(u"USERDEP_PROGRAM_FILESX86", kCsidlPrograms, kCsidlAppData),
    special(u"USERDEP_APPDATA", kCsidlAppData),
    userDependent(u"USERDEP_DESKTOP", kCsidlDesktopDirectory, kCsidlDesktop),
    {u"7R_SYSTEMCF", FolderKind::Text, 0, 0, u"\\SystemCF"},
    {u"SYSTEMDRIVE", FolderKind::SystemDrive, 0, 0, nullptr},
    {u"ROMDISK", FolderKind::Text, 0, 0, u"\\ROMdisk"},
};

constexpr const char16_t* kProgramVariables[] = {
    u"PROGRAMNAME",          u"PROGRAMVERSION",       u"PROGRAMVERSION_MAJOR",
    u"PROGRAMVERSION_MINOR", u"PROGRAMVERSION_PATCH", u"PROGRAMVERSION_REVISION",
};

const FolderVariable* findFolderVariable(std::u16string_view name)
{
    for (const FolderVariable& folder : kFolderVariables) {
        if (name == folder.name)
            return &folder;
    }
    return nullptr;
}

bool isProgramVariable(std::u16string_view name)
{
    return std::any_of(std::begin(kProgramVariables), std::end(kProgramVariables),
                       [&](const char16_t* known) { return name == known; });
}

// Names are matched upper-cased. The program's one case mapping only lowers,
// and every name the system knows is ASCII, so only ASCII letters change;
// other names still compare without regard to case where they are looked up.
SharedString upperCaseName(std::u16string_view name)
{
    SharedString upper(name);
    const int length = upper.length();
    char16_t* buffer = upper.getBuffer(length);
    for (int i = 0; i < length; ++i) {
        if (buffer[i] >= u'a' && buffer[i] <= u'z')
            buffer[i] = static_cast<char16_t>(buffer[i] - u'a' + u'A');
    }
    upper.releaseBuffer(length);
    return upper;
}

struct Token {
    bool isVariable = false;
    int start = 0;
    int end = 0;  // one past the token
    std::u16string_view name;
    std::u16string_view prefix;
    std::u16string_view suffix;
};

// The token at `position`: plain text up to the next '<', or a variable that
// runs to the next '>' (included) or the end. False at the end of the text.
bool nextToken(std::u16string_view text, int position, Token& token)
{
    const auto at = static_cast<std::size_t>(position);
    if (at >= text.size())
        return false;
    token = Token{};
    token.start = position;
    if (text[at] != u'<') {
        const std::size_t open = text.find(u'<', at);
        token.end = static_cast<int>(open == std::u16string_view::npos ? text.size() : open);
        return true;
    }
    token.isVariable = true;
    const std::size_t close = text.find(u'>', at);
    const std::size_t contentEnd = close == std::u16string_view::npos ? text.size() : close;
    token.end = static_cast<int>(close == std::u16string_view::npos ? text.size() : close + 1);
    const std::u16string_view content = text.substr(at + 1, contentEnd - at - 1);
    const std::size_t firstSlash = content.find(u'/');
    token.name = content.substr(0, firstSlash);
    if (firstSlash == std::u16string_view::npos)
        return true;
    const std::size_t secondSlash = content.find(u'/', firstSlash + 1);
    token.prefix = content.substr(firstSlash + 1, secondSlash == std::u16string_view::npos
                                                      ? std::u16string_view::npos
                                                      : secondSlash - firstSlash - 1);
    if (secondSlash != std::u16string_view::npos)
        token.suffix = content.substr(secondSlash + 1);
    return true;
}

bool containsNoCase(const std::vector<SharedString>& names, std::u16string_view name)
{
    return std::any_of(names.begin(), names.end(),
                       [&](const SharedString& known) { return equalsNoCase(known.view(), name); });
}

bool resolveProgramVariable(const InstallerSettings& settings, std::u16string_view name, SharedString& value)
{
    if (name == u"PROGRAMNAME")
        return settings.expandNested(InstallerSettingKey::ProgramName, value);
    if (name == u"PROGRAMVERSION_REVISION") {
        SharedString text;
        if (!settings.expandNested(InstallerSettingKey::RevisionNumber, text))
            return false;
        value = VersionNumber::fromText(text.view()).toText();
        return true;
    }
    SharedString version;
    if (!settings.expandNested(InstallerSettingKey::ProgramVersion, version))
        return false;
    if (name == u"PROGRAMVERSION") {
        value = version;
        return true;
    }
    const VersionNumber number = VersionNumber::fromText(version.view());
    const int part = name == u"PROGRAMVERSION_MAJOR" ? 0 : name == u"PROGRAMVERSION_MINOR" ? 1 : 2;
    value = formatVersionPart(number, part);
    return true;
}

bool resolveFolderVariable(const FolderVariable& folder, HalAccess& host, bool allUsers,
                           const SharedString& targetFolder, SharedString& value)
{
    switch (folder.kind) {
    case FolderKind::Target:
        value = targetFolder;
        return true;
    case FolderKind::Text:
        value = folder.text;
        return true;
    case FolderKind::Special:
        return host.getSpecialFolderPath(allUsers ? folder.csidlAllUsers : folder.csidlCurrentUser, value);
    case FolderKind::SystemDrive: {
        // reservedSlot40 answers whether the system drive is the root.
        if (host.reservedSlot40()) {
            value = u"\\";
            return true;
        }
        SharedString windows;
        if (!host.getSpecialFolderPath(kCsidlWindows, windows))
            return false;
        const auto backslashes = std::count(windows.view().begin(), windows.view().end(), u'\\');
        value = backslashes == 2 ? windows.left(3) : SharedString(u"C:\\");
        return true;
    }
    }
    return false;
}

// Whether `value` names a folder for `key` (see isFolderTypedVariable);
// `visited` holds the variables already on the chain.
bool refersToFolder(const SharedString& value, const VariableKey& key, const VariableSet& variables,
                    std::vector<const InstallerVariable*>& visited)
{
    const std::u16string_view text = value.view();
    if (text.empty() || text[0] != u'<')
        return false;
    const std::size_t close = text.find(u'>');
    if (close == std::u16string_view::npos)
        return false;
    const SharedString name = upperCaseName(text.substr(1, close - 1));
    if (findFolderVariable(name.view()))
        return true;
    if (isProgramVariable(name.view()))
        return false;
    const InstallerVariablePtr other = variables.findByName(name.view());
    if (!other)
        return false;
    if (std::find(visited.begin(), visited.end(), other.get()) != visited.end())
        return false;
    visited.push_back(other.get());
    VariableKey found;
    if (!other->findKey(key.platform, key.user, found))
        return true;
    const SharedString next = other->getExactValue(found.platform, found.user);
    if (next.isEmpty())
        return true;
    return refersToFolder(next, key, variables, visited);
}

bool resolveInstallerVariable(std::u16string_view name, const VariableSet& variables, bool allUsers,
                              TargetPlatform platform, bool& startFlag, SharedString& value)
{
    const InstallerVariablePtr variable = variables.findByName(name);
    if (!variable)
        return false;
    if (isFolderTypedVariable(*variable, variables)) {
        if (!startFlag)
            return false;
        startFlag = false;
    }
    const std::int32_t user = isDesktopPlatform(platform) && !allUsers ? kVariableCurrentUser : kVariableAllUsers;
    value = variable->getValue(platform, user);
    return true;
}

}  // namespace

bool expandVariables(const SharedString& text, const InstallerSettings* settings, const VariableSet* variables,
                     bool allUsers, HalAccess* host, TargetPlatform platform, const SharedString& targetFolder,
                     std::vector<SharedString>& names, bool startFlag, SharedString& out)
{
    out = text;
    int position = 0;
    Token token;
    while (nextToken(out.view(), position, token)) {
        if (!token.isVariable) {
            position = token.end;
            continue;
        }
        if (token.start == 0)
            startFlag = true;
        const SharedString name = upperCaseName(token.name);
        if (containsNoCase(names, name.view()))
            return false;
        names.push_back(name);

        SharedString value;
        const FolderVariable* folder = host ? findFolderVariable(name.view()) : nullptr;
        if (settings && isProgramVariable(name.view())) {
            if (!resolveProgramVariable(*settings, name.view(), value))
                return false;
        } else if (folder) {
            if (!startFlag)
                return false;
            startFlag = false;
            if (!resolveFolderVariable(*folder, *host, allUsers, targetFolder, value))
                return false;
        } else if (variables) {
            if (!resolveInstallerVariable(name.view(), *variables, allUsers, platform, startFlag, value))
                return false;
        } else {
            return false;
        }

        if (!value.isEmpty() && (!token.prefix.empty() || !token.suffix.empty()))
            value = SharedString(token.prefix) + value + SharedString(token.suffix);
        out = out.left(token.start) + value + out.midToEnd(token.end);
        position = 0;
    }
    return true;
}

bool expandSettingVariables(const SharedString& text, const InstallerSettings& settings, SharedString& out)
{
    std::vector<SharedString> names;
    if (!expandVariables(text, &settings, nullptr, true, nullptr, kPlatformUnknown, SharedString(), names, false,
                         out))
        return false;
    out = collapseSlashes(out);
    return true;
}

bool expandVariablesForDevice(const SharedString& text, const InstallerSettings& settings,
                              const VariableSet& variables, bool allUsers, HalAccess& host,
                              const SharedString& targetFolder, SharedString& out)
{
    const TargetPlatform platform = platformFromDeviceType(static_cast<std::int32_t>(host.deviceTypeOrNone()));
    std::vector<SharedString> names;
    if (!expandVariables(text, &settings, &variables, allUsers, &host, platform, targetFolder, names, true, out))
        return false;
    out = collapseSlashes(out);
    return true;
}

bool expandVariablesWithTarget(const SharedString& text, const InstallerSettings& settings,
                               const VariableSet& variables, HalAccess& host, TargetPlatform platform,
                               std::vector<SharedString>& names)
{
    SharedString out;
    return expandVariables(text, &settings, &variables, true, &host, platform, SharedString(), names, true, out);
}

bool expandVariablesForDevice(const SharedString& text, const InstallData& data, bool allUsers, HalAccess& host,
                              const SharedString& targetFolder, SharedString& out)
{
    return expandVariablesForDevice(text, data.settings(), data, allUsers, host, targetFolder, out);
}

bool expandVariablesWithTarget(const SharedString& text, const InstallData& data, HalAccess& host,
                               TargetPlatform platform, std::vector<SharedString>& names)
{
    return expandVariablesWithTarget(text, data.settings(), data, host, platform, names);
}

bool isTargetDirToken(std::u16string_view text)
{
    return equalsNoCase(text, u"TARGETDIR") || equalsNoCase(text, u"INSTALLDIR") ||
           equalsNoCase(text, u"<TARGETDIR>") || equalsNoCase(text, u"<INSTALLDIR>");
}

bool isFolderTypedVariable(const InstallerVariable& variable, const VariableSet& variables)
{
    static constexpr VariableKey kKeys[] = {
        {0, kVariableAllUsers},
        {1, kVariableAllUsers},
        {2, kVariableAllUsers},
        {3, kVariableAllUsers},
        {4, kVariableAllUsers},
        {5, kVariableAllUsers},
        {6, kVariableAllUsers},
        {7, kVariableAllUsers},
        {8, kVariableAllUsers},
        {kPlatformWindows, kVariableAllUsers},
        {kPlatformWindows, kVariableCurrentUser},
        {kPlatformControllers, kVariableAllUsers},
        {kPlatformAll, kVariableAllUsers},
    };
    for (const VariableKey& key : kKeys) {
        const SharedString value = variable.getExactValue(key.platform, key.user);
        if (value.isEmpty())
            continue;
        std::vector<const InstallerVariable*> visited{&variable};
        if (!refersToFolder(value, key, variables, visited))
            return false;
    }
    return true;
}

SharedString collapseSlashes(const SharedString& text)
{
    const std::u16string_view view = text.view();
    std::size_t keep = 0;
    if (view.size() >= 5) {
        for (const std::u16string_view scheme : {std::u16string_view(u"https:"), std::u16string_view(u"http:"),
                                                 std::u16string_view(u"ftp:")}) {
            const std::size_t end = scheme.size() + 2;
            if (view.size() >= end && equalsNoCase(view.substr(0, scheme.size()), scheme) &&
                isPathSeparator(view[scheme.size()]) && isPathSeparator(view[scheme.size() + 1])) {
                keep = end;
                break;
            }
        }
    }
    std::u16string result(view.substr(0, keep));
    for (std::size_t i = keep; i < view.size(); ++i) {
        if (isPathSeparator(view[i]) && i > keep && isPathSeparator(view[i - 1]))
            continue;
        result += view[i];
    }
    return SharedString(std::u16string_view(result));
}

}  // namespace druvex
