#include "core/split_path.h"

#include <string>

namespace druvex {

SharedString makePath(const char16_t* drive, const char16_t* folder, const char16_t* name,
                      const char16_t* extension)
{
    std::u16string path;
    if (drive)
        path += drive;
    if (folder) {
        if (!path.empty())
            path += u'\\';
        path += folder;
    }
    if (name) {
        if (!path.empty())
            path += u'\\';
        path += name;
    }
    if (extension && *extension) {
        if (*extension != u'.')
            path += u'.';
        path += extension;
    }
    // One pass that turns '/' into '\' and keeps one of every run of
    // backslashes is what repeated halving of "\\" would end in.
    std::u16string result;
    result.reserve(path.size());
    for (char16_t unit : path) {
        if (unit == u'/')
            unit = u'\\';
        if (unit == u'\\' && !result.empty() && result.back() == u'\\')
            continue;
        result.push_back(unit);
    }
    return SharedString(std::u16string_view(result));
}

void splitPath(const SharedString& path, SharedString* drive, SharedString* folder, SharedString* name,
               SharedString* extension)
{
    std::u16string text(path.view());
    for (char16_t& unit : text) {
        if (unit == u'\\')
            unit = u'/';
    }
    const std::u16string_view view(text);
    const std::size_t colon = view.find(u':');
    const std::size_t driveEnd = colon == std::u16string_view::npos ? 0 : colon + 1;
    const std::size_t slash = view.rfind(u'/');
    const std::size_t nameStart = slash == std::u16string_view::npos || slash < driveEnd ? driveEnd : slash + 1;
    const std::size_t dot = view.rfind(u'.');
    const std::size_t extensionStart = dot == std::u16string_view::npos || dot < nameStart ? view.size() : dot;
    if (drive)
        *drive = SharedString(view.substr(0, driveEnd));
    if (folder)
        *folder = SharedString(view.substr(driveEnd, nameStart - driveEnd));
    if (name)
        *name = SharedString(view.substr(nameStart, extensionStart - nameStart));
    if (extension)
        *extension = SharedString(view.substr(extensionStart));
}

SharedString replaceFileName(const SharedString& path, const SharedString& newName)
{
    if (path.isEmpty())
        return newName;
    SharedString drive, folder;
    splitPath(path, &drive, &folder, nullptr, nullptr);
    return makePath(drive.c_str(), folder.c_str(), newName.c_str(), nullptr);
}

}  // namespace druvex
