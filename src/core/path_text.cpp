#include "core/path_text.h"

#include "text/char_class.h"

namespace druvex {
namespace {

// Tried in this order before the last-dot rule.
constexpr const char16_t* kCompoundExtensions[] = {u".vjf.zip", u".shp.zip", u".icm.dgn"};

}  // namespace

int findLastSeparator(const SharedString& path)
{
    for (int i = path.length() - 1; i >= 0; --i)
        if (isPathSeparator(path.c_str()[i]))
            return i;
    return -1;
}

int getFileNameStart(const SharedString& path)
{
    return findLastSeparator(path) + 1;
}

SharedString getFileName(const SharedString& path)
{
    return path.midToEnd(getFileNameStart(path));
}

SharedString getParentFolder(const SharedString& path)
{
    const int separator = findLastSeparator(path);
    return separator < 0 ? SharedString() : path.left(separator);
}

SharedString getFolderWithSeparator(const SharedString& path)
{
    const int separator = findLastSeparator(path);
    return separator < 0 ? SharedString() : path.left(separator + 1);
}

SharedString toBackslashes(const SharedString& path)
{
    SharedString result = path;
    result.replaceChar(u'/', u'\\');
    return result;
}

SharedString withTrailingBackslash(const SharedString& path)
{
    if (path.isEmpty() || isPathSeparator(path.c_str()[path.length() - 1]))
        return path;
    return path + u'\\';
}

SharedString withoutTrailingSeparator(const SharedString& path)
{
    const SharedString result = withTrailingBackslash(path);
    if (result.length() < 2)
        return result;
    return result.left(result.length() - 1);
}

int findExtension(const SharedString& path)
{
    const int length = path.length();
    for (const char16_t* extension : kCompoundExtensions) {
        const int extensionLength = static_cast<int>(std::char_traits<char16_t>::length(extension));
        if (length > extensionLength && compareNoCase(path.c_str() + length - extensionLength, extension) == 0)
            return length - extensionLength;
    }
    const std::size_t dot = path.view().rfind(u'.');
    if (dot != std::u16string_view::npos && static_cast<int>(dot) > getFileNameStart(path))
        return static_cast<int>(dot);
    return length;
}

SharedString getExtension(const SharedString& path)
{
    const int dot = findExtension(path);
    return dot >= path.length() ? SharedString() : path.midToEnd(dot + 1);
}

SharedString getFileTitle(const SharedString& path)
{
    const int start = getFileNameStart(path);
    const int dot = findExtension(path);
    if (dot < start)
        return path.midToEnd(start);
    return path.mid(start, dot - start);
}

SharedString removeExtension(const SharedString& path)
{
    return path.left(findExtension(path));
}

bool samePath(std::u16string_view a, std::u16string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char16_t x = a[i] == u'\\' ? u'/' : a[i];
        const char16_t y = b[i] == u'\\' ? u'/' : b[i];
        if (x != y && toLowerChar(x) != toLowerChar(y))
            return false;
    }
    return true;
}

}  // namespace druvex
