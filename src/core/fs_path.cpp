#include "core/fs_path.h"

#include "platform/device_root.h"

namespace druvex {

std::filesystem::path stringToPath(const SharedString& path, std::uint32_t* error)
{
    std::string host;
    const std::uint32_t result = DeviceRoot::instance().toHostPath(path.view(), host);
    if (error)
        *error = result;
    if (result != 0)
        return {};
    return std::filesystem::path(std::move(host));
}

SharedString pathToString(const std::filesystem::path& path)
{
    SharedString device;
    if (!DeviceRoot::instance().toDevicePath(path.native(), device))
        return SharedString();
    return device;
}

}  // namespace druvex
