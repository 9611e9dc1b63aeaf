#include "core/window_translate.h"

#include <array>
#include <string_view>

#include "core/menu_items.h"
#include "text/diag.h"
#include "core/translate_text.h"

namespace druvex {
namespace {

// Class names are read up to this many units.
constexpr int kClassNameUnits = 30;
// Menu texts are read into a buffer of this many units, the terminator included.
constexpr int kMenuTextUnits = 256;

// An item's state that a replacement must carry over.
constexpr std::uint32_t kMenuKeptState = kMenuGrayed | kMenuDisabled | kMenuChecked;

// Static styles that show a picture instead of a text.
constexpr std::uint32_t kStaticIcon = 0x3;
constexpr std::uint32_t kStaticBitmap = 0xE;

bool classIs(const char16_t* className, const char16_t* name)
{
    return compareNoCase(className, name) == 0;
}

}  // namespace

SharedString getWindowTextShared(WindowHandle window)
{
    SharedString text;
    getWindowTextShared(window, text);
    return text;
}

void getWindowTextShared(WindowHandle window, SharedString& text)
{
    const int length = getWindowTextLength(window);
    if (length <= 0) {
        text.clear();
        return;
    }
    char16_t* buffer = text.allocBeforeWrite(length);
    // The text may have become shorter meanwhile; keep what was copied.
    const int copied = getWindowText(window, buffer, length + 1);
    text.releaseBuffer(copied);
}

void translateWindowText(WindowHandle window)
{
    const SharedString text = getWindowTextShared(window);
    const SharedString translated = translateTextW(text.view());
    if (translated != text)
        setWindowText(window, translated.view());
}

bool isTranslatableWindow(WindowHandle window)
{
    std::array<char16_t, kClassNameUnits + 1> className{};
    getClassName(window, className.data(), static_cast<int>(className.size()));
    const char16_t* name = className.data();
    if (classIs(name, u"button"))
        return getWindowTextLength(window) > 0;
    for (const char16_t* userText : {u"combobox", u"edit", u"listbox", u"richedit", u"richedit20a", u"richedit20w"})
        if (classIs(name, userText))
            return false;
    if (classIs(name, u"static")) {
        const std::uint32_t style = getWindowStyle(window);
        return (style & kStaticIcon) != kStaticIcon && (style & kStaticBitmap) != kStaticBitmap;
    }
    return true;
}

int translateWindow(WindowHandle window)
{
    if (window == 0) {
        DRUVEX_DBGCHK("xlateWnd");
        return -1;
    }
    translateWindowText(window);
    int count = 0;
    for (WindowHandle child = getFirstChild(window); child != 0; child = getNextSibling(child)) {
        ++count;
        if (!isTranslatableWindow(child))
            continue;
        const SharedString translated = translateTextW(getWindowTextShared(child).view());
        setWindowText(child, translated.view());
    }
    return count;
}

void translateMenu(MenuHandle menu)
{
    if (menu == 0) {
        DRUVEX_DBGCHK("xlateWnd");
        return;
    }
    const int count = getMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        MenuItemInfo item;
        if (!getMenuItemInfo(menu, position, item))
            continue;
        const std::uint32_t state = item.flags;
        if ((state & (kMenuSeparator | kMenuBarBreak | kMenuBreak)) != 0)
            continue;
        std::array<char16_t, kMenuTextUnits> buffer{};
        const int length = getMenuItemText(menu, position, buffer.data(), kMenuTextUnits);
        const std::u16string_view text(buffer.data(), static_cast<std::size_t>(length));
        const bool popup = (state & kMenuPopup) != 0;
        if (length > 0) {
            const SharedString translated = translateTextW(text);
            if (translated.view() != text) {
                const std::uint32_t flags = kMenuByPosition | (state & kMenuKeptState) | (popup ? kMenuPopup : 0);
                replaceMenuItem(menu, position, flags, popup ? item.subMenu : item.id, translated.view());
            }
        }
        // A popup whose title stays (no translation, or the same word) still
        // holds items that need translating.
        if (popup && item.subMenu != 0)
            translateMenu(item.subMenu);
    }
}

}  // namespace druvex
