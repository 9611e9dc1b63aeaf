#include "data/package_sources.h"

#include <algorithm>

#include "data/install_item.h"

namespace druvex {
namespace {

std::u16string keyOf(const InstallItem& item)
{
    return std::u16string(getArchiveName(item, true).view());
}

}  // namespace

void WStringMultimap::addIfAbsent(const InstallItem& item, std::int32_t sourceKind, const SharedString& location,
                                  std::uint32_t sizeLow, std::uint32_t sizeHigh)
{
    addIfAbsent(keyOf(item), PackageSource{sourceKind, location, sizeLow, sizeHigh});
}

bool WStringMultimap::contains(const InstallItem& item) const
{
    return contains(keyOf(item));
}

bool WStringMultimap::equalRange(const InstallItem& item, std::vector<PackageSource>& out) const
{
    return equalRange(keyOf(item), out);
}

void WStringMultimap::eraseKey(const InstallItem& item)
{
    eraseKey(keyOf(item));
}

void WStringMultimap::addIfAbsent(std::u16string_view key, const PackageSource& source)
{
    auto [first, last] = entries_.equal_range(key);
    for (auto entry = first; entry != last; ++entry) {
        if (entry->second == source)
            return;
    }
    // The hint before the end of the range puts the new entry after the
    // others of its key.
    entries_.emplace_hint(last, std::u16string(key), source);
}

bool WStringMultimap::contains(std::u16string_view key) const
{
    return entries_.find(key) != entries_.end();
}

bool WStringMultimap::equalRange(std::u16string_view key, std::vector<PackageSource>& out) const
{
    out.clear();
    auto [first, last] = entries_.equal_range(key);
    for (auto entry = first; entry != last; ++entry)
        out.push_back(entry->second);
    std::stable_sort(out.begin(), out.end(),
                     [](const PackageSource& a, const PackageSource& b) { return a.sourceKind > b.sourceKind; });
    return !out.empty();
}

void WStringMultimap::eraseKey(std::u16string_view key)
{
    auto [first, last] = entries_.equal_range(key);
    entries_.erase(first, last);
}

}  // namespace druvex
