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

// toLowerChar with the ASCII letters folded without the table.
inline std::uint64_t foldUnit(char16_t unit, bool& lineBreak) noexcept
{
    if (unit >= 0x80)
        return toLowerChar(unit);
    lineBreak |= unit == u'\r' || unit == u'\n';
    return static_cast<unsigned>(unit - u'A') < 26u ? unit + 32u : unit;
}

// A hash of the case-folded units, four to a word, so that keys equal
// without regard to case meet in one probe sequence. `lineBreak` tells
// whether the key holds a carriage return or a line feed.
std::uint32_t foldedHash(std::u16string_view key, bool& lineBreak) noexcept
{
    constexpr std::uint64_t kMultiplier = 0xFF51AFD7ED558CCDull;
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ key.size();
    const char16_t* unit = key.data();
    std::size_t left = key.size();
    for (; left >= 4; left -= 4, unit += 4) {
        const std::uint64_t word = foldUnit(unit[0], lineBreak) | foldUnit(unit[1], lineBreak) << 16 |
                                   foldUnit(unit[2], lineBreak) << 32 | foldUnit(unit[3], lineBreak) << 48;
        hash = (hash ^ word) * kMultiplier;
        hash ^= hash >> 32;
    }
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < left; ++i)
        word |= foldUnit(unit[i], lineBreak) << (16 * i);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 29;
    hash *= kMultiplier;
    return static_cast<std::uint32_t>(hash >> 32);
}

std::uint32_t foldedHash(std::u16string_view key) noexcept
{
    bool lineBreak = false;
    return foldedHash(key, lineBreak);
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
    // The caller asks isLoaded(); a file that does not open is reported by load.
    (void)load(path);
}

bool XlateTable::load(std::u16string_view path)
{
    // Reselecting the current file must not answer true for a file that
    // opened but held no pair: the answer is the table's state, not "same path".
    if (path == path_.view())
        return loaded_;
    entries_.clear();
    index_.clear();
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
    buildIndex();
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

void XlateTable::buildIndex()
{
    std::size_t slots = 16;
    while (slots < 2 * entries_.size())
        slots *= 2;
    index_.assign(slots, IndexSlot{});
    const std::size_t mask = slots - 1;
    // Inserted in lookup order with linear probing, so that along one probe
    // sequence an earlier entry always comes before a later one.
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::uint32_t hash = foldedHash(entries_[i].key);
        std::size_t at = hash & mask;
        while (index_[at].entry != 0)
            at = (at + 1) & mask;
        index_[at] = IndexSlot{hash, static_cast<std::uint32_t>(i + 1)};
    }
}

const XlateEntry* XlateTable::find(std::u16string_view escapedKey, std::uint32_t hash) const
{
    const std::size_t mask = index_.size() - 1;
    const XlateEntry* sameButCase = nullptr;
    for (std::size_t at = hash & mask; index_[at].entry != 0; at = (at + 1) & mask) {
        if (index_[at].hash != hash)
            continue;
        const XlateEntry& entry = entries_[index_[at].entry - 1];
        if (entry.key == escapedKey)
            return &entry;
        if (sameButCase == nullptr && equalsNoCase(entry.key, escapedKey))
            sameButCase = &entry;
    }
    return sameButCase;
}

SharedString XlateTable::lookup(std::u16string_view key) const
{
    if (!loaded_)
        return cutTranslationContext(key);
    // The file holds line breaks escaped: a key with one is looked up as the
    // file spells it.
    bool lineBreak = false;
    const std::uint32_t hash = foldedHash(key, lineBreak);
    const XlateEntry* found = nullptr;
    if (!lineBreak) {
        found = find(key, hash);
    } else {
        const std::u16string escaped = escapeKey(key);
        found = find(escaped, foldedHash(escaped));
    }
    if (found == nullptr)
        return cutTranslationContext(key);
    return unescapeText(found->text);
}

}  // namespace druvex
