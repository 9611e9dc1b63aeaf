// Messages to other programs' windows: the socket that a window title names
// in the device directory.
#include "platform/window_message.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(WindowMessageWithoutDevice, NoWindowIsFound)
{
    const std::uint8_t bytes[] = {1};
    EXPECT_EQ(windowSocketPath(u"Application-Launcher"), "");
    EXPECT_FALSE(sendCopyData(u"Application-Launcher", bytes));
}

}  // namespace
}  // namespace druvex
