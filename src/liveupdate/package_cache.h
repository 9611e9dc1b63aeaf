// PackageCache: the store through which downloaded feature packages pass on
// their way to the installation, and NoPackageCache, the only store of this
// build ("No cache"): packages are downloaded into one folder, used where
// they lie and never kept for a later run.
#pragma once

#include <memory>

#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallItem;

// The cache type the controller writes to the log ("Cache type: ").
inline constexpr char16_t kNoPackageCacheType[] = u"No cache";

class PackageCache {
public:
    virtual ~PackageCache() = default;
    // The folder that packages are downloaded into.
    virtual void downloadFolder(SharedString& folder) = 0;
    // A package of the item kept from an earlier run: its path when `found`.
    virtual SharedString findPackage(const InstallItem& item, bool& found) = 0;
    // Takes a downloaded package in; `path` is where it is to be used from.
    virtual void storePackage(SharedString& path, const SharedString& downloaded) = 0;
    // Removes a package from the store.
    virtual bool removePackage(const SharedString& path) = 0;
};

class NoPackageCache final : public PackageCache {
public:
    // `folder` is the controller's package download folder.
    NoPackageCache(std::shared_ptr<HalAccess> host, SharedString folder);

    void downloadFolder(SharedString& folder) override;
    // Never found.
    SharedString findPackage(const InstallItem& item, bool& found) override;
    // The package is used where it was downloaded.
    void storePackage(SharedString& path, const SharedString& downloaded) override;
    // Deletes the file through the host.
    bool removePackage(const SharedString& path) override;

private:
    std::shared_ptr<HalAccess> host_;
    SharedString folder_;
};

}  // namespace druvex
