// InstalledFileFinder: whether an earlier run installed a file, by the file
// nodes of every feature of the installed log (each named by its full target
// path). The managed-folder clean-up asks it for every file it finds, so the
// names are gathered once into a set rather than searched per file.
#pragma once

#include <string>
#include <unordered_set>

#include "text/shared_string.h"

namespace druvex {

class InstalledLog;

class InstalledFileFinder {
public:
    // Null: nothing is installed.
    explicit InstalledFileFinder(const InstalledLog* log);

    // Whether some installed feature has a file node whose name equals
    // `path` without regard to case, once every '\' in `path` is '/'.
    bool contains(const SharedString& path) const;
    std::size_t size() const { return names_.size(); }

private:
    std::unordered_set<std::u16string> names_;
};

}  // namespace druvex
