// Menu items addressed by position, over the platform's menus: the calls that
// menu translation and the UI toolkit's menus are written against.
#pragma once

#include <cstdint>

#include "platform/window_model.h"

namespace druvex {

// False only when asking for item 0 fails because `menu` is no menu; an empty
// menu is a menu.
bool isMenuHandle(MenuHandle menu);
// How many items answer, asked for by position from 0. Not a menu: -1 with
// the last error set to kErrorInvalidHandle.
int getMenuItemCount(MenuHandle menu);
// The item's command id; -1 for a popup and on failure.
int getMenuItemId(MenuHandle menu, int position);
// Copies at most size - 1 units of the item's text and a zero into `buffer`;
// returns the units copied, 0 on failure or for an item without text (a
// separator).
int getMenuItemText(MenuHandle menu, int position, char16_t* buffer, int size);
// The item's flags (kMenuGrayed, kMenuChecked, kMenuPopup, ...); 0 on failure.
std::uint32_t getMenuItemState(MenuHandle menu, int position);
// Replaces the item at `position` with a new one of these flags, command id
// (or, with kMenuPopup, submenu) and text. A popup's old submenu is detached,
// never destroyed. On failure the old item stays as it was.
bool replaceMenuItem(MenuHandle menu, int position, std::uint32_t flags, std::uint32_t idOrPopup,
                     std::u16string_view text);

}  // namespace druvex
