// The installer functions that work on the machine rather than on the
// installer's state: version and OS comparisons, the message box, opening
// files, copies between the two hosts, and the Windows Installer and
// assembly registration programs.
#include <cstdint>
#include <vector>

#include "data/version_number.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "hal/os_version.h"
#include "host/installer_function_support.h"
#include "host/installer_functions.h"
#include "host/installer_script_services.h"
#include "host/lua_hal_methods.h"
#include "host/shell_open.h"
#include "platform/window_model.h"
#include "text/char_class.h"
#include "text/numbers.h"
#include "ui_base/message_box.h"

namespace druvex::installer_functions {

namespace {

constexpr char16_t kMessageBoxCaption[] = u"DRUVEX Installer";

SharedString comparisonText(int comparison)
{
    return intToText(comparison);
}

// A value of DQ_CompareVersions: a version text, or an integer n read as
// n.0.0.0; `shown` is the value as the script gave it.
bool versionArgument(lua_State* state, int index, VersionNumber& version, SharedString& shown)
{
    if (isNumber(state, index) && lua_isinteger(state, index)) {
        const auto value = static_cast<std::int32_t>(lua_tointeger(state, index));
        version = VersionNumber::fromParts(value, 0, 0, 0);
        shown = intToText(value);
        return true;
    }
    if (!isText(state, index))
        return false;
    shown = text(state, index);
    return version.parse(shown.view());
}

// The host of the useIn argument at 1, when it is a boolean and the global
// names a Hal object.
std::shared_ptr<HalAccess> hostArgument(lua_State* state)
{
    if (!isBoolean(state, 1))
        return nullptr;
    return globalHost(state, lua_toboolean(state, 1) != 0);
}

// The host's OS version as major.minor.servicepack; false when it cannot say.
bool hostOsVersion(HalAccess& host, VersionNumber& version, std::uint32_t& servicePack, bool& isServer)
{
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    if (!host.getOSVersion(major, minor, servicePack, isServer))
        return false;
    version = VersionNumber::fromParts(static_cast<std::int32_t>(major), static_cast<std::int32_t>(minor),
                                       static_cast<std::int32_t>(servicePack), 0);
    return true;
}

// The comparison of the host's OS version with the named one's key; false
// for an unknown name or a host that cannot say.
bool compareOsVersion(lua_State* state, int& comparison)
{
    const std::shared_ptr<HalAccess> host = argumentCount(state) == 2 && isText(state, 2) ? hostArgument(state)
                                                                                          : nullptr;
    if (!host)
        return false;
    const SharedString key = OSVersion::toVersionKey(OSVersion::fromName(text(state, 2).view()));
    VersionNumber named;
    VersionNumber actual;
    std::uint32_t servicePack = 0;
    bool isServer = false;
    if (key.isEmpty() || !named.parse(key.view()) || !hostOsVersion(*host, actual, servicePack, isServer))
        return false;
    comparison = VersionNumber::compare(actual, named);
    return true;
}

// Both results false on failure: a failure must not read as a yes in a
// script's "if DQ_IsOSNewerThan(...) then".
int osTest(lua_State* state, bool newer)
{
    int comparison = 0;
    if (!compareOsVersion(state, comparison)) {
        pushBoolean(state, false);
        return 1 + pushBoolean(state, false);
    }
    pushBoolean(state, newer ? comparison >= 0 : comparison == 0);
    return 1 + pushBoolean(state, true);
}

std::uint32_t messageBoxFlags(const SharedString& buttons)
{
    struct Buttons {
        const char16_t* name;
        std::uint32_t flags;
    };
    static constexpr Buttons kButtons[] = {
        {u"MB_YESNO", kMbYesNo | kMbIconQuestion},
        {u"MB_YESNOCANCEL", kMbYesNoCancel | kMbIconQuestion},
        {u"MB_OKCANCEL", kMbOkCancel},
        {u"MB_RETRYCANCEL", kMbRetryCancel | kMbIconQuestion},
    };
    for (const Buttons& entry : kButtons) {
        if (equalsNoCase(buttons.view(), entry.name))
            return entry.flags;
    }
    return kMbOk;
}

int copyFile(lua_State* state, bool outToIn)
{
    if (argumentCount(state) != 2 || !isText(state, 1) || !isText(state, 2))
        return pushInteger(state, -1);
    const std::shared_ptr<HalAccess> in = globalHost(state, true);
    const std::shared_ptr<HalAccess> out = globalHost(state, false);
    if (!in || !out)
        return pushInteger(state, 0);
    const SharedString source = text(state, 1);
    const SharedString target = text(state, 2);
    const bool copied = outToIn ? copyFileBetweenHosts(out, source, in, target) : copyFileBetweenHosts(in, source, out, target);
    return pushInteger(state, copied ? 1 : 0);
}

// A path that goes between double quotes on a program's command line; one
// that holds a quote itself would end the quoted part early and pass the rest
// to the program as options.
bool isQuotable(const SharedString& path)
{
    return !path.isEmpty() && path.find(u'"') < 0;
}

// Runs the program through the Out host with creation flags 0: true with
// the exit code when it ran.
bool runThroughOutHost(lua_State* state, const SharedString& program, const SharedString& commandLine,
                       std::uint32_t& exitCode)
{
    const std::shared_ptr<HalAccess> out = globalHost(state, false);
    if (!out)
        return false;
    const bool ran = out->executeProcess(program, commandLine, 0, exitCode);
    logExecuteProcess(program, commandLine, ran, exitCode);
    return ran;
}

int assemblyRegistration(lua_State* state, const char16_t* defaultArguments)
{
    InstallerScriptServices* installer = services(state);
    const int count = argumentCount(state);
    std::int32_t bits = 0;
    std::int32_t framework = 0;
    if (!installer || count < 3 || count > 4 || !isText(state, 1) || !integerArgument(state, 2, bits) ||
        !integerArgument(state, 3, framework) || (count == 4 && !isText(state, 4)))
        return pushBoolean(state, false);
    if ((bits != 32 && bits != 64) || (framework != 2 && framework != 4))
        return pushBoolean(state, false);
    const SharedString program = installer->solveHalFolder(
        true, SharedString(bits == 64 ? u"<WINDOWS>\\Microsoft.NET\\Framework64\\" : u"<WINDOWS>\\Microsoft.NET\\Framework\\") +
                  (framework == 2 ? u"v2.0.50727\\RegAsm.exe" : u"v4.0.30319\\RegAsm.exe"));
    const SharedString assembly = installer->solveHalFolder(true, text(state, 1));
    if (program.isEmpty() || !isQuotable(assembly)) {
        logInfo((u"REGASM: refused the assembly " + text(state, 1)).view());
        return pushBoolean(state, false);
    }
    const SharedString commandLine =
        u"\"" + assembly + u"\" " + (count == 4 ? text(state, 4) : SharedString(defaultArguments));
    std::uint32_t exitCode = 0;
    const bool ran = runThroughOutHost(state, program, commandLine, exitCode);
    const SharedString call = u"REGASM: " + program + u" " + commandLine;
    if (ran && exitCode == 0) {
        logInfo(call.view());
        return pushBoolean(state, true);
    }
    std::uint32_t code = exitCode;
    if (!ran) {
        const std::shared_ptr<HalAccess> out = globalHost(state, false);
        code = out ? out->getLastError() : 0;
    }
    logInvokeError(call.view(), code);
    return pushBoolean(state, false);
}

}  // namespace

int checkFileVersion(lua_State* state)
{
    const std::shared_ptr<HalAccess> host =
        argumentCount(state) == 3 && isText(state, 2) && isText(state, 3) ? hostArgument(state) : nullptr;
    std::uint16_t parts[4] = {};
    VersionNumber given;
    const SharedString path = host ? text(state, 2) : SharedString();
    const SharedString wanted = host ? text(state, 3) : SharedString();
    if (!host || !given.parse(wanted.view()) || !host->getFileVersion(path, parts[0], parts[1], parts[2], parts[3])) {
        logInfo(u"Failed comparing file version");
        pushInteger(state, 0);
        return 1 + pushBoolean(state, false);
    }
    SharedString fileVersion;
    fileVersion.format(u"%d.%d.%d.%d", parts[0], parts[1], parts[2], parts[3]);
    VersionNumber actual;
    actual.parse(fileVersion.view());
    const int comparison = VersionNumber::compare(actual, given);
    logInfo((u"Comparing file " + path + u" version (" + fileVersion + u") with " + wanted + u":" +
             comparisonText(comparison))
                .view());
    pushInteger(state, comparison);
    return 1 + pushBoolean(state, true);
}

int queryProductState(lua_State* state)
{
    return pushBoolean(state, false);
}

int isOsNewerThan(lua_State* state)
{
    return osTest(state, true);
}

int isOsEqualTo(lua_State* state)
{
    return osTest(state, false);
}

int isOsServer(lua_State* state)
{
    const std::shared_ptr<HalAccess> host = argumentCount(state) == 1 ? hostArgument(state) : nullptr;
    VersionNumber version;
    std::uint32_t servicePack = 0;
    bool isServer = false;
    return pushBoolean(state, host && hostOsVersion(*host, version, servicePack, isServer) && isServer);
}

int getOsServicePack(lua_State* state)
{
    const std::shared_ptr<HalAccess> host = argumentCount(state) == 1 ? hostArgument(state) : nullptr;
    VersionNumber version;
    std::uint32_t servicePack = 0;
    bool isServer = false;
    if (!host || !hostOsVersion(*host, version, servicePack, isServer))
        return pushInteger(state, 0);
    return pushInteger(state, static_cast<std::int32_t>(servicePack));
}

int messageBox(lua_State* state)
{
    const int count = argumentCount(state);
    if (count < 1 || !isText(state, 1))
        return pushInteger(state, -1);
    const std::uint32_t flags = count == 2 && isText(state, 2) ? messageBoxFlags(text(state, 2)) : kMbOk;
    return pushInteger(state,
                       showMessageBoxOwned(getForegroundWindow(), text(state, 1), kMessageBoxCaption, flags));
}

int serviceStub(lua_State* state)
{
    return pushInteger(state, -1);
}

int shellExecuteEx(lua_State* state)
{
    if (argumentCount(state) != 2 || !isText(state, 1) || !isText(state, 2))
        return pushInteger(state, -1);
    const std::shared_ptr<HalAccess> in = globalHost(state, true);
    return pushInteger(state, in && shellOpenFile(*in, text(state, 1), text(state, 2)) ? 1 : 0);
}

int copyFileFromOutToIn(lua_State* state)
{
    return copyFile(state, true);
}

int copyFileFromInToOut(lua_State* state)
{
    return copyFile(state, false);
}

int installMsi(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    const int count = argumentCount(state);
    const bool valid = installer && count >= 1 && count <= 3 && isText(state, 1) &&
                       (count < 2 || isBoolean(state, 2)) && (count < 3 || isBoolean(state, 3));
    const bool install = count < 2 || lua_toboolean(state, 2) != 0;
    const bool quiet = count >= 3 && lua_toboolean(state, 3) != 0;
    SharedString package;
    SharedString program;
    if (valid) {
        package = joinPath(getCustomActionExecFolder(), text(state, 1));
        package.replaceChar(u'/', u'\\');
        program = installer->solveHalFolder(true, u"<SYSTEM>\\msiexec.exe");
    }
    std::uint32_t exitCode = 0;
    if (program.isEmpty() || !isQuotable(package)) {
        if (valid)
            logInfo((u"Windows Installer package refused: " + package).view());
        pushInteger(state, -1);
        return 1 + pushBoolean(state, false);
    }
    const SharedString commandLine =
        SharedString(install ? u"/i \"" : u"/x \"") + package + (quiet ? u"\" /q" : u"\"");
    if (!runThroughOutHost(state, program, commandLine, exitCode)) {
        pushInteger(state, -1);
        return 1 + pushBoolean(state, false);
    }
    pushInteger(state, static_cast<std::int32_t>(exitCode));
    return 1 + pushBoolean(state, true);
}

int regAsm(lua_State* state)
{
    return assemblyRegistration(state, u"/tlb /codebase /silent");
}

int unregAsm(lua_State* state)
{
    return assemblyRegistration(state, u"/unregister /silent");
}

int compareVersions(lua_State* state)
{
    if (argumentCount(state) != 2) {
        pushInteger(state, -1);
        return 1 + pushBoolean(state, false);
    }
    VersionNumber a;
    VersionNumber b;
    SharedString shownA;
    SharedString shownB;
    if (!versionArgument(state, 1, a, shownA) || !versionArgument(state, 2, b, shownB)) {
        logInfo(u"Failed comparing values");
        pushInteger(state, -1);
        return 1 + pushBoolean(state, false);
    }
    const int comparison = VersionNumber::compare(a, b);
    logInfo((u"Comparing " + shownA + u" with " + shownB + u":" + comparisonText(comparison)).view());
    pushInteger(state, comparison);
    return 1 + pushBoolean(state, true);
}

}  // namespace druvex::installer_functions
