// PackageFolderUnpacker: unpacks the package of an install item into a folder
// of a host, for the custom actions kept inside the installer and for the
// redistributables about to be installed. The installation engine implements
// it with its own node writer (the controller library sits below the engine);
// the controller holds the one the application gives it, none until then.
#pragma once

#include <vector>

#include "data/package_sources.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallItem;

class PackageFolderUnpacker {
public:
    virtual ~PackageFolderUnpacker() = default;
    // `sources` are where the package can be taken from, the preferred first
    // (an entry of the controller's payload archive, a local file, a download
    // address). True when every file of the package stands in `folder`
    // afterwards, the package's top-level folder being `folder` itself.
    virtual bool unpackToFolder(const InstallItem& item, const std::vector<PackageSource>& sources, HalAccess& host,
                                const SharedString& folder) = 0;
};

// The folder below the work folder into which an item's package is unpacked:
// `kind` ("CustomActions", "Redist") and the item's name made one folder
// name (separators, the characters no file name takes, and the names "." and
// ".." replaced), so that no name reaches outside the work folder.
SharedString unpackFolderFor(const SharedString& workFolder, const char16_t* kind, const SharedString& name);

}  // namespace druvex
