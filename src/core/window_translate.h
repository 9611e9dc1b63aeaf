// Translating what a window shows in place: a dialog's own text and its
// controls' texts, and a menu with all its popups, each text looked up in the
// current translation table.
#pragma once

#include "text/shared_string.h"
#include "platform/window_model.h"

namespace druvex {

// The window's whole text; empty for an invalid window.
SharedString getWindowTextShared(WindowHandle window);
void getWindowTextShared(WindowHandle window, SharedString& text);

// Translates the window's own text; sets it only when the translation differs.
void translateWindowText(WindowHandle window);

// Whether a control's text is a label to translate, by its class (ignoring
// case): a "button" only when it has text; never "combobox", "edit",
// "listbox", "richedit", "richedit20a" or "richedit20w" (their text is the
// user's); a "static" unless it shows an icon or a bitmap; any other class.
bool isTranslatableWindow(WindowHandle window);

// translateWindowText, then every direct child that isTranslatableWindow gets
// its translated text (set also when unchanged); grandchildren are not
// visited. Returns the number of direct children; a null window is reported
// and gives -1.
int translateWindow(WindowHandle window);

// Translates every item of `menu` and, recursively, of its popups. Separators
// and menu breaks are passed over; an item is replaced only when its text
// translates to another text, keeping its command id or submenu and its
// grayed, disabled and checked state. A popup's submenu is translated also
// when the popup's own title stays. A null menu is reported.
void translateMenu(MenuHandle menu);

}  // namespace druvex
