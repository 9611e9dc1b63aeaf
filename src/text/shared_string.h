// The program's one text type: SharedString, a copy-on-write, reference-counted
// UTF-16 string exactly one pointer wide, and SharedStringA, its 8-bit twin for
// ANSI or UTF-8 bytes (the type does not say which: the helpers that convert are
// named after the encoding). Both point at one static empty value, so an empty
// string never allocates. Reference counts are atomic: copies of one string may
// live and die in different threads; one string object is not guarded.
#pragma once

#include <atomic>
#include <bit>
#include <compare>
#include <concepts>
#include <cstdint>
#include <span>
#include <string_view>

#include "text/printf.h"

namespace druvex {

static_assert(std::endian::native == std::endian::little, "UTF-16LE data is read in place");

// The header in front of every text block. The block is one allocation of
// header, capacity characters and a terminating zero.
struct SharedStringData {
    std::atomic<std::int32_t> count;  // sharers; -1 marks the static empty value
    std::int32_t length;              // characters without the terminator
    std::int32_t capacity;            // characters the block holds without the terminator
};
static_assert(sizeof(SharedStringData) == 12 && std::atomic<std::int32_t>::is_always_lock_free);

namespace detail {

// The static empty value: a header {-1, 0, 0} and a zero character that reads
// as an empty text of either width. Writable, because the string operations
// may hand out its address; constant-initialised, so that strings made during
// static initialisation find it ready.
union SharedEmptyText {
    char16_t wide[2];
    char narrow[4];
};
struct SharedEmptyBlock {
    SharedStringData header;
    SharedEmptyText text;
};
extern constinit SharedEmptyBlock g_sharedEmpty;

template <class CharT>
constexpr CharT* sharedEmptyText() noexcept;
template <>
constexpr char16_t* sharedEmptyText<char16_t>() noexcept
{
    return g_sharedEmpty.text.wide;
}
template <>
constexpr char* sharedEmptyText<char>() noexcept
{
    return g_sharedEmpty.text.narrow;
}

}  // namespace detail

template <class CharT>
class BasicSharedString {
public:
    using View = std::basic_string_view<CharT>;

    constexpr BasicSharedString() noexcept : text_(detail::sharedEmptyText<CharT>()) {}
    // Null or empty: the empty value. A pointer value below 0x10000 is a
    // string-resource id (see resourceId); the narrow string converts the
    // wide resource text with the ANSI code page. Otherwise a private copy.
    BasicSharedString(const CharT* text);
    explicit BasicSharedString(View text);
    // Shares the other's block.
    BasicSharedString(const BasicSharedString& other);
    BasicSharedString(BasicSharedString&& other) noexcept : text_(other.text_)
    {
        other.text_ = detail::sharedEmptyText<CharT>();
    }
    ~BasicSharedString() { release(); }

    // Shares the other's block; nothing when both hold the same text.
    BasicSharedString& operator=(const BasicSharedString& other);
    BasicSharedString& operator=(BasicSharedString&& other) noexcept;
    // assign: a copy of the text, no resource id.
    BasicSharedString& operator=(const CharT* text)
    {
        assign(text);
        return *this;
    }

    // The one global string that holds the static empty value.
    static const BasicSharedString& emptyString() noexcept;

    // Construction and assignment.
    void assign(const CharT* text);                          // null is empty
    void assignCopy(int count, const CharT* buffer);         // count characters
    static BasicSharedString fromBuffer(const CharT* buffer, int count);  // null or count < 1: empty
    void initEmpty() noexcept { text_ = detail::sharedEmptyText<CharT>(); }  // no release
    void clear();
    // Loads string resource `id`; true when a non-empty text was loaded. A
    // missing resource leaves the string empty.
    bool loadString(std::uint16_t id);

    // Conversions from and to the other width (code page 0 is the device's
    // ANSI code page, 65001 UTF-8). A negative count or a failed conversion
    // gives an empty string.
    static BasicSharedString fromCodePage(const char* text, unsigned codePage)
        requires std::same_as<CharT, char16_t>;
    static BasicSharedString fromCodePage(const char* text, int bytes, unsigned codePage)
        requires std::same_as<CharT, char16_t>;
    static BasicSharedString fromWide(const char16_t* text, unsigned codePage)
        requires std::same_as<CharT, char>;
    static BasicSharedString fromWide(const char16_t* text, int units, unsigned codePage)
        requires std::same_as<CharT, char>;
    // Replaces the content with a wide text converted with the ANSI code page.
    void assignWide(const char16_t* text)
        requires std::same_as<CharT, char>;

    // Buffer management for callers that write characters directly: take a
    // pointer with getBuffer (or allocBeforeWrite when the content is to be
    // replaced), write, then releaseBuffer. Never copy the string in between.
    CharT* allocBeforeWrite(int count);  // content undefined, room for count characters
    void prepareBuffer(int count);       // content kept, room for count characters
    void copyBeforeWrite();              // makes a shared block private
    CharT* getBuffer(int count);         // content kept, room for count + terminator
    void releaseBuffer(int length = -1); // -1: up to the first zero

    // Editing.
    void append(int count, const CharT* buffer);
    BasicSharedString& operator+=(const BasicSharedString& other);
    BasicSharedString& operator+=(const CharT* text);  // null is empty
    BasicSharedString& operator+=(View text);
    BasicSharedString& operator+=(CharT ch);
    static BasicSharedString concatText(const BasicSharedString& a, const CharT* text);  // null is empty
    static BasicSharedString concatTextFirst(const CharT* text, const BasicSharedString& b);  // resource ids too
    static BasicSharedString concatString(const BasicSharedString& a, const BasicSharedString& b);
    static BasicSharedString concatChar(const BasicSharedString& a, CharT ch);
    int replaceChar(CharT from, CharT to);                    // returns the count replaced
    int replace(const CharT* oldText, const CharT* newText);  // returns the count replaced
    int remove(CharT ch);                                     // returns the count removed
    int insert(int index, CharT ch);                          // returns the new length
    int deleteChars(int index, int count);                    // returns the length before
    void trimRight();
    void trimLeft();
    void trimRightChar(CharT ch);
    void trimLeftChar(CharT ch);

    // Extraction and search; a result equal to the whole text shares its block.
    BasicSharedString mid(int start, int count) const;
    BasicSharedString midToEnd(int start) const;
    BasicSharedString left(int count) const;
    BasicSharedString right(int count) const;
    // count characters from start plus `extra` zero characters for the caller to fill.
    BasicSharedString copyRange(int count, int start, int extra) const;
    int find(CharT ch) const;  // -1 when absent
    // The next token after `position` (in and out; -1 when no token is left).
    BasicSharedString tokenize(const CharT* delimiters, int& position) const;

    // printf-style formatting with the device's rules (printf.h). Results
    // longer than kFormatMaxUnits characters are cut there.
    template <class... Args>
    BasicSharedString& format(const CharT* pattern, const Args&... args)
    {
        if constexpr (sizeof...(Args) == 0) {
            return formatV(pattern, {});
        } else {
            const FormatArg list[] = {FormatArg(args)...};
            return formatV(pattern, list);
        }
    }
    BasicSharedString& formatV(const CharT* pattern, std::span<const FormatArg> args);

    // Access.
    const CharT* c_str() const noexcept { return text_; }
    int length() const noexcept { return header()->length; }
    bool isEmpty() const noexcept { return header()->length == 0; }
    int capacity() const noexcept { return header()->capacity; }
    // Sharers of the block; -1 for the static empty value.
    int refCount() const noexcept { return header()->count.load(std::memory_order_acquire); }
    // The character at `index`; 0 outside 0..length - 1 (reported).
    CharT operator[](int index) const noexcept;
    View view() const noexcept { return View(text_, static_cast<std::size_t>(header()->length)); }
    operator View() const noexcept { return view(); }

    // Exact comparisons by code units.
    friend bool operator==(const BasicSharedString& a, const BasicSharedString& b) noexcept
    {
        return a.text_ == b.text_ || a.view() == b.view();
    }
    friend bool operator==(const BasicSharedString& a, View b) noexcept { return a.view() == b; }
    friend bool operator==(const BasicSharedString& a, const CharT* b) noexcept
    {
        return a.view() == (b ? View(b) : View());
    }
    friend std::strong_ordering operator<=>(const BasicSharedString& a, const BasicSharedString& b) noexcept
    {
        return a.view() <=> b.view();
    }

private:
    SharedStringData* header() const noexcept
    {
        return reinterpret_cast<SharedStringData*>(reinterpret_cast<char*>(text_) - sizeof(SharedStringData));
    }
    bool isSharedEmpty() const noexcept { return text_ == detail::sharedEmptyText<CharT>(); }
    void allocBuffer(int count);  // no release of the previous block
    void release() noexcept;
    void setLength(int length) noexcept;
    bool holdsPointer(const CharT* pointer) const noexcept;
    void trimRightWhere(bool (*isTrimmed)(CharT, CharT), CharT ch);
    void trimLeftWhere(bool (*isTrimmed)(CharT, CharT), CharT ch);

    CharT* text_;
};

using SharedString = BasicSharedString<char16_t>;
using SharedStringA = BasicSharedString<char>;
static_assert(sizeof(SharedString) == sizeof(void*) && sizeof(SharedStringA) == sizeof(void*));

template <class CharT>
BasicSharedString<CharT> operator+(const BasicSharedString<CharT>& a, const BasicSharedString<CharT>& b)
{
    return BasicSharedString<CharT>::concatString(a, b);
}
template <class CharT>
BasicSharedString<CharT> operator+(const BasicSharedString<CharT>& a, const CharT* b)
{
    return BasicSharedString<CharT>::concatText(a, b);
}
template <class CharT>
BasicSharedString<CharT> operator+(const CharT* a, const BasicSharedString<CharT>& b)
{
    return BasicSharedString<CharT>::concatTextFirst(a, b);
}
template <class CharT>
BasicSharedString<CharT> operator+(const BasicSharedString<CharT>& a, CharT ch)
{
    return BasicSharedString<CharT>::concatChar(a, ch);
}

// UTF-16 to UTF-8 and back with the program's own codec; invalid input gives
// an empty string.
SharedStringA toUtf8(const SharedString& text);
SharedString fromUtf8(std::string_view text);

// Case-insensitive comparison of two zero-terminated texts by toLowerChar:
// the difference of the first differing lower-cased characters; when `a`
// ends first, minus b's character there. Null counts as empty.
int compareNoCase(const char16_t* a, const char16_t* b) noexcept;

// Moves `count` characters; the ranges may overlap.
void moveChars(char16_t* destination, const char16_t* source, int count) noexcept;

inline FormatArg::FormatArg(const BasicSharedString<char16_t>& text) noexcept
    : kind_(Kind::kWideText), pointer_(text.c_str())
{
}
inline FormatArg::FormatArg(const BasicSharedString<char>& text) noexcept
    : kind_(Kind::kNarrowText), pointer_(text.c_str())
{
}

}  // namespace druvex
