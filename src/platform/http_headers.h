// Reading an HTTP response's raw header block: the status-line check and the
// announced length that the downloader relies on, and the collector that
// keeps the final header block of a reply out of the lines a transfer
// delivers. Pure text work, apart from the transfer itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace druvex {

// True when the header text starts with "HTTP" (any case) and the run of
// digits right after its first blank is exactly three digits starting with 2.
bool parseForHttpResultOk(std::u16string_view headers);

// The length a "Content-Length:" header announces: the header name matched
// without regard to case at the start of a line (so "X-Content-Length:" does
// not count), then blanks, then a decimal number. False when there is no such
// header. No digits give 0; a number beyond 64 bits gives the largest value,
// which no transfer can match.
bool findContentLength(std::u16string_view headers, std::uint64_t& length);

// The header bytes as the device's wide API shows them: each byte one unit.
std::u16string widenHeaderBytes(std::string_view bytes);

// Collects the header lines of one transfer. A line starting with "HTTP/"
// starts a new block, so informational (1xx) replies and a proxy's answer
// to CONNECT are dropped; a blank line ends a block. Lines are kept with CR LF
// endings, the status line first and the blank line last.
class HttpHeaderCollector {
public:
    // Largest header block kept; a longer one is refused.
    static constexpr std::size_t kMaxBlockBytes = 256 * 1024;

    enum class LineResult {
        More,      // keep feeding lines
        Complete,  // the final block is complete: block() holds it
        TooLarge,  // the block outgrew kMaxBlockBytes
    };

    // One header line, with or without its line ending.
    LineResult addLine(std::string_view line);
    const std::string& block() const { return block_; }
    bool complete() const { return complete_; }

private:
    std::string block_;
    bool complete_ = false;
};

}  // namespace druvex
