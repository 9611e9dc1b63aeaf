#include "platform/store_space.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "text/mutex.h"

namespace druvex {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> sorted(std::vector<std::string> texts)
{
    std::sort(texts.begin(), texts.end());
    return texts;
}

}  // namespace

StoreSpace::StoreSpace(std::string hostRoot, std::uint64_t freeBytes, std::vector<std::string> nestedRoots)
    : hostRoot_(std::move(hostRoot)), freeBytes_(freeBytes), nestedRoots_(sorted(std::move(nestedRoots)))
{
}

std::uint64_t StoreSpace::measureUsed() const
{
    std::uint64_t used = 0;
    std::error_code error;
    fs::recursive_directory_iterator entry(hostRoot_, fs::directory_options::skip_permission_denied, error);
    // Files vanish while others work on the store: an entry gone meanwhile counts as nothing.
    for (const fs::recursive_directory_iterator end; !error && entry != end; entry.increment(error)) {
        if (entry->is_symlink(error))
            continue;
        if (entry->is_directory(error)) {
            const std::string path = entry->path().string();
            if (std::binary_search(nestedRoots_.begin(), nestedRoots_.end(), path))
                entry.disable_recursion_pending();
            continue;
        }
        std::error_code sizeError;
        const std::uintmax_t size = entry->file_size(sizeError);
        if (!sizeError)
            used += size;
    }
    return used;
}

void StoreSpace::measure()
{
    usedMeasured_ = measureUsed();
    grownSince_ = 0;
    if (!measured_) {
        usedAtStart_ = usedMeasured_;
        measured_ = true;
    }
}

std::uint64_t StoreSpace::freeNow() const
{
    const std::uint64_t used = usedMeasured_ + grownSince_;
    if (used <= usedAtStart_)
        return freeBytes_ + (usedAtStart_ - used);
    const std::uint64_t taken = used - usedAtStart_;
    return taken >= freeBytes_ ? 0 : freeBytes_ - taken;
}

bool StoreSpace::canGrow(std::uint64_t bytes)
{
    if (bytes == 0)
        return true;
    if (!measured_)
        measure();
    if (bytes <= freeNow())
        return true;
    // Files deleted since the last measure may have made the room.
    measure();
    return bytes <= freeNow();
}

void StoreSpace::grew(std::uint64_t bytes)
{
    grownSince_ += bytes;
}

std::uint64_t StoreSpace::available()
{
    MutexLock lock(mutex_);
    measure();
    return freeNow();
}

}  // namespace druvex
