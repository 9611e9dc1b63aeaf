#include "core/xml_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "core/mapped_file.h"

namespace druvex {
namespace {

// The longest text or attribute value a SharedString can hold.
constexpr std::size_t kMaxDecodedBytes = 0x7FFFFFFE;

const char* findByte(const char* from, const char* end, char wanted) noexcept
{
    if (from >= end)
        return nullptr;
    return static_cast<const char*>(std::memchr(from, wanted, static_cast<std::size_t>(end - from)));
}

const char* findPair(const char* from, const char* end, char first, char second) noexcept
{
    while (const char* hit = findByte(from, end, first)) {
        if (hit + 1 < end && hit[1] == second)
            return hit;
        from = hit + 1;
    }
    return nullptr;
}

bool startsWith(const unsigned char* at, const unsigned char* end, std::string_view text) noexcept
{
    return static_cast<std::size_t>(end - at) >= text.size() && std::memcmp(at, text.data(), text.size()) == 0;
}

// The character of a named entity whose name starts at `at` (after the
// ampersand), with the bytes it takes after the ampersand; 0 when none starts
// there. Only the five entities the writer produces are known; numeric
// references stay literal text.
char16_t namedEntity(const unsigned char* at, const unsigned char* end, std::size_t& length) noexcept
{
    struct Entity {
        std::string_view name;
        char16_t ch;
    };
    static constexpr Entity kEntities[] = {
        {"lt;", u'<'}, {"gt;", u'>'}, {"amp;", u'&'}, {"apos;", u'\''}, {"quot;", u'"'},
    };
    for (const Entity& entity : kEntities) {
        if (startsWith(at, end, entity.name)) {
            length = entity.name.size();
            return entity.ch;
        }
    }
    return 0;
}

// True when none of the eight bytes in `word` is 0x80 or above or an
// ampersand, so that each stands for itself.
bool isPlainAsciiWord(std::uint64_t word) noexcept
{
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    // A zero byte in `ampersands` is an ampersand in `word`.
    const std::uint64_t ampersands = word ^ (kOnes * '&');
    return ((word | ((ampersands - kOnes) & ~ampersands)) & kHighBits) == 0;
}

// Widens the next kBytes bytes at `at` into `out` and advances both when all
// of them stand for themselves; false, with nothing done, otherwise. The
// bytes go through plain arrays, which the compiler widens with vector
// instructions.
template <std::size_t kBytes>
bool widenPlainBlock(const unsigned char*& at, const unsigned char* end, char16_t*& out) noexcept
{
    static_assert(kBytes % 8 == 0);
    if (static_cast<std::size_t>(end - at) < kBytes)
        return false;
    std::uint64_t words[kBytes / 8];
    std::memcpy(words, at, kBytes);
    for (const std::uint64_t word : words) {
        if (!isPlainAsciiWord(word))
            return false;
    }
    unsigned char bytes[kBytes];
    std::memcpy(bytes, words, kBytes);
    char16_t wide[kBytes];
    for (std::size_t i = 0; i < kBytes; ++i)
        wide[i] = bytes[i];
    std::memcpy(out, wide, sizeof wide);
    at += kBytes;
    out += kBytes;
    return true;
}

// The leading bytes of [at, end) that stand for themselves (below 0x80, no
// ampersand), widened into `out`; returns how many. Names, paths and numbers
// are mostly such runs, and a byte at a time they would make the decoding the
// slowest part of reading a large document.
std::size_t widenPlainAscii(const unsigned char* at, const unsigned char* end, char16_t* out) noexcept
{
    const unsigned char* const start = at;
    while (widenPlainBlock<16>(at, end, out)) {
    }
    widenPlainBlock<8>(at, end, out);
    while (at < end && *at < 0x80 && *at != '&')
        *out++ = *at++;
    return static_cast<std::size_t>(at - start);
}

// Decodes UTF-8 with entities into `out`, which has room for one unit per
// input byte (no sequence yields more units than it has bytes). Returns the
// units written, or -1 when a multi-byte sequence is cut off by the end.
//
// The decoding is lenient, as stored documents may rely on it: a lone byte
// 0x80-0xBF is that code point, continuation bytes are not checked and
// overlong forms are accepted. What has no place in UTF-16 (surrogate code
// points, anything above U+10FFFF) becomes U+FFFD, so that the text stays
// convertible everywhere else in the program.
std::ptrdiff_t decodeText(const unsigned char* at, const unsigned char* end, char16_t* out) noexcept
{
    char16_t* const start = out;
    while (at < end) {
        const std::size_t plain = widenPlainAscii(at, end, out);
        at += plain;
        out += plain;
        if (at == end)
            break;
        const unsigned char byte = *at;
        if (byte < 0xC0) {
            ++at;
            if (byte == '&') {
                std::size_t length = 0;
                if (const char16_t ch = namedEntity(at, end, length)) {
                    *out++ = ch;
                    at += length;
                    continue;
                }
            }
            *out++ = byte;
            continue;
        }
        int continuation;
        char32_t cp;
        if (byte < 0xE0) {
            continuation = 1;
            cp = byte & 0x1F;
        } else if (byte < 0xF0) {
            continuation = 2;
            cp = byte & 0x0F;
        } else {
            continuation = 3;
            cp = byte & 0x07;
        }
        if (end - at <= continuation)
            return -1;
        for (int i = 1; i <= continuation; ++i)
            cp = cp << 6 | (at[i] & 0x3F);
        at += continuation + 1;
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            cp = 0xFFFD;
        if (cp <= 0xFFFF) {
            *out++ = static_cast<char16_t>(cp);
            continue;
        }
        cp -= 0x10000;
        *out++ = static_cast<char16_t>(0xD800 | cp >> 10);
        *out++ = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    }
    return out - start;
}

// Decodes [begin, end) into `result`, reusing its block when no one else holds
// it and it is not far larger than needed.
bool decodeInto(const char* begin, const char* end, SharedString& result)
{
    const std::size_t bytes = static_cast<std::size_t>(end - begin);
    if (bytes == 0) {
        result.clear();
        return true;
    }
    if (bytes > kMaxDecodedBytes)
        return false;
    if (static_cast<std::size_t>(result.capacity()) > 4 * bytes + 64)
        result.clear();
    char16_t* buffer = result.allocBeforeWrite(static_cast<int>(bytes));
    const std::ptrdiff_t units = decodeText(reinterpret_cast<const unsigned char*>(begin),
                                            reinterpret_cast<const unsigned char*>(end), buffer);
    if (units < 0) {
        result.releaseBuffer(0);
        return false;
    }
    result.releaseBuffer(static_cast<int>(units));
    return true;
}

// A character the XML 1.0 "Char" production leaves out, among those the
// decoding can give: surrogates and code points above U+10FFFF are U+FFFD by
// then, which XML allows.
bool isNonXmlCharacter(char32_t ch) noexcept
{
    if (ch < 0x20)
        return ch != 0x09 && ch != 0x0A && ch != 0x0D;
    return ch == 0xFFFE || ch == 0xFFFF;
}

// The first byte of the first character isNonXmlCharacter refuses in
// [begin, end), decoded as decodeText decodes it (an entity gives only
// characters XML allows), with that character; null when there is none.
const char* findNonXmlCharacter(const char* begin, const char* end, char32_t& character) noexcept
{
    const auto* at = reinterpret_cast<const unsigned char*>(begin);
    const auto* const stop = reinterpret_cast<const unsigned char*>(end);
    while (at < stop) {
        const unsigned char* const start = at;
        char32_t cp = *at;
        int continuation = 0;
        if (cp >= 0xF0) {
            continuation = 3;
            cp &= 0x07;
        } else if (cp >= 0xE0) {
            continuation = 2;
            cp &= 0x0F;
        } else if (cp >= 0xC0) {
            continuation = 1;
            cp &= 0x1F;
        }
        if (stop - at <= continuation)
            return nullptr;
        for (int i = 1; i <= continuation; ++i)
            cp = cp << 6 | (at[i] & 0x3F);
        at += continuation + 1;
        if (isNonXmlCharacter(cp)) {
            character = cp;
            return reinterpret_cast<const char*>(start);
        }
    }
    return nullptr;
}

// The first `wanted` in [from, end), or null. For the few bytes of a name and
// the "=" and quote that follow it, a plain loop costs less than a call.
const char* findNearByte(const char* from, const char* end, char wanted) noexcept
{
    for (; from < end; ++from) {
        if (*from == wanted)
            return from;
    }
    return nullptr;
}

bool sameBytes(const XmlNameSpan& a, const XmlNameSpan& b) noexcept
{
    return a.size() == b.size() && std::memcmp(a.begin, b.begin, a.size()) == 0;
}

char lowerAscii(char ch) noexcept
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

}  // namespace

bool xmlNameEqualsFolded(const XmlNameSpan& name, std::string_view text) noexcept
{
    if (name.size() != text.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lowerAscii(name.begin[i]) != lowerAscii(text[i]))
            return false;
    }
    return true;
}

XmlReader::XmlReader() = default;
XmlReader::~XmlReader() = default;

bool XmlReader::setInput(const void* data, std::size_t bytes)
{
    mappedInput_.reset();
    input_ = nullptr;
    inputBytes_ = 0;
    if (!data)
        return false;
    input_ = static_cast<const char*>(data);
    inputBytes_ = bytes;
    return true;
}

bool XmlReader::setInputFile(std::u16string_view path)
{
    mappedInput_.reset();
    input_ = nullptr;
    inputBytes_ = 0;
    auto mapped = std::make_unique<MappedFile>();
    if (!mapped->open(path, false, false))
        return false;
    input_ = reinterpret_cast<const char*>(mapped->data());
    inputBytes_ = static_cast<std::size_t>(mapped->viewSize());
    mappedInput_ = std::move(mapped);
    return true;
}

bool XmlReader::parse(XmlHandler& handler)
{
    openElements_.clear();
    error_ = XmlParseError{};
    try {
        return scan(handler);
    } catch (const std::bad_alloc&) {
        return refuse(input_, "the document needs more memory than there is");
    } catch (const std::length_error&) {
        return refuse(input_, "the document needs more memory than there is");
    }
}

bool XmlReader::refuse(const char* at, const char* rule)
{
    error_.offset = at && input_ ? static_cast<std::size_t>(at - input_) : 0;
    error_.rule = rule;
    return false;
}

bool XmlReader::checkCharacters(const SharedString& value, const char* begin, const char* end,
                                const XmlNameSpan& element, const XmlNameSpan* attribute)
{
    if (!refuseNonXmlCharacters_)
        return true;
    const std::u16string_view units = value.view();
    if (std::none_of(units.begin(), units.end(), [](char16_t unit) { return isNonXmlCharacter(unit); }))
        return true;
    char32_t character = 0;
    const char* at = findNonXmlCharacter(begin, end, character);
    refuse(at ? at : begin, attribute ? "an attribute value holds a character that XML does not allow"
                                      : "the text holds a character that XML does not allow");
    error_.element = element.view();
    error_.attribute = attribute ? std::string(attribute->view()) : std::string();
    error_.character = character;
    return false;
}

bool XmlReader::scan(XmlHandler& handler)
{
    if (!input_)
        return true;
    const char* const end = input_ + inputBytes_;
    const char* cursor = input_;
    for (;;) {
        const char* open = findByte(cursor, end, '<');
        if (!open)
            return openElements_.empty() || refuse(end, "elements are still open at the end of the input");
        const char* const afterOpen = open + 1;
        if (afterOpen == end)
            return refuse(open, "a '<' ends the input");

        if (*afterOpen == '/') {
            if (openElements_.empty())
                return refuse(open, "an end tag closes no element");
            const char* close = findByte(afterOpen + 1, end, '>');
            if (!close)
                return refuse(open, "an end tag is not closed with '>'");
            const XmlNameSpan name{afterOpen + 1, close};
            if (!sameBytes(name, openElements_.back()))
                return refuse(open, "an end tag does not match the open element");
            if (!handler.endElement(name))
                return refuse(open, kXmlRuleHandlerRefused);
            openElements_.pop_back();
            cursor = close + 1;
            continue;
        }

        // A declaration or processing instruction; "<?>" does not close itself.
        if (*afterOpen == '?') {
            const char* close = findPair(afterOpen + 1, end, '?', '>');
            if (!close)
                return refuse(open, "a declaration is not closed with \"?>\"");
            cursor = close + 2;
            continue;
        }

        const char* close = findByte(afterOpen, end, '>');
        if (!close)
            return refuse(open, "a start tag is not closed with '>'");
        const bool selfClosing = close[-1] == '/';
        const char* const contentEnd = selfClosing ? close - 1 : close;
        XmlNameSpan name;
        if (!splitStartTag(afterOpen, contentEnd, name))
            return false;
        cursor = close + 1;
        if (selfClosing) {
            text_.clear();
        } else {
            const char* next = findByte(cursor, end, '<');
            if (!next)
                return refuse(cursor, "the text of an element runs to the end of the input");
            if (!decodeInto(cursor, next, text_))
                return refuse(cursor, "the text of an element cannot be decoded");
            if (!checkCharacters(text_, cursor, next, name, nullptr))
                return false;
            cursor = next;
        }
        if (!handler.startElement(name, attributes_, text_))
            return refuse(open, kXmlRuleHandlerRefused);
        if (selfClosing) {
            if (!handler.endElement(name))
                return refuse(open, kXmlRuleHandlerRefused);
            continue;
        }
        // Without attributes the whole tag content is what the end tag must
        // match, so "<a >" is closed by "</a >" only.
        openElements_.push_back(attributes_.empty() ? XmlNameSpan{afterOpen, contentEnd} : name);
    }
}

// Name up to the first blank (only 0x20 separates), then attributes of the
// form name="value": an attribute name runs to its "=", blanks included;
// anything between "=" and the opening quote is skipped; no blank is needed
// between attributes.
bool XmlReader::splitStartTag(const char* begin, const char* end, XmlNameSpan& name)
{
    const char* nameEnd = findNearByte(begin, end, ' ');
    if (!nameEnd)
        nameEnd = end;
    if (nameEnd == begin)
        return refuse(begin - 1, "a tag has no name");
    name = XmlNameSpan{begin, nameEnd};
    const char* at = nameEnd;
    std::size_t count = 0;
    for (;;) {
        while (at < end && *at == ' ')
            ++at;
        if (at == end)
            break;
        const char* equals = findNearByte(at, end, '=');
        if (!equals)
            return refuse(at, "an attribute has no '='");
        const char* openQuote = findNearByte(equals, end, '"');
        if (!openQuote)
            return refuse(at, "an attribute value is not in double quotes");
        const char* closeQuote = findByte(openQuote + 1, end, '"');
        if (!closeQuote)
            return refuse(at, "an attribute value is not closed");
        XmlAttribute& attribute = count < attributes_.size() ? attributes_[count] : newAttributeSlot();
        ++count;
        attribute.name = XmlNameSpan{at, equals};
        if (!decodeInto(openQuote + 1, closeQuote, attribute.value))
            return refuse(at, "an attribute value cannot be decoded");
        if (!checkCharacters(attribute.value, openQuote + 1, closeQuote, name, &attribute.name))
            return false;
        at = closeQuote + 1;
    }
    keepAttributes(count);
    return true;
}

// Tags of one kind follow each other, so the slots (and the value blocks no
// handler kept) of the previous tag are decoded into in place; a tag with more
// attributes than the one before takes a new slot with a spare block.
XmlAttribute& XmlReader::newAttributeSlot()
{
    XmlAttribute& slot = attributes_.emplace_back();
    if (!spareValues_.empty()) {
        slot.value = std::move(spareValues_.back());
        spareValues_.pop_back();
    }
    return slot;
}

void XmlReader::keepAttributes(std::size_t count)
{
    while (attributes_.size() > count) {
        spareValues_.push_back(std::move(attributes_.back().value));
        attributes_.pop_back();
    }
}

}  // namespace druvex
