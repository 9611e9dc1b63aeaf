// Walks the entries of a device folder by name, in the one sorted order of
// the device's listings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class FileEnumerator {
public:
    // Selection flags.
    static constexpr std::uint32_t kFiles = 1;
    static constexpr std::uint32_t kFolders = 2;
    static constexpr std::uint32_t kParentEntry = 4;  // also "..", not with recursion

    // `pattern` (device wildcards) keeps the names that match; empty keeps all.
    // A recursive walk visits each folder's subfolders after the folder, and
    // names the entries below the first folder by their path from it.
    FileEnumerator(const SharedString& folder, bool recursive, std::uint32_t selection,
                   const SharedString& pattern = SharedString());

    // The next matching entry's name, without the folder; empty when none is left.
    SharedString next();

private:
    struct Entry {
        SharedString name;  // relative to the first folder
        bool isFolder = false;
    };

    void loadNextFolder();

    std::vector<SharedString> pendingFolders_;  // relative to the first folder; a stack
    SharedString folder_;
    SharedString pattern_;
    std::uint32_t selection_;
    bool recursive_;
    std::vector<Entry> entries_;
    std::size_t position_ = 0;
};

}  // namespace druvex
