// The screen type from the screen's width, read from the device's device.ini,
// and the toolkit's images folder.
#include <gtest/gtest.h>

#include <string>

#include "core/device_profile.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

TEST(ScreenType, EachWidthHasItsTypeAndAnyOtherIsReported)
{
    const struct {
        int width;
        int type;
        bool reported;
    } cases[] = {
        {320, kScreenTypeQvga, false}, {480, kScreenTypeVga, false},  {600, kScreenTypeVga, false},
        {640, kScreenTypeWide, false}, {800, kScreenTypeWide, false}, {240, kScreenTypeVga, true},
        {0, kScreenTypeVga, true},     {1024, kScreenTypeVga, true},  {-320, kScreenTypeVga, true},
    };
    for (const auto& row : cases) {
        test::DiagCapture diag;
        EXPECT_EQ(screenTypeForWidth(row.width), row.type) << row.width;
        EXPECT_EQ(diag.dbgChkCount(), row.reported ? 1 : 0) << row.width;
    }
}

TEST(ScreenType, TheWidthComesFromTheDevicesProfile)
{
    for (const auto& [width, type] : {std::pair{320, kScreenTypeQvga}, std::pair{800, kScreenTypeWide}}) {
        test::TestDevice device("[Device]\nScreenWidth=" + std::to_string(width) + "\n");
        std::string error;
        ASSERT_TRUE(activateDeviceProfile(device.directory().string(), error)) << error;
        EXPECT_EQ(getScreenType(), type);
    }
    // Without a ScreenWidth the device is 480 pixels wide.
    test::TestDevice device("[Device]\nOemInfo=x\n");
    std::string error;
    ASSERT_TRUE(activateDeviceProfile(device.directory().string(), error)) << error;
    EXPECT_EQ(getScreenType(), kScreenTypeVga);
}

TEST(ScreenType, TheImagesFolderIsKeptForTheToolkit)
{
    setImagesFolder(u"\\Program Files\\Survey\\orvdata\\images");
    EXPECT_EQ(getImagesFolder(), u"\\Program Files\\Survey\\orvdata\\images");
    setImagesFolder({});
    EXPECT_EQ(getImagesFolder(), u"");
}

}  // namespace
}  // namespace druvex
