// The texts of the installer data that carry small grammars: custom-action and
// custom-page sequences, target path patterns and file-name patterns.
#include <cstdint>
#include <string>

#include "text/char_class.h"
#include "data/content_tree.h"
#include "data/culture_table.h"
#include "data/install_data.h"
#include "platform/path_components.h"

namespace druvex {
namespace {

void appendPieces(std::u16string_view text, std::vector<SharedString>& out)
{
    if (text.empty())
        return;
    for (;;) {
        const std::size_t comma = text.find(u',');
        out.emplace_back(text.substr(0, comma));
        if (comma == std::u16string_view::npos)
            return;
        text.remove_prefix(comma + 1);
    }
}

}  // namespace

std::vector<SharedString> sequenceNamesAfter(std::u16string_view sequence, std::u16string_view anchor)
{
    std::vector<SharedString> names;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = sequence.find(anchor, from);
        if (at == std::u16string_view::npos || at == 0 || sequence[at - 1] != u'[')
            return names;
        const std::size_t after = at + anchor.size();
        if (after < sequence.size() && sequence[after] == u']') {
            const std::size_t end = sequence.find(u';', after);
            if (end == std::u16string_view::npos)
                return names;
            appendPieces(sequence.substr(after + 1, end - after - 1), names);
            return names;
        }
        from = at + 1;
    }
}

std::vector<SharedString> allSequenceNames(std::u16string_view sequence)
{
    std::vector<SharedString> names;
    std::size_t from = 0;
    for (;;) {
        const std::size_t close = sequence.find(u']', from);
        if (close == std::u16string_view::npos)
            return names;
        const std::size_t end = sequence.find(u';', close);
        if (end == std::u16string_view::npos)
            return names;
        appendPieces(sequence.substr(close + 1, end - close - 1), names);
        from = end + 1;
    }
}

void splitRoot(std::u16string_view path, SharedString& root, SharedString& rest)
{
    rest.clear();
    if (path.empty()) {
        root = u"<TARGETDIR>";
        return;
    }
    std::size_t separator = 0;
    while (separator < path.size() && !isPathSeparator(path[separator]))
        ++separator;
    root = SharedString(path.substr(0, separator));
    if (separator < path.size())
        rest = SharedString(path.substr(separator + 1));
}

void splitTargetPath(std::u16string_view pattern, SharedString& root, SharedString& folder, SharedString& file)
{
    SharedString rest;
    splitRoot(pattern, root, rest);
    const std::u16string_view text = rest.view();
    std::size_t last = text.size();
    while (last > 0 && !isPathSeparator(text[last - 1]))
        --last;
    if (last == 0) {
        folder.clear();
        file = rest;
        return;
    }
    folder = SharedString(text.substr(0, last - 1));
    file = SharedString(text.substr(last));
}

void setContentPath(ContentHolder& holder, std::u16string_view path, std::u16string_view fileName)
{
    holder.clearContent();
    std::shared_ptr<ContentFolder> parent = holder.contentFolder();
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isPathSeparator(path[end]))
            ++end;
        if (end > start) {
            auto folder = std::make_shared<ContentFolder>(SharedString(path.substr(start, end - start)));
            parent->addChild(folder);
            parent = std::move(folder);
        }
        start = end + 1;
    }
    if (!fileName.empty())
        parent->addChild(std::make_shared<ContentFile>(SharedString(fileName)));
}


namespace {

bool isDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

// The culture name at the start of `name` (ignoring case), first in table
// order; its length and id, or 0 when none fits.
std::size_t matchCultureName(std::u16string_view name, std::uint16_t& languageId)
{
    for (int index = 0;; ++index) {
        const CultureInfo* culture = cultureByIndex(index);
        if (!culture)
            return 0;
        const std::u16string_view cultureName(culture->cultureName);
        if (cultureName.empty() || cultureName.size() > name.size())
            continue;
        bool fits = true;
        for (std::size_t i = 0; fits && i < cultureName.size(); ++i)
            fits = toLowerChar(name[i]) == toLowerChar(cultureName[i]);
        if (!fits)
            continue;
        languageId = culture->lcid;
        return cultureName.size();
    }
}

}  // namespace

bool wildcardMatch(std::u16string_view name, std::u16string_view pattern, std::uint16_t& languageId)
{
    languageId = 0;
    std::size_t at = 0;
    std::size_t p = 0;
    while (at < name.size() && p < pattern.size()) {
        const char16_t ch = pattern[p];
        if (ch == u'%') {
            if (p + 1 == pattern.size())
                return false;
            const char16_t kind = pattern[p + 1];
            if (kind == u'd' || kind == u'D') {
                std::uint16_t id = 0;
                for (; at < name.size() && isDigit(name[at]); ++at)
                    id = static_cast<std::uint16_t>(id * 10 + (name[at] - u'0'));
                languageId = id;
                p += 2;
                continue;
            }
            if (kind != u'5')
                return false;
            const std::size_t length = matchCultureName(name.substr(at), languageId);
            if (length == 0)
                return false;
            at += length;
            p += 2;
            continue;
        }
        if (ch == u'*') {
            ++p;
            while (at < name.size() && (p == pattern.size() || name[at] != pattern[p]))
                ++at;
            continue;
        }
        if (toLowerChar(ch) != toLowerChar(name[at]))
            return false;
        ++at;
        ++p;
    }
    return at == name.size() && p == pattern.size();
}

bool wildcardMatchStrings(std::u16string_view name, std::u16string_view pattern)
{
    std::u16string lowerName(name);
    std::u16string lowerPattern(pattern);
    for (char16_t& ch : lowerName)
        ch = toLowerChar(ch);
    for (char16_t& ch : lowerPattern)
        ch = toLowerChar(ch);
    std::uint16_t languageId = 0;
    return wildcardMatch(lowerName, lowerPattern, languageId);
}

}  // namespace druvex
