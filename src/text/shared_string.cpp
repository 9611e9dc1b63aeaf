#include "text/shared_string.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "text/char_class.h"
#include "text/diag.h"
#include "text/string_resources.h"
#include "text/text_convert.h"

namespace druvex {

namespace detail {
constinit SharedEmptyBlock g_sharedEmpty{{{-1}, 0, 0}, {{0, 0}}};
static_assert(offsetof(SharedEmptyBlock, text) == sizeof(SharedStringData), "text must follow the header");
}  // namespace detail

namespace {

constinit const SharedString g_emptyWide;
constinit const SharedStringA g_emptyNarrow;

// Lengths are signed 32-bit; one place turns a computed length into an int or
// refuses it.
constexpr std::int64_t kMaxLength = std::numeric_limits<std::int32_t>::max() - 1;

int checkedLength(std::int64_t length)
{
    if (length < 0 || length > kMaxLength)
        throw std::length_error("shared string length out of range");
    return static_cast<int>(length);
}

template <class CharT>
using Traits = std::char_traits<CharT>;

template <class CharT>
int textLength(const CharT* text)
{
    return text ? checkedLength(static_cast<std::int64_t>(Traits<CharT>::length(text))) : 0;
}

// Narrow text is trimmed of ASCII white space only: its upper half holds code
// page or UTF-8 bytes (0xA0 is a UTF-8 continuation byte).
bool isTrimSpace(char16_t ch, char16_t) { return isSpaceChar(ch); }
bool isTrimSpace(char ch, char)
{
    return static_cast<unsigned char>(ch) < 0x80 && isSpaceChar(static_cast<char16_t>(ch));
}
template <class CharT>
bool isSameChar(CharT ch, CharT wanted)
{
    return ch == wanted;
}

template <class CharT>
CharT* textOf(SharedStringData* header)
{
    return reinterpret_cast<CharT*>(reinterpret_cast<char*>(header) + sizeof(SharedStringData));
}

// A heap block of `capacity` characters and a terminator; count 1, length 0.
template <class CharT>
CharT* newBlock(int capacity)
{
    const std::size_t bytes =
        sizeof(SharedStringData) + (static_cast<std::size_t>(capacity) + 1) * sizeof(CharT);
    auto* header = new (::operator new(bytes)) SharedStringData{{1}, 0, capacity};
    CharT* text = textOf<CharT>(header);
    text[0] = CharT{};
    return text;
}

void freeBlock(SharedStringData* header) noexcept
{
    header->~SharedStringData();
    ::operator delete(static_cast<void*>(header));
}

}  // namespace

// ---- Construction, assignment, release -------------------------------------

template <class CharT>
BasicSharedString<CharT>::BasicSharedString(const CharT* text) : text_(detail::sharedEmptyText<CharT>())
{
    if (!text)
        return;
    if (isResourceId(text)) {
        loadString(resourceIdOf(text));
        return;
    }
    assignCopy(textLength(text), text);
}

template <class CharT>
BasicSharedString<CharT>::BasicSharedString(View text) : text_(detail::sharedEmptyText<CharT>())
{
    assignCopy(checkedLength(static_cast<std::int64_t>(text.size())), text.data());
}

template <class CharT>
BasicSharedString<CharT>::BasicSharedString(const BasicSharedString& other) : text_(detail::sharedEmptyText<CharT>())
{
    SharedStringData* source = other.header();
    if (source->count.load(std::memory_order_acquire) >= 0) {
        source->count.fetch_add(1, std::memory_order_relaxed);
        text_ = other.text_;
        return;
    }
    assignCopy(source->length, other.text_);
}

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::operator=(const BasicSharedString& other)
{
    if (text_ == other.text_)
        return *this;
    SharedStringData* source = other.header();
    if (source->count.load(std::memory_order_acquire) >= 0) {
        source->count.fetch_add(1, std::memory_order_relaxed);
        release();
        text_ = other.text_;
        return *this;
    }
    assignCopy(source->length, other.text_);
    return *this;
}

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::operator=(BasicSharedString&& other) noexcept
{
    std::swap(text_, other.text_);
    return *this;
}

template <class CharT>
const BasicSharedString<CharT>& BasicSharedString<CharT>::emptyString() noexcept
{
    if constexpr (std::is_same_v<CharT, char16_t>)
        return g_emptyWide;
    else
        return g_emptyNarrow;
}

template <class CharT>
void BasicSharedString<CharT>::release() noexcept
{
    if (isSharedEmpty())
        return;
    SharedStringData* block = header();
    text_ = detail::sharedEmptyText<CharT>();
    if (block->count.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0)
        freeBlock(block);
}

template <class CharT>
void BasicSharedString<CharT>::assign(const CharT* text)
{
    assignCopy(textLength(text), text);
}

template <class CharT>
void BasicSharedString<CharT>::assignCopy(int count, const CharT* buffer)
{
    if (count < 0 || !buffer)
        count = 0;
    if (count > 0 && holdsPointer(buffer)) {
        // The source lives in this block, which a new block would free.
        const std::basic_string<CharT> copy(buffer, static_cast<std::size_t>(count));
        assignCopy(count, copy.data());
        return;
    }
    CharT* dest = allocBeforeWrite(count);
    if (count > 0)
        Traits<CharT>::move(dest, buffer, static_cast<std::size_t>(count));
    setLength(count);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::fromBuffer(const CharT* buffer, int count)
{
    BasicSharedString result;
    if (!buffer || count < 1)
        return result;
    result.allocBuffer(count);
    Traits<CharT>::copy(result.text_, buffer, static_cast<std::size_t>(count));
    return result;
}

template <class CharT>
void BasicSharedString<CharT>::clear()
{
    if (length() == 0)
        return;
    // Only the static empty value has a negative count, and it is empty, so
    // every block that gets here is released.
    release();
}

template <class CharT>
bool BasicSharedString<CharT>::loadString(std::uint16_t id)
{
    const std::optional<std::u16string> text = StringResources::lookup(id);
    if (!text) {
        clear();
        return false;
    }
    if constexpr (std::is_same_v<CharT, char16_t>) {
        assignCopy(checkedLength(static_cast<std::int64_t>(text->size())), text->data());
    } else {
        *this = fromWide(text->c_str(), kCodePageAnsi);
    }
    return !isEmpty();
}

// ---- Conversions -------------------------------------------------------------

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::fromCodePage(const char* text, unsigned codePage)
    requires std::same_as<CharT, char16_t>
{
    return fromCodePage(text, textLength(text), codePage);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::fromCodePage(const char* text, int bytes, unsigned codePage)
    requires std::same_as<CharT, char16_t>
{
    BasicSharedString result;
    if (!text || bytes <= 0)
        return result;
    const int units = countWideChars(text, bytes, codePage);
    if (units <= 0)
        return result;
    result.allocBuffer(units);
    const int written = narrowToWide(result.text_, units, text, bytes, codePage);
    if (written < 0) {
        result.release();
        return result;
    }
    result.setLength(std::min(written, units));
    return result;
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::fromWide(const char16_t* text, unsigned codePage)
    requires std::same_as<CharT, char>
{
    return fromWide(text, textLength(text), codePage);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::fromWide(const char16_t* text, int units, unsigned codePage)
    requires std::same_as<CharT, char>
{
    BasicSharedString result;
    if (!text || units <= 0)
        return result;
    const int bytes = countNarrowChars(text, units, codePage);
    if (bytes <= 0)
        return result;
    result.allocBuffer(bytes);
    const int written = wideToNarrow(result.text_, bytes, text, units, codePage);
    if (written < 0) {
        result.release();
        return result;
    }
    result.setLength(std::min(written, bytes));
    return result;
}

template <class CharT>
void BasicSharedString<CharT>::assignWide(const char16_t* text)
    requires std::same_as<CharT, char>
{
    *this = fromWide(text, kCodePageAnsi);
}

SharedStringA toUtf8(const SharedString& text)
{
    return SharedStringA::fromWide(text.c_str(), text.length(), kCodePageUtf8);
}

SharedString fromUtf8(std::string_view text)
{
    return SharedString::fromCodePage(text.data(), checkedLength(static_cast<std::int64_t>(text.size())),
                                      kCodePageUtf8);
}

// ---- Buffer management ---------------------------------------------------------

template <class CharT>
void BasicSharedString<CharT>::allocBuffer(int count)
{
    if (count <= 0) {
        text_ = detail::sharedEmptyText<CharT>();
        return;
    }
    text_ = newBlock<CharT>(checkedLength(count));
    setLength(count);
}

template <class CharT>
void BasicSharedString<CharT>::setLength(int length) noexcept
{
    // The static empty value is never written: its length is 0 already, and
    // several threads may be looking at it.
    if (isSharedEmpty())
        return;
    header()->length = length;
    text_[length] = CharT{};
}

template <class CharT>
bool BasicSharedString<CharT>::holdsPointer(const CharT* pointer) const noexcept
{
    std::less_equal<const CharT*> lessEqual;
    return lessEqual(text_, pointer) && lessEqual(pointer, text_ + capacity());
}

template <class CharT>
CharT* BasicSharedString<CharT>::allocBeforeWrite(int count)
{
    count = std::max(count, 0);
    SharedStringData* block = header();
    if (block->count.load(std::memory_order_acquire) < 2 && count <= block->capacity)
        return text_;
    release();
    allocBuffer(count);
    return text_;
}

template <class CharT>
void BasicSharedString<CharT>::prepareBuffer(int count)
{
    const int needed = std::max(count, length());
    if (isSharedEmpty()) {
        text_ = newBlock<CharT>(checkedLength(needed));
        return;
    }
    SharedStringData* block = header();
    if (block->count.load(std::memory_order_acquire) <= 1 && block->capacity >= needed)
        return;
    // Shared, or too small: copy into a block of exactly the room needed.
    const int oldLength = block->length;
    CharT* fresh = newBlock<CharT>(checkedLength(needed));
    Traits<CharT>::copy(fresh, text_, static_cast<std::size_t>(oldLength));
    release();
    text_ = fresh;
    setLength(oldLength);
}

template <class CharT>
void BasicSharedString<CharT>::copyBeforeWrite()
{
    if (header()->count.load(std::memory_order_acquire) <= 1)
        return;
    BasicSharedString copy = fromBuffer(text_, length());
    std::swap(text_, copy.text_);
}

template <class CharT>
CharT* BasicSharedString<CharT>::getBuffer(int count)
{
    count = std::max(count, 0);
    SharedStringData* block = header();
    if (!isSharedEmpty() && block->count.load(std::memory_order_acquire) == 1 && block->capacity >= count)
        return text_;
    prepareBuffer(count);
    return text_;
}

template <class CharT>
void BasicSharedString<CharT>::releaseBuffer(int length)
{
    copyBeforeWrite();
    if (isSharedEmpty())
        return;
    const int room = capacity();
    if (length < 0) {
        const CharT* zero = Traits<CharT>::find(text_, static_cast<std::size_t>(room), CharT{});
        length = zero ? static_cast<int>(zero - text_) : room;
    }
    if (length > room) {
        DRUVEX_DBGCHK("releaseBuffer: length beyond the buffer");
        length = room;
    }
    setLength(length);
}

// ---- Editing -----------------------------------------------------------------

template <class CharT>
void BasicSharedString<CharT>::append(int count, const CharT* buffer)
{
    if (count <= 0 || !buffer)
        return;
    if (holdsPointer(buffer)) {
        const std::basic_string<CharT> copy(buffer, static_cast<std::size_t>(count));
        append(count, copy.data());
        return;
    }
    const int oldLength = length();
    const int newLength = checkedLength(static_cast<std::int64_t>(oldLength) + count);
    prepareBuffer(newLength);
    Traits<CharT>::copy(text_ + oldLength, buffer, static_cast<std::size_t>(count));
    setLength(newLength);
}

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::operator+=(const BasicSharedString& other)
{
    if (isEmpty() && header()->count.load(std::memory_order_acquire) < 0)
        return *this = other;
    append(other.length(), other.text_);
    return *this;
}

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::operator+=(const CharT* text)
{
    append(textLength(text), text);
    return *this;
}

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::operator+=(View text)
{
    append(checkedLength(static_cast<std::int64_t>(text.size())), text.data());
    return *this;
}

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::operator+=(CharT ch)
{
    append(1, &ch);
    return *this;
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::concatText(const BasicSharedString& a, const CharT* text)
{
    BasicSharedString result = a;
    result.append(textLength(text), text);
    return result;
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::concatTextFirst(const CharT* text, const BasicSharedString& b)
{
    BasicSharedString result(text);
    if (result.isEmpty())
        return b;
    result.append(b.length(), b.text_);
    return result;
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::concatString(const BasicSharedString& a,
                                                                const BasicSharedString& b)
{
    if (a.isEmpty())
        return b;
    BasicSharedString result = a;
    result.append(b.length(), b.text_);
    return result;
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::concatChar(const BasicSharedString& a, CharT ch)
{
    BasicSharedString result = a;
    result.append(1, &ch);
    return result;
}

template <class CharT>
int BasicSharedString<CharT>::replaceChar(CharT from, CharT to)
{
    if (from == to)
        return 0;
    const View text = view();
    const int count = static_cast<int>(std::count(text.begin(), text.end(), from));
    if (count == 0)
        return 0;
    copyBeforeWrite();
    std::replace(text_, text_ + length(), from, to);
    return count;
}

template <class CharT>
int BasicSharedString<CharT>::replace(const CharT* oldText, const CharT* newText)
{
    const int oldLength = textLength(oldText);
    if (oldLength == 0)
        return 0;
    const View from(oldText, static_cast<std::size_t>(oldLength));
    const View to = newText ? View(newText) : View();
    const View text = view();
    // Occurrences anywhere up to the length, embedded zeros included.
    int count = 0;
    for (std::size_t at = text.find(from); at != View::npos; at = text.find(from, at + from.size()))
        ++count;
    if (count == 0)
        return 0;
    const int newLength = checkedLength(static_cast<std::int64_t>(text.size()) +
                                        (static_cast<std::int64_t>(to.size()) - oldLength) * count);
    std::basic_string<CharT> result;
    result.reserve(static_cast<std::size_t>(newLength));
    std::size_t done = 0;
    for (std::size_t at = text.find(from); at != View::npos; at = text.find(from, done)) {
        result.append(text.substr(done, at - done));
        result.append(to);
        done = at + from.size();
    }
    result.append(text.substr(done));
    // A shared or too small block becomes a private one with room for the
    // longer of the old and the new text.
    SharedStringData* block = header();
    if (isSharedEmpty() || block->count.load(std::memory_order_acquire) > 1 || block->capacity < newLength) {
        CharT* fresh = newBlock<CharT>(std::max(newLength, length()));
        release();
        text_ = fresh;
    }
    Traits<CharT>::copy(text_, result.data(), result.size());
    setLength(newLength);
    return count;
}

template <class CharT>
int BasicSharedString<CharT>::remove(CharT ch)
{
    const View text = view();
    const int count = static_cast<int>(std::count(text.begin(), text.end(), ch));
    if (count == 0)
        return 0;
    copyBeforeWrite();
    CharT* end = std::remove(text_, text_ + length(), ch);
    setLength(static_cast<int>(end - text_));
    return count;
}

template <class CharT>
int BasicSharedString<CharT>::insert(int index, CharT ch)
{
    const int oldLength = length();
    index = std::clamp(index, 0, oldLength);
    const int newLength = checkedLength(static_cast<std::int64_t>(oldLength) + 1);
    prepareBuffer(newLength);
    Traits<CharT>::move(text_ + index + 1, text_ + index, static_cast<std::size_t>(oldLength - index));
    text_[index] = ch;
    setLength(newLength);
    return newLength;
}

template <class CharT>
int BasicSharedString<CharT>::deleteChars(int index, int count)
{
    const int oldLength = length();
    index = std::max(index, 0);
    if (count < 1 || index >= oldLength)
        return oldLength;
    count = std::min(count, oldLength - index);
    copyBeforeWrite();
    Traits<CharT>::move(text_ + index, text_ + index + count, static_cast<std::size_t>(oldLength - index - count));
    setLength(oldLength - count);
    return oldLength;
}

template <class CharT>
void BasicSharedString<CharT>::trimRightWhere(bool (*isTrimmed)(CharT, CharT), CharT ch)
{
    copyBeforeWrite();
    int end = length();
    while (end > 0 && isTrimmed(text_[end - 1], ch))
        --end;
    if (end != length())
        setLength(end);
}

template <class CharT>
void BasicSharedString<CharT>::trimLeftWhere(bool (*isTrimmed)(CharT, CharT), CharT ch)
{
    copyBeforeWrite();
    const int oldLength = length();
    int start = 0;
    while (start < oldLength && isTrimmed(text_[start], ch))
        ++start;
    if (start == 0)
        return;
    Traits<CharT>::move(text_, text_ + start, static_cast<std::size_t>(oldLength - start));
    setLength(oldLength - start);
}

template <class CharT>
void BasicSharedString<CharT>::trimRight()
{
    trimRightWhere(&isTrimSpace, CharT{});
}

template <class CharT>
void BasicSharedString<CharT>::trimLeft()
{
    trimLeftWhere(&isTrimSpace, CharT{});
}

template <class CharT>
void BasicSharedString<CharT>::trimRightChar(CharT ch)
{
    trimRightWhere(&isSameChar<CharT>, ch);
}

template <class CharT>
void BasicSharedString<CharT>::trimLeftChar(CharT ch)
{
    trimLeftWhere(&isSameChar<CharT>, ch);
}

// ---- Extraction and search -------------------------------------------------------

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::mid(int start, int count) const
{
    const int total = length();
    start = std::max(start, 0);
    count = std::max(count, 0);
    if (start >= total)
        return BasicSharedString();
    count = static_cast<int>(std::min<std::int64_t>(count, total - start));
    if (start == 0 && count == total)
        return *this;
    return fromBuffer(text_ + start, count);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::midToEnd(int start) const
{
    const std::int64_t count = static_cast<std::int64_t>(length()) - start;
    return mid(start, static_cast<int>(std::clamp<std::int64_t>(count, 0, kMaxLength)));
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::left(int count) const
{
    return mid(0, count);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::right(int count) const
{
    const int total = length();
    count = std::clamp(count, 0, total);
    return mid(total - count, count);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::copyRange(int count, int start, int extra) const
{
    // The caller's range is kept inside the text; the extra room starts zeroed.
    const int total = length();
    start = std::clamp(start, 0, total);
    count = std::clamp(count, 0, total - start);
    extra = std::max(extra, 0);
    BasicSharedString result;
    result.allocBuffer(checkedLength(static_cast<std::int64_t>(count) + extra));
    if (result.isSharedEmpty())
        return result;
    Traits<CharT>::copy(result.text_, text_ + start, static_cast<std::size_t>(count));
    Traits<CharT>::assign(result.text_ + count, static_cast<std::size_t>(extra), CharT{});
    return result;
}

template <class CharT>
int BasicSharedString<CharT>::find(CharT ch) const
{
    const std::size_t at = view().find(ch);
    return at == View::npos ? -1 : static_cast<int>(at);
}

template <class CharT>
BasicSharedString<CharT> BasicSharedString<CharT>::tokenize(const CharT* delimiters, int& position) const
{
    if (position < 0)
        return BasicSharedString();
    const int total = length();
    if (!delimiters || !delimiters[0]) {
        if (position < total) {
            BasicSharedString rest = midToEnd(position);
            position = total;
            return rest;
        }
        position = -1;
        return BasicSharedString();
    }
    const View separators(delimiters);
    const View text = view();
    if (position < total) {
        const std::size_t start = text.find_first_not_of(separators, static_cast<std::size_t>(position));
        if (start != View::npos) {
            std::size_t end = text.find_first_of(separators, start);
            if (end == View::npos)
                end = text.size();
            position = static_cast<int>(end < text.size() ? end + 1 : end);
            return mid(static_cast<int>(start), static_cast<int>(end - start));
        }
    }
    position = -1;
    return BasicSharedString();
}

// ---- Formatting and access ----------------------------------------------------------

template <class CharT>
BasicSharedString<CharT>& BasicSharedString<CharT>::formatV(const CharT* pattern, std::span<const FormatArg> args)
{
    std::basic_string<CharT> result;
    const View format = pattern ? View(pattern) : View();
    result.reserve(format.size() + 16 * args.size());
    if (!printfFormat(result, format, args, kFormatMaxUnits)) {
        // A cut result ends at its first zero, as a cut C buffer does.
        result.resize(std::min(result.size(), result.find(CharT{})));
    }
    assignCopy(checkedLength(static_cast<std::int64_t>(result.size())), result.data());
    return *this;
}

template <class CharT>
CharT BasicSharedString<CharT>::operator[](int index) const noexcept
{
    if (index < 0 || index > length()) {
        DRUVEX_DBGCHK("SharedString index out of range");
        return CharT{};
    }
    return text_[index];
}

template class BasicSharedString<char16_t>;
template class BasicSharedString<char>;

// ---- Free functions ---------------------------------------------------------------

int compareNoCase(const char16_t* a, const char16_t* b) noexcept
{
    if (!a)
        a = u"";
    if (!b)
        b = u"";
    for (;; ++a, ++b) {
        if (*a == 0)
            return -static_cast<int>(*b);
        const char16_t lowerA = toLowerChar(*a);
        const char16_t lowerB = toLowerChar(*b);
        if (lowerA != lowerB)
            return static_cast<int>(lowerA) - static_cast<int>(lowerB);
    }
}

void moveChars(char16_t* destination, const char16_t* source, int count) noexcept
{
    if (count > 0)
        std::memmove(destination, source, static_cast<std::size_t>(count) * sizeof(char16_t));
}

}  // namespace druvex
