#include "platform/device_events.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/device_root.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

std::uint32_t failWith(std::uint32_t error)
{
    setLastError(error);
    return error;
}

}  // namespace

std::uint32_t appendDeviceEvent(std::string_view line)
{
    const std::string directory = DeviceRoot::instance().deviceDirectory();
    if (directory.empty())
        return failWith(kErrorPathNotFound);
    const std::string path = directory + "/events.log";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return failWith(errorFromErrno(errno));
    // One write with O_APPEND: lines of two processes never interleave.
    std::string text(line);
    text += '\n';
    ssize_t written = 0;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (written != static_cast<ssize_t>(text.size()))
        return failWith(written < 0 ? errorFromErrno(writeError) : kErrorDiskFull);
    if (!closed)
        return failWith(errorFromErrno(errno));
    return kErrorSuccess;
}

}  // namespace druvex
