#include "platform/window_model.h"

#include <algorithm>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

struct Window {
    std::u16string className;
    std::u16string text;
    std::uint32_t style = 0;
    WindowHandle parent = 0;
    std::vector<WindowHandle> children;  // creation order
    int clientWidth = 0;
    int setTextCount = 0;
};

struct MenuItem {
    std::uint32_t flags = 0;
    std::uint32_t id = 0;
    MenuHandle subMenu = 0;
    std::u16string text;
};

struct Menu {
    std::vector<MenuItem> items;
};

class Model {
public:
    Mutex mutex;
    std::unordered_map<WindowHandle, Window> windows GUARDED_BY(mutex);
    std::unordered_map<MenuHandle, Menu> menus GUARDED_BY(mutex);
    std::vector<WindowHandle> topLevel GUARDED_BY(mutex);  // the chain of windows without a parent
    WindowHandle foreground GUARDED_BY(mutex) = 0;

    std::uint32_t newHandle() REQUIRES(mutex) { return nextHandle_++; }

    // The window, or null with the last error set.
    Window* window(WindowHandle handle) REQUIRES(mutex)
    {
        const auto found = windows.find(handle);
        if (found != windows.end())
            return &found->second;
        setLastError(kErrorInvalidWindowHandle);
        return nullptr;
    }

    Menu* menu(MenuHandle handle) REQUIRES(mutex)
    {
        const auto found = menus.find(handle);
        if (found != menus.end())
            return &found->second;
        setLastError(kErrorInvalidMenuHandle);
        return nullptr;
    }

    std::vector<WindowHandle>& siblingsOf(const Window& window) REQUIRES(mutex)
    {
        return window.parent == 0 ? topLevel : windows.at(window.parent).children;
    }

    void destroyTree(WindowHandle handle) REQUIRES(mutex)
    {
        const auto found = windows.find(handle);
        if (found == windows.end())
            return;
        const std::vector<WindowHandle> children = std::move(found->second.children);
        windows.erase(found);
        for (WindowHandle child : children)
            destroyTree(child);
    }

    // Whether `inner` is `outer` or lies below it through popups.
    bool menuContains(MenuHandle outer, MenuHandle inner, std::unordered_set<MenuHandle>& seen) REQUIRES(mutex)
    {
        if (outer == inner)
            return true;
        if (!seen.insert(outer).second)
            return false;
        const auto found = menus.find(outer);
        if (found == menus.end())
            return false;
        for (const MenuItem& item : found->second.items)
            if (item.subMenu != 0 && menuContains(item.subMenu, inner, seen))
                return true;
        return false;
    }

    // Builds the item for insert and modify; false (last error set) when the
    // popup is no menu or would contain `owner`.
    bool makeItem(MenuHandle owner, std::uint32_t flags, std::uint32_t idOrPopup, std::u16string_view text,
                  MenuItem& item) REQUIRES(mutex)
    {
        item.flags = flags & ~kMenuByPosition;
        item.id = idOrPopup;
        item.subMenu = 0;
        item.text.assign(text);
        if ((item.flags & kMenuSeparator) != 0)
            item.text.clear();
        if ((item.flags & kMenuPopup) == 0)
            return true;
        if (menus.find(idOrPopup) == menus.end()) {
            setLastError(kErrorInvalidMenuHandle);
            return false;
        }
        std::unordered_set<MenuHandle> seen;
        if (menuContains(idOrPopup, owner, seen)) {
            setLastError(kErrorInvalidParameter);
            return false;
        }
        item.id = 0xFFFFFFFF;
        item.subMenu = idOrPopup;
        return true;
    }

private:
    std::uint32_t nextHandle_ GUARDED_BY(mutex) = 0x100;
};

// Never destroyed: windows may be asked about while the program exits.
Model& model()
{
    static Model* instance = new Model;
    return *instance;
}

int copyOut(const std::u16string& text, char16_t* buffer, int size)
{
    if (buffer == nullptr || size < 1)
        return 0;
    const int count = std::min(static_cast<int>(text.size()), size - 1);
    std::copy_n(text.data(), count, buffer);
    buffer[count] = 0;
    return count;
}

}  // namespace

WindowHandle createWindow(std::u16string_view className, std::u16string_view text, std::uint32_t style,
                          WindowHandle parent, int clientWidth)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    if (parent != 0 && m.window(parent) == nullptr)
        return 0;
    const WindowHandle handle = m.newHandle();
    Window& window = m.windows[handle];
    window.className.assign(className);
    window.text.assign(text);
    window.style = style;
    window.parent = parent;
    window.clientWidth = clientWidth;
    m.siblingsOf(window).push_back(handle);
    return handle;
}

bool destroyWindow(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    if (window == nullptr)
        return false;
    std::vector<WindowHandle>& siblings = m.siblingsOf(*window);
    siblings.erase(std::find(siblings.begin(), siblings.end(), handle));
    m.destroyTree(handle);
    return true;
}

bool isWindow(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    return m.windows.contains(handle);
}

bool setForegroundWindow(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    if (m.window(handle) == nullptr)
        return false;
    m.foreground = handle;
    return true;
}

WindowHandle getForegroundWindow()
{
    Model& m = model();
    MutexLock lock(m.mutex);
    return m.windows.contains(m.foreground) ? m.foreground : 0;
}

int getWindowTextLength(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? static_cast<int>(window->text.size()) : 0;
}

int getWindowText(WindowHandle handle, char16_t* buffer, int size)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? copyOut(window->text, buffer, size) : 0;
}

bool setWindowText(WindowHandle handle, std::u16string_view text)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    Window* window = m.window(handle);
    if (window == nullptr)
        return false;
    window->text.assign(text);
    ++window->setTextCount;
    return true;
}

int getWindowSetTextCount(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? window->setTextCount : -1;
}

int getClassName(WindowHandle handle, char16_t* buffer, int size)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? copyOut(window->className, buffer, size) : 0;
}

std::uint32_t getWindowStyle(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? window->style : 0;
}

WindowHandle getParentWindow(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? window->parent : 0;
}

WindowHandle getFirstChild(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    if (window == nullptr || window->children.empty())
        return 0;
    return window->children.front();
}

WindowHandle getNextSibling(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    if (window == nullptr)
        return 0;
    const std::vector<WindowHandle>& siblings = m.siblingsOf(*window);
    const auto next = std::find(siblings.begin(), siblings.end(), handle) + 1;
    return next == siblings.end() ? 0 : *next;
}

int getClientWidth(WindowHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Window* window = m.window(handle);
    return window ? window->clientWidth : 0;
}

bool setClientWidth(WindowHandle handle, int width)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    Window* window = m.window(handle);
    if (window == nullptr)
        return false;
    window->clientWidth = width;
    return true;
}

int getTextExtent(WindowHandle handle, std::u16string_view text)
{
    if (!isWindow(handle)) {
        setLastError(kErrorInvalidWindowHandle);
        return -1;
    }
    return static_cast<int>(text.size()) * kTextPixelsPerChar;
}

MenuHandle createMenu()
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const MenuHandle handle = m.newHandle();
    m.menus.emplace(handle, Menu{});
    return handle;
}

bool destroyMenu(MenuHandle handle)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    if (m.menu(handle) == nullptr)
        return false;
    // A submenu may hang under several popups; each menu goes once.
    std::vector<MenuHandle> pending{handle};
    while (!pending.empty()) {
        const MenuHandle next = pending.back();
        pending.pop_back();
        const auto found = m.menus.find(next);
        if (found == m.menus.end())
            continue;
        for (const MenuItem& item : found->second.items)
            if (item.subMenu != 0)
                pending.push_back(item.subMenu);
        m.menus.erase(found);
    }
    return true;
}

bool insertMenuItem(MenuHandle handle, int position, std::uint32_t flags, std::uint32_t idOrPopup,
                    std::u16string_view text)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    Menu* menu = m.menu(handle);
    MenuItem item;
    if (menu == nullptr || !m.makeItem(handle, flags, idOrPopup, text, item))
        return false;
    const std::size_t at = position < 0 ? menu->items.size()
                                        : std::min(static_cast<std::size_t>(position), menu->items.size());
    menu->items.insert(menu->items.begin() + static_cast<std::ptrdiff_t>(at), std::move(item));
    return true;
}

bool appendMenuItem(MenuHandle menu, std::uint32_t flags, std::uint32_t idOrPopup, std::u16string_view text)
{
    return insertMenuItem(menu, -1, flags, idOrPopup, text);
}

bool modifyMenuItem(MenuHandle handle, int position, std::uint32_t flags, std::uint32_t idOrPopup,
                    std::u16string_view text)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    Menu* menu = m.menu(handle);
    if (menu == nullptr)
        return false;
    if (position < 0 || static_cast<std::size_t>(position) >= menu->items.size()) {
        setLastError(kErrorMenuItemNotFound);
        return false;
    }
    MenuItem item;
    if (!m.makeItem(handle, flags, idOrPopup, text, item))
        return false;
    menu->items[static_cast<std::size_t>(position)] = std::move(item);
    return true;
}

bool removeMenuItem(MenuHandle handle, int position)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    Menu* menu = m.menu(handle);
    if (menu == nullptr)
        return false;
    if (position < 0 || static_cast<std::size_t>(position) >= menu->items.size()) {
        setLastError(kErrorMenuItemNotFound);
        return false;
    }
    menu->items.erase(menu->items.begin() + position);
    return true;
}

bool getMenuItemInfo(MenuHandle handle, int position, MenuItemInfo& info)
{
    Model& m = model();
    MutexLock lock(m.mutex);
    const Menu* menu = m.menu(handle);
    if (menu == nullptr)
        return false;
    if (position < 0 || static_cast<std::size_t>(position) >= menu->items.size()) {
        setLastError(kErrorMenuItemNotFound);
        return false;
    }
    const MenuItem& item = menu->items[static_cast<std::size_t>(position)];
    info.flags = item.flags;
    info.id = item.id;
    info.subMenu = item.subMenu;
    info.text = SharedString(std::u16string_view(item.text));
    return true;
}

}  // namespace druvex
