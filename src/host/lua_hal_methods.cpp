#include "host/lua_hal_methods.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/input_limits.h"
#include "core/app_log.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "host/lua_enumerators.h"
#include "host/lua_text.h"
#include "lauxlib.h"
#include "lua.h"
#include "text/diag.h"
#include "text/text_convert.h"

namespace druvex {

namespace {

// The largest block readTextFile asks the host for at once.
constexpr std::size_t kTextLineBlockLimit = 64 * 1024;

// ---- arguments -------------------------------------------------------------------

SharedString text(lua_State* state, int index)
{
    return luaText(state, index);
}

bool flag(lua_State* state, int index)
{
    return lua_toboolean(state, index) != 0;
}

// A number as the 32-bit word it stands for: integers as their bits, floats
// (a script may write 3000000000) when they fit; anything else 0.
std::uint32_t word(lua_State* state, int index)
{
    int isInteger = 0;
    const lua_Integer integer = lua_tointegerx(state, index, &isInteger);
    if (isInteger)
        return static_cast<std::uint32_t>(integer);
    int isNumber = 0;
    const lua_Number number = lua_tonumberx(state, index, &isNumber);
    if (isNumber && number >= 0 && number < 4294967296.0)
        return static_cast<std::uint32_t>(number);
    return 0;
}

// A name of "Enumerators" given as a string, as its number.
bool constant(lua_State* state, int index, std::int32_t& value)
{
    return lua_type(state, index) == LUA_TSTRING && lookupEnumerator(state, lua_tostring(state, index), value);
}

// A root name: 1 to 4 in "Enumerators", the root handles from HKEY_CLASSES_ROOT up.
bool root(lua_State* state, int index, RegistryKey& key)
{
    std::int32_t number = 0;
    if (!constant(state, index, number) || number < 1 || number > kRegistryRootCount)
        return false;
    key = kRegistryClassesRoot + static_cast<RegistryKey>(number - 1);
    return true;
}

// The root, subkey and view that the registry methods take first.
struct RegistryPlace {
    RegistryKey root = 0;
    SharedString subKey;
    std::uint32_t view = 0;
};

bool place(lua_State* state, RegistryPlace& where)
{
    std::int32_t view = 0;
    if (!root(state, 1, where.root) || !constant(state, 3, view))
        return false;
    where.subKey = text(state, 2);
    where.view = static_cast<std::uint32_t>(view);
    return true;
}

// Keys and file handles travel as light userdata whose bits are the value;
// anything else is no key (0) or no handle (-1).
RegistryKey key(lua_State* state, int index)
{
    if (lua_type(state, index) != LUA_TLIGHTUSERDATA)
        return 0;
    return static_cast<RegistryKey>(reinterpret_cast<std::uintptr_t>(lua_touserdata(state, index)));
}

FileHandle handle(lua_State* state, int index)
{
    if (lua_type(state, index) != LUA_TLIGHTUSERDATA)
        return kInvalidFileHandle;
    return static_cast<FileHandle>(reinterpret_cast<std::intptr_t>(lua_touserdata(state, index)));
}

// ---- results ---------------------------------------------------------------------

int ok(lua_State* state, bool answer)
{
    lua_pushboolean(state, answer);
    return 1;
}

// A 32-bit word as the script's integer, which is 32 bits wide: from 2^31 up
// it reads negative.
void pushWord(lua_State* state, std::uint32_t value)
{
    lua_pushinteger(state, static_cast<lua_Integer>(static_cast<std::int32_t>(value)));
}

// A size in bytes, held at the largest integer a script has: its low 32 bits
// would make a card with 4 GiB free report nothing free, and sizes from 2 GiB
// up negative.
void pushSize(lua_State* state, std::uint64_t value)
{
    lua_pushinteger(state, static_cast<lua_Integer>(std::min<std::uint64_t>(value, INT_MAX)));
}

void pushKey(lua_State* state, RegistryKey value)
{
    lua_pushlightuserdata(state, reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
}

// ---- files -----------------------------------------------------------------------

int copyFile(lua_State* state, HalAccess& host)
{
    return ok(state, host.copyFile(text(state, 1), text(state, 2), flag(state, 3)));
}

int moveFile(lua_State* state, HalAccess& host)
{
    return ok(state, host.moveFile(text(state, 1), text(state, 2)));
}

int moveFileEx(lua_State* state, HalAccess& host)
{
    return ok(state, host.moveFileEx(text(state, 1), text(state, 2), word(state, 3)));
}

int deleteFile(lua_State* state, HalAccess& host)
{
    return ok(state, host.deleteFile(text(state, 1)));
}

int getFileSize(lua_State* state, HalAccess& host)
{
    std::uint64_t size = 0;
    const bool answer = host.getFileSize(text(state, 1), size);
    pushSize(state, answer ? size : 0);
    return 1 + ok(state, answer);
}

int getFileVersion(lua_State* state, HalAccess& host)
{
    std::uint16_t parts[4] = {};
    const bool answer = host.getFileVersion(text(state, 1), parts[0], parts[1], parts[2], parts[3]);
    for (const std::uint16_t part : parts)
        lua_pushinteger(state, part);
    return 4 + ok(state, answer);
}

int createDirectory(lua_State* state, HalAccess& host)
{
    return ok(state, host.createDirectory(text(state, 1)));
}

int createDirectoryRec(lua_State* state, HalAccess& host)
{
    return ok(state, createDirectoryRecursive(host, text(state, 1)));
}

int removeDirectory(lua_State* state, HalAccess& host)
{
    return ok(state, host.removeDirectory(text(state, 1)));
}

// Removes a file, or a folder with everything in it, through the host; true
// when it is gone (a missing path counts as removed). Every entry is tried,
// also after one failed. A link that leads back up would nest without end, so
// nesting deeper than the program accepts anywhere fails.
bool removeTree(HalAccess& host, const SharedString& path, std::uint32_t depth)
{
    bool isFolder = false;
    if (!host.exists(path, &isFolder))
        return true;
    if (!isFolder)
        return host.deleteFile(path);
    if (depth >= kMaxFolderNesting)
        return false;
    std::vector<SharedString> names;
    std::unique_ptr<HalFileFinder> finder;
    if (host.createFileFinder(path, finder)) {
        do
            names.push_back(finder->name());
        while (finder->next());
    }
    finder.reset();
    bool removed = true;
    for (const SharedString& name : names)
        removed = removeTree(host, joinPath(path, name), depth + 1) && removed;
    return host.removeDirectory(path) && removed;
}

int deleteTree(lua_State* state, HalAccess& host)
{
    const SharedString path = text(state, 1);
    return ok(state, !path.isEmpty() && removeTree(host, path, 0));
}

int createSymbolicLink(lua_State* state, HalAccess& host)
{
    return ok(state, host.createSymbolicLink(text(state, 1), text(state, 2), flag(state, 3)));
}

int getFileTimes(lua_State* state, HalAccess& host)
{
    std::uint64_t times[3] = {};
    std::uint64_t* wanted[3] = {};
    for (int i = 0; i < 3; ++i)
        wanted[i] = flag(state, 2 + i) ? &times[i] : nullptr;
    const bool answer = host.getFileTimes(text(state, 1), wanted[0], wanted[1], wanted[2]);
    // Only the low halves reach the script; they go back to setFileTimes as they are.
    for (const std::uint64_t time : times)
        pushWord(state, static_cast<std::uint32_t>(time));
    return 3 + ok(state, answer);
}

int setFileTimes(lua_State* state, HalAccess& host)
{
    std::uint64_t times[3] = {};
    const std::uint64_t* given[3] = {};
    for (int i = 0; i < 3; ++i) {
        times[i] = word(state, 2 + i);
        given[i] = times[i] != 0 ? &times[i] : nullptr;
    }
    return ok(state, host.setFileTimes(text(state, 1), given[0], given[1], given[2]));
}

int exists(lua_State* state, HalAccess& host)
{
    bool isFolder = false;
    ok(state, host.exists(text(state, 1), &isFolder));
    lua_pushboolean(state, isFolder);
    return 2;
}

int setFileForEveryone(lua_State* state, HalAccess& host)
{
    return ok(state, host.setFileForEveryone(text(state, 1)));
}

// ---- open files ------------------------------------------------------------------

int openFile(lua_State* state, HalAccess& host)
{
    if (lua_gettop(state) < 2)
        return 0;
    const SharedString path = text(state, 1);
    const FileHandle opened = flag(state, 2) ? host.openFileForRead(path) : host.createFileForWrite(path);
    lua_pushlightuserdata(state, reinterpret_cast<void*>(opened));
    return 1;
}

int closeFile(lua_State* state, HalAccess& host)
{
    if (lua_gettop(state) < 1)
        return 0;
    // The script hears nothing back; a close that fails (where a deferred
    // write may have failed) is logged.
    const FileHandle file = handle(state, 1);
    if (file != 0 && file != kInvalidFileHandle && !host.closeFile(file))
        logPrintf(u"A script's file (handle %I64d) could not be closed (error %u)", static_cast<std::int64_t>(file),
                  host.getLastError());
    return 0;
}

// The text goes to the file in the device's ANSI code page, without a terminator.
int writeTextFile(lua_State* state, HalAccess& host)
{
    if (lua_gettop(state) < 2)
        return 0;
    const SharedStringA bytes = SharedStringA::fromWide(text(state, 2).c_str(), kCodePageAnsi);
    // The script hears nothing back; a write that fails is logged.
    const auto size = static_cast<std::size_t>(bytes.length());
    if (!bytes.isEmpty() && host.writeFile(handle(state, 1), bytes.c_str(), size) != static_cast<std::int64_t>(size))
        logPrintf(u"A script's text could not be written to its file (handle %I64d, error %u)",
                  static_cast<std::int64_t>(handle(state, 1)), host.getLastError());
    return 0;
}


// One line of an ANSI text file up to the line feed (which is not part of
// it) or the end; a carriage return before it stays.
int readTextFile(lua_State* state, HalAccess& host)
{
    if (lua_gettop(state) < 1)
        return 0;
    std::string line;
    if (!readTextLine(host, handle(state, 1), line))
        return luaL_error(state, "readTextFile: a line of the file is longer than %d bytes",
                          static_cast<int>(kMaxScriptTextLine));
    pushLuaText(state, diagTextFromAnsi(line));
    return 1;
}

int writeIniKey(lua_State* state, HalAccess& host)
{
    return ok(state, host.writeIniKey(text(state, 1), text(state, 2), text(state, 3), text(state, 4)));
}

// ---- processes -------------------------------------------------------------------

int executeProcess(lua_State* state, HalAccess& host)
{
    const SharedString application = text(state, 1);
    const SharedString commandLine = text(state, 2);
    const std::uint32_t creationFlags = lua_isnoneornil(state, 3) ? 0 : word(state, 3);
    std::uint32_t exitCode = 0;
    const bool answer = host.executeProcess(application, commandLine, creationFlags, exitCode);
    logExecuteProcess(application, commandLine, answer, exitCode);
    pushWord(state, exitCode);
    return 1 + ok(state, answer);
}

int checkProcessActive(lua_State* state, HalAccess& host)
{
    bool active = false;
    const bool answer = host.checkProcessActive(text(state, 1), active);
    lua_pushboolean(state, active);
    return 1 + ok(state, answer);
}

// ---- the machine -----------------------------------------------------------------

int getStoreInformation(lua_State* state, HalAccess& host)
{
    std::uint64_t total = 0;
    std::uint64_t free = 0;
    const bool answer = host.getStoreInformation(text(state, 1), total, free);
    pushSize(state, answer ? total : 0);
    pushSize(state, answer ? free : 0);
    return 2 + ok(state, answer);
}

int getDeviceType(lua_State* state, HalAccess& host)
{
    DeviceType type = DeviceType::NONE;
    const ConnectionState connection = host.getDeviceType(type, flag(state, 1));
    pushLuaText(state, deviceTypeName(type));
    pushLuaText(state, connectionStateName(connection));
    return 2;
}

int getOSVersion(lua_State* state, HalAccess& host)
{
    std::uint32_t major = 0;
    std::uint32_t minor = 0;
    std::uint32_t servicePack = 0;
    bool isServer = false;
    const bool answer = host.getOSVersion(major, minor, servicePack, isServer);
    pushWord(state, major);
    pushWord(state, minor);
    pushWord(state, servicePack);
    lua_pushboolean(state, isServer);
    return 4 + ok(state, answer);
}

int is64bitOS(lua_State* state, HalAccess& host)
{
    return ok(state, host.is64bitOS());
}

int getSpecialFolderPath(lua_State* state, HalAccess& host)
{
    std::int32_t csidl = 0;
    if (!constant(state, 1, csidl))
        return 0;
    SharedString path;
    const bool answer = host.getSpecialFolderPath(csidl, path);
    pushLuaText(state, path);
    return 1 + ok(state, answer);
}

int getTempPath(lua_State* state, HalAccess& host)
{
    SharedString path;
    const bool answer = host.getTempPath(path);
    pushLuaText(state, path);
    return 1 + ok(state, answer);
}

int getProgramPath(lua_State* state, HalAccess& host)
{
    // An empty path tells the script that there is none.
    SharedString path;
    (void)host.getProgramPath(path, text(state, 1));
    pushLuaText(state, path);
    return 1;
}

int getPredefinedInstallPath(lua_State* state, HalAccess& host)
{
    // An empty path tells the script that there is none.
    SharedString path;
    (void)host.getPredefinedInstallPath(path, flag(state, 1));
    pushLuaText(state, path);
    return 1;
}

int getInstallerPath(lua_State* state, HalAccess& host)
{
    // An empty path tells the script that there is none.
    SharedString path;
    (void)host.getInstallerPath(path);
    pushLuaText(state, path);
    return 1;
}

int getLastError(lua_State* state, HalAccess& host)
{
    pushWord(state, host.getLastError());
    return 1;
}

int reboot(lua_State* state, HalAccess& host)
{
    return ok(state, host.reboot());
}

int reconnect(lua_State* state, HalAccess& host)
{
    return ok(state, host.reconnect());
}

// ---- registry --------------------------------------------------------------------

// The key, or nil when none was opened, and the answer.
int keyResult(lua_State* state, bool answer, RegistryKey opened)
{
    if (answer)
        pushKey(state, opened);
    else
        lua_pushnil(state);
    return 1 + ok(state, answer);
}

int regCreateKey(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    RegistryKey opened = 0;
    const bool answer = place(state, where) && host.regCreateKey(where.root, where.subKey, where.view, opened);
    return keyResult(state, answer, opened);
}

int regOpenKey(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    std::int32_t mode = 0;
    RegistryKey opened = 0;
    const bool answer = place(state, where) && constant(state, 4, mode) &&
                        host.regOpenKey(where.root, where.subKey, where.view, mode, opened);
    return keyResult(state, answer, opened);
}

int regKeyIsEmpty(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    bool empty = false;
    const bool answer = place(state, where) && host.regKeyIsEmpty(where.root, where.subKey, where.view, empty);
    lua_pushboolean(state, answer && empty);
    return 1 + ok(state, answer);
}

int regEnumKeys(lua_State* state, HalAccess& host)
{
    SharedString name;
    SharedString className;
    const bool answer = host.regEnumKeys(key(state, 1), word(state, 2), name, className);
    pushLuaText(state, answer ? name : SharedString());
    pushLuaText(state, answer ? className : SharedString());
    return 2 + ok(state, answer);
}

int regEnumValues(lua_State* state, HalAccess& host)
{
    SharedString name;
    std::uint32_t type = 0;
    const bool answer = host.regEnumValues(key(state, 1), word(state, 2), name, type);
    pushLuaText(state, answer ? name : SharedString());
    pushLuaText(state, answer ? valueTypeName(type) : SharedString());
    return 2 + ok(state, answer);
}

int regDeleteKey(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    return ok(state, place(state, where) && host.regDeleteKey(where.root, where.subKey, where.view));
}

int regDeleteValue(lua_State* state, HalAccess& host)
{
    return ok(state, host.regDeleteValue(key(state, 1), text(state, 2)));
}

int regCloseKey(lua_State* state, HalAccess& host)
{
    return ok(state, host.regCloseKey(key(state, 1)));
}

int readRegistryStringValue(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    SharedString value;
    const bool answer =
        place(state, where) && host.readRegistryStringValue(where.root, where.subKey, where.view, text(state, 4), value);
    pushLuaText(state, answer ? value : SharedString());
    return 1 + ok(state, answer);
}

int readRegistryDwordValue(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    std::uint32_t value = 0;
    const bool answer =
        place(state, where) && host.readRegistryDwordValue(where.root, where.subKey, where.view, text(state, 4), value);
    pushWord(state, answer ? value : 0);
    return 1 + ok(state, answer);
}

int writeRegistryStringValue(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    return ok(state, place(state, where) && host.writeRegistryStringValue(where.root, where.subKey, where.view,
                                                                           text(state, 4), text(state, 5), false));
}

int writeRegistryDwordValue(lua_State* state, HalAccess& host)
{
    RegistryPlace where;
    return ok(state, place(state, where) && host.writeRegistryDwordValue(where.root, where.subKey, where.view,
                                                                          text(state, 4), word(state, 5)));
}

constexpr HalMethod kMethods[] = {
    {"copyFile", copyFile},
    {"moveFile", moveFile},
    {"moveFileEx", moveFileEx},
    {"deleteFile", deleteFile},
    {"getFileSize", getFileSize},
    {"getFileVersion", getFileVersion},
    {"createDirectory", createDirectory},
    {"createDirectoryRec", createDirectoryRec},
    {"removeDirectory", removeDirectory},
    {"deleteTree", deleteTree},
    {"createSymbolicLink", createSymbolicLink},
    {"executeProcess", executeProcess},
    {"checkProcessActive", checkProcessActive},
    {"getStoreInformation", getStoreInformation},
    {"getDeviceType", getDeviceType},
    {"getOSVersion", getOSVersion},
    {"is64bitOS", is64bitOS},
    {"getSpecialFolderPath", getSpecialFolderPath},
    {"getTempPath", getTempPath},
    {"getProgramPath", getProgramPath},
    {"getPredefinedInstallPath", getPredefinedInstallPath},
    {"getInstallerPath", getInstallerPath},
    {"getLastError", getLastError},
    {"getFileTimes", getFileTimes},
    {"setFileTimes", setFileTimes},
    {"exists", exists},
    {"regCreateKey", regCreateKey},
    {"regOpenKey", regOpenKey},
    {"regKeyIsEmpty", regKeyIsEmpty},
    {"regEnumKeys", regEnumKeys},
    {"regEnumValues", regEnumValues},
    {"regDeleteKey", regDeleteKey},
    {"regDeleteValue", regDeleteValue},
    {"regCloseKey", regCloseKey},
    {"reboot", reboot},
    {"reconnect", reconnect},
    {"readRegistryStringValue", readRegistryStringValue},
    {"readRegistryDwordValue", readRegistryDwordValue},
    {"writeRegistryStringValue", writeRegistryStringValue},
    {"writeRegistryDwordValue", writeRegistryDwordValue},
    {"writeIniKey", writeIniKey},
    {"openFile", openFile},
    {"closeFile", closeFile},
    {"writeTextFile", writeTextFile},
    {"readTextFile", readTextFile},
    {"setFileForEveryone", setFileForEveryone},
};
static_assert(std::size(kMethods) == 46);

}  // namespace

bool readTextLine(HalAccess& host, FileHandle file, std::string& line)
{
    std::uint64_t start = 0;
    const bool seekable = host.seekFile(file, 1, 0, &start);
    std::vector<char> block(seekable ? 256 : 1);
    for (;;) {
        const std::int64_t got = host.readFile(file, block.data(), block.size());
        if (got <= 0)
            return true;
        const auto count = static_cast<std::size_t>(got);
        const auto* feed = static_cast<const char*>(std::memchr(block.data(), '\n', count));
        const std::size_t taken = feed ? static_cast<std::size_t>(feed - block.data()) : count;
        if (line.size() + taken > kMaxScriptTextLine)
            return false;
        line.append(block.data(), taken);
        if (feed) {
            const auto next = static_cast<std::int64_t>(start + line.size() + 1);
            if (taken + 1 < count && !host.seekFile(file, 0, next, nullptr))
                logPrintf(u"A script's file (handle %I64d) cannot be set back after its line (error %u)",
                          static_cast<std::int64_t>(file), host.getLastError());
            return true;
        }
        if (seekable && block.size() < kTextLineBlockLimit)
            block.resize(block.size() * 2);
    }
}

std::span<const HalMethod> halMethods()
{
    return kMethods;
}

void logExecuteProcess(const SharedString& application, const SharedString& commandLine, bool ran,
                       std::uint32_t exitCode)
{
    const std::string code = std::to_string(exitCode);
    logInfo((SharedString(ran ? u"Execute process succeeded: " : u"Execute process failed: ") + application + u" " +
             commandLine + u" @@ exit_code=" + SharedString(std::u16string(code.begin(), code.end())))
                .view());
}

}  // namespace druvex
