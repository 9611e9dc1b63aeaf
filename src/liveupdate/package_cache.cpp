#include "liveupdate/package_cache.h"

#include <utility>

#include "hal/hal_access.h"

namespace druvex {

NoPackageCache::NoPackageCache(std::shared_ptr<HalAccess> host, SharedString folder)
    : host_(std::move(host)), folder_(std::move(folder))
{
}

void NoPackageCache::downloadFolder(SharedString& folder)
{
    folder = folder_;
}

SharedString NoPackageCache::findPackage(const InstallItem&, bool& found)
{
    found = false;
    return {};
}

void NoPackageCache::storePackage(SharedString& path, const SharedString& downloaded)
{
    path = downloaded;
}

bool NoPackageCache::removePackage(const SharedString& path)
{
    return host_->deleteFile(path);
}

}  // namespace druvex
