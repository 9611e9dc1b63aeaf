// The device's loadable libraries as a table of built-in modules with named
// exports: what the program would load from the device ("coredll.dll" with
// CaptureDumpFileOnDevice, the vendors' device libraries) is compiled in, and
// whether a module can be loaded is decided by the module's own availability
// test (a vendor library is there when the device profile says so). The
// program's loader (core/loaded_function.h) keeps handles and use counts;
// this table only answers what exists.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace druvex {

// One exported function: its name (matched exactly, as the device's export
// lookup does) and its address. Callers cast the address back to the
// function's type (exportAddress and LoadedFunction::as).
struct ModuleExport {
    std::u16string name;
    void* address = nullptr;
};

template <class Function>
void* exportAddress(Function* function) noexcept
{
    return reinterpret_cast<void*>(function);
}

// Whether a module can be loaded now: 0, or the device error a load fails
// with (kErrorModNotFound when the module is not on the device).
using ModuleAvailability = std::function<std::uint32_t()>;

struct BuiltinModule {
    std::u16string name;  // as registered, e.g. "coredll.dll"
    std::vector<ModuleExport> exports;
    ModuleAvailability availability;  // empty: always there

    // The export's address, null when the module has no such export.
    void* findExport(std::u16string_view exportName) const;
};

// Adds a module, or replaces the one of that name (module names ignore case,
// as the device's do). Modules loaded before keep the definition they were
// loaded with.
void registerBuiltinModule(std::u16string_view name, std::vector<ModuleExport> exports,
                           ModuleAvailability availability = {});
// Removes a module; false when there was none of that name.
bool unregisterBuiltinModule(std::u16string_view name);

// Looks a module up for loading: 0 and the module, kErrorModNotFound when no
// module has the name, or the error of its availability test.
std::uint32_t findBuiltinModule(std::u16string_view name, std::shared_ptr<const BuiltinModule>& module);

// The device's crash-dump call that "coredll.dll" exports: writes a dump of
// the calling process into the system's dump directory ("DumpDirectory" under
// HKLM\System\ErrorReporting\DumpSettings, a device path). Process and thread
// 0 mean the caller's; the extra-files path is not supported and must be null.
// False with the last error set when the dump could not be written.
using CaptureDumpFileOnDeviceFunction = bool (*)(std::uint32_t processId, std::uint32_t threadId,
                                                 const char16_t* extraFilesPath);
bool captureDumpFileOnDevice(std::uint32_t processId, std::uint32_t threadId, const char16_t* extraFilesPath);

// Where the device keeps its dump directory setting.
constexpr const char16_t* kDumpSettingsKey = u"System\\ErrorReporting\\DumpSettings";
constexpr const char16_t* kDumpDirectoryValue = u"DumpDirectory";

}  // namespace druvex
