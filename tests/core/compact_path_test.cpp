#include "core/compact_path.h"

#include <gtest/gtest.h>

#include "support/shared_string_print.h"

namespace druvex {
namespace {

class CompactPath : public ::testing::Test {
protected:
    void TearDown() override { destroyWindow(window_); }

    SharedString compactAt(int clientWidth, const char16_t* path, bool keepLastComponent = true)
    {
        setClientWidth(window_, clientWidth);
        return compactPath(window_, SharedString(path), keepLastComponent);
    }

    WindowHandle window_ = createWindow(u"static", u"", 0);
};

// "/SD/Program Files/Jobs/Survey 2024/Day 2/pts.csv" in its backslash form is
// 48 units: "\SD" 3, "\Program Files" 14, "\Jobs" 5, "\Survey 2024" 12,
// "\Day 2" 6, "\pts.csv" 8. At 8 pixels a unit that is 384 pixels. The space
// is the client width less its tenth: 320 -> 288, 240 -> 216, 160 -> 144,
// 120 -> 108 pixels. The steps, each taken while the text is still too wide:
//   1. "SD" is shorter than 3 and passed over;
//   2. "Program Files" becomes "...": "\SD\...\Jobs\Survey 2024\Day 2\pts.csv",
//      38 units, 304 px;
//   3. "\Jobs" goes: "\SD\...\Survey 2024\Day 2\pts.csv", 33 units, 264 px;
//   4. "\Survey 2024" goes: "\SD\...\Day 2\pts.csv", 21 units, 168 px;
//   5. "\Day 2" goes: "\SD\...\pts.csv", 15 units, 120 px;
//   6. only the last component is left behind "...": the loop stops.
// 320 (288 px) stops after step 3 (264 <= 288, 304 was not); 240 (216 px)
// after step 4; 160 (144 px) after step 5; 120 (108 px) still finds 120 px
// too wide but reaches step 6 and keeps the file name.
TEST_F(CompactPath, OneLongPathAtFourWidths)
{
    const char16_t* path = u"/SD/Program Files/Jobs/Survey 2024/Day 2/pts.csv";
    EXPECT_EQ(compactAt(320, path), u"\\SD\\...\\Survey 2024\\Day 2\\pts.csv");
    EXPECT_EQ(compactAt(240, path), u"\\SD\\...\\Day 2\\pts.csv");
    EXPECT_EQ(compactAt(160, path), u"\\SD\\...\\pts.csv");
    EXPECT_EQ(compactAt(120, path), u"\\SD\\...\\pts.csv");
}

TEST_F(CompactPath, ShrinksStepByStep)
{
    // 35 units, 280 px; 311 leaves 311 - 31 = 280 px, and a text exactly as
    // wide as the space fits.
    struct Case {
        int width;
        const char16_t* path;
        bool keepLast;
        const char16_t* expected;
    };
    const Case cases[] = {
        {320, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\Storage Card\\Programs\\App\\file.txt"},
        {311, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\Storage Card\\Programs\\App\\file.txt"},
        {310, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\...\\Programs\\App\\file.txt"},
        {240, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\...\\Programs\\App\\file.txt"},
        {160, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\...\\App\\file.txt"},
        {120, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\...\\file.txt"},
        {50, u"\\Storage Card\\Programs\\App\\file.txt", true, u"\\...\\file.txt"},
        // Without the last component the file name goes first.
        {160, u"\\Storage Card\\Programs\\App\\file.txt", false, u"\\...\\Programs\\App"},
        {1000, u"\\Storage Card\\Programs\\App\\file.txt", false, u"\\Storage Card\\Programs\\App"},
        {1000, u"file.txt", false, u"file.txt"},
        // A trailing separator is kept and not measured.
        {160, u"\\Storage Card\\Programs\\App\\", true, u"\\...\\Programs\\App\\"},
        {1000, u"/Storage Card/", true, u"\\Storage Card\\"},
        {1000, u"\\a\\", true, u"\\a\\"},
        // Before the first elision the last component is not protected.
        {40, u"\\ab\\file.txt", true, u"\\ab\\..."},
        {10, u"\\ab\\cd", true, u"\\ab\\cd"},
        {40, u"NoSeparators.txt", true, u"NoSeparators.txt"},
        // A path that was compacted already stays.
        {40, u"\\Storage Card\\...\\file.txt", true, u"\\Storage Card\\...\\file.txt"},
        {40, u"", true, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " " << toUtf8(SharedString(c.path)).c_str());
        EXPECT_EQ(compactAt(c.width, c.path, c.keepLast), c.expected);
    }
}

TEST_F(CompactPath, WithoutWindowOrWidthTheTextStaysAndLosesItsTrailingSeparator)
{
    const SharedString path(u"/Storage Card/Programs/App/");
    EXPECT_EQ(compactPath(0, path, true), u"\\Storage Card\\Programs\\App");
    // A client width of 0 leaves no space; 1 pixel less its truncated tenth
    // is still 1 pixel of space.
    EXPECT_EQ(compactAt(0, u"\\Storage Card\\Programs\\App\\"), u"\\Storage Card\\Programs\\App");
    EXPECT_EQ(compactAt(1, u"\\Storage Card\\Programs\\App\\"), u"\\...\\App\\");
    const WindowHandle gone = createWindow(u"static", u"", 0, 0, 320);
    destroyWindow(gone);
    EXPECT_EQ(compactPath(gone, path, true), u"\\Storage Card\\Programs\\App");
}

}  // namespace
}  // namespace druvex
