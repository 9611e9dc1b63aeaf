// Fuzz target: the header lines of an HTTP reply as a transfer delivers them,
// through the header-block collector, the status-line check and the search
// for the announced length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/http_headers.h"

namespace {

void check(std::u16string_view headers)
{
    const bool ok = druvex::parseForHttpResultOk(headers);
    // A success always starts with the protocol's name.
    if (ok && (headers.size() < 4 || (headers[0] | 0x20) != u'h'))
        __builtin_trap();
    std::uint64_t length = 0;
    druvex::findContentLength(headers, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    check(druvex::widenHeaderBytes(input));

    druvex::HttpHeaderCollector collector;
    std::size_t start = 0;
    while (start < input.size()) {
        std::size_t end = input.find('\n', start);
        end = end == std::string_view::npos ? input.size() : end + 1;
        const auto result = collector.addLine(input.substr(start, end - start));
        if (result == druvex::HttpHeaderCollector::LineResult::TooLarge)
            return 0;
        if (result == druvex::HttpHeaderCollector::LineResult::Complete) {
            const std::string& block = collector.block();
            // A complete block ends with the blank line and is never larger
            // than the collector allows.
            if (block.size() < 2 || block.size() > druvex::HttpHeaderCollector::kMaxBlockBytes + 2 ||
                block.compare(block.size() - 2, 2, "\r\n") != 0)
                __builtin_trap();
            check(druvex::widenHeaderBytes(block));
        }
        start = end;
    }
    return 0;
}
