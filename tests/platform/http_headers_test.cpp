// The status-line check, the announced length and the header-block collector.
#include "platform/http_headers.h"

#include <gtest/gtest.h>

#include <string>

namespace druvex {
namespace {

TEST(ParseHttpResult, StatusLineTable)
{
    const struct {
        std::u16string_view headers;
        bool ok;
    } cases[] = {
        {u"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n", true},
        {u"HTTP/1.1 204 No Content\r\n", true},
        {u"http/1.0 200", true},
        {u"HTTP/2 200\r\n", true},
        {u"HTTP/1.1 299 Odd", true},
        {u"HTTP/1.1 302 Found\r\nLocation: /x\r\n", false},
        {u"HTTP/1.1 404 Not Found", false},
        {u"HTTP/1.1 20 OK", false},
        {u"HTTP/1.1 2000 X", false},
        {u"HTTP/1.1  200", false},  // the digits must follow the first blank
        {u"HTTP/1.1 200OK", true},  // only the run of digits counts
        {u"ICY 200 OK", false},
        {u"", false},
        {u"HTTP/1.1\r\nServer: 200 x\r\n", false},  // the code is on the status line
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseForHttpResultOk(c.headers), c.ok) << std::string(c.headers.begin(), c.headers.end());
}

TEST(ParseHttpResult, ContentLengthIsAHeaderAtTheStartOfALine)
{
    const struct {
        std::u16string_view headers;
        bool found;
        std::uint64_t length;
    } cases[] = {
        {u"HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n", true, 1234},
        {u"HTTP/1.1 200 OK\r\ncontent-length:7\r\n", true, 7},
        {u"HTTP/1.1 200 OK\r\nCONTENT-LENGTH: \t 8589934592\r\n", true, 8589934592ull},
        {u"HTTP/1.1 200 OK\r\nX-Content-Length: 5\r\n\r\n", false, 0},
        {u"HTTP/1.1 200 OK\r\nServer: Content-Length: 5\r\n", false, 0},
        {u"HTTP/1.1 200 OK\r\n\r\n", false, 0},
        {u"HTTP/1.1 200 OK\r\nContent-Length: abc\r\n", true, 0},
        {u"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n", true, UINT64_MAX},
    };
    for (const auto& c : cases) {
        std::uint64_t length = 42;
        EXPECT_EQ(findContentLength(c.headers, length), c.found) << std::string(c.headers.begin(), c.headers.end());
        if (c.found) {
            EXPECT_EQ(length, c.length);
        }
    }
}

TEST(ParseHttpResult, CollectorKeepsTheFinalBlock)
{
    HttpHeaderCollector collector;
    using Result = HttpHeaderCollector::LineResult;
    for (const char* line : {"HTTP/1.1 100 Continue\r\n", "\r\n", "HTTP/1.1 200 OK\r\n", "Content-Length: 2\n"})
        EXPECT_EQ(collector.addLine(line), Result::More);
    EXPECT_EQ(collector.addLine("\r\n"), Result::Complete);
    EXPECT_EQ(collector.block(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
    // Trailers after the body leave the block alone.
    EXPECT_EQ(collector.addLine("X-Trailer: 1\r\n"), Result::More);
    EXPECT_EQ(collector.block(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");

    HttpHeaderCollector huge;
    const std::string line(1024, 'x');
    Result result = huge.addLine("HTTP/1.1 200 OK");
    for (int i = 0; i < 300 && result == Result::More; ++i)
        result = huge.addLine("X-Big: " + line);
    EXPECT_EQ(result, Result::TooLarge);
}

TEST(ParseHttpResult, HeaderBytesWidenOneUnitEach)
{
    EXPECT_EQ(widenHeaderBytes("A\xE9\r\n"), std::u16string(u"A\u00E9\r\n"));
}

}  // namespace
}  // namespace druvex
