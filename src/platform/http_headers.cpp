#include "platform/http_headers.h"

#include <limits>

#include "text/char_class.h"

namespace druvex {

namespace {

bool isDigit(char16_t unit)
{
    return unit >= u'0' && unit <= u'9';
}

// Header names and the protocol name are ASCII; the one case mapping decides.
bool startsWithNoCase(std::u16string_view text, std::u16string_view prefix)
{
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::u16string_view firstLine(std::u16string_view text)
{
    return text.substr(0, text.find_first_of(u"\r\n"));
}

// The run of digits right after the status line's first blank.
std::u16string_view statusCode(std::u16string_view headers)
{
    const std::u16string_view line = firstLine(headers);
    const std::size_t blank = line.find(u' ');
    if (blank == std::u16string_view::npos)
        return {};
    std::size_t end = blank + 1;
    while (end < line.size() && isDigit(line[end]))
        ++end;
    return line.substr(blank + 1, end - blank - 1);
}

}  // namespace

bool parseForHttpResultOk(std::u16string_view headers)
{
    if (!startsWithNoCase(headers, u"HTTP"))
        return false;
    const std::u16string_view code = statusCode(headers);
    return code.size() == 3 && code[0] == u'2';
}

bool findContentLength(std::u16string_view headers, std::uint64_t& length)
{
    constexpr std::u16string_view kName = u"Content-Length:";
    std::size_t lineStart = 0;
    while (lineStart < headers.size()) {
        std::size_t lineEnd = headers.find_first_of(u"\r\n", lineStart);
        if (lineEnd == std::u16string_view::npos)
            lineEnd = headers.size();
        const std::u16string_view line = headers.substr(lineStart, lineEnd - lineStart);
        if (startsWithNoCase(line, kName)) {
            std::size_t at = kName.size();
            while (at < line.size() && (line[at] == u' ' || line[at] == u'\t'))
                ++at;
            std::uint64_t value = 0;
            constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
            for (; at < line.size() && isDigit(line[at]); ++at) {
                const unsigned digit = line[at] - u'0';
                value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
            }
            length = value;
            return true;
        }
        lineStart = lineEnd + 1;
    }
    return false;
}

std::u16string widenHeaderBytes(std::string_view bytes)
{
    std::u16string wide(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        wide[i] = static_cast<unsigned char>(bytes[i]);
    return wide;
}

HttpHeaderCollector::LineResult HttpHeaderCollector::addLine(std::string_view line)
{
    // Trailers of a chunked body come after the final block; they change nothing.
    if (complete_)
        return LineResult::More;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    const std::u16string wide = widenHeaderBytes(line);
    if (startsWithNoCase(wide, u"HTTP/"))
        block_.clear();
    if (!line.empty()) {
        if (block_.size() + line.size() + 2 > kMaxBlockBytes)
            return LineResult::TooLarge;
        block_.append(line);
        block_.append("\r\n");
        return LineResult::More;
    }
    if (block_.empty())
        return LineResult::More;
    const std::u16string wideBlock = widenHeaderBytes(block_);
    const std::u16string_view code = statusCode(wideBlock);
    if (!code.empty() && code[0] == u'1') {
        // An informational reply: the real one follows.
        block_.clear();
        return LineResult::More;
    }
    block_.append("\r\n");
    complete_ = true;
    return LineResult::Complete;
}

}  // namespace druvex
