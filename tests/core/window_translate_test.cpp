#include "core/window_translate.h"

#include <gtest/gtest.h>

#include <string>

#include "core/menu_items.h"
#include "core/translate_text.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

// A German table over the model's windows and menus.
class TranslatedUiTest : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().writeFile("de.xlt", test::utf16leFromUtf8("[Setup][Einrichtung][Save][Speichern][File][Datei]"
                                                           "[Open][\xC3\x96" "ffnen][Options][Optionen]"
                                                           "[Exit][Beenden][Same][Same]"));
        ASSERT_TRUE(selectTranslationFile(u"\\de.xlt"));
    }
    void TearDown() override
    {
        clearTranslationTable();
        DeviceFixture::TearDown();
    }

    static SharedString text(WindowHandle window) { return getWindowTextShared(window); }
};

using XlateWindow = TranslatedUiTest;

TEST_F(XlateWindow, TranslatesTheDialogAndItsLabelsButNotUserTexts)
{
    const WindowHandle dialog = createWindow(u"Dialog", u"Setup", 0);
    struct Child {
        const char16_t* className;
        const char16_t* text;
        std::uint32_t style;
        const char16_t* expected;
        int setTexts;
    };
    const Child children[] = {
        {u"BUTTON", u"Save", 0, u"Speichern", 1},
        {u"button", u"", 0, u"", 0},  // an owner-drawn button without text
        {u"Edit", u"Save", 0, u"Save", 0},
        {u"ComboBox", u"Save", 0, u"Save", 0},
        {u"listbox", u"Save", 0, u"Save", 0},
        {u"RichEdit", u"Save", 0, u"Save", 0},
        {u"RICHEDIT20A", u"Save", 0, u"Save", 0},
        {u"richedit20w", u"Save", 0, u"Save", 0},
        {u"static", u"Save", 0x0, u"Speichern", 1},
        {u"static", u"Save", 0x1, u"Speichern", 1},  // centred text
        {u"static", u"Save", 0x3, u"Save", 0},       // icon
        {u"Static", u"Save", 0xE, u"Save", 0},       // bitmap
        {u"static", u"Save", 0xB, u"Save", 0},       // the icon mask also takes 0xB
        {u"static", u"Unknown", 0, u"Unknown", 1},   // set even when unchanged
        {u"SysTreeView32", u"Open", 0, u"\u00D6ffnen", 1},
    };
    std::vector<WindowHandle> handles;
    for (const Child& c : children)
        handles.push_back(createWindow(c.className, c.text, c.style, dialog));
    const WindowHandle grandchild = createWindow(u"static", u"Save", 0, handles[0]);

    EXPECT_EQ(translateWindow(dialog), static_cast<int>(std::size(children)));
    EXPECT_EQ(text(dialog), u"Einrichtung");
    for (std::size_t i = 0; i < handles.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(text(handles[i]), children[i].expected);
        EXPECT_EQ(getWindowSetTextCount(handles[i]), children[i].setTexts);
    }
    EXPECT_EQ(text(grandchild), u"Save");
    destroyWindow(dialog);
}

TEST_F(XlateWindow, OwnTextIsSetOnlyWhenItChanges)
{
    const WindowHandle same = createWindow(u"Dialog", u"Same", 0);
    const WindowHandle unknown = createWindow(u"Dialog", u"Unknown@@title", 0);
    const WindowHandle empty = createWindow(u"Dialog", u"", 0);
    translateWindowText(same);
    translateWindowText(unknown);
    translateWindowText(empty);
    EXPECT_EQ(getWindowSetTextCount(same), 0);
    // The context never reaches the screen, so a cut key is a change.
    EXPECT_EQ(text(unknown), u"Unknown");
    EXPECT_EQ(getWindowSetTextCount(unknown), 1);
    EXPECT_EQ(getWindowSetTextCount(empty), 0);
    EXPECT_EQ(translateWindow(same), 0);
    for (WindowHandle window : {same, unknown, empty})
        destroyWindow(window);
}

TEST_F(XlateWindow, NullWindowAndMenuAreReported)
{
    test::DiagCapture capture;
    EXPECT_EQ(translateWindow(0), -1);
    translateMenu(0);
    EXPECT_EQ(capture.dbgChkCount(), 2);
    EXPECT_TRUE(capture.contains(u"xlateWnd"));
}

// ---- Menus

using MenuTranslate = TranslatedUiTest;

TEST_F(MenuTranslate, TranslatesItemsAndEveryPopupKeepingState)
{
    const MenuHandle file = createMenu();
    appendMenuItem(file, kMenuString | kMenuGrayed, 101, u"Save");
    appendMenuItem(file, kMenuSeparator, 0, u"");
    appendMenuItem(file, kMenuString | kMenuDisabled, 102, u"Exit");
    const MenuHandle deeper = createMenu();
    appendMenuItem(deeper, kMenuString | kMenuChecked, 301, u"Options");
    // "Same" translates to itself: its submenu must still be translated.
    const MenuHandle extras = createMenu();
    appendMenuItem(extras, kMenuString | kMenuChecked, 201, u"Options");
    appendMenuItem(extras, kMenuPopup, deeper, u"Same");
    const MenuHandle bar = createMenu();
    appendMenuItem(bar, kMenuPopup, file, u"File");
    appendMenuItem(bar, kMenuPopup, extras, u"Extras");  // no translation at all
    appendMenuItem(bar, kMenuString | kMenuBreak, 401, u"Save");
    appendMenuItem(bar, kMenuString | kMenuBarBreak, 402, u"Open");
    appendMenuItem(bar, kMenuString | kMenuChecked, 403, u"Open");

    translateMenu(bar);

    struct Expected {
        MenuHandle menu;
        int position;
        const char16_t* text;
        std::uint32_t state;
        int id;
    };
    const Expected expected[] = {
        {bar, 0, u"Datei", kMenuPopup, -1},
        {bar, 1, u"Extras", kMenuPopup, -1},
        {bar, 2, u"Save", kMenuBreak, 401},  // menu breaks are passed over
        {bar, 3, u"Open", kMenuBarBreak, 402},
        {bar, 4, u"\u00D6ffnen", kMenuChecked, 403},
        {file, 0, u"Speichern", kMenuGrayed, 101},
        {file, 1, u"", kMenuSeparator, 0},
        {file, 2, u"Beenden", kMenuDisabled, 102},
        {extras, 0, u"Optionen", kMenuChecked, 201},
        {extras, 1, u"Same", kMenuPopup, -1},
        {deeper, 0, u"Optionen", kMenuChecked, 301},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(testing::Message() << "menu " << e.menu << " position " << e.position);
        char16_t buffer[64];
        getMenuItemText(e.menu, e.position, buffer, 64);
        EXPECT_EQ(SharedString(buffer), e.text);
        EXPECT_EQ(getMenuItemState(e.menu, e.position), e.state);
        EXPECT_EQ(getMenuItemId(e.menu, e.position), e.id);
    }
    // The popups keep their submenus.
    MenuItemInfo info;
    ASSERT_TRUE(getMenuItemInfo(bar, 0, info));
    EXPECT_EQ(info.subMenu, file);
    ASSERT_TRUE(getMenuItemInfo(extras, 1, info));
    EXPECT_EQ(info.subMenu, deeper);
    destroyMenu(bar);
}

TEST(MenuItems, HandlesAndCounts)
{
    const MenuHandle empty = createMenu();
    EXPECT_TRUE(isMenuHandle(empty));
    EXPECT_EQ(getMenuItemCount(empty), 0);

    const MenuHandle menu = createMenu();
    appendMenuItem(menu, kMenuString, 7, u"One");
    appendMenuItem(menu, kMenuSeparator, 0, u"");
    appendMenuItem(menu, kMenuPopup, empty, u"More");
    EXPECT_EQ(getMenuItemCount(menu), 3);

    const WindowHandle window = createWindow(u"Dialog", u"", 0);
    for (const std::uint32_t notAMenu : {0u, window, 0xFFFFFFu}) {
        SCOPED_TRACE(notAMenu);
        EXPECT_FALSE(isMenuHandle(notAMenu));
        setLastError(0);
        EXPECT_EQ(getMenuItemCount(notAMenu), -1);
        EXPECT_EQ(getLastError(), kErrorInvalidHandle);
        EXPECT_EQ(getMenuItemId(notAMenu, 0), -1);
        EXPECT_EQ(getMenuItemState(notAMenu, 0), 0u);
    }
    destroyWindow(window);

    EXPECT_EQ(getMenuItemId(menu, 0), 7);
    EXPECT_EQ(getMenuItemId(menu, 2), -1);  // a popup has no command id
    EXPECT_EQ(getMenuItemId(menu, 3), -1);
    EXPECT_EQ(getMenuItemState(menu, 2), kMenuPopup);
    EXPECT_EQ(getMenuItemState(menu, 3), 0u);

    char16_t buffer[3] = {u'x', u'x', u'x'};
    EXPECT_EQ(getMenuItemText(menu, 2, buffer, 3), 2);  // cut to the buffer
    EXPECT_EQ(SharedString(buffer), u"Mo");
    EXPECT_EQ(getMenuItemText(menu, 1, buffer, 3), 0);  // a separator has no text
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(getMenuItemText(menu, 3, buffer, 3), 0);
    destroyMenu(menu);
}

TEST(MenuItems, ReplaceKeepsThePositionAndARefusedItemKeepsTheOld)
{
    const MenuHandle sub = createMenu();
    const MenuHandle menu = createMenu();
    appendMenuItem(menu, kMenuString, 1, u"A");
    appendMenuItem(menu, kMenuString | kMenuChecked, 2, u"B");
    appendMenuItem(menu, kMenuString, 3, u"C");

    EXPECT_TRUE(replaceMenuItem(menu, 1, kMenuByPosition | kMenuPopup, sub, u"Sub"));
    EXPECT_EQ(getMenuItemCount(menu), 3);
    EXPECT_EQ(getMenuItemState(menu, 1), kMenuPopup);
    EXPECT_EQ(getMenuItemId(menu, 2), 3);

    // A submenu that is no menu is refused, and the item it was to replace stays.
    EXPECT_FALSE(replaceMenuItem(menu, 0, kMenuByPosition | kMenuPopup, 0xFFFFFF, u"Bad"));
    EXPECT_EQ(getMenuItemCount(menu), 3);
    EXPECT_EQ(getMenuItemId(menu, 0), 1);
    EXPECT_FALSE(replaceMenuItem(menu, 3, kMenuByPosition, 9, u"Past the end"));
    EXPECT_EQ(getMenuItemCount(menu), 3);
    destroyMenu(menu);
}

}  // namespace
}  // namespace druvex
