// The program's string resources: a compiled-in table from 16-bit ids to UTF-16
// texts, and the id-in-a-pointer convention by which a text pointer whose value
// is below 0x10000 names a resource instead of holding text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace druvex {

class StringResources {
public:
    // The text of resource `id`, cut at its first zero unit; nothing when the
    // program has no such resource.
    static std::optional<std::u16string> lookup(std::uint16_t id);

    // For tests: add or override an entry, drop one, or go back to the
    // compiled-in table.
    static void set(std::uint16_t id, std::u16string_view text);
    static void erase(std::uint16_t id);
    static void reset();
};

// The text pointer that stands for resource `id` (the one place where an
// integer becomes a pointer).
const char16_t* resourceId(std::uint16_t id) noexcept;
const char* resourceIdA(std::uint16_t id) noexcept;

// Whether a text pointer is a resource id: not null, and below 0x10000.
bool isResourceId(const void* text) noexcept;
std::uint16_t resourceIdOf(const void* text) noexcept;

}  // namespace druvex
