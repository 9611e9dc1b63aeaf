#include "core/xml_writer.h"

#include <algorithm>
#include <cstring>

#include "core/byte_stream.h"

namespace druvex {
namespace {

// The escape of an ASCII byte, or null when it is written as it is.
const char* escapeOf(unsigned ch) noexcept
{
    switch (ch) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    case '\'':
        return "&apos;";
    default:
        return nullptr;
    }
}

bool isHighSurrogate(char16_t unit) noexcept
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool isLowSurrogate(char16_t unit) noexcept
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

constexpr char32_t kReplacementChar = 0xFFFD;

}  // namespace

XmlWriter::XmlWriter(ByteStream& stream, bool writeByteOrderMark) : stream_(stream)
{
    if (writeByteOrderMark)
        writeRaw("\xEF\xBB\xBF");
    writeRaw("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n");
}

void XmlWriter::startElement(std::string_view name)
{
    if (!tagClosed_)
        closePendingTag(true);
    indent();
    ++depth_;
    putChar('<');
    writeRaw(name);
    tagClosed_ = false;
}

void XmlWriter::attribute(std::string_view name, std::u16string_view value)
{
    if (tagClosed_)
        return;
    putChar(' ');
    writeRaw(name);
    writeRaw("=\"");
    writeEscapedWide(value);
    putChar('"');
}

void XmlWriter::attributeA(std::string_view name, std::string_view value)
{
    if (tagClosed_)
        return;
    putChar(' ');
    writeRaw(name);
    writeRaw("=\"");
    writeEscapedA(value);
    putChar('"');
}

void XmlWriter::text(std::u16string_view text)
{
    if (!tagClosed_)
        closePendingTag(false);
    writeEscapedWide(text);
    textWritten_ = true;
}

void XmlWriter::endElement(std::string_view name)
{
    --depth_;
    if (!tagClosed_) {
        writeRaw("/>");
        tagClosed_ = true;
    } else {
        if (textWritten_)
            textWritten_ = false;
        else
            indent();
        writeRaw("</");
        writeRaw(name);
        putChar('>');
    }
    putChar('\n');
}

void XmlWriter::textElement(std::string_view name, std::u16string_view text)
{
    startElement(name);
    this->text(text);
    endElement(name);
}

bool XmlWriter::flush()
{
    if (!error_ && used_ > 0) {
        std::size_t written = 0;
        if (!stream_.write(buffer_, used_, &written) || written < used_)
            error_ = true;
    }
    used_ = 0;
    return !error_;
}

void XmlWriter::putChar(char byte)
{
    if (used_ == kBufferBytes)
        flush();
    buffer_[used_++] = byte;
}

void XmlWriter::writeRaw(std::string_view text)
{
    while (!text.empty()) {
        if (used_ == kBufferBytes)
            flush();
        const std::size_t piece = std::min(text.size(), kBufferBytes - used_);
        std::memcpy(buffer_ + used_, text.data(), piece);
        used_ += piece;
        text.remove_prefix(piece);
    }
}

bool XmlWriter::replaces(char32_t ch)
{
    if (!replaceNonXml_)
        return false;
    const bool refused = ch < 0x20 ? ch != 0x09 && ch != 0x0A && ch != 0x0D : ch == 0xFFFE || ch == 0xFFFF;
    replaced_ += refused ? 1 : 0;
    return refused;
}

void XmlWriter::writeEscapedA(std::string_view text)
{
    for (const char ch : text) {
        makeRoomForChar();
        const unsigned byte = static_cast<unsigned char>(ch);
        if (byte < 0x20 && replaces(byte)) {
            writeRaw("\xEF\xBF\xBD");
            continue;
        }
        if (byte >= 0x80) {
            buffer_[used_++] = static_cast<char>(0xC0 | byte >> 6);
            buffer_[used_++] = static_cast<char>(0x80 | (byte & 0x3F));
            continue;
        }
        const char* escape = escapeOf(byte);
        if (!escape) {
            buffer_[used_++] = ch;
            continue;
        }
        const std::size_t length = std::strlen(escape);
        std::memcpy(buffer_ + used_, escape, length);
        used_ += length;
    }
}

// A surrogate pair becomes one 4-byte sequence. Any other surrogate, which
// well-formed UTF-16 never holds, becomes U+FFFD and the unit after it is
// written on its own, so a stray half never swallows its neighbour or reads
// past the end of the text.
void XmlWriter::writeEscapedWide(std::u16string_view text)
{
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size; ++i) {
        makeRoomForChar();
        char32_t cp = text[i];
        if ((cp < 0x20 || cp >= 0xFFFE) && replaces(cp))
            cp = kReplacementChar;
        if (cp < 0x80) {
            const char* escape = escapeOf(cp);
            if (!escape) {
                buffer_[used_++] = static_cast<char>(cp);
                continue;
            }
            const std::size_t length = std::strlen(escape);
            std::memcpy(buffer_ + used_, escape, length);
            used_ += length;
            continue;
        }
        if (cp < 0x800) {
            buffer_[used_++] = static_cast<char>(0xC0 | cp >> 6);
            buffer_[used_++] = static_cast<char>(0x80 | (cp & 0x3F));
            continue;
        }
        if (isHighSurrogate(text[i]) && i + 1 < size && isLowSurrogate(text[i + 1])) {
            cp = ((cp & 0x3FF) << 10 | (text[i + 1] & 0x3FF)) + 0x10000;
            ++i;
            buffer_[used_++] = static_cast<char>(0xF0 | cp >> 18);
            buffer_[used_++] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
            buffer_[used_++] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
            buffer_[used_++] = static_cast<char>(0x80 | (cp & 0x3F));
            continue;
        }
        if (isHighSurrogate(text[i]) || isLowSurrogate(text[i]))
            cp = kReplacementChar;
        buffer_[used_++] = static_cast<char>(0xE0 | cp >> 12);
        buffer_[used_++] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        buffer_[used_++] = static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void XmlWriter::closePendingTag(bool lineFeed)
{
    putChar('>');
    if (lineFeed)
        putChar('\n');
    tagClosed_ = true;
}

void XmlWriter::indent()
{
    for (int level = 0; level < depth_; ++level)
        putChar(' ');
}

}  // namespace druvex
