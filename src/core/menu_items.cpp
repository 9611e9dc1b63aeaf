#include "core/menu_items.h"

#include <algorithm>

#include "platform/win_error.h"

namespace druvex {

bool isMenuHandle(MenuHandle menu)
{
    MenuItemInfo info;
    if (getMenuItemInfo(menu, 0, info))
        return true;
    return getLastError() != kErrorInvalidMenuHandle;
}

int getMenuItemCount(MenuHandle menu)
{
    if (!isMenuHandle(menu)) {
        setLastError(kErrorInvalidHandle);
        return -1;
    }
    MenuItemInfo info;
    int count = 0;
    while (getMenuItemInfo(menu, count, info))
        ++count;
    return count;
}

int getMenuItemId(MenuHandle menu, int position)
{
    MenuItemInfo info;
    if (!getMenuItemInfo(menu, position, info))
        return -1;
    return static_cast<int>(info.id);
}

int getMenuItemText(MenuHandle menu, int position, char16_t* buffer, int size)
{
    if (buffer == nullptr || size < 1)
        return 0;
    buffer[0] = 0;
    MenuItemInfo info;
    if (!getMenuItemInfo(menu, position, info) || (info.flags & kMenuSeparator) != 0)
        return 0;
    const int count = std::min(info.text.length(), size - 1);
    std::copy_n(info.text.c_str(), count, buffer);
    buffer[count] = 0;
    return count;
}

std::uint32_t getMenuItemState(MenuHandle menu, int position)
{
    MenuItemInfo info;
    if (!getMenuItemInfo(menu, position, info))
        return 0;
    return info.flags;
}

bool replaceMenuItem(MenuHandle menu, int position, std::uint32_t flags, std::uint32_t idOrPopup,
                     std::u16string_view text)
{
    // One step rather than a delete and an insert: a refused new item (a bad
    // submenu) must not cost the menu its old one.
    return modifyMenuItem(menu, position, flags | kMenuByPosition, idOrPopup, text);
}

}  // namespace druvex
