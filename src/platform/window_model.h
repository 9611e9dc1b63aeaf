// The headless window and menu model that stands in for the device's windowing
// where code inspects or changes windows without showing them (window-text
// translation, menus by position, path compaction): windows with a class name,
// style, text, client width and a chain of children, and menus whose items are
// addressed by position. Nothing is drawn. Text is measured with a fixed-width
// font of kTextPixelsPerChar pixels per UTF-16 unit.
//
// Windows and menus share one handle space (handles are never reused, 0 is
// none), so a window handle is never mistaken for a menu. Failures set the
// calling thread's last error (win_error.h) as the device's calls do. One lock
// guards the model; any thread may call.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

using WindowHandle = std::uint32_t;
using MenuHandle = std::uint32_t;

// The device's window and menu errors.
constexpr std::uint32_t kErrorInvalidWindowHandle = 1400;
constexpr std::uint32_t kErrorInvalidMenuHandle = 1401;
constexpr std::uint32_t kErrorMenuItemNotFound = 1456;

// Width of every character of the model's one font.
constexpr int kTextPixelsPerChar = 8;

// ---- Windows

// A window of `className` with `text` and `style`, the last child of `parent`
// (0: a top-level window). 0 when the parent is not a window.
WindowHandle createWindow(std::u16string_view className, std::u16string_view text, std::uint32_t style,
                          WindowHandle parent = 0, int clientWidth = 0);
// Destroys the window and its children.
bool destroyWindow(WindowHandle window);
bool isWindow(WindowHandle window);

// The window a person works with now: the one set last while it still
// exists (the wizard sets its window when it shows it); 0 when none. Boxes
// that scripts show belong to it.
bool setForegroundWindow(WindowHandle window);
WindowHandle getForegroundWindow();

// The text's length in units; 0 (and the last error) for an invalid window.
int getWindowTextLength(WindowHandle window);
// Copies at most size - 1 units of the text and a terminating zero; returns the
// units copied, 0 for an invalid window or size < 1.
int getWindowText(WindowHandle window, char16_t* buffer, int size);
// The set-text message: stores the text and counts the message, also when the
// text does not change.
bool setWindowText(WindowHandle window, std::u16string_view text);
// How many set-text messages the window received since it was created; -1 for
// an invalid window. Lets tests tell an unchanged text from one never set.
int getWindowSetTextCount(WindowHandle window);

// Copies at most size - 1 units of the class name and a zero; returns the
// units copied, 0 on failure.
int getClassName(WindowHandle window, char16_t* buffer, int size);
// The style word; 0 for an invalid window.
std::uint32_t getWindowStyle(WindowHandle window);

// The child chain in creation order; 0 at its end, for no parent and for an
// invalid window (the last error tells the two apart). Top-level windows form
// one chain of their own.
WindowHandle getParentWindow(WindowHandle window);
WindowHandle getFirstChild(WindowHandle window);
WindowHandle getNextSibling(WindowHandle window);

// The client area's width in pixels; 0 for an invalid window.
int getClientWidth(WindowHandle window);
bool setClientWidth(WindowHandle window, int width);

// The width in pixels of `text` in the window's font: kTextPixelsPerChar per
// UTF-16 unit. -1 for an invalid window.
int getTextExtent(WindowHandle window, std::u16string_view text);

// ---- Menus

// Item flags, as the device numbers them. kMenuByPosition is accepted and
// ignored: the model addresses items by position only.
constexpr std::uint32_t kMenuString = 0x0;
constexpr std::uint32_t kMenuGrayed = 0x1;
constexpr std::uint32_t kMenuDisabled = 0x2;
constexpr std::uint32_t kMenuChecked = 0x8;
constexpr std::uint32_t kMenuPopup = 0x10;
constexpr std::uint32_t kMenuBarBreak = 0x20;
constexpr std::uint32_t kMenuBreak = 0x40;
constexpr std::uint32_t kMenuByPosition = 0x400;
constexpr std::uint32_t kMenuSeparator = 0x800;

// One item as the model holds it.
struct MenuItemInfo {
    std::uint32_t flags = 0;     // the item's flags without kMenuByPosition
    std::uint32_t id = 0;        // command id; 0xFFFFFFFF for a popup, as the device reports it
    MenuHandle subMenu = 0;      // the popup's menu, else 0
    SharedString text;           // empty for a separator
};

MenuHandle createMenu();
// Destroys the menu and, recursively, the menus of its popups.
bool destroyMenu(MenuHandle menu);

// Inserts an item before `position` (-1 or a position past the end appends).
// `idOrPopup` is the command id, or with kMenuPopup the submenu's handle. Fails
// with kErrorInvalidMenuHandle for a bad menu or submenu, and with
// kErrorInvalidParameter for a popup that would contain its own menu.
bool insertMenuItem(MenuHandle menu, int position, std::uint32_t flags, std::uint32_t idOrPopup,
                    std::u16string_view text);
bool appendMenuItem(MenuHandle menu, std::uint32_t flags, std::uint32_t idOrPopup, std::u16string_view text);
// Replaces the item at `position` with these flags, id or popup and text. A
// popup's previous submenu is detached, never destroyed.
bool modifyMenuItem(MenuHandle menu, int position, std::uint32_t flags, std::uint32_t idOrPopup,
                    std::u16string_view text);
// Removes the item at `position`; a popup's submenu is detached, never destroyed.
bool removeMenuItem(MenuHandle menu, int position);
// The item at `position`. Fails with kErrorInvalidMenuHandle when `menu` is no
// menu and with kErrorMenuItemNotFound for a position outside the items.
bool getMenuItemInfo(MenuHandle menu, int position, MenuItemInfo& info);

}  // namespace druvex
