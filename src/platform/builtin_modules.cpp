#include "platform/builtin_modules.h"

#include <map>

#include "text/char_class.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {
namespace {

std::u16string foldModuleName(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& unit : folded)
        unit = toLowerChar(unit);
    return folded;
}

struct ModuleTable {
    Mutex mutex;
    std::map<std::u16string, std::shared_ptr<const BuiltinModule>> modules GUARDED_BY(mutex);  // keyed by folded name

    ModuleTable()
    {
        auto coredll = std::make_shared<BuiltinModule>();
        coredll->name = u"coredll.dll";
        coredll->exports.push_back({u"CaptureDumpFileOnDevice", exportAddress(&captureDumpFileOnDevice)});
        modules.emplace(foldModuleName(coredll->name), std::move(coredll));
    }
};

// Never destroyed: the crash path may look a module up while the program exits.
ModuleTable& moduleTable()
{
    static ModuleTable* table = new ModuleTable();
    return *table;
}

}  // namespace

void* BuiltinModule::findExport(std::u16string_view exportName) const
{
    for (const ModuleExport& entry : exports)
        if (entry.name == exportName)
            return entry.address;
    return nullptr;
}

void registerBuiltinModule(std::u16string_view name, std::vector<ModuleExport> exports,
                           ModuleAvailability availability)
{
    auto module = std::make_shared<BuiltinModule>();
    module->name = name;
    module->exports = std::move(exports);
    module->availability = std::move(availability);
    ModuleTable& table = moduleTable();
    MutexLock lock(table.mutex);
    table.modules[foldModuleName(name)] = std::move(module);
}

bool unregisterBuiltinModule(std::u16string_view name)
{
    ModuleTable& table = moduleTable();
    MutexLock lock(table.mutex);
    return table.modules.erase(foldModuleName(name)) != 0;
}

std::uint32_t findBuiltinModule(std::u16string_view name, std::shared_ptr<const BuiltinModule>& module)
{
    module.reset();
    std::shared_ptr<const BuiltinModule> found;
    {
        ModuleTable& table = moduleTable();
        MutexLock lock(table.mutex);
        auto entry = table.modules.find(foldModuleName(name));
        if (entry == table.modules.end())
            return kErrorModNotFound;
        found = entry->second;
    }
    // Asked outside the lock: a vendor module's test reads the device profile.
    if (found->availability) {
        const std::uint32_t error = found->availability();
        if (error != kErrorSuccess)
            return error;
    }
    module = std::move(found);
    return kErrorSuccess;
}

}  // namespace druvex
