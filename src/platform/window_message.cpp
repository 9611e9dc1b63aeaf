#include "platform/window_message.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "platform/device_root.h"
#include "text/shared_string.h"

namespace druvex {

std::string windowSocketPath(std::u16string_view title)
{
    const std::string directory = DeviceRoot::instance().deviceDirectory();
    if (directory.empty() || title.empty() || title == u"." || title == u".." ||
        title.find_first_of(std::u16string_view(u"/\0", 2)) != std::u16string_view::npos)
        return {};
    const SharedStringA name = toUtf8(SharedString(title));
    std::string path = directory + "/windows/" + std::string(name.view());
    if (path.size() >= sizeof(sockaddr_un::sun_path))
        return {};
    return path;
}

bool sendCopyData(std::u16string_view title, std::span<const std::uint8_t> data)
{
    const std::string path = windowSocketPath(title);
    if (path.empty())
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    // A full receive queue counts as not delivered rather than a wait: the
    // receiver's program may be hung, and the sender is on its way out.
    const ssize_t sent = ::sendto(fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
    return sent >= 0 && static_cast<std::size_t>(sent) == data.size();
}

}  // namespace druvex
