#include "host/host_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>

#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/win_error.h"

namespace druvex::host_paths {

bool toHost(const SharedString& path, std::string& host)
{
    if (path.isEmpty())
        return fail(kErrorPathNotFound);
    return DeviceRoot::instance().toHostPath(path.view(), host) == 0;
}

bool fail(std::uint32_t error)
{
    setLastError(error);
    return false;
}

std::string parentOf(const std::string& host)
{
    const std::size_t slash = host.find_last_of('/');
    if (slash == std::string::npos)
        return std::string();
    if (slash == 0)
        return "/";
    return host.substr(0, slash);
}

std::uint32_t errorFor(int errnoValue, const std::string& host)
{
    if (errnoValue != ENOENT)
        return errorFromErrno(errnoValue);
    const std::string parent = parentOf(host);
    struct stat status {};
    if (!parent.empty() && (::stat(parent.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)))
        return kErrorPathNotFound;
    return kErrorFileNotFound;
}

bool refusedByReadOnlyStore(const std::string& host)
{
    if (!isOnReadOnlyStore(host))
        return false;
    setLastError(kErrorAccessDenied);
    return true;
}

}  // namespace druvex::host_paths
