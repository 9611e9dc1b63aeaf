#include "core/file_host.h"

#include <string>

#include "core/fs_path.h"
#include "text/diag.h"
#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/win_error.h"

namespace druvex::file_host {

bool toHost(const SharedString& path, fs::path& host)
{
    std::uint32_t error = 0;
    host = stringToPath(path, &error);
    return error == 0 && !host.empty();
}

void setLastErrorFrom(const std::error_code& error)
{
    if (!error)
        return;
    setLastError(error.category() == std::generic_category() || error.category() == std::system_category()
                     ? errorFromErrno(error.value())
                     : kErrorGenFailure);
}

void reportFailure(std::string_view what, const fs::path& path, const std::error_code& error)
{
    setLastErrorFrom(error);
    std::string message = "FileFunctions: ";
    message.append(what).append(" \"").append(path.native()).append("\": ").append(error.message());
    DRUVEX_DBGCHK(message.c_str());
}

void reportFailure(std::string_view what, const fs::path& from, const fs::path& to, const std::error_code& error)
{
    setLastErrorFrom(error);
    std::string message = "FileFunctions: ";
    message.append(what).append(" \"").append(from.native()).append("\" to \"").append(to.native());
    message.append("\": ").append(error.message());
    DRUVEX_DBGCHK(message.c_str());
}

bool refusedByReadOnlyStore(const fs::path& host)
{
    if (!isOnReadOnlyStore(host.native()))
        return false;
    setLastError(kErrorAccessDenied);
    return true;
}

void noteCreated(const fs::path& host)
{
    DeviceRoot::instance().noteCreated(host.native());
}

void noteRemoved(const fs::path& host)
{
    DeviceRoot::instance().noteRemoved(host.native());
}

}  // namespace druvex::file_host
