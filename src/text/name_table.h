// NameTable: the names of one enumeration, looked up both ways from one table
// of {value, name} entries. A value may carry more than one name (older
// spellings that still read); its first entry gives the name it is written
// with. Every table of the program is walked by the round-trip test in
// tests/data/name_tables_test.cpp: a new table is added there.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "text/char_class.h"

namespace druvex {

// How names compare when they are looked up.
enum class NameCase { kExact, kIgnoreCase };

template <class Value>
struct NamedValue {
    Value value;
    std::u16string_view name;
};

template <class Value>
class NameTable {
public:
    constexpr NameTable(std::span<const NamedValue<Value>> entries, NameCase nameCase) noexcept
        : entries_(entries), nameCase_(nameCase)
    {
    }

    // The value of the first entry named `name`; nothing when none is.
    std::optional<Value> find(std::u16string_view name) const noexcept
    {
        for (const NamedValue<Value>& entry : entries_) {
            if (sameName(entry.name, name))
                return entry.value;
        }
        return std::nullopt;
    }
    // The name of the first entry of `value`; nothing when it has none.
    std::optional<std::u16string_view> findName(Value value) const noexcept
    {
        for (const NamedValue<Value>& entry : entries_) {
            if (entry.value == value)
                return entry.name;
        }
        return std::nullopt;
    }

    Value valueOf(std::u16string_view name, Value fallback) const noexcept { return find(name).value_or(fallback); }
    std::u16string_view nameOf(Value value, std::u16string_view fallback = {}) const noexcept
    {
        return findName(value).value_or(fallback);
    }

    bool sameName(std::u16string_view a, std::u16string_view b) const noexcept
    {
        return nameCase_ == NameCase::kExact ? a == b : equalsNoCase(a, b);
    }
    std::span<const NamedValue<Value>> entries() const noexcept { return entries_; }

private:
    std::span<const NamedValue<Value>> entries_;
    NameCase nameCase_;
};

}  // namespace druvex
