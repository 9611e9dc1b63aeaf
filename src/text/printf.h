// The program's printf engine with the device's conversion rules, and the
// tagged arguments that its type-safe front end (SharedString::format) builds.
//
// In a wide format "%s", "%ls" and "%ws" take UTF-16 text and "%hs" and "%S"
// narrow text; in a narrow format "%s" and "%hs" take narrow text and "%ls" and
// "%S" UTF-16 text. Text of the other width is converted with the ANSI code
// page. "%c" takes a character of the format's width. Integers use their low 32
// bits unless "I64" or "ll" asks for 64. "%p" is upper-case hexadecimal of
// 2 * sizeof(void*) digits. "%n" is refused. A conversion whose argument is
// missing or of the wrong kind is reported (DRUVEX_DBGCHK) and prints nothing.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace druvex {

template <class CharT>
class BasicSharedString;

// Largest printf result in code units; longer results are cut.
constexpr std::size_t kFormatMaxUnits = 131072;

template <class T>
concept FormatInteger = std::is_integral_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
                        !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t> &&
                        !std::is_same_v<T, char8_t> && !std::is_same_v<T, wchar_t>;

// One printf argument and what kind of value it is.
class FormatArg {
public:
    enum class Kind : std::uint8_t { kSigned, kUnsigned, kChar, kDouble, kWideText, kNarrowText, kPointer };

    template <FormatInteger T>
    FormatArg(T value) noexcept
    {
        if constexpr (std::is_signed_v<T>) {
            kind_ = Kind::kSigned;
            bits_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
        } else {
            kind_ = Kind::kUnsigned;
            bits_ = static_cast<std::uint64_t>(value);
        }
    }
    template <class T>
        requires std::is_enum_v<T>
    FormatArg(T value) noexcept : FormatArg(static_cast<std::underlying_type_t<T>>(value))
    {
    }
    FormatArg(char ch) noexcept : kind_(Kind::kChar), bits_(static_cast<unsigned char>(ch)) {}
    FormatArg(char16_t ch) noexcept : kind_(Kind::kChar), bits_(ch) {}
    template <std::floating_point T>
    FormatArg(T value) noexcept : kind_(Kind::kDouble), double_(static_cast<double>(value))
    {
    }

    // Zero-terminated texts; null prints as "(null)".
    FormatArg(const char16_t* text) noexcept : kind_(Kind::kWideText), pointer_(text) {}
    FormatArg(const char* text) noexcept : kind_(Kind::kNarrowText), pointer_(text) {}
    // Counted texts.
    FormatArg(std::u16string_view text) noexcept
        : kind_(Kind::kWideText), pointer_(text.data()), length_(text.size())
    {
    }
    FormatArg(std::string_view text) noexcept
        : kind_(Kind::kNarrowText), pointer_(text.data()), length_(text.size())
    {
    }
    // Shared strings print like the zero-terminated text they hold (defined
    // in shared_string.h).
    FormatArg(const BasicSharedString<char16_t>& text) noexcept;
    FormatArg(const BasicSharedString<char>& text) noexcept;

    template <class T>
    FormatArg(const T* pointer) noexcept : kind_(Kind::kPointer), pointer_(pointer)
    {
    }
    FormatArg(std::nullptr_t) noexcept : kind_(Kind::kPointer), pointer_(nullptr) {}

    Kind kind() const noexcept { return kind_; }
    // Integers and characters as 64 bits (signed ones sign-extended).
    std::uint64_t bits() const noexcept { return bits_; }
    double number() const noexcept { return double_; }
    const void* pointer() const noexcept { return pointer_; }
    // Length of a text in its units; kZeroTerminated when it ends at its zero.
    static constexpr std::size_t kZeroTerminated = static_cast<std::size_t>(-1);
    std::size_t textLength() const noexcept { return length_; }

private:
    Kind kind_;
    union {
        std::uint64_t bits_;
        double double_;
        const void* pointer_;
    };
    std::size_t length_ = kZeroTerminated;
};

// Formats `pattern` with `args`, appending at most `limit` units to `out`.
// Returns false when the whole result was longer than `limit` (`out` then
// holds its first `limit` units).
bool printfFormat(std::u16string& out, std::u16string_view pattern, std::span<const FormatArg> args,
                  std::size_t limit = kFormatMaxUnits);
bool printfFormat(std::string& out, std::string_view pattern, std::span<const FormatArg> args,
                  std::size_t limit = kFormatMaxUnits);

}  // namespace druvex
