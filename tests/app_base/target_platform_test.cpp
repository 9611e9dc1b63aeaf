// Target platforms: names, masks and lists, the installer enumerations, and
// the platform of each device model with the LQ5 rule.
#include <gtest/gtest.h>

#include "app_base/target_platform.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(TargetPlatformLists, ParseAndPrintPlatformLists)
{
    struct Case {
        const char16_t* text;
        std::int32_t mask;
    };
    const Case cases[] = {
        {u"Wm6,Win32", 17}, {u"Wm6, Win32", 1},  // pieces are not trimmed
        {u"all", -1},       {u"ALL", -1},       {u"Windows", 0},  // groups add nothing to a mask
        {u"Controllers,Qm40", 4}, {u"", 0}, {u"wm6", 1}, {u"Wm6,,Bogus", 1}, {u"Unknown", 0},
        {u"RNVC,LQ5,RNVB,Win64,Win32,7RWinCE,Qm40,Rv1Wn1,Wm6", 511},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parsePlatformList(c.text), c.mask) << toUtf8(SharedString(c.text)).c_str();

    EXPECT_EQ(platformListText(-1), u"All");
    EXPECT_EQ(platformListText(17), u"Wm6,Win32");
    EXPECT_EQ(platformListText(0), u"");
    EXPECT_EQ(platformListText(511), u"Wm6,Rv1Wn1,Qm40,7RWinCE,Win32,Win64,RNVB,LQ5,RNVC");
    // Bits above the nine platforms have no name.
    EXPECT_EQ(platformListText(0x400 | 4), u"Qm40");
    for (std::int32_t mask = 0; mask < 512; ++mask)
        ASSERT_EQ(parsePlatformList(platformListText(mask).view()), mask) << mask;
}

TEST(TargetPlatformMasks, MaskMembershipAndMultiPlatform)
{
    EXPECT_EQ(platformMask(kPlatformRNVC), 256);
    EXPECT_EQ(platformMask(kPlatformAll), -1);
    EXPECT_EQ(platformMask(kPlatformWindows), 0);
    EXPECT_EQ(platformMask(kPlatformControllers), 0);
    EXPECT_EQ(platformMask(kPlatformUnknown), 0);
    EXPECT_EQ(platformMask(-1), 0);
    EXPECT_EQ(platformMask(9), 0);

    EXPECT_TRUE(maskHasPlatform(-1, kPlatformWin32));
    EXPECT_TRUE(maskHasPlatform(0, kPlatformAll));
    EXPECT_TRUE(maskHasPlatform(17, kPlatformWin32));
    EXPECT_FALSE(maskHasPlatform(17, kPlatformWin64));
    EXPECT_FALSE(maskHasPlatform(17, kPlatformWindows));

    EXPECT_FALSE(isMultiPlatformMask(48, false));
    EXPECT_TRUE(isMultiPlatformMask(48, true));
    EXPECT_TRUE(isMultiPlatformMask(17, false));
    EXPECT_TRUE(isMultiPlatformMask(-1, false));
    EXPECT_FALSE(isMultiPlatformMask(4, true));
    EXPECT_FALSE(isMultiPlatformMask(0, false));
}

TEST(TargetPlatformMasks, PlatformFromMask)
{
    struct Case {
        std::int32_t mask;
        bool exact;
        bool found;
        TargetPlatform platform;
    };
    const Case cases[] = {
        {48, false, true, kPlatformWin32},
        {48, true, false, kPlatformUnknown},
        {-1, true, false, kPlatformUnknown},
        {-1, false, true, kPlatformWm6},
        {32, true, true, kPlatformWin64},
        {0, false, false, kPlatformUnknown},
        {0x200, false, false, kPlatformUnknown},
    };
    for (const Case& c : cases) {
        TargetPlatform out = 123;
        EXPECT_EQ(platformFromMask(c.mask, c.exact, out), c.found) << c.mask << " " << c.exact;
        EXPECT_EQ(out, c.platform) << c.mask << " " << c.exact;
    }
}

TEST(TargetPlatformNames, PlatformsInstallerPlatformsAndTypes)
{
    EXPECT_EQ(parsePlatform(u"qm40"), kPlatformQm40);
    EXPECT_EQ(parsePlatform(u"7rwince"), kPlatform7RWinCE);
    EXPECT_EQ(parsePlatform(u"WINDOWS"), kPlatformWindows);
    EXPECT_EQ(parsePlatform(u"controllers"), kPlatformControllers);
    EXPECT_EQ(parsePlatform(u"All"), kPlatformAll);
    EXPECT_EQ(parsePlatform(u"Unknown"), kPlatformUnknown);
    EXPECT_EQ(parsePlatform(u" Wm6"), kPlatformUnknown);
    EXPECT_EQ(parsePlatform(u""), kPlatformUnknown);

    EXPECT_EQ(platformName(kPlatformWindows, true), u"");
    EXPECT_EQ(platformName(kPlatformWindows, false), u"Windows");
    EXPECT_EQ(platformName(kPlatformAll, false), u"All");
    EXPECT_EQ(platformName(kPlatformControllers, false), u"Controllers");
    EXPECT_EQ(platformName(kPlatformUnknown, false), u"Unknown");
    EXPECT_EQ(platformName(kPlatformUnknown, true), u"");
    EXPECT_EQ(platformName(1300, false), u"");
    EXPECT_EQ(platformName(kPlatformLQ5, true), u"LQ5");
    for (TargetPlatform p = 0; p < kPlatformCount; ++p)
        EXPECT_EQ(parsePlatform(platformName(p, true).view()), p);

    EXPECT_EQ(parseInstallerPlatform(u"pc"), kInstallerPlatformPC);
    EXPECT_EQ(parseInstallerPlatform(u"CONTROLLER"), kInstallerPlatformController);
    EXPECT_EQ(parseInstallerPlatform(u"All"), kInstallerPlatformAll);
    EXPECT_EQ(parseInstallerPlatform(u"xyz"), kInstallerPlatformOther);
    EXPECT_EQ(installerPlatformName(2), u"");
    EXPECT_EQ(installerPlatformName(3), u"All");
    EXPECT_EQ(installerPlatformName(7), u"");

    EXPECT_EQ(parseInstallerType(u"WEB"), kInstallerTypeWeb);
    EXPECT_EQ(parseInstallerType(u"both"), kInstallerTypeBoth);
    EXPECT_EQ(parseInstallerType(u"xyz"), kInstallerTypeFull);
    EXPECT_EQ(installerTypeName(7), u"Full");
    EXPECT_EQ(installerTypeName(1), u"Web");
}

class TargetPlatformDevices : public ::testing::Test {
protected:
    void SetUp() override { resetTreatLq5AsQm40ForTests(); }
    void TearDown() override { resetTreatLq5AsQm40ForTests(); }
};

TEST_F(TargetPlatformDevices, EveryDeviceTypeAndTheLq5Rule)
{
    const TargetPlatform expected[27] = {
        1201, 1201, 1201, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 2, 0, 6, 7, 4, 5, 5, 8, 4, 0,
    };
    for (std::int32_t type = 0; type < 27; ++type)
        EXPECT_EQ(platformFromDeviceType(type), expected[type]) << type;
    EXPECT_EQ(platformFromDeviceType(27), kPlatformUnknown);
    EXPECT_EQ(platformFromDeviceType(-1), kPlatformUnknown);
    EXPECT_TRUE(isDesktopPlatform(4));
    EXPECT_TRUE(isDesktopPlatform(5));
    EXPECT_FALSE(isDesktopPlatform(kPlatformWindows));
    EXPECT_TRUE(isDesktopDeviceType(23));
    EXPECT_FALSE(isDesktopDeviceType(25));  // the emulator counts as Win32 but is no desktop host

    // LQ5 counts as Qm40 once the flag is raised.
    EXPECT_EQ(platformFromDeviceType(20), kPlatformLQ5);
    setTreatLq5AsQm40();
    EXPECT_EQ(platformFromDeviceType(20), kPlatformQm40);
    setTreatLq5AsQm40();
    EXPECT_EQ(platformFromDeviceType(20), kPlatformQm40);
    EXPECT_EQ(platformFromDeviceType(16), kPlatformQm40);
}

}  // namespace
}  // namespace druvex
