#include "text/string_resources.h"

#include <cstddef>
#include <map>

#include "text/mutex.h"

namespace druvex {
namespace {

struct ResourceEntry {
    std::uint16_t id;
    const char16_t* text;
};

// The program's compiled-in string table. No text of the program is loaded
// by id yet; entries go here when one is.
constexpr ResourceEntry kCompiledResources[] = {
    {0, nullptr},  // placeholder: the array may not be empty
};

class ResourceTable {
public:
    ResourceTable()
    {
        MutexLock lock(mutex_);
        fillFromCompiled();
    }

    std::optional<std::u16string> lookup(std::uint16_t id)
    {
        MutexLock lock(mutex_);
        auto it = entries_.find(id);
        if (it == entries_.end())
            return std::nullopt;
        return it->second;
    }

    void set(std::uint16_t id, std::u16string_view text)
    {
        MutexLock lock(mutex_);
        entries_[id] = cutAtZero(text);
    }

    void erase(std::uint16_t id)
    {
        MutexLock lock(mutex_);
        entries_.erase(id);
    }

    void reset()
    {
        MutexLock lock(mutex_);
        fillFromCompiled();
    }

private:
    // A resource's text ends at its first zero unit.
    static std::u16string cutAtZero(std::u16string_view text)
    {
        return std::u16string(text.substr(0, text.find(u'\0')));
    }

    void fillFromCompiled() REQUIRES(mutex_)
    {
        entries_.clear();
        for (const ResourceEntry& entry : kCompiledResources) {
            if (entry.text)
                entries_[entry.id] = cutAtZero(entry.text);
        }
    }

    Mutex mutex_;
    std::map<std::uint16_t, std::u16string> entries_ GUARDED_BY(mutex_);
};

ResourceTable& table()
{
    static ResourceTable instance;
    return instance;
}

}  // namespace

std::optional<std::u16string> StringResources::lookup(std::uint16_t id)
{
    return table().lookup(id);
}

void StringResources::set(std::uint16_t id, std::u16string_view text)
{
    table().set(id, text);
}

void StringResources::erase(std::uint16_t id)
{
    table().erase(id);
}

void StringResources::reset()
{
    table().reset();
}

const char16_t* resourceId(std::uint16_t id) noexcept
{
    return reinterpret_cast<const char16_t*>(static_cast<std::uintptr_t>(id));
}

const char* resourceIdA(std::uint16_t id) noexcept
{
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(id));
}

bool isResourceId(const void* text) noexcept
{
    const auto value = reinterpret_cast<std::uintptr_t>(text);
    return value != 0 && value < 0x10000;
}

std::uint16_t resourceIdOf(const void* text) noexcept
{
    return static_cast<std::uint16_t>(reinterpret_cast<std::uintptr_t>(text) & 0xFFFF);
}

}  // namespace druvex
