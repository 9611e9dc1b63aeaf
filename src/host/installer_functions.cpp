#include "host/installer_functions.h"

#include <cmath>
#include <new>

#include "data/feature.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/culture_table.h"
#include "data/installer_variable.h"
#include "hal/hal_access.h"
#include "host/installer_function_support.h"
#include "host/installer_script_services.h"
#include "host/lua_hal.h"
#include "host/lua_text.h"
#include "host/script_host_services.h"
#include "lauxlib.h"
#include "text/char_class.h"
#include "text/mutex.h"
#include "text/numbers.h"

namespace druvex {

namespace {

// Registry entry: the controller the functions were registered with.
constexpr const char* kRegisteredController = "druvex.InstallerController";

// The action value of "remove" that scripts send to another product.
constexpr std::int32_t kProductActionRemove = 1;

Mutex& execFolderMutex()
{
    static Mutex mutex;
    return mutex;
}

SharedString& execFolder()
{
    static SharedString folder;
    return folder;
}

// Pushes the global without running any metamethod a script may have put on
// the globals table.
void pushRawGlobal(lua_State* state, const char* name)
{
    lua_rawgeti(state, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
    lua_pushstring(state, name);
    lua_rawget(state, -2);
    lua_remove(state, -2);
}

}  // namespace

void setCustomActionExecFolder(const SharedString& folder)
{
    MutexLock lock(execFolderMutex());
    execFolder() = folder;
}

SharedString getCustomActionExecFolder()
{
    MutexLock lock(execFolderMutex());
    return execFolder();
}

namespace installer_functions {

InstallerScriptServices* services(lua_State* state)
{
    lua_getfield(state, LUA_REGISTRYINDEX, kRegisteredController);
    auto* const registered = static_cast<ScriptHostServices*>(lua_touserdata(state, -1));
    lua_pop(state, 1);
    pushRawGlobal(state, "InstallerController");
    const bool genuine = lua_type(state, -1) == LUA_TLIGHTUSERDATA && lua_touserdata(state, -1) == registered;
    lua_pop(state, 1);
    return genuine && registered ? registered->getInstallerScriptServices() : nullptr;
}

std::shared_ptr<HalAccess> globalHost(lua_State* state, bool inHost)
{
    pushRawGlobal(state, inHost ? "HalIn" : "HalOut");
    std::shared_ptr<HalAccess> host = toHalHost(state, -1);
    lua_pop(state, 1);
    return host;
}

bool integerArgument(lua_State* state, int index, std::int32_t& value)
{
    if (!isNumber(state, index))
        return false;
    if (lua_isinteger(state, index)) {
        value = static_cast<std::int32_t>(lua_tointeger(state, index));
        return true;
    }
    const double number = lua_tonumber(state, index);
    if (!std::isfinite(number) || number != std::trunc(number) || number < -2147483648.0 || number > 2147483647.0)
        return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

SharedString text(lua_State* state, int index)
{
    return luaText(state, index);
}

int pushBoolean(lua_State* state, bool value)
{
    lua_pushboolean(state, value);
    return 1;
}

int pushInteger(lua_State* state, std::int32_t value)
{
    lua_pushinteger(state, value);
    return 1;
}

int pushText(lua_State* state, const SharedString& value)
{
    pushLuaText(state, value);
    return 1;
}

}  // namespace installer_functions

namespace {

using namespace installer_functions;

template <int (*function)(lua_State*)>
int guarded(lua_State* state)
{
    bool outOfMemory = false;
    try {
        return function(state);
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    }
    return outOfMemory ? luaL_error(state, "not enough memory") : 0;
}

// A feature of the installer data by its "/"-separated path; null when the
// path names none.
FeaturePtr featureAt(InstallerScriptServices& installer, const SharedString& path)
{
    return installer.getInstallData().findItemByPath(path.view());
}

int halWrapper(lua_State* state)
{
    std::shared_ptr<HalAccess> host = toHalHost(state, 1);
    if (!host)
        return 0;
    pushHalObject(state, std::move(host));
    return 1;
}

int solveHalFolder(lua_State* state, bool inHost)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 1 || !isText(state, 1))
        return pushText(state, SharedString());
    return pushText(state, installer->solveHalFolder(inHost, text(state, 1)));
}

int solveInHalFolder(lua_State* state)
{
    return solveHalFolder(state, true);
}

int solveOutHalFolder(lua_State* state)
{
    return solveHalFolder(state, false);
}

int formatLanguage(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 1 || !isText(state, 1))
        return pushText(state, SharedString());
    const SharedString format = text(state, 1);
    const std::uint16_t language = installer->getLanguage();
    if (equalsNoCase(format.view(), u"d"))
        return pushText(state, intToText(language));
    SharedString culture;
    if (equalsNoCase(format.view(), u"5") && cultureNameOrCustom(language, culture))
        return pushText(state, culture);
    return pushText(state, SharedString());
}

int getCustomActionFolder(lua_State* state)
{
    return pushText(state, getCustomActionExecFolder());
}

int getVariableValue(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 1 || !isText(state, 1))
        return pushText(state, SharedString());
    SharedString name = text(state, 1);
    if (!(name.length() >= 2 && name[0] == u'<' && name[name.length() - 1] == u'>'))
        name = u"<" + name + u">";
    return pushText(state, installer->expandVariables(name));
}

int setVariableValue(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 2 || !isText(state, 1) || !isText(state, 2))
        return pushInteger(state, -1);
    const SharedString name = text(state, 1);
    if (name.isEmpty())
        return pushInteger(state, -1);
    InstallData& data = installer->getInstallData();
    InstallerVariablePtr variable = data.findByName(name.view());
    if (!variable) {
        variable = InstallerVariable::create(name);
        data.append(variable);
    }
    variable->clearValues();
    variable->setValue(kPlatformAll, kVariableAllUsers, text(state, 2));
    return pushInteger(state, 1);
}

int setRedistLastError(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    std::int32_t given = 0;
    if (!installer || argumentCount(state) != 2 || !isBoolean(state, 1) || !integerArgument(state, 2, given))
        return 0;
    if (lua_toboolean(state, 1)) {
        installer->setRedistLastError(given);
        return 0;
    }
    if (const std::shared_ptr<HalAccess> in = globalHost(state, true))
        installer->setRedistLastError(static_cast<std::int32_t>(in->getLastError()));
    return 0;
}

int getRedistLastError(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    return pushInteger(state, installer ? installer->getRedistLastError() : 0);
}

int isFeatureSelected(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 1 || !isText(state, 1))
        return pushBoolean(state, false);
    const FeaturePtr feature = featureAt(*installer, text(state, 1));
    return pushBoolean(state, feature && installer->isFeatureSelected(*feature));
}

int overrideLaunchProgram(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (installer && argumentCount(state) == 2 && isText(state, 1) && isText(state, 2))
        installer->setLaunchProgramOverride(text(state, 1), text(state, 2));
    return 0;
}

int enableInstallOnFeatureSelection(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (installer && argumentCount(state) == 1 && isBoolean(state, 1))
        installer->setInstallOnFeatureSelectionEnabled(lua_toboolean(state, 1) != 0);
    return 0;
}

int hasMadeChanges(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    return pushBoolean(state, installer && installer->hasMadeChanges());
}

int getCustomLanguageFileName(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    return pushText(state, installer ? installer->getCustomLanguageFileName() : SharedString());
}

int installedProductLoad(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 1 || !isText(state, 1))
        return pushInteger(state, -1);
    return pushInteger(state, installer->loadInstalledProduct(text(state, 1)));
}

// The installed log of the product whose handle is argument 1, when the
// arguments are a handle and `texts` texts after it; null otherwise.
std::shared_ptr<InstalledLog> productLog(lua_State* state, int texts, InstallerScriptServices*& installer,
                                         std::int32_t& handle)
{
    installer = services(state);
    if (!installer || argumentCount(state) != 1 + texts || !integerArgument(state, 1, handle))
        return nullptr;
    for (int i = 2; i <= 1 + texts; ++i) {
        if (!isText(state, i))
            return nullptr;
    }
    return installer->getInstalledProductLog(handle);
}

int installedProductIsFeatureInstalled(lua_State* state)
{
    InstallerScriptServices* installer = nullptr;
    std::int32_t handle = 0;
    const std::shared_ptr<InstalledLog> log = productLog(state, 1, installer, handle);
    return pushBoolean(state, log && log->findFeature(text(state, 2).view()) != nullptr);
}

int installedProductInstallerSupport(lua_State* state)
{
    InstallerScriptServices* installer = nullptr;
    std::int32_t handle = 0;
    const std::shared_ptr<InstalledLog> log = productLog(state, 1, installer, handle);
    if (!log)
        return pushBoolean(state, false);
    if (equalsNoCase(text(state, 2).view(), u"RoboActions"))
        return pushBoolean(state, (log->getSupportFlags() & kInstalledLogSupportsRoboActions) != 0);
    return pushBoolean(state, true);
}

int installedProductSendActions(lua_State* state)
{
    InstallerScriptServices* installer = nullptr;
    std::int32_t handle = 0;
    const std::shared_ptr<InstalledLog> log = productLog(state, 2, installer, handle);
    if (log && (log->getSupportFlags() & kInstalledLogSupportsRoboActions) != 0 && equalsNoCase(text(state, 2).view(), u"remove"))
        installer->sendInstalledProductAction(handle, kProductActionRemove, text(state, 3));
    return 0;
}

int hideFeature(lua_State* state)
{
    InstallerScriptServices* installer = services(state);
    if (!installer || argumentCount(state) != 1 || !isText(state, 1))
        return 0;
    const FeaturePtr feature = featureAt(*installer, text(state, 1));
    // A top-level feature's parent has no name, and removeSubFeature refuses it.
    if (feature && feature->parent())
        feature->parent()->removeSubFeature(feature.get());
    return 0;
}

constexpr luaL_Reg kFunctions[] = {
    {"HalWrapper", guarded<halWrapper>},
    {"DQ_SolveInHalFolder", guarded<solveInHalFolder>},
    {"DQ_SolveOutHalFolder", guarded<solveOutHalFolder>},
    {"DQ_CheckFileVersion", guarded<checkFileVersion>},
    {"DQ_QueryProductState", guarded<queryProductState>},
    {"DQ_IsOSNewerThan", guarded<isOsNewerThan>},
    {"DQ_IsOSEqualTo", guarded<isOsEqualTo>},
    {"DQ_IsOSServer", guarded<isOsServer>},
    {"DQ_GetOSServicePack", guarded<getOsServicePack>},
    {"DQ_MessageBox", guarded<messageBox>},
    {"DQ_FormatLanguage", guarded<formatLanguage>},
    {"DQ_GetCustomActionExecFolder", guarded<getCustomActionFolder>},
    {"DQ_ServiceCreate", guarded<serviceStub>},
    {"DQ_ServiceDelete", guarded<serviceStub>},
    {"DQ_ServiceStart", guarded<serviceStub>},
    {"DQ_ServiceStop", guarded<serviceStub>},
    {"DQ_ServiceQueryStatus", guarded<serviceStub>},
    {"DQ_ShellExecuteEx", guarded<shellExecuteEx>},
    {"DQ_CopyFileFromOutToInHal", guarded<copyFileFromOutToIn>},
    {"DQ_CopyFileFromInToOutHal", guarded<copyFileFromInToOut>},
    {"DQ_GetVariableValue", guarded<getVariableValue>},
    {"DQ_SetVariableValue", guarded<setVariableValue>},
    {"DQ_SetRedistLastError", guarded<setRedistLastError>},
    {"DQ_GetRedistLastError", guarded<getRedistLastError>},
    {"DQ_IsFeatureSelected", guarded<isFeatureSelected>},
    {"DQ_OverrideLaunchProgram", guarded<overrideLaunchProgram>},
    {"DQ_EnableInstallOnFeatSel", guarded<enableInstallOnFeatureSelection>},
    {"DQ_InstallMsi", guarded<installMsi>},
    {"DQ_RegAsm", guarded<regAsm>},
    {"DQ_UnregAsm", guarded<unregAsm>},
    {"DQ_HasMadeChanges", guarded<hasMadeChanges>},
    {"DQ_GetCustomLanguageFileName", guarded<getCustomLanguageFileName>},
    {"DQ_CompareVersions", guarded<compareVersions>},
    {"DQ_InstalledProductLoad", guarded<installedProductLoad>},
    {"DQ_InstalledProductIsFeatureInstalled", guarded<installedProductIsFeatureInstalled>},
    {"DQ_InstalledProductInstallerSupport", guarded<installedProductInstallerSupport>},
    {"DQ_InstalledProductSendActions", guarded<installedProductSendActions>},
    {"DQ_HideFeature", guarded<hideFeature>},
};

}  // namespace

void registerInstallerFunctions(lua_State* state, ScriptHostServices* controller)
{
    lua_pushlightuserdata(state, controller);
    lua_setfield(state, LUA_REGISTRYINDEX, kRegisteredController);
    for (const luaL_Reg& function : kFunctions)
        lua_register(state, function.name, function.func);
}

}  // namespace druvex
