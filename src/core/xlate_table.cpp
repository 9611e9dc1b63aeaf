#include "core/xlate_table.h"

#include <algorithm>
#include <string>

#include "text/char_class.h"
#include "text/diag.h"

namespace druvex {
namespace {

// Room reserved before parsing: a full language file holds about this many pairs.
constexpr std::size_t kReservedEntries = 16384;

enum class BracketScan { kNone, kFound, kUnmatched };

// The next bracketed span at or after `cursor`: its content between the '['
// and the ']' that brings the depth back to zero. On success `cursor` moves
// behind that ']'. Text before the '[' is skipped.
BracketScan nextBracket(const char16_t*& cursor, const char16_t* end, std::u16string_view& content)
{
    const char16_t* open = std::find(cursor, end, u'[');
    if (open == end)
        return BracketScan::kNone;
    int depth = 0;
    for (const char16_t* at = open + 1; at != end; ++at) {
        if (*at == u'[') {
            ++depth;
            continue;
        }
        if (*at != u']')
            continue;
        if (depth > 0) {
            --depth;
            continue;
        }
        content = std::u16string_view(open + 1, static_cast<std::size_t>(at - open - 1));
        cursor = at + 1;
        return BracketScan::kFound;
    }
    return BracketScan::kUnmatched;
}

bool holdsLineBreak(std::u16string_view text) noexcept
{
    return text.find_first_of(u"\r\n") != std::u16string_view::npos;
}

// The file's spelling of a key: carriage returns, then line feeds, as
// two-character escapes.
std::u16string escapeKey(std::u16string_view key)
{
    std::u16string escaped;
    escaped.reserve(key.size() + 8);
    for (const char16_t ch : key) {
        if (ch == u'\r')
            escaped.append(u"\\r");
        else
            escaped.push_back(ch);
    }
    std::u16string result;
    result.reserve(escaped.size() + 8);
    for (const char16_t ch : escaped) {
        if (ch == u'\n')
            result.append(u"\\n");
        else
            result.push_back(ch);
    }
    return result;
}

// The escapes undone in the file format's order: backslash-r first, then
// backslash-n. The format has no escape for a backslash itself, so a text
// holding "\n" literally (a path such as "C:\new") reads as a line break;
// existing files rely on that.
SharedString unescapeText(std::u16string_view text)
{
    SharedString result(text);
    if (text.find(u'\\') == std::u16string_view::npos)
        return result;
    result.replace(u"\\r", u"\r");
    result.replace(u"\\n", u"\n");
    return result;
}

}  // namespace

bool xlateKeyBefore(std::u16string_view a, std::u16string_view b) noexcept
{
    const std::size_t common = std::min(a.size(), b.size());
    const int order = std::char_traits<char16_t>::compare(a.data(), b.data(), common);
    if (order != 0)
        return order < 0;
    return a.size() > b.size();
}

SharedString cutTranslationContext(std::u16string_view key)
{
    const std::size_t at = key.rfind(u'@');
    if (at == std::u16string_view::npos || at == 0 || key[at - 1] != u'@')
        return SharedString(key);
    return SharedString(key.substr(0, at - 1));
}

XlateTable::XlateTable(std::u16string_view path)
{
    load(path);
}

bool XlateTable::load(std::u16string_view path)
{
    // Reselecting the current file must not answer true for a file that
    // opened but held no pair: the answer is the table's state, not "same path".
    if (path == path_.view())
        return loaded_;
    entries_.clear();
    loaded_ = false;
    path_.clear();
    mappedFile_.close();
    if (!mappedFile_.open(path, false, false)) {
        std::u16string line(u"Cannot open the translation file ");
        line.append(path);
        diagWriteLine(line);
        return false;
    }
    entries_.reserve(kReservedEntries);
    parse();
    // Stable, so that of several pairs with one key the first in the file wins.
    std::stable_sort(entries_.begin(), entries_.end(),
                     [](const XlateEntry& a, const XlateEntry& b) { return xlateKeyBefore(a.key, b.key); });
    loaded_ = !entries_.empty();
    path_ = SharedString(path);
    return loaded_;
}

void XlateTable::parse()
{
    // The mapping starts on a page boundary, so its units are aligned; a
    // trailing odd byte is no unit.
    const char16_t* cursor = reinterpret_cast<const char16_t*>(mappedFile_.data());
    const char16_t* const end = cursor + mappedFile_.viewSize() / sizeof(char16_t);
    for (;;) {
        std::u16string_view key;
        std::u16string_view text;
        BracketScan scan = nextBracket(cursor, end, key);
        if (scan == BracketScan::kFound)
            scan = nextBracket(cursor, end, text);
        if (scan == BracketScan::kUnmatched)
            DRUVEX_DBGCHK("XLATE ERROR: No matching ']' in xlate file\n");
        if (scan != BracketScan::kFound)
            return;
        if (!key.empty() && !text.empty())
            entries_.push_back(XlateEntry{key, text});
    }
}

const XlateEntry* XlateTable::find(std::u16string_view escapedKey) const
{
    const auto exact = std::lower_bound(
        entries_.begin(), entries_.end(), escapedKey,
        [](const XlateEntry& entry, std::u16string_view key) { return xlateKeyBefore(entry.key, key); });
    if (exact != entries_.end() && exact->key == escapedKey)
        return &*exact;
    // Only a miss pays for the linear scan.
    for (const XlateEntry& entry : entries_)
        if (equalsNoCase(entry.key, escapedKey))
            return &entry;
    return nullptr;
}

SharedString XlateTable::lookup(std::u16string_view key) const
{
    if (!loaded_)
        return cutTranslationContext(key);
    const XlateEntry* found = holdsLineBreak(key) ? find(escapeKey(key)) : find(key);
    if (found == nullptr)
        return cutTranslationContext(key);
    return unescapeText(found->text);
}

}  // namespace druvex
