// One language's translation table: a UTF-16LE file of "[key][text]" pairs,
// mapped into memory and indexed without copying its text. Lookups go through
// a hash index of the case-folded keys built at load: an exact match wins,
// else the first key equal without regard to case; a key the table lacks
// comes back as itself, cut before its "@@" context.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "core/mapped_file.h"
#include "text/shared_string.h"

namespace druvex {

// One pair of the file, as spans into the table's mapping. Key and text are
// stored escaped: a carriage return as backslash-r, a line feed as backslash-n.
// Lengths are full size_t, so a key or text past 65,535 units is still whole.
struct XlateEntry {
    std::u16string_view key;
    std::u16string_view text;
};

class XlateTable {
public:
    XlateTable() = default;
    // An empty table, then load(path).
    explicit XlateTable(std::u16string_view path);
    XlateTable(const XlateTable&) = delete;
    XlateTable& operator=(const XlateTable&) = delete;

    // Maps the device file `path` and indexes its pairs; returns isLoaded().
    // The same path again changes nothing and answers isLoaded() again. A file
    // that cannot be opened leaves the path empty, so a later load of the same
    // path tries again; so does a file larger than kMaxLanguageFileSize. An
    // unmatched '[' is reported and ends the parse; the pairs read before it
    // stay.
    [[nodiscard]] bool load(std::u16string_view path);

    // The translation of `key`, with backslash-r and backslash-n turned into
    // real line breaks; a key the table lacks (or any key while nothing is
    // loaded) gives cutTranslationContext(key).
    SharedString lookup(std::u16string_view key) const;

    // True when the last load found at least one pair.
    bool isLoaded() const noexcept { return loaded_; }
    // The path of the open file; empty until a load opened its file.
    const SharedString& path() const noexcept { return path_; }
    // The pairs in lookup order (see xlateKeyBefore).
    std::span<const XlateEntry> entries() const noexcept { return entries_; }

private:
    // One slot of the index: the folded hash of a group of keys equal
    // without regard to case, and the group's position plus one (0: empty).
    struct IndexSlot {
        std::uint32_t hash = 0;
        std::uint32_t group = 0;
    };
    // A group's distinct keys: `count` entry positions from `first` in
    // variants_, in lookup order.
    struct KeyGroup {
        std::uint32_t first = 0;
        std::uint32_t count = 0;
    };

    const XlateEntry* find(std::u16string_view escapedKey, std::uint32_t hash) const;
    void parse();
    void buildIndex();

    std::vector<XlateEntry> entries_;
    std::vector<IndexSlot> index_;  // open addressing, a power of two at most half full
    std::vector<KeyGroup> groups_;
    std::vector<std::uint32_t> variants_;
    bool loaded_ = false;
    MappedFile mappedFile_;
    SharedString path_;
};

// The table's order: code units compared over the shorter length; when one
// key is a prefix of the other, the longer comes first ("abc" before "ab").
bool xlateKeyBefore(std::u16string_view a, std::u16string_view b) noexcept;

// `key` without a trailing "@@context": when its last '@' follows another '@'
// the text before that "@@", else the whole key ("Cut@@menuEdit" gives "Cut",
// "Cut@@a@b" stays whole, "Cut@@@x" gives "Cut@").
SharedString cutTranslationContext(std::u16string_view key);

}  // namespace druvex
