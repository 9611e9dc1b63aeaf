// XmlWriter: the exact layout and escaping of a golden document (also checked
// well-formed by xmllint), UTF-8 encoding of wide and Latin-1 text including
// stray surrogates, the 4,096-byte buffering and the sticky stream error.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string asText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";

// Records every write; can refuse one or report it short.
class RecordingStream final : public ByteStream {
public:
    std::vector<std::string> writes;
    int refuseWrite = -1;      // index of the write to refuse
    int shortWrite = -1;       // index of the write to report one byte short

    bool read(void*, std::size_t, std::size_t*) override { return false; }
    bool write(const void* data, std::size_t count, std::size_t* written) override
    {
        const int index = calls++;
        if (index == refuseWrite)
            return false;
        writes.emplace_back(static_cast<const char*>(data), count);
        if (written)
            *written += index == shortWrite ? count - 1 : count;
        return true;
    }
    bool size(std::uint64_t&) override { return false; }
    void rewind() override {}

private:
    int calls = 0;
};

void writeGoldenDocument(XmlWriter& writer)
{
    writer.startElement("Root");
    writer.attribute("Version", u"1.0");
    writer.startElement("Empty");
    writer.attribute("a", u"1");
    writer.attributeA("b", "x y");
    writer.endElement("Empty");
    writer.startElement("Bare");
    writer.endElement("Bare");
    writer.startElement("Text");
    writer.text(u"a&b<c>d\"e'f");
    writer.endElement("Text");
    writer.startElement("Parent");
    writer.attribute("Quote", u"say \"hi\" & 'bye' <now>");
    writer.startElement("Child");
    writer.attribute("Euro", u"\u20AC");
    writer.attribute("Smile", u"\U0001F600");
    writer.attributeA("Latin", "caf\xE9");
    writer.endElement("Child");
    writer.startElement("Leaf");
    writer.text(u"deep");
    writer.endElement("Leaf");
    writer.endElement("Parent");
    writer.startElement("Late");
    writer.text(u"t");
    writer.attribute("ignored", u"x");  // after text: nothing is written
    writer.endElement("Late");
    writer.endElement("Root");
}

const std::string kGoldenBody =
    "<Root Version=\"1.0\">\n"
    " <Empty a=\"1\" b=\"x y\"/>\n"
    " <Bare/>\n"
    " <Text>a&amp;b&lt;c&gt;d&quot;e&apos;f</Text>\n"
    " <Parent Quote=\"say &quot;hi&quot; &amp; &apos;bye&apos; &lt;now&gt;\">\n"
    "  <Child Euro=\"\xE2\x82\xAC\" Smile=\"\xF0\x9F\x98\x80\" Latin=\"caf\xC3\xA9\"/>\n"
    "  <Leaf>deep</Leaf>\n"
    " </Parent>\n"
    " <Late>t</Late>\n"
    "</Root>\n";

// With and without the byte-order mark, which comes first.
TEST(XmlWriterLayout, GoldenDocumentByteForByte)
{
    ASSERT_TRUE(test::toolInstalled("xmllint"));
    for (const bool mark : {false, true}) {
        Bytes bytes;
        MemoryStream stream(bytes);
        XmlWriter writer(stream, mark);
        writeGoldenDocument(writer);
        ASSERT_TRUE(writer.flush());
        EXPECT_EQ(asText(bytes), (mark ? "\xEF\xBB\xBF" : "") + std::string(kDeclaration) + kGoldenBody);
        const test::ToolResult lint = test::runTool("xmllint --noout - 2>&1", bytes);
        EXPECT_EQ(lint.exitCode, 0) << asText(lint.output);
    }
}

// Line breaks, tabs and control characters are not escaped; stray surrogates
// become U+FFFD without taking the unit after them along.
TEST(XmlWriterEncoding, TextEncodingTable)
{
    struct Case {
        std::u16string_view text;
        std::string_view bytes;
    };
    const Case cases[] = {
        {u"\r\n\t\x01", "\r\n\t\x01"},
        {u"\u00E9\u07FF\u0800\uFFFF", "\xC3\xA9\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {std::u16string_view(u"x\xD800", 2), "x\xEF\xBF\xBD"},             // high surrogate at the end
        {std::u16string_view(u"\xD800" u"A", 2), "\xEF\xBF\xBD" "A"},      // high surrogate before a letter
        {std::u16string_view(u"\xD800\xD800\xDC00", 3), "\xEF\xBF\xBD\xF0\x90\x80\x80"},
        {std::u16string_view(u"\xDC00" u"A", 2), "\xEF\xBF\xBD" "A"},      // low surrogate alone
        {std::u16string_view(u"\xDC00\xD800", 2), "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {std::u16string_view(u"<\0>", 3), std::string_view("&lt;\0&gt;", 9)},
    };
    for (const Case& c : cases) {
        Bytes bytes;
        MemoryStream stream(bytes);
        XmlWriter writer(stream, false);
        writer.startElement("t");
        writer.text(c.text);
        writer.endElement("t");
        writer.flush();
        EXPECT_EQ(asText(bytes), std::string(kDeclaration) + "<t>" + std::string(c.bytes) + "</t>\n")
            << "case " << (&c - cases);
    }
}

TEST(XmlWriterEncoding, NarrowTextIsLatin1)
{
    Bytes bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, false);
    writer.writeEscapedA("\x7F\x80\xE9\xFF&'");
    writer.writeRaw("<&>");
    writer.putChar('\xFF');
    writer.flush();
    EXPECT_EQ(asText(bytes), std::string(kDeclaration) + "\x7F\xC2\x80\xC3\xA9\xC3\xBF&amp;&apos;<&>\xFF");
}

// One stream write per 4,096 bytes, and a character's bytes never straddle
// two writes.
TEST(XmlWriterStream, WholeBuffersAndWholeCharacters)
{
    RecordingStream stream;
    XmlWriter writer(stream, false);
    writer.startElement("t");
    const std::u16string euros(5000, u'\u20AC');
    writer.text(euros);
    const std::u16string quotes(2000, u'"');
    writer.text(quotes);
    writer.writeRaw(std::string(9000, 'r'));
    writer.endElement("t");
    ASSERT_TRUE(writer.flush());

    std::string expected = std::string(kDeclaration) + "<t>";
    for (int i = 0; i < 5000; ++i)
        expected += "\xE2\x82\xAC";
    for (int i = 0; i < 2000; ++i)
        expected += "&quot;";
    expected += std::string(9000, 'r') + "</t>\n";
    std::string all;
    for (const std::string& piece : stream.writes)
        all += piece;
    EXPECT_EQ(all, expected);

    std::size_t offset = 0;
    for (std::size_t i = 0; i < stream.writes.size(); ++i) {
        const std::string& piece = stream.writes[i];
        EXPECT_LE(piece.size(), 4096u);
        if (i + 1 < stream.writes.size()) {
            EXPECT_GT(piece.size(), 4096u - 6) << "write " << i;
        }
        // Inside the encoded text every write starts on a character.
        if (offset < kDeclaration.size() + 3 + 15000) {
            EXPECT_NE(static_cast<unsigned char>(piece[0]) & 0xC0, 0x80) << "write " << i;
        } else if (offset < kDeclaration.size() + 3 + 15000 + 12000) {
            EXPECT_EQ(piece[0], '&') << "write " << i;
        }
        offset += piece.size();
    }
}

TEST(XmlWriterStream, RefusedWriteDropsAllLaterOutput)
{
    for (const bool refuse : {true, false}) {
        RecordingStream stream;
        (refuse ? stream.refuseWrite : stream.shortWrite) = 1;
        XmlWriter writer(stream, false);
        writer.startElement("t");
        writer.text(std::u16string(10000, u'x'));
        writer.endElement("t");
        EXPECT_FALSE(writer.flush());
        EXPECT_EQ(stream.writes.size(), refuse ? 1u : 2u);
        writer.startElement("more");
        writer.endElement("more");
        EXPECT_FALSE(writer.flush());
        EXPECT_EQ(stream.writes.size(), refuse ? 1u : 2u);
    }
    // A read-only memory stream refuses the first write.
    Bytes bytes{'k'};
    MemoryStream stream(bytes, true);
    XmlWriter writer(stream, false);
    writer.startElement("a");
    writer.endElement("a");
    EXPECT_FALSE(writer.flush());
    EXPECT_EQ(bytes, Bytes{'k'});
}

}  // namespace
}  // namespace druvex
