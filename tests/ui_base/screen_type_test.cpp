// The screen type from the screen's width, read from the device's device.ini,
// and the toolkit's images folder. The types are the numbers the dialogs and
// the installer title compare with, so they are written out, not taken from
// the code's own names.
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
        {320, 1, false}, {480, 0, false},  {600, 0, false}, {640, 3, false},   {800, 3, false},
        {240, 0, true},  {0, 0, true},     {1024, 0, true}, {-320, 0, true},
    };
    for (const auto& row : cases) {
        test::DiagCapture diag;
        EXPECT_EQ(screenTypeForWidth(row.width), row.type) << row.width;
        EXPECT_EQ(diag.dbgChkCount(), row.reported ? 1 : 0) << row.width;
    }
}

TEST(ScreenType, TheWidthComesFromTheDevicesProfile)
{
    for (const auto& [width, type] : {std::pair{320, 1}, std::pair{800, 3}}) {
        test::TestDevice device("[Device]\nScreenWidth=" + std::to_string(width) + "\n");
        std::string error;
        ASSERT_TRUE(activateDeviceProfile(device.directory().string(), error)) << error;
        EXPECT_EQ(getScreenType(), type);
    }
    // Without a ScreenWidth the device is 480 pixels wide.
    test::TestDevice device("[Device]\nOemInfo=x\n");
    std::string error;
    ASSERT_TRUE(activateDeviceProfile(device.directory().string(), error)) << error;
    EXPECT_EQ(getScreenType(), 0);
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
