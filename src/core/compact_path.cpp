#include "core/compact_path.h"

#include <string>

#include "core/path_text.h"

namespace druvex {
namespace {

constexpr std::u16string_view kEllipsis = u"...";
// Components shorter than this are passed over before the first elision:
// replacing them with "..." would not make the text any shorter.
constexpr std::size_t kMinElidedLength = 3;

int textWidth(WindowHandle window, const std::u16string& text)
{
    return getTextExtent(window, text);
}

// Elides components of `text` until it fits `available` pixels or only the
// last component is left to protect.
void elide(WindowHandle window, std::u16string& text, int available)
{
    std::size_t position = 0;
    bool elided = false;
    while (textWidth(window, text) > available) {
        const std::size_t separator = text.find(u'\\', position);
        if (separator == std::u16string::npos)
            return;
        const std::size_t componentStart = separator + 1;
        const std::size_t next = text.find(u'\\', componentStart);
        if (!elided) {
            const std::size_t componentEnd = next == std::u16string::npos ? text.size() : next;
            const std::size_t length = componentEnd - componentStart;
            if (length < kMinElidedLength) {
                position = componentEnd;
                continue;
            }
            text.replace(componentStart, length, kEllipsis);
            position = componentStart + kEllipsis.size();
            elided = true;
            continue;
        }
        // The separator behind "..." starts the component to drop; with no
        // separator after it, what is left is the last component.
        if (next == std::u16string::npos)
            return;
        text.erase(separator, next - separator);
    }
}

}  // namespace

SharedString compactPath(WindowHandle window, const SharedString& path, bool keepLastComponent)
{
    std::u16string text(toBackslashes(path).view());
    if (text.find(kEllipsis) != std::u16string::npos)
        return SharedString(std::u16string_view(text));
    if (!keepLastComponent) {
        const std::size_t last = text.rfind(u'\\');
        if (last != std::u16string::npos)
            text.erase(last);
    }
    bool trailingSeparator = false;
    if (text.size() > 3 && text.back() == u'\\') {
        text.pop_back();
        trailingSeparator = true;
    }
    if (window == 0 || text.empty())
        return SharedString(std::u16string_view(text));
    const int clientWidth = getClientWidth(window);
    const int available = clientWidth - clientWidth / 10;
    if (available < 1)
        return SharedString(std::u16string_view(text));
    elide(window, text, available);
    if (trailingSeparator)
        text.push_back(u'\\');
    return SharedString(std::u16string_view(text));
}

}  // namespace druvex
