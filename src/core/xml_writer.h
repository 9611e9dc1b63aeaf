// XmlWriter: streams an XML document as UTF-8 into a ByteStream, one element at
// a time, with the system's fixed layout (a declaration line, one blank of
// indentation per level, empty elements closed by "/>", text on its start
// tag's line). Every XML document of the system is written with it, and
// XmlReader reads exactly what it writes.
#pragma once

#include <cstddef>
#include <string_view>

namespace druvex {

class ByteStream;

class XmlWriter {
public:
    // Writes the UTF-8 byte-order mark when asked, then the declaration line.
    XmlWriter(ByteStream& stream, bool writeByteOrderMark);
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    // Element, attribute and tag names are ASCII and written as they are.
    void startElement(std::string_view name);
    // Only between startElement and the element's first content; otherwise
    // nothing is written.
    void attribute(std::string_view name, std::u16string_view value);
    // A narrow value is Latin-1: bytes from 0x80 become two UTF-8 bytes.
    void attributeA(std::string_view name, std::string_view value);
    // The element's text. Write either text or child elements into one
    // element, never both: the layout has no place for mixed content.
    void text(std::u16string_view text);
    void endElement(std::string_view name);
    // An element that holds only `text`.
    void textElement(std::string_view name, std::u16string_view text);

    // Hands the buffered output to the stream; call once after the last
    // element (nothing flushes on destruction). False when the stream refused
    // this or any earlier output: after the first refusal all further output
    // is dropped.
    bool flush();

    // Unescaped output, for writers that emit their own markup.
    void putChar(char byte);
    void writeRaw(std::string_view text);
    // Escaped Latin-1 text.
    void writeEscapedA(std::string_view text);

    // With `replace` set, texts and attribute values are written with U+FFFD
    // in place of each character that XML 1.0 does not allow in a document (a
    // C0 control other than tab, line feed and carriage return, U+FFFE and
    // U+FFFF), so that other readers accept what is written. Off by default.
    void replaceNonXmlCharacters(bool replace) { replaceNonXml_ = replace; }
    // How many characters were replaced so far.
    std::size_t replacedCharacters() const { return replaced_; }

private:
    static constexpr std::size_t kBufferBytes = 4096;
    // The most bytes one character takes escaped or encoded ("&quot;").
    static constexpr std::size_t kMaxCharBytes = 6;

    void closePendingTag(bool lineFeed);
    void indent();
    void writeEscapedWide(std::u16string_view text);
    // Whether `ch` is written as U+FFFD (and counted).
    bool replaces(char32_t ch);
    void makeRoomForChar()
    {
        if (used_ + kMaxCharBytes > kBufferBytes)
            flush();
    }

    ByteStream& stream_;
    std::size_t used_ = 0;
    bool error_ = false;
    bool tagClosed_ = true;
    bool textWritten_ = false;
    bool replaceNonXml_ = false;
    std::size_t replaced_ = 0;
    int depth_ = 0;
    char buffer_[kBufferBytes];
};

}  // namespace druvex
