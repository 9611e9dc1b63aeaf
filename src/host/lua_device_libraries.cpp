#include "host/lua_device_libraries.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "host/lua_text.h"
#include "lauxlib.h"
#include "lua.h"
#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

// What a build of Lua without dynamic libraries answers.
constexpr const char* kNoDynamicLibraries = "dynamic libraries not enabled; check your Lua installation";

using FilePointer = std::unique_ptr<FILE, int (*)(FILE*)>;

std::string errnoText(int errnoValue)
{
    char buffer[128];
    return strerror_r(errnoValue, buffer, sizeof buffer);
}

// The host path of a device path given by a script; 0, or the errno value
// the device's C runtime gives for a path it cannot reach.
int mapDevicePath(std::string_view deviceName, std::string& host)
{
    const SharedString path = fromUtf8(deviceName);
    if (path.isEmpty())
        return ENOENT;
    const std::uint32_t error = DeviceRoot::instance().toHostPath(path.view(), host);
    if (error == kErrorSuccess)
        return 0;
    return error == kErrorInvalidName ? EINVAL : ENOENT;
}

bool changesFile(const char* mode)
{
    return std::strpbrk(mode, "wa+") != nullptr;
}

// The answer of a failed file function: nil, "<device path>: <reason>", errno.
int pushFileFailure(lua_State* state, const char* deviceName, int errnoValue)
{
    lua_pushnil(state);
    lua_pushfstring(state, "%s: %s", deviceName, errnoText(errnoValue).c_str());
    lua_pushinteger(state, errnoValue);
    return 3;
}

// Calls the replaced library function (upvalue 1) with the current stack as
// its arguments; its results are then the whole stack.
int callOriginal(lua_State* state)
{
    const int arguments = lua_gettop(state);
    lua_pushvalue(state, lua_upvalueindex(1));
    lua_insert(state, 1);
    lua_call(state, arguments, LUA_MULTRET);
    return lua_gettop(state);
}

// After callOriginal answered nil, message, errno about a host path: the
// message names the device path instead, so no host path reaches a script.
int withDeviceNameInFailure(lua_State* state, int results, const char* deviceName)
{
    if (results >= 3 && lua_isnil(state, 1)) {
        const int errnoValue = static_cast<int>(lua_tointeger(state, 3));
        lua_pushfstring(state, "%s: %s", deviceName, errnoText(errnoValue).c_str());
        lua_replace(state, 2);
    }
    return results;
}

// Replaces argument `index` with the host path of the device path there;
// raises the error of the io library's own file opening when the path cannot
// be opened with `mode` on the device.
void openableOrRaise(lua_State* state, int index, const char* mode)
{
    const char* deviceName = luaL_checkstring(state, index);
    std::string host;
    int errnoValue = mapDevicePath(deviceName, host);
    if (errnoValue == 0 && changesFile(mode) && isOnReadOnlyStore(host))
        errnoValue = EACCES;
    if (errnoValue == 0) {
        FilePointer file(std::fopen(host.c_str(), mode), std::fclose);
        if (!file)
            errnoValue = errno;
    }
    if (errnoValue != 0)
        luaL_error(state, "cannot open file '%s' (%s)", deviceName, errnoText(errnoValue).c_str());
    if (changesFile(mode))
        DeviceRoot::instance().noteCreated(host);
    lua_pushlstring(state, host.data(), host.size());
    lua_replace(state, index);
}

// A new empty file in the device's temporary folder: its host path and its
// device path.
bool makeDeviceTempFile(std::string& host, SharedString& devicePath)
{
    const SharedString folder = activeDeviceConfig()->tempPath;
    std::string hostFolder;
    if (folder.isEmpty() || DeviceRoot::instance().toHostPath(folder.view(), hostFolder) != kErrorSuccess)
        return false;
    std::string pattern = hostFolder + "/lua_XXXXXX";
    const int descriptor = ::mkstemp(pattern.data());
    if (descriptor < 0)
        return false;
    ::close(descriptor);
    if (!DeviceRoot::instance().toDevicePath(pattern, devicePath)) {
        ::unlink(pattern.c_str());
        return false;
    }
    DeviceRoot::instance().noteCreated(pattern);
    host = std::move(pattern);
    return true;
}

// ---- io ------------------------------------------------------------------------

int deviceOpen(lua_State* state)
{
    // A copy: the argument's string goes once the host path replaces it.
    const std::string deviceName = luaL_checkstring(state, 1);
    const char* mode = luaL_optstring(state, 2, "r");
    std::string host;
    if (const int errnoValue = mapDevicePath(deviceName, host))
        return pushFileFailure(state, deviceName.c_str(), errnoValue);
    const bool changes = changesFile(mode);
    if (changes && isOnReadOnlyStore(host))
        return pushFileFailure(state, deviceName.c_str(), EACCES);
    lua_pushlstring(state, host.data(), host.size());
    lua_replace(state, 1);
    const int results = withDeviceNameInFailure(state, callOriginal(state), deviceName.c_str());
    if (changes && !lua_isnil(state, 1))
        DeviceRoot::instance().noteCreated(host);
    return results;
}

int deviceLines(lua_State* state)
{
    if (!lua_isnoneornil(state, 1))
        openableOrRaise(state, 1, "r");
    return callOriginal(state);
}

int deviceInput(lua_State* state)
{
    if (lua_type(state, 1) == LUA_TSTRING)
        openableOrRaise(state, 1, "r");
    return callOriginal(state);
}

int deviceOutput(lua_State* state)
{
    if (lua_type(state, 1) == LUA_TSTRING)
        openableOrRaise(state, 1, "w");
    return callOriginal(state);
}

// Upvalue 1 is the original io.open: the file is opened by name in the
// device's temporary folder and its name removed at once.
int deviceTmpFile(lua_State* state)
{
    std::string host;
    SharedString devicePath;
    if (!makeDeviceTempFile(host, devicePath)) {
        errno = ENOENT;
        return luaL_fileresult(state, 0, nullptr);
    }
    lua_settop(state, 0);
    lua_pushlstring(state, host.data(), host.size());
    lua_pushliteral(state, "w+b");
    const int results = callOriginal(state);
    ::unlink(host.c_str());
    DeviceRoot::instance().noteRemoved(host);
    const SharedStringA deviceName = toUtf8(devicePath);
    return withDeviceNameInFailure(state, results, deviceName.c_str());
}

int devicePopen(lua_State* state)
{
    luaL_checkstring(state, 1);
    return luaL_error(state, "'popen' not supported");
}

// ---- os ------------------------------------------------------------------------

int deviceRemove(lua_State* state)
{
    const std::string deviceName = luaL_checkstring(state, 1);
    std::string host;
    if (const int errnoValue = mapDevicePath(deviceName, host))
        return pushFileFailure(state, deviceName.c_str(), errnoValue);
    if (isOnReadOnlyStore(host))
        return pushFileFailure(state, deviceName.c_str(), EACCES);
    lua_settop(state, 0);
    lua_pushlstring(state, host.data(), host.size());
    const int results = withDeviceNameInFailure(state, callOriginal(state), deviceName.c_str());
    if (!lua_isnil(state, 1))
        DeviceRoot::instance().noteRemoved(host);
    return results;
}

int deviceRename(lua_State* state)
{
    const std::string fromName = luaL_checkstring(state, 1);
    const char* toName = luaL_checkstring(state, 2);
    std::string from;
    std::string to;
    if (const int errnoValue = mapDevicePath(fromName, from))
        return pushFileFailure(state, fromName.c_str(), errnoValue);
    if (const int errnoValue = mapDevicePath(toName, to))
        return pushFileFailure(state, fromName.c_str(), errnoValue);
    if (isOnReadOnlyStore(from) || isOnReadOnlyStore(to))
        return pushFileFailure(state, fromName.c_str(), EACCES);
    lua_settop(state, 0);
    lua_pushlstring(state, from.data(), from.size());
    lua_pushlstring(state, to.data(), to.size());
    const int results = withDeviceNameInFailure(state, callOriginal(state), fromName.c_str());
    if (!lua_isnil(state, 1))
        DeviceRoot::instance().noteRenamed(from, to);
    return results;
}

int deviceTmpName(lua_State* state)
{
    std::string host;
    SharedString devicePath;
    if (!makeDeviceTempFile(host, devicePath))
        return luaL_error(state, "unable to generate a unique filename");
    pushLuaText(state, devicePath);
    return 1;
}

// The device has no command processor: asked whether there is one, no; a
// command fails as system() fails where it is not implemented.
int deviceExecute(lua_State* state)
{
    if (lua_isnoneornil(state, 1)) {
        lua_pushboolean(state, 0);
        return 1;
    }
    luaL_checkstring(state, 1);
    lua_pushnil(state);
    lua_pushstring(state, errnoText(ENOSYS).c_str());
    lua_pushinteger(state, ENOSYS);
    return 3;
}

// The device has no environment.
int deviceGetEnv(lua_State* state)
{
    luaL_checkstring(state, 1);
    lua_pushnil(state);
    return 1;
}

// ---- loading chunks --------------------------------------------------------------

// The mode a script asked for, without binary chunks.
std::string textOnly(const char* mode)
{
    std::string text;
    for (const char* c = mode; *c; ++c) {
        if (*c != 'b')
            text += *c;
    }
    return text;
}

struct ChunkFile {
    FILE* file = nullptr;
    int pending = 0;  // bytes in `buffer` read ahead of Lua
    char buffer[LUAL_BUFFERSIZE];
};

const char* readChunk(lua_State*, void* data, std::size_t* size)
{
    ChunkFile& chunk = *static_cast<ChunkFile*>(data);
    if (chunk.pending > 0) {
        *size = static_cast<std::size_t>(chunk.pending);
        chunk.pending = 0;
        return chunk.buffer;
    }
    if (std::feof(chunk.file))
        return nullptr;
    *size = std::fread(chunk.buffer, 1, sizeof chunk.buffer, chunk.file);
    return chunk.buffer;
}

// A UTF-8 byte-order mark and a first line starting with '#' are passed
// over, as Lua's own file loader does; the line's end stays so that line
// numbers hold. Answers the first byte after them.
int skipPreamble(ChunkFile& chunk)
{
    static constexpr unsigned char kMark[] = {0xEF, 0xBB, 0xBF};
    chunk.pending = 0;
    int c = std::getc(chunk.file);
    for (std::size_t i = 0; i < sizeof kMark && c == kMark[i]; ++i) {
        chunk.buffer[chunk.pending++] = static_cast<char>(c);
        c = std::getc(chunk.file);
        if (i + 1 == sizeof kMark)
            chunk.pending = 0;
    }
    if (c == '#') {
        do
            c = std::getc(chunk.file);
        while (c != EOF && c != '\n');
        chunk.buffer[chunk.pending++] = '\n';
        c = std::getc(chunk.file);
    }
    return c;
}

// Loads a device file as a chunk named "@<device path>"; pushes the chunk,
// or the message with LUA_ERRFILE or the load's error.
int loadDeviceFile(lua_State* state, const char* deviceName, const char* mode)
{
    std::string host;
    int errnoValue = mapDevicePath(deviceName, host);
    FilePointer file(errnoValue == 0 ? std::fopen(host.c_str(), "r") : nullptr, std::fclose);
    if (errnoValue == 0 && !file)
        errnoValue = errno;
    if (errnoValue != 0) {
        lua_pushfstring(state, "cannot open %s: %s", deviceName, errnoText(errnoValue).c_str());
        return LUA_ERRFILE;
    }
    ChunkFile chunk;
    chunk.file = file.get();
    const int first = skipPreamble(chunk);
    if (first != EOF)
        chunk.buffer[chunk.pending++] = static_cast<char>(first);
    const std::string chunkName = std::string("@") + deviceName;
    const int top = lua_gettop(state);
    const int status = lua_load(state, readChunk, &chunk, chunkName.c_str(), mode);
    if (std::ferror(file.get())) {
        errnoValue = errno;
        lua_settop(state, top);
        lua_pushfstring(state, "cannot read %s: %s", deviceName, errnoText(errnoValue).c_str());
        return LUA_ERRFILE;
    }
    return status;
}

int deviceLoadFile(lua_State* state)
{
    if (lua_isnoneornil(state, 1))
        return callOriginal(state);
    const char* deviceName = luaL_checkstring(state, 1);
    const std::string mode = textOnly(luaL_optstring(state, 2, "bt"));
    const int environment = lua_isnone(state, 3) ? 0 : 3;
    if (loadDeviceFile(state, deviceName, mode.c_str()) != LUA_OK) {
        lua_pushnil(state);
        lua_insert(state, -2);
        return 2;
    }
    if (environment != 0) {
        lua_pushvalue(state, environment);
        if (!lua_setupvalue(state, -2, 1))
            lua_pop(state, 1);
    }
    return 1;
}

int deviceDoFile(lua_State* state)
{
    if (lua_isnoneornil(state, 1))
        return callOriginal(state);
    const char* deviceName = luaL_checkstring(state, 1);
    lua_settop(state, 1);
    if (loadDeviceFile(state, deviceName, "t") != LUA_OK)
        return lua_error(state);
    lua_call(state, 0, LUA_MULTRET);
    return lua_gettop(state) - 1;
}

int deviceLoad(lua_State* state)
{
    const std::string mode = textOnly(luaL_optstring(state, 3, "bt"));
    if (lua_gettop(state) < 3)
        lua_settop(state, 3);
    lua_pushlstring(state, mode.data(), mode.size());
    lua_replace(state, 3);
    return callOriginal(state);
}

// ---- package ---------------------------------------------------------------------

bool readableOnDevice(const std::string& deviceName)
{
    std::string host;
    if (mapDevicePath(deviceName, host) != 0)
        return false;
    return FilePointer(std::fopen(host.c_str(), "r"), std::fclose) != nullptr;
}

// package.searchpath on device paths: the first template of `path` whose file
// can be read, with every '?' replaced by the name (its `separator`s turned
// into `replacement`); `tried` lists the others as Lua does.
bool searchDevicePath(std::string name, std::string_view path, std::string_view separator,
                      std::string_view replacement, std::string& found, std::string& tried)
{
    if (!separator.empty()) {
        for (std::size_t at = name.find(separator); at != std::string::npos;
             at = name.find(separator, at + replacement.size()))
            name.replace(at, separator.size(), replacement);
    }
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find(';', start), path.size());
        std::string filename(path.substr(start, end - start));
        start = end + 1;
        if (filename.empty())
            continue;
        for (std::size_t at = filename.find('?'); at != std::string::npos; at = filename.find('?', at + name.size()))
            filename.replace(at, 1, name);
        if (readableOnDevice(filename)) {
            found = std::move(filename);
            return true;
        }
        tried += "\n\tno file '" + filename + "'";
    }
    return false;
}

int deviceSearchPath(lua_State* state)
{
    const char* name = luaL_checkstring(state, 1);
    const char* path = luaL_checkstring(state, 2);
    const char* separator = luaL_optstring(state, 3, ".");
    const char* replacement = luaL_optstring(state, 4, "\\");
    std::string found;
    std::string tried;
    if (searchDevicePath(name, path, separator, replacement, found, tried)) {
        lua_pushlstring(state, found.data(), found.size());
        return 1;
    }
    lua_pushnil(state);
    lua_pushlstring(state, tried.data(), tried.size());
    return 2;
}

// require's searcher of Lua modules along package.path (upvalue 1: the
// package table), on device paths with the device's '\' between folders.
int deviceLuaSearcher(lua_State* state)
{
    const char* name = luaL_checkstring(state, 1);
    lua_getfield(state, lua_upvalueindex(1), "path");
    const char* path = lua_tostring(state, -1);
    if (!path)
        return luaL_error(state, "'package.%s' must be a string", "path");
    std::string found;
    std::string tried;
    if (!searchDevicePath(name, path, ".", "\\", found, tried)) {
        lua_pushlstring(state, tried.data(), tried.size());
        return 1;
    }
    if (loadDeviceFile(state, found.c_str(), "t") != LUA_OK) {
        return luaL_error(state, "error loading module '%s' from file '%s':\n\t%s", name, found.c_str(),
                          lua_tostring(state, -1));
    }
    lua_pushlstring(state, found.data(), found.size());
    return 2;
}

int deviceCSearcher(lua_State* state)
{
    luaL_checkstring(state, 1);
    lua_pushfstring(state, "\n\t%s", kNoDynamicLibraries);
    return 1;
}

int deviceLoadLib(lua_State* state)
{
    luaL_checkstring(state, 1);
    luaL_checkstring(state, 2);
    lua_pushnil(state);
    lua_pushstring(state, kNoDynamicLibraries);
    lua_pushliteral(state, "absent");
    return 3;
}

// ---- binding ---------------------------------------------------------------------

// Sets library.name (a global when `library` is null) to `function`; with
// `original` named, the library's function of that name becomes its upvalue 1.
void bind(lua_State* state, const char* library, const char* name, lua_CFunction function,
          const char* original = nullptr)
{
    if (library)
        lua_getglobal(state, library);
    else
        lua_pushglobaltable(state);
    if (original) {
        lua_getfield(state, -1, original);
        lua_pushcclosure(state, function, 1);
    } else {
        lua_pushcfunction(state, function);
    }
    lua_setfield(state, -2, name);
    lua_pop(state, 1);
}

void bindSearchers(lua_State* state)
{
    lua_getglobal(state, "package");
    lua_pushliteral(state, "");
    lua_setfield(state, -2, "path");
    lua_pushliteral(state, "");
    lua_setfield(state, -2, "cpath");
    lua_getfield(state, -1, "searchers");
    lua_pushvalue(state, -2);
    lua_pushcclosure(state, deviceLuaSearcher, 1);
    lua_rawseti(state, -2, 2);
    lua_pushcfunction(state, deviceCSearcher);
    lua_rawseti(state, -2, 3);
    lua_pushcfunction(state, deviceCSearcher);
    lua_rawseti(state, -2, 4);
    lua_pop(state, 2);
}

}  // namespace

void bindStandardLibrariesToDevice(lua_State* state)
{
    bind(state, "io", "tmpfile", deviceTmpFile, "open");
    bind(state, "io", "open", deviceOpen, "open");
    bind(state, "io", "lines", deviceLines, "lines");
    bind(state, "io", "input", deviceInput, "input");
    bind(state, "io", "output", deviceOutput, "output");
    bind(state, "io", "popen", devicePopen);
    bind(state, "os", "remove", deviceRemove, "remove");
    bind(state, "os", "rename", deviceRename, "rename");
    bind(state, "os", "tmpname", deviceTmpName);
    bind(state, "os", "execute", deviceExecute);
    bind(state, "os", "getenv", deviceGetEnv);
    bind(state, nullptr, "dofile", deviceDoFile, "dofile");
    bind(state, nullptr, "loadfile", deviceLoadFile, "loadfile");
    bind(state, nullptr, "load", deviceLoad, "load");
    bind(state, "package", "loadlib", deviceLoadLib);
    bind(state, "package", "searchpath", deviceSearchPath);
    bindSearchers(state);
}

}  // namespace druvex
