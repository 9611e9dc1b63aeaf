// The package source store (WStringMultimap): for each package of the
// installer data, every place the package can be taken from during one run (a
// file in the local "update" or "custom" folder, an entry of the installer
// archive, a download), keyed by the package's archive entry name. The
// feature selection asks whether a package is available at all; the engine
// takes the preferred source when it extracts the package.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class InstallItem;

// The kinds of source, each also its preference: the larger wins.
constexpr std::int32_t kSourceLocalFile = 5;     // a file in the "update" or "custom" folder
constexpr std::int32_t kSourceArchiveEntry = 4;  // an entry of the installer archive
constexpr std::int32_t kSourceDownload = 2;      // an address to download from

struct PackageSource {
    std::int32_t sourceKind = 0;
    // The local file, the archive entry name or the download address.
    SharedString location;
    // The package's 64-bit size in two halves; 0 when the item carries none.
    std::uint32_t sizeLow = 0;
    std::uint32_t sizeHigh = 0;

    friend bool operator==(const PackageSource&, const PackageSource&) = default;
};

class WStringMultimap {
public:
    // The item's key is its archive entry name with the full name (a
    // feature's path), as getArchiveName makes it.
    void addIfAbsent(const InstallItem& item, std::int32_t sourceKind, const SharedString& location,
                     std::uint32_t sizeLow, std::uint32_t sizeHigh);
    bool contains(const InstallItem& item) const;
    bool equalRange(const InstallItem& item, std::vector<PackageSource>& out) const;
    void eraseKey(const InstallItem& item);

    // The same by key. Keys compare exactly, by UTF-16 code unit: archive
    // entry names that differ only in case are different entries.
    //
    // Stores the source after those already under the key, unless an equal
    // one (all four fields) is there.
    void addIfAbsent(std::u16string_view key, const PackageSource& source);
    bool contains(std::u16string_view key) const;
    // Replaces `out` with the key's sources, the largest kind first and
    // sources of one kind in the order they were added. False when there are
    // none.
    bool equalRange(std::u16string_view key, std::vector<PackageSource>& out) const;
    void eraseKey(std::u16string_view key);

    void clear() { entries_.clear(); }
    bool isEmpty() const { return entries_.empty(); }

private:
    // A multimap keeps the entries of one key in insertion order.
    std::multimap<std::u16string, PackageSource, std::less<>> entries_;
};

}  // namespace druvex
