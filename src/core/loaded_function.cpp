#include "core/loaded_function.h"

#include <chrono>
#include <map>
#include <string>

#include "core/app_log.h"
#include "core/memory_report.h"
#include "text/char_class.h"
#include "core/user_hooks.h"
#include "platform/builtin_modules.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {
namespace {

// Handles look like the device's module addresses and are never reused, so
// a handle kept after its module was freed cannot reach another module.
constexpr ModuleHandle kFirstHandle = 0x40000000;
constexpr ModuleHandle kHandleStep = 0x10000;

struct CachedModule {
    ModuleHandle handle = 0;
    unsigned useCount = 0;
    std::shared_ptr<const BuiltinModule> module;
};

// The cache is used at start-up and from the crash path on any thread; its
// lock is never held while a module is looked up or a line is logged.
struct ModuleCache {
    Mutex mutex;
    std::map<std::u16string, CachedModule> modules GUARDED_BY(mutex);  // keyed by the folded name
    ModuleHandle nextHandle GUARDED_BY(mutex) = kFirstHandle;
};

ModuleCache& moduleCache()
{
    static ModuleCache* cache = new ModuleCache();  // used while the program exits
    return *cache;
}

std::u16string foldName(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& unit : folded)
        unit = toLowerChar(unit);
    return folded;
}

void reportLoadFailure(const char16_t* moduleName, std::uint32_t error, bool quiet)
{
    logPrintf(u"Could not load library %ls err code = %d", moduleName, static_cast<int>(error));
    const MemoryReport memory = readMemoryReport();
    logPrintf(u"Total Memory: %u bytes, Free Memory: %u bytes, Total VM: %u bytes, Free VM: %u bytes",
              memory.totalPhysical, memory.freePhysical, memory.totalVirtual, memory.freeVirtual);
    if (quiet)
        return;
    TextTranslator& translator = getTextTranslator();
    SharedString message = translator.translateNarrow("Could not load module ");
    message += SharedString(moduleName);
    message += u".\r\n\r\n";
    message += translator.translateNarrow(error == kErrorModNotFound
                                              ? "Application reinstall may be needed. "
                                              : "Save your work and quit application. Restarting device may be "
                                                "needed as well. ");
    message += translator.translateNarrow(
        "If the problem persists, collect application log files and contact support.");
    getUserMessageSink().showMessage(message);
}

}  // namespace

ModuleHandle loadLibrary(const char16_t* moduleName, bool quiet)
{
    if (!moduleName)
        moduleName = u"";
    const std::u16string key = foldName(moduleName);
    ModuleCache& cache = moduleCache();
    {
        MutexLock lock(cache.mutex);
        auto cached = cache.modules.find(key);
        if (cached != cache.modules.end()) {
            ++cached->second.useCount;
            return cached->second.handle;
        }
    }

    const auto started = std::chrono::steady_clock::now();
    std::shared_ptr<const BuiltinModule> module;
    const std::uint32_t error = findBuiltinModule(moduleName, module);
    if (error != kErrorSuccess) {
        reportLoadFailure(moduleName, error, quiet);
        setLastError(error);
        return 0;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                               started);
    ModuleHandle handle = 0;
    {
        MutexLock lock(cache.mutex);
        auto [entry, inserted] = cache.modules.try_emplace(key);
        if (!inserted) {
            // Another thread loaded it meanwhile: one handle per module.
            ++entry->second.useCount;
            return entry->second.handle;
        }
        handle = cache.nextHandle;
        cache.nextHandle += kHandleStep;
        entry->second = CachedModule{handle, 1, std::move(module)};
    }
    logPrintf(u"load %ls  %ums @%p", moduleName, static_cast<unsigned>(elapsed.count()),
              reinterpret_cast<const void*>(handle));
    return handle;
}

void unloadLibrary(ModuleHandle& handle, bool /*forget*/)
{
    if (handle == 0)
        return;
    ModuleCache& cache = moduleCache();
    MutexLock lock(cache.mutex);
    for (auto entry = cache.modules.begin(); entry != cache.modules.end(); ++entry) {
        if (entry->second.handle != handle)
            continue;
        if (entry->second.useCount > 1) {
            --entry->second.useCount;
            return;
        }
        // The last use: a freed module must not stay findable, or the next
        // load would hand out its dead handle.
        cache.modules.erase(entry);
        handle = 0;
        return;
    }
}

void* getProcAddress(ModuleHandle module, const char16_t* functionName, const char16_t* moduleName)
{
    if (!functionName)
        functionName = u"";
    std::shared_ptr<const BuiltinModule> found;
    {
        ModuleCache& cache = moduleCache();
        MutexLock lock(cache.mutex);
        for (const auto& [key, cached] : cache.modules) {
            if (cached.handle == module && module != 0) {
                found = cached.module;
                break;
            }
        }
    }
    const std::uint32_t error = !found ? kErrorInvalidHandle : kErrorProcNotFound;
    void* address = found ? found->findExport(functionName) : nullptr;
    if (address)
        return address;
    logPrintf(u"Missing function '%ls' in %ls. Error code: %d", functionName, moduleName ? moduleName : u"",
              static_cast<int>(error));
    setLastError(error);
    return nullptr;
}

LoadedModule::~LoadedModule()
{
    unloadLibrary(handle_, true);
}

std::shared_ptr<LoadedFunction> makeLoadedFunction(const char16_t* functionName, const char16_t* moduleName)
{
    const ModuleHandle handle = loadLibrary(moduleName, false);
    if (handle == 0)
        return std::make_shared<LoadedFunction>(nullptr, nullptr);
    auto module = std::make_shared<LoadedModule>(SharedString(moduleName), handle);
    void* address = getProcAddress(handle, functionName, moduleName);
    return std::make_shared<LoadedFunction>(std::move(module), address);
}

}  // namespace druvex
