#include "payload/text_collector.h"

#include <string>

#include "platform/input_limits.h"
#include "text/byte_order_mark.h"
#include "fileutil/file_util.h"

namespace druvex {

namespace {

SharedString decodeUtf16(const std::uint8_t* bytes, std::size_t size, bool bigEndian)
{
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint8_t first = bytes[2 * i];
        const std::uint8_t second = bytes[2 * i + 1];
        units[i] = static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return SharedString(std::u16string_view(units));
}

}  // namespace

bool TextCollector::createFolder(ContentFolder*, const SharedString&)
{
    return true;
}

bool TextCollector::createFile(ContentFile*, const SharedString&)
{
    return !closed_;
}

bool TextCollector::writeData(std::uint32_t size, const std::uint8_t* bytes)
{
    // The text is held in memory, so a file size from the stream is bounded.
    if (closed_ || size > kMaxInMemoryExtraction - bytes_.size())
        return false;
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    return true;
}

bool TextCollector::finishFile()
{
    if (closed_)
        return true;
    closed_ = true;
    if (bytes_.empty())
        return true;
    int markLength = 0;
    // The first mark of the table that matches decides, so FF FE 00 00 (the
    // UTF-32LE mark) is not UTF-16 and falls to UTF-8 with everything else.
    const ByteOrderMarkKind mark = findByteOrderMark(bytes_.data(), bytes_.size(), &markLength);
    if (mark == kBomUtf16LE || mark == kBomUtf16BE) {
        text_ = decodeUtf16(bytes_.data() + markLength, bytes_.size() - static_cast<std::size_t>(markLength),
                            mark == kBomUtf16BE);
    } else {
        SharedString decoded;
        decodeUtf8ToString(bytes_.data(), bytes_.data() + bytes_.size(), decoded);
        text_ = decoded;
    }
    std::vector<std::uint8_t>().swap(bytes_);
    return true;
}

}  // namespace druvex
