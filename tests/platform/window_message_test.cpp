// Messages to other programs' windows: the socket a window title names in
// the device directory, and what is sent when no one or someone listens.
#include "platform/window_message.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/device_fixture.h"

namespace druvex {
namespace {

using WindowMessage = test::DeviceFixture;

TEST_F(WindowMessage, ATitleNamesASocketInTheDeviceDirectory)
{
    const std::string windows = (device().directory() / "windows").string();
    EXPECT_EQ(windowSocketPath(u"Application-Launcher"), windows + "/Application-Launcher");
    EXPECT_EQ(windowSocketPath(u"Caf\u00e9 Launcher"), windows + "/Caf\xC3\xA9 Launcher");
    for (const std::u16string_view title : {std::u16string_view(u""), std::u16string_view(u"."),
                                            std::u16string_view(u".."), std::u16string_view(u"../escape"),
                                            std::u16string_view(u"a\0b", 3), std::u16string_view(u"a/b")})
        EXPECT_EQ(windowSocketPath(title), "") << title.size();
    EXPECT_EQ(windowSocketPath(std::u16string(200, u'x')), "");
}

TEST_F(WindowMessage, AMessageReachesOnlyAWindowThatIsThere)
{
    const std::uint8_t bytes[] = {1, 2, 3};
    EXPECT_FALSE(sendCopyData(u"Receiver", bytes));

    std::filesystem::create_directories(device().directory() / "windows");
    const std::string path = windowSocketPath(u"Receiver");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(sendCopyData(u"Receiver", bytes));
    std::uint8_t received[8] = {};
    EXPECT_EQ(::recv(fd, received, sizeof received, MSG_DONTWAIT), 3);
    EXPECT_EQ(std::vector<std::uint8_t>(received, received + 3), (std::vector<std::uint8_t>{1, 2, 3}));
    ::close(fd);
    // The owner has gone; its socket file stays behind.
    EXPECT_FALSE(sendCopyData(u"Receiver", bytes));
}

TEST(WindowMessageWithoutDevice, NoWindowIsFound)
{
    const std::uint8_t bytes[] = {1};
    EXPECT_EQ(windowSocketPath(u"Application-Launcher"), "");
    EXPECT_FALSE(sendCopyData(u"Application-Launcher", bytes));
}

}  // namespace
}  // namespace druvex
