#include "platform/window_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_error.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// The last error a failing call leaves (set to 0 before it); kSucceeded when it does not fail.
constexpr std::uint32_t kSucceeded = 0xFFFFFFFF;
template <class Call>
std::uint32_t errorOf(Call call)
{
    setLastError(0);
    return call() ? kSucceeded : getLastError();
}

std::u16string textOf(WindowHandle window)
{
    char16_t buffer[256];
    const int length = getWindowText(window, buffer, 256);
    return std::u16string(buffer, static_cast<std::size_t>(length));
}

std::vector<WindowHandle> childrenOf(WindowHandle window)
{
    std::vector<WindowHandle> children;
    for (WindowHandle child = getFirstChild(window); child != 0; child = getNextSibling(child))
        children.push_back(child);
    return children;
}

// A dialog as the translation sees one: the window, its direct children and
// one grandchild.
class WindowModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dialog_ = createWindow(u"Dialog", u"Settings", 0x80000000, 0, 480);
        button_ = createWindow(u"Button", u"OK", 1, dialog_);
        edit_ = createWindow(u"Edit", u"C:\\", 0, dialog_);
        group_ = createWindow(u"Static", u"Group", 3, dialog_, 200);
        inner_ = createWindow(u"Button", u"Inner", 0, group_);
    }
    void TearDown() override { destroyWindow(dialog_); }

    WindowHandle dialog_ = 0, button_ = 0, edit_ = 0, group_ = 0, inner_ = 0;
};

TEST_F(WindowModelTest, ChildChainFollowsCreationOrder)
{
    EXPECT_EQ(childrenOf(dialog_), (std::vector<WindowHandle>{button_, edit_, group_}));
    EXPECT_EQ(childrenOf(group_), std::vector<WindowHandle>{inner_});
    EXPECT_EQ(getFirstChild(button_), 0u);
    EXPECT_EQ(getParentWindow(inner_), group_);
    EXPECT_EQ(getParentWindow(dialog_), 0u);

    ASSERT_TRUE(destroyWindow(edit_));
    EXPECT_EQ(childrenOf(dialog_), (std::vector<WindowHandle>{button_, group_}));
    ASSERT_TRUE(destroyWindow(group_));
    EXPECT_FALSE(isWindow(inner_));
    EXPECT_EQ(childrenOf(dialog_), std::vector<WindowHandle>{button_});

    // Top-level windows form their own chain.
    const WindowHandle other = createWindow(u"Dialog", u"Other", 0);
    bool found = false;
    for (WindowHandle w = dialog_; w != 0; w = getNextSibling(w))
        found = found || w == other;
    EXPECT_TRUE(found);
    destroyWindow(other);
}

TEST_F(WindowModelTest, TextCopiesAreCutToTheBuffer)
{
    EXPECT_EQ(textOf(dialog_), u"Settings");
    EXPECT_EQ(getWindowTextLength(dialog_), 8);
    char16_t small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(getWindowText(dialog_, small, 4), 3);
    EXPECT_EQ(std::u16string(small, 4), std::u16string(u"Set\0", 4));
    EXPECT_EQ(getWindowText(dialog_, small, 0), 0);
    EXPECT_EQ(small[0], u'S');
    EXPECT_EQ(getWindowText(dialog_, nullptr, 10), 0);

    char16_t name[31];
    EXPECT_EQ(getClassName(edit_, name, 31), 4);
    EXPECT_EQ(std::u16string(name), u"Edit");
    const WindowHandle longName = createWindow(u"AClassNameThatIsLongerThanThirtyUnits", u"", 0, dialog_);
    EXPECT_EQ(getClassName(longName, name, 31), 30);
    EXPECT_EQ(std::u16string(name), u"AClassNameThatIsLongerThanThir");
}

TEST_F(WindowModelTest, SetTextIsCountedAlsoWhenUnchanged)
{
    EXPECT_EQ(getWindowSetTextCount(button_), 0);
    EXPECT_TRUE(setWindowText(button_, u"OK"));
    EXPECT_TRUE(setWindowText(button_, u"Fertig"));
    EXPECT_EQ(getWindowSetTextCount(button_), 2);
    EXPECT_EQ(textOf(button_), u"Fertig");
    EXPECT_EQ(getWindowSetTextCount(edit_), 0);
}

TEST_F(WindowModelTest, InvalidWindowsFailWithTheWindowError)
{
    destroyWindow(button_);
    const WindowHandle gone = button_;
    const WindowHandle menu = createMenu();
    for (WindowHandle bad : {gone, WindowHandle{0}, WindowHandle{menu}}) {
        EXPECT_EQ(errorOf([&] { return getWindowTextLength(bad); }), kErrorInvalidWindowHandle);
        EXPECT_EQ(errorOf([&] { return setWindowText(bad, u"x"); }), kErrorInvalidWindowHandle);
        EXPECT_EQ(errorOf([&] { return getFirstChild(bad); }), kErrorInvalidWindowHandle);
        EXPECT_EQ(getTextExtent(bad, u"abc"), -1);
        EXPECT_EQ(getWindowSetTextCount(bad), -1);
        EXPECT_FALSE(isWindow(bad));
        if (bad != 0) {  // 0 is no parent: a top-level window
            EXPECT_EQ(createWindow(u"Button", u"", 0, bad), 0u);
        }
    }
    destroyMenu(menu);
}

// ---- Menus

std::u16string describe(MenuHandle menu)
{
    std::u16string out;
    MenuItemInfo info;
    for (int i = 0; getMenuItemInfo(menu, i, info); ++i)
        out += std::u16string(info.text.view()) + u"|";
    return out;
}

TEST(WindowModelMenu, ItemsAreAddressedByPosition)
{
    const MenuHandle menu = createMenu();
    ASSERT_TRUE(appendMenuItem(menu, kMenuString, 10, u"Open"));
    ASSERT_TRUE(insertMenuItem(menu, 0, kMenuByPosition, 11, u"New"));
    ASSERT_TRUE(insertMenuItem(menu, 1, kMenuGrayed | kMenuChecked, 12, u"Recent"));
    ASSERT_TRUE(insertMenuItem(menu, 99, kMenuString, 13, u"Exit"));
    ASSERT_TRUE(insertMenuItem(menu, 3, kMenuSeparator, 0, u"ignored"));
    EXPECT_EQ(describe(menu), u"New|Recent|Open||Exit|");

    MenuItemInfo info;
    ASSERT_TRUE(getMenuItemInfo(menu, 1, info));
    EXPECT_EQ(info.flags, kMenuGrayed | kMenuChecked);
    EXPECT_EQ(info.id, 12u);
    EXPECT_EQ(info.subMenu, 0u);
    ASSERT_TRUE(getMenuItemInfo(menu, 0, info));
    EXPECT_EQ(info.flags, 0u);  // the position flag is not kept
    ASSERT_TRUE(getMenuItemInfo(menu, 3, info));
    EXPECT_EQ(info.flags, kMenuSeparator);

    ASSERT_TRUE(modifyMenuItem(menu, 2, kMenuByPosition | kMenuDisabled, 10, u"\u00D6ffnen"));
    ASSERT_TRUE(getMenuItemInfo(menu, 2, info));
    EXPECT_EQ(info.text, u"\u00D6ffnen");
    EXPECT_EQ(info.flags, kMenuDisabled);
    EXPECT_EQ(info.id, 10u);

    ASSERT_TRUE(removeMenuItem(menu, 0));
    EXPECT_EQ(describe(menu), u"Recent|\u00D6ffnen||Exit|");
    destroyMenu(menu);
}

TEST(WindowModelMenu, PopupsKeepTheirSubmenuThroughRemoval)
{
    const MenuHandle bar = createMenu();
    const MenuHandle file = createMenu();
    ASSERT_TRUE(appendMenuItem(file, kMenuString, 1, u"Save"));
    ASSERT_TRUE(appendMenuItem(bar, kMenuPopup, file, u"File"));
    MenuItemInfo info;
    ASSERT_TRUE(getMenuItemInfo(bar, 0, info));
    EXPECT_EQ(info.flags, kMenuPopup);
    EXPECT_EQ(info.subMenu, file);
    EXPECT_EQ(info.id, 0xFFFFFFFFu);

    // Replacing a popup: remove, then insert with the same submenu.
    ASSERT_TRUE(removeMenuItem(bar, 0));
    ASSERT_TRUE(getMenuItemInfo(file, 0, info));
    ASSERT_TRUE(insertMenuItem(bar, 0, kMenuByPosition | kMenuPopup, file, u"Datei"));
    ASSERT_TRUE(getMenuItemInfo(bar, 0, info));
    EXPECT_EQ(info.text, u"Datei");
    EXPECT_EQ(info.subMenu, file);

    // Destroying the bar takes its submenus with it.
    ASSERT_TRUE(destroyMenu(bar));
    EXPECT_EQ(errorOf([&] { return getMenuItemInfo(file, 0, info); }), kErrorInvalidMenuHandle);
}

TEST(WindowModelMenu, ErrorsTellABadMenuFromABadPosition)
{
    const MenuHandle empty = createMenu();
    MenuItemInfo info;
    EXPECT_EQ(errorOf([&] { return getMenuItemInfo(empty, 0, info); }), kErrorMenuItemNotFound);
    EXPECT_EQ(errorOf([&] { return getMenuItemInfo(empty, -1, info); }), kErrorMenuItemNotFound);
    EXPECT_EQ(errorOf([&] { return modifyMenuItem(empty, 0, 0, 1, u"x"); }), kErrorMenuItemNotFound);
    EXPECT_EQ(errorOf([&] { return removeMenuItem(empty, 0); }), kErrorMenuItemNotFound);

    const WindowHandle window = createWindow(u"Dialog", u"", 0);
    for (MenuHandle bad : {MenuHandle{0}, MenuHandle{window}, MenuHandle{0xFFFFFF}}) {
        EXPECT_EQ(errorOf([&] { return getMenuItemInfo(bad, 0, info); }), kErrorInvalidMenuHandle);
        EXPECT_EQ(errorOf([&] { return appendMenuItem(bad, 0, 1, u"x"); }), kErrorInvalidMenuHandle);
        EXPECT_EQ(errorOf([&] { return appendMenuItem(empty, kMenuPopup, bad, u"x"); }), kErrorInvalidMenuHandle);
    }
    destroyWindow(window);

    // A menu may not become its own popup, directly or through another.
    const MenuHandle inner = createMenu();
    ASSERT_TRUE(appendMenuItem(empty, kMenuPopup, inner, u"Inner"));
    EXPECT_EQ(errorOf([&] { return appendMenuItem(empty, kMenuPopup, empty, u"Self"); }), kErrorInvalidParameter);
    EXPECT_EQ(errorOf([&] { return appendMenuItem(inner, kMenuPopup, empty, u"Loop"); }), kErrorInvalidParameter);
    EXPECT_EQ(describe(empty), u"Inner|");
    EXPECT_TRUE(destroyMenu(empty));
    EXPECT_FALSE(destroyMenu(inner));
}

}  // namespace
}  // namespace druvex
