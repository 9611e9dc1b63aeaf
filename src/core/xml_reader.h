// XmlReader: one forward scan over a UTF-8 block that calls an XmlHandler once
// per start tag and once per end tag, with no document tree. It reads the
// subset of XML that XmlWriter produces, plus a declaration and processing
// instructions, and refuses comments, CDATA sections, document type
// declarations and single-quoted attribute values. The reader never writes to
// its input and never reads outside it, whatever the input holds.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class MappedFile;

// A name as it stands in the input (undecoded UTF-8 bytes); valid only during
// XmlReader::parse, so handlers copy what they keep.
struct XmlNameSpan {
    const char* begin = nullptr;
    const char* end = nullptr;

    std::size_t size() const noexcept { return static_cast<std::size_t>(end - begin); }
    std::string_view view() const noexcept { return std::string_view(begin, size()); }
};

struct XmlAttribute {
    XmlNameSpan name;
    SharedString value;  // decoded
};

// In document order.
using XmlAttributeList = std::vector<XmlAttribute>;

// The case-folding compare behind xmlNameEquals, out of line; callers use
// xmlNameEquals.
bool xmlNameEqualsFolded(const XmlNameSpan& name, std::string_view text) noexcept;

// True when `name` has exactly `text`'s length and equals it ignoring ASCII
// case. Handlers compare element and attribute names with it; the reader
// itself matches end tags byte for byte. Inline, because names nearly always
// come spelled as the writer spells them, and a handler compares several per
// element: the length and one compare of the bytes settle most calls.
inline bool xmlNameEquals(const XmlNameSpan& name, std::string_view text) noexcept
{
    if (name.size() != text.size())
        return false;
    return name.view() == text || xmlNameEqualsFolded(name, text);
}

// Where and why a parse stopped short, for the caller's log line.
struct XmlParseError {
    // Byte offset in the input: the start of the tag or attribute at fault,
    // or the input's size when the input ended too early.
    std::size_t offset = 0;
    // The rule the document broke (ASCII); empty after a parse that succeeded.
    const char* rule = "";
    // For a character refused by XmlReader::refuseNonXmlCharacters: the
    // element whose text or attribute holds it (as the document spells it),
    // the attribute (empty for the text) and the character.
    std::string element{};
    std::string attribute{};
    char32_t character = 0;
};

// The rule given when a handler refused an element (the handler knows why).
inline constexpr const char* kXmlRuleHandlerRefused = "the element was refused";

// What a format's reader implements. Returning false stops the parse, which
// then returns false.
class XmlHandler {
public:
    // `text` is the decoded text between the start tag and the next tag, as it
    // stands (line breaks and indentation included); empty for "<name/>".
    // Text after a child element or an end tag is never reported.
    virtual bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes,
                              const SharedString& text) = 0;
    virtual bool endElement(const XmlNameSpan& name) = 0;

protected:
    XmlHandler() = default;
    XmlHandler(const XmlHandler&) = default;
    XmlHandler& operator=(const XmlHandler&) = default;
    ~XmlHandler() = default;
};

class XmlReader {
public:
    XmlReader();
    ~XmlReader();
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    // Takes `bytes` bytes at `data` as the input: not copied, not owned, no
    // terminating zero needed. Releases a mapped input file; false, with no
    // input left set, when `data` is null.
    bool setInput(const void* data, std::size_t bytes);
    // Maps the file at the device path `path` read-only and takes it as the
    // input, held until the next input is set or the reader goes away. False,
    // with no input left set, when the file cannot be mapped (an empty file
    // included).
    bool setInputFile(std::u16string_view path);

    // Scans the whole input from its start. True when it ends with no element
    // left open (and at once when no input was set: callers check that they
    // saw their root element); false at the first refusal or when the handler
    // returns false, after the handler has seen the elements before it.
    bool parse(XmlHandler& handler);
    // Why the last parse returned false; no rule after one that succeeded.
    const XmlParseError& lastError() const { return error_; }

    // With `refuse` set, a text or attribute value holding a character that
    // XML 1.0 does not allow in a document (a C0 control other than tab, line
    // feed and carriage return, U+FFFE or U+FFFF), in whatever form the input
    // has it, fails the parse at its first byte. Such a character could not
    // be written back into a document that other readers accept. Off by
    // default: formats that keep such characters read them as before.
    void refuseNonXmlCharacters(bool refuse) { refuseNonXmlCharacters_ = refuse; }

private:
    bool scan(XmlHandler& handler);
    bool splitStartTag(const char* begin, const char* end, XmlNameSpan& name);
    // Records the refusal at `at` (inside the input) and answers false.
    bool refuse(const char* at, const char* rule);
    // False, with the refusal, when refuseNonXmlCharacters is set and the
    // decoded `value` of [begin, end) holds a character it refuses.
    bool checkCharacters(const SharedString& value, const char* begin, const char* end, const XmlNameSpan& element,
                         const XmlNameSpan* attribute);
    XmlAttribute& newAttributeSlot();
    void keepAttributes(std::size_t count);

    std::unique_ptr<MappedFile> mappedInput_;
    const char* input_ = nullptr;
    std::size_t inputBytes_ = 0;
    std::vector<XmlNameSpan> openElements_;
    // Kept between tags so that a handler that keeps nothing costs no
    // allocation per element.
    XmlAttributeList attributes_;
    std::vector<SharedString> spareValues_;
    SharedString text_;
    XmlParseError error_;
    bool refuseNonXmlCharacters_ = false;
};

}  // namespace druvex
