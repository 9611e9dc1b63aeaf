#include "core/xlate_table.h"

#include <algorithm>
#include <string>

#include "platform/input_limits.h"
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
//
// One pass that writes the result in place of the copy: a long text costs
// about what copying it costs, at every lookup. (Backslash-r and backslash-n
// cannot overlap, so one pass gives what the two replacements in turn give.)
SharedString unescapeText(std::u16string_view text)
{
    SharedString result;
    if (text.empty())
        return result;
    const int length = static_cast<int>(text.size());
    char16_t* out = result.allocBeforeWrite(length);
    const char16_t* const start = out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit == u'\\' && i + 1 < text.size() && (text[i + 1] == u'r' || text[i + 1] == u'n'))
            unit = text[++i] == u'r' ? u'\r' : u'\n';
        *out++ = unit;
    }
    result.releaseBuffer(static_cast<int>(out - start));
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
    groups_.clear();
    variants_.clear();
    loaded_ = false;
    path_.clear();
    mappedFile_.close();
    if (!mappedFile_.open(path, false, false)) {
        logPrintf(u"Cannot open the translation file %s", path);
        return false;
    }
    // Every pair costs its entry and index slots, several times its bytes:
    // a file past the limit of translation files is refused before it is
    // indexed, as one that cannot be opened is.
    if (mappedFile_.fileSize() > kMaxLanguageFileSize) {
        mappedFile_.close();
        logPrintf(u"The translation file is larger than the limit: %s", path);
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
    groups_.clear();
    variants_.clear();
    const std::size_t mask = slots - 1;
    // One slot per group of keys equal without regard to case, so that no
    // key, however often the file repeats it or varies its case, makes a
    // probe sequence longer. Entries come in lookup order: a group's first
    // entry is the one a lookup without regard to case finds, and of a run
    // of identical keys only the first can be found at all.
    constexpr std::uint32_t kNotIndexed = UINT32_MAX;
    std::vector<std::uint32_t> groupOf(entries_.size(), kNotIndexed);
    std::vector<std::uint32_t> heads;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        const std::u16string_view key = entries_[i].key;
        if (i > 0 && key == entries_[i - 1].key)
            continue;
        const std::uint32_t hash = foldedHash(key);
        std::size_t at = hash & mask;
        for (; index_[at].group != 0; at = (at + 1) & mask) {
            const IndexSlot& slot = index_[at];
            if (slot.hash == hash && equalsNoCase(entries_[heads[slot.group - 1]].key, key))
                break;
        }
        if (index_[at].group == 0) {
            heads.push_back(static_cast<std::uint32_t>(i));
            groups_.push_back(KeyGroup{0, 0});
            index_[at] = IndexSlot{hash, static_cast<std::uint32_t>(groups_.size())};
        }
        const std::uint32_t group = index_[at].group - 1;
        ++groups_[group].count;
        groupOf[i] = group;
    }
    // Each group's distinct keys side by side, in lookup order, for the
    // binary search of an exact match among its case variants.
    std::uint32_t offset = 0;
    for (KeyGroup& group : groups_) {
        group.first = offset;
        offset += group.count;
        group.count = 0;
    }
    variants_.resize(offset);
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (groupOf[i] == kNotIndexed)
            continue;
        KeyGroup& group = groups_[groupOf[i]];
        variants_[group.first + group.count++] = static_cast<std::uint32_t>(i);
    }
}

const XlateEntry* XlateTable::find(std::u16string_view escapedKey, std::uint32_t hash) const
{
    const std::size_t mask = index_.size() - 1;
    for (std::size_t at = hash & mask; index_[at].group != 0; at = (at + 1) & mask) {
        if (index_[at].hash != hash)
            continue;
        const KeyGroup& group = groups_[index_[at].group - 1];
        const std::uint32_t* first = variants_.data() + group.first;
        const XlateEntry& head = entries_[*first];
        if (!equalsNoCase(head.key, escapedKey))
            continue;
        // The exact key when the group has it, else the group's first.
        if (group.count == 1)
            return &head;
        const std::uint32_t* last = first + group.count;
        const std::uint32_t* exact = std::lower_bound(first, last, escapedKey, [this](std::uint32_t entry, auto key) {
            return xlateKeyBefore(entries_[entry].key, key);
        });
        if (exact != last && entries_[*exact].key == escapedKey)
            return &entries_[*exact];
        return &head;
    }
    return nullptr;
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
