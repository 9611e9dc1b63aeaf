// XmlReader: which inputs are accepted and refused (with the handler calls
// each one makes), decoding of text and values, every prefix of a document
// read from an exactly sized buffer, the round trip through XmlWriter, and
// mutated documents.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_stream.h"
#include "core/platform_file.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"
#include "support/device_fixture.h"

namespace druvex {
namespace {

// Non-ASCII units as \uXXXX, so that traces are plain text.
std::string describe(std::u16string_view text)
{
    std::string out;
    for (const char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F) {
            out += static_cast<char>(unit);
            continue;
        }
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
        out += escape;
    }
    return out;
}

// Records every call as "<name a=v ...>text" or "</name>".
class TraceHandler final : public XmlHandler {
public:
    std::string trace;
    int refuseAtCall = -1;

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        trace += "<" + describeName(name);
        for (const XmlAttribute& attribute : attributes)
            trace += " " + describeName(attribute.name) + "=" + describe(attribute.value.view());
        trace += ">" + describe(text.view());
        return calls++ != refuseAtCall;
    }
    bool endElement(const XmlNameSpan& name) override
    {
        trace += "</" + describeName(name) + ">";
        return calls++ != refuseAtCall;
    }

private:
    static std::string describeName(const XmlNameSpan& name)
    {
        std::string out;
        for (const char ch : name.view())
            out += ch == '\t' ? std::string("\\t") : std::string(1, ch);
        return out;
    }
    int calls = 0;
};

// Parses from a heap copy of exactly the input's size, so that a read past
// the end is caught by the sanitizers.
bool parseExact(std::string_view input, XmlHandler& handler)
{
    std::unique_ptr<char[]> buffer(new char[input.size()]);
    std::copy(input.begin(), input.end(), buffer.get());
    XmlReader reader;
    EXPECT_TRUE(reader.setInput(buffer.get(), input.size()));
    return reader.parse(handler);
}

struct AcceptCase {
    std::string_view input;
    bool accepted;
    std::string_view trace;
};

TEST(XmlReaderAccept, AcceptanceTable)
{
    const AcceptCase cases[] = {
        {"", true, ""},
        {"no tags at all", true, ""},
        {"<a>x</a>", true, "<a>x</a>"},
        {"<a></A>", false, "<a>"},
        {"<a ></a>", false, "<a>"},
        {"<a ></a >", true, "<a></a >"},
        {"<a x=\"1\" ></a>", true, "<a x=1></a>"},
        {"<a x='1'/>", false, ""},
        {"<a x=\"1\"y=\"2\"/>", true, "<a x=1 y=2></a>"},
        {"<a b =\"1\"/>", true, "<a b =1></a>"},
        {"<a x = junk\"1\"/>", true, "<a x =1></a>"},
        {"<a x=\"1\" y/>", false, ""},
        {"<a x=\"1>\"/>", false, ""},
        {"<a x=\"1\"/", false, ""},
        {"<a\tb/>", true, "<a\\tb></a\\tb>"},
        {"<a\tb></a\tb>", true, "<a\\tb></a\\tb>"},
        {"<a\nb x=\"1\"></a\nb>", true, "<a\nb x=1></a\nb>"},
        {"<p>&lt;&#60;</p>", true, "<p><&#60;</p>"},
        {"<p>x<q/>y</p>", true, "<p>x<q></q></p>"},
        {"<p>x</p>tail", true, "<p>x</p>"},
        {"<a><b>t</b>\n</a>", true, "<a><b>t</b></a>"},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<a/>\n<?pi data?>", true, "<a></a>"},
        {"<a><?pi?>x</a>", true, "<a></a>"},
        {"<?xml version=\"1.0\"", false, ""},
        {"<?><a/>", false, ""},
        {"<?x?>", true, ""},
        {"<a><!-- note --></a>", false, "<a>"},
        {"<a><![CDATA[x]]></a>", false, "<a><![CDATA[x]]>"},
        {"<!DOCTYPE a><a/>", false, ""},
        {"<!--x--><a/>", false, "<!--x--><a></a>"},
        {"<a>", false, ""},
        {"<a><b/>", false, "<a><b></b>"},
        {"<a>text", false, ""},
        {"<a>\xE2\x82</a>", false, ""},
        {"<a/><", false, "<a></a>"},
        {"<", false, ""},
        {"</a>", false, ""},
        {"<a></a", false, "<a>"},
        {"<a", false, ""},
        {"<>", false, ""},
        {"< a/>", false, ""},
        {"<a/>>", true, "<a></a>"},
        {"<a><b></a></b>", false, "<a><b>"},
    };
    for (const AcceptCase& c : cases) {
        TraceHandler handler;
        EXPECT_EQ(parseExact(c.input, handler), c.accepted) << "input: " << c.input;
        EXPECT_EQ(handler.trace, c.trace) << "input: " << c.input;
    }
}

TEST(XmlReaderAccept, HandlerRefusalStopsAtOnce)
{
    const std::string_view input = "<a><b/><c x=\"1\">t</c></a>";
    for (int refuse = 0; refuse < 6; ++refuse) {
        TraceHandler handler;
        handler.refuseAtCall = refuse;
        EXPECT_FALSE(parseExact(input, handler));
        const char* expected[] = {"<a>", "<a><b>", "<a><b></b>", "<a><b></b><c x=1>t", "<a><b></b><c x=1>t</c>",
                                  "<a><b></b><c x=1>t</c></a>"};
        EXPECT_EQ(handler.trace, expected[refuse]);
    }
    TraceHandler handler;
    EXPECT_TRUE(parseExact(input, handler));
}

// A refusal keeps where the document broke which rule, for the caller's log line.
TEST(XmlReaderAccept, RefusalKeepsTheOffsetAndTheRule)
{
    struct Case {
        std::string_view input;
        int refuseAtCall;
        std::size_t offset;
        std::string_view rule;
    };
    const Case cases[] = {
        {"<a><b></a></b>", -1, 6, "an end tag does not match the open element"},
        {"<a x=\"1\" y/>", -1, 9, "an attribute has no '='"},
        {"<a x='1'/>", -1, 3, "an attribute value is not in double quotes"},
        {"<a><b/>", -1, 7, "elements are still open at the end of the input"},
        {"<a>\xE2\x82</a>", -1, 3, "the text of an element cannot be decoded"},
        {"<a><b/></a>", 1, 3, kXmlRuleHandlerRefused},
        {"<a><b/></a>", -1, 0, ""},
    };
    for (const Case& c : cases) {
        std::unique_ptr<char[]> buffer(new char[c.input.size()]);
        std::copy(c.input.begin(), c.input.end(), buffer.get());
        XmlReader reader;
        ASSERT_TRUE(reader.setInput(buffer.get(), c.input.size()));
        TraceHandler handler;
        handler.refuseAtCall = c.refuseAtCall;
        EXPECT_EQ(reader.parse(handler), c.rule.empty()) << c.input;
        EXPECT_EQ(reader.lastError().offset, c.offset) << c.input;
        EXPECT_EQ(std::string_view(reader.lastError().rule), c.rule) << c.input;
    }
}

// Formats that keep control characters read them as before; asked to, the
// reader refuses what XML does not allow at its first byte, also in the
// overlong forms its lenient decoding takes, and names where it stood.
TEST(XmlReaderAccept, CharactersXmlDoesNotAllowAreRefusedWhenAsked)
{
    const std::string_view input = "<a x=\"1\" y=\"p\xC0\x9Bq\">t\x01<b>\t\r\n\xEF\xBF\xBE</b></a>";
    XmlReader reader;
    ASSERT_TRUE(reader.setInput(input.data(), input.size()));
    TraceHandler handler;
    EXPECT_TRUE(reader.parse(handler));
    EXPECT_EQ(handler.trace, "<a x=1 y=p\\u001Bq>t\\u0001<b>\\u0009\\u000D\\u000A\\uFFFE</b></a>");

    reader.refuseNonXmlCharacters(true);
    EXPECT_FALSE(reader.parse(handler));
    EXPECT_EQ(reader.lastError().offset, input.find('\xC0'));
    EXPECT_EQ(reader.lastError().element, "a");
    EXPECT_EQ(reader.lastError().attribute, "y");
    EXPECT_EQ(reader.lastError().character, U'\x1B');
    EXPECT_STREQ(reader.lastError().rule, "an attribute value holds a character that XML does not allow");

    const std::string_view text = "<a><b>\t\r\n\xEF\xBF\xBE</b></a>";
    ASSERT_TRUE(reader.setInput(text.data(), text.size()));
    EXPECT_FALSE(reader.parse(handler));
    EXPECT_EQ(reader.lastError().offset, text.find('\xEF'));
    EXPECT_EQ(reader.lastError().element, "b");
    EXPECT_EQ(reader.lastError().attribute, "");
    EXPECT_EQ(reader.lastError().character, U'\uFFFE');
    EXPECT_STREQ(reader.lastError().rule, "the text holds a character that XML does not allow");
}

TEST(XmlReaderAccept, NullInputIsNoneAndParseStartsFromTheBeginningEachTime)
{
    XmlReader reader;
    TraceHandler none;
    EXPECT_TRUE(reader.parse(none));
    EXPECT_FALSE(reader.setInput(nullptr, 4));
    EXPECT_TRUE(reader.parse(none));
    EXPECT_EQ(none.trace, "");

    const std::string_view input = "<a>x</a>";
    ASSERT_TRUE(reader.setInput(input.data(), input.size()));
    TraceHandler first;
    first.refuseAtCall = 0;
    EXPECT_FALSE(reader.parse(first));
    TraceHandler second;
    EXPECT_TRUE(reader.parse(second));
    EXPECT_EQ(second.trace, "<a>x</a>");
}

// The attribute list is reused from tag to tag: each tag sees its own only.
TEST(XmlReaderAccept, AttributeCountsChangeFromTagToTag)
{
    TraceHandler handler;
    EXPECT_TRUE(parseExact("<r a=\"1\" b=\"22\" c=\"333\"><s/><t x=\"y\"/>"
                           "<u p=\"\" q=\"a longer value &amp; more\" r=\"z\" s=\"4\"/><v a=\"1\"/></r>",
                           handler));
    EXPECT_EQ(handler.trace,
              "<r a=1 b=22 c=333><s></s><t x=y></t><u p= q=a longer value & more r=z s=4></u><v a=1></v></r>");
}

TEST(XmlReaderAccept, NameEqualsIgnoresAsciiCaseOnly)
{
    const std::string_view text = "Feature\xC3\x89";
    const XmlNameSpan name{text.data(), text.data() + 7};
    EXPECT_TRUE(xmlNameEquals(name, "feature"));
    EXPECT_TRUE(xmlNameEquals(name, "FEATURE"));
    EXPECT_FALSE(xmlNameEquals(name, "feature "));
    EXPECT_FALSE(xmlNameEquals(name, "featur"));
    const XmlNameSpan accented{text.data(), text.data() + text.size()};
    EXPECT_FALSE(xmlNameEquals(accented, "feature\xC3\xA9"));  // no case folding beyond ASCII
    EXPECT_TRUE(xmlNameEquals(accented, "FEATURE\xC3\x89"));
}

struct DecodeCase {
    std::string_view encoded;
    std::u16string_view decoded;
};

// Decoding is the same for element text and attribute values.
void expectDecodes(const std::string& encoded, std::u16string_view decoded)
{
    TraceHandler textHandler;
    EXPECT_TRUE(parseExact("<a>" + encoded + "</a>", textHandler)) << testing::PrintToString(encoded);
    EXPECT_EQ(textHandler.trace, "<a>" + describe(decoded) + "</a>") << testing::PrintToString(encoded);
    TraceHandler valueHandler;
    EXPECT_TRUE(parseExact("<a v=\"" + encoded + "\"/>", valueHandler)) << testing::PrintToString(encoded);
    EXPECT_EQ(valueHandler.trace, "<a v=" + describe(decoded) + "></a>") << testing::PrintToString(encoded);
}

TEST(XmlReaderDecode, DecodingTable)
{
    const DecodeCase cases[] = {
        {"&lt;&gt;&amp;&apos;&quot;", u"<>&'\""},
        {"&LT;&#60;&#x3C;&nbsp;", u"&LT;&#60;&#x3C;&nbsp;"},
        {"a&amp", u"a&amp"},  // an entity cut short by the end stays literal
        {"&l", u"&l"},
        {"&", u"&"},
        {"&&lt;", u"&<"},
        {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
        {"\xF0\x9F\x98\x80", u"\U0001F600"},
        {"\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"\x80\xBF", u"\u0080\u00BF"},           // lone continuation bytes are Latin-1
        {"\xC1\x81", u"A"},                      // overlong forms are accepted
        {"\xC3x", u"\u00F8"},                    // continuation bytes are not checked
        {"\xF4\x90\x80\x80z", u"\uFFFDz"},       // above U+10FFFF
        {"\xFF\xBF\xBF\xBFz", u"\uFFFDz"},
        {"\xED\xA0\x80z", u"\uFFFDz"},           // a surrogate code point
        {"\xED\xA0\xBD\xED\xB8\x80", u"\uFFFD\uFFFD"},
        {"\xF0\x8D\xBF\xBF", u"\uFFFD"},         // overlong surrogate
        {"\r\n\t", u"\r\n\t"},
    };
    for (const DecodeCase& c : cases)
        expectDecodes(std::string(c.encoded), c.decoded);
}

// Plain bytes are widened in blocks: a special sequence at every offset of a
// long run, and runs that end anywhere in a block, decode as they do alone.
TEST(XmlReaderDecode, SpecialSequencesAtEveryOffsetOfLongRuns)
{
    const DecodeCase specials[] = {
        {"&amp;", u"&"}, {"&", u"&"}, {"&quot", u"&quot"}, {"\xC3\xA9", u"\u00E9"},
        {"\x80", u"\u0080"}, {"\x7F", u"\u007F"}, {"\xF0\x9F\x98\x80", u"\U0001F600"},
    };
    // Plain bytes close in value to the ampersand (0x26) and to the high bit.
    const std::string_view plain = "'f%a6Fb\x01~\x7Fz";
    const auto run = [&](std::size_t length) {
        std::string bytes;
        for (std::size_t i = 0; i < length; ++i)
            bytes += plain[i % plain.size()];
        return bytes;
    };
    const auto widened = [&](std::size_t length) {
        const std::string bytes = run(length);
        return std::u16string(bytes.begin(), bytes.end());  // all below 0x80
    };
    for (const DecodeCase& c : specials) {
        for (std::size_t before = 0; before <= 33; ++before) {
            for (const std::size_t after : {0u, 1u, 15u, 16u, 17u, 31u})
                expectDecodes(run(before) + std::string(c.encoded) + run(after),
                              widened(before) + std::u16string(c.decoded) + widened(after));
        }
    }
}

TEST(XmlReaderDecode, TruncatedSequencesAreRefused)
{
    for (const std::string_view encoded : {"\xC3", "\xE2\x82", "\xF0\x9F\x98", "x\xFF"}) {
        TraceHandler textHandler;
        EXPECT_FALSE(parseExact("<a>" + std::string(encoded) + "</a>", textHandler));
        TraceHandler valueHandler;
        EXPECT_FALSE(parseExact("<a v=\"" + std::string(encoded) + "\"/>", valueHandler));
    }
}

// Every prefix of a document, each from a buffer of exactly its size: the
// reader stops at the end of the block whatever byte it stands on.
TEST(XmlReaderBounds, EveryPrefixOfADocument)
{
    const std::string document =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<Root a=\"&amp;\xC3\xA9\xF0\x9F\x98\x80\">\n"
        " <Item name=\"x\" value=\"&quot;1&quot;\"/>\n"
        " <Text>t&lt;\xE2\x82\xAC&apos;</Text>\n"
        " <?pi x?>\n"
        "</Root>\n";
    const std::size_t declarationEnd = document.find("?>") + 2;
    const std::size_t complete = document.rfind('>') + 1;
    for (std::size_t length = 0; length <= document.size(); ++length) {
        TraceHandler handler;
        const bool accepted = parseExact(std::string_view(document).substr(0, length), handler);
        // Complete: no tag yet (the mark is plain text), the declaration
        // alone (with or without its line feed), and the whole document.
        const bool expected = length <= 3 || length == declarationEnd || length == declarationEnd + 1 ||
                              length >= complete;
        EXPECT_EQ(accepted, expected) << "prefix of " << length << " bytes";
    }
}

using XmlReaderFile = test::DeviceFixture;

// A mapped input is held while it is the input: the file stays shared for
// reading only, and is let go when another input is set.
TEST_F(XmlReaderFile, MappedFileIsTheInputUntilReplaced)
{
    device().writeFile("Data/doc.xml", "<?xml version=\"1.0\"?>\n<a v=\"1\">x</a>\n");
    XmlReader reader;
    ASSERT_TRUE(reader.setInputFile(u"\\data\\DOC.xml"));
    TraceHandler handler;
    EXPECT_TRUE(reader.parse(handler));
    EXPECT_EQ(handler.trace, "<a v=1>x</a>");

    PlatformFile writer;
    EXPECT_FALSE(writer.open(u"\\Data\\doc.xml", kFileOpenExisting | kFileWrite));
    const std::string_view block = "<b/>";
    ASSERT_TRUE(reader.setInput(block.data(), block.size()));
    EXPECT_TRUE(writer.open(u"\\Data\\doc.xml", kFileOpenExisting | kFileWrite));
}

TEST_F(XmlReaderFile, UnmappableFileLeavesNoInput)
{
    device().writeFile("empty.xml", "");
    XmlReader reader;
    const std::string_view block = "<a>";
    ASSERT_TRUE(reader.setInput(block.data(), block.size()));
    for (const char16_t* path : {u"\\missing.xml", u"\\empty.xml"}) {
        EXPECT_FALSE(reader.setInputFile(path));
        TraceHandler handler;
        EXPECT_TRUE(reader.parse(handler));  // no input: nothing to refuse
        EXPECT_EQ(handler.trace, "");
    }
}

// ---- Round trip -----------------------------------------------------------

std::u16string randomText(std::mt19937& random)
{
    static const std::u16string_view kPieces[] = {
        u"a", u"Z", u"0", u" ", u"&", u"<", u">", u"\"", u"'", u"\r", u"\n", u"\t", u"\x01", u";",
        u"&amp;", u"\u00E9", u"\u0080", u"\u20AC", u"\U0001F600", u"\uFFFD", u"\u6F22", u"\U0010FFFF",
    };
    std::u16string text;
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i)
        text += kPieces[random() % std::size(kPieces)];
    return text;
}

// Writes a random element and appends the trace the reader must give for it:
// a parent's text is the line break and indentation before its first child.
void writeRandomElement(XmlWriter& writer, std::mt19937& random, int depth, std::string& trace)
{
    const std::string name = "E" + std::to_string(random() % 5);
    writer.startElement(name);
    trace += "<" + name;
    const int attributeCount = static_cast<int>(random() % 4);
    for (int i = 0; i < attributeCount; ++i) {
        const std::string attribute = "a" + std::to_string(i);
        std::u16string value;
        if (random() % 3 == 0) {
            std::string latin1;
            for (int n = static_cast<int>(random() % 8); n > 0; --n)
                latin1 += static_cast<char>(random() % 2 ? 'a' + random() % 26 : 0x80 + random() % 0x80);
            writer.attributeA(attribute, latin1);
            for (const char ch : latin1)
                value += static_cast<char16_t>(static_cast<unsigned char>(ch));
        } else {
            value = randomText(random);
            writer.attribute(attribute, value);
        }
        trace += " " + attribute + "=" + describe(value);
    }
    const int children = depth < 4 ? static_cast<int>(random() % 4) : 0;
    if (children > 0) {
        trace += ">\\u000A" + std::string(static_cast<std::size_t>(depth) + 1, ' ');
        for (int i = 0; i < children; ++i)
            writeRandomElement(writer, random, depth + 1, trace);
    } else {
        std::u16string text;
        if (random() % 4 != 0) {
            text = randomText(random);
            writer.text(text);
        }
        trace += ">" + describe(text);
    }
    writer.endElement(name);
    trace += "</" + name + ">";
}

TEST(XmlReaderRoundTrip, WriterOutputReadsBackUnchanged)
{
    std::mt19937 random(4711);
    for (int document = 0; document < 300; ++document) {
        std::vector<std::uint8_t> bytes;
        MemoryStream stream(bytes);
        XmlWriter writer(stream, document % 2 == 0);
        std::string expected;
        writeRandomElement(writer, random, 0, expected);
        ASSERT_TRUE(writer.flush());
        TraceHandler handler;
        ASSERT_TRUE(parseExact(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), handler));
        EXPECT_EQ(handler.trace, expected) << "document " << document;
    }
}

// A handler may keep the texts and values it is given; the reader's reuse of
// its buffers must not change them afterwards.
TEST(XmlReaderRoundTrip, KeptTextsStayUnchanged)
{
    struct KeepHandler final : XmlHandler {
        std::vector<SharedString> kept;
        bool startElement(const XmlNameSpan&, const XmlAttributeList& attributes, const SharedString& text) override
        {
            kept.push_back(text);
            for (const XmlAttribute& attribute : attributes)
                kept.push_back(attribute.value);
            return true;
        }
        bool endElement(const XmlNameSpan&) override { return true; }
    } handler;
    const std::string_view input = "<r><a v=\"one\">first</a><a v=\"2\">2nd</a><a v=\"three3\">x</a></r>";
    ASSERT_TRUE(parseExact(input, handler));
    const std::u16string_view expected[] = {u"", u"first", u"one", u"2nd", u"2", u"x", u"three3"};
    ASSERT_EQ(handler.kept.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(handler.kept[i].view(), expected[i]);
}

// ---- Hostile input ---------------------------------------------------------
// Mutated and truncated copies of an installer-data style document, each
// parsed from a heap buffer of exactly its size so that the sanitizer build
// catches any read outside the block. Every name the handler sees must lie
// inside the block, every decoded text must be valid UTF-16, and an accepted
// input must close every element it opened.

std::string baseDocument()
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, true);
    writer.startElement("InstallData");
    writer.attribute("Version", u"5.1");
    writer.startElement("Settings");
    writer.startElement("ProductName");
    writer.text(u"Survey \u00BBRoad\u00AB & <Rail> \"Pro\" \u20AC \U0001F600");
    writer.endElement("ProductName");
    writer.startElement("UpdateUrl");
    writer.text(u"http://update.example/bulletin.xml?a=1&b='2'");
    writer.endElement("UpdateUrl");
    writer.endElement("Settings");
    for (int feature = 0; feature < 3; ++feature) {
        writer.startElement("Feature");
        writer.attribute("Id", std::u16string(1, static_cast<char16_t>(u'A' + feature)));
        writer.attributeA("Name", "Caf\xE9 data");
        writer.attribute("Digest", u"A9993E364706816ABA3E25717850C26C9CD0D89D");
        writer.startElement("Folder");
        writer.attribute("Path", u"<PROGRAMFILES>\\Survey\\\u6F22\u5B57");
        writer.startElement("File");
        writer.attribute("Name", u"job&amp;.xml");
        writer.attribute("Size", u"18231");
        writer.endElement("File");
        writer.endElement("Folder");
        writer.startElement("Script");
        writer.text(u"if a < b and c > d then return \"x\" end\r\n\t-- done");
        writer.endElement("Script");
        writer.endElement("Feature");
    }
    writer.endElement("InstallData");
    writer.flush();
    std::string text(bytes.begin(), bytes.end());
    return text + "<?pi trailing?>\n";
}

class CheckingHandler final : public XmlHandler {
public:
    CheckingHandler(const char* begin, const char* end) : begin_(begin), end_(end) {}

    int starts = 0;
    int ends = 0;

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        ++starts;
        checkSpan(name);
        EXPECT_GT(name.size(), 0u);
        for (const XmlAttribute& attribute : attributes) {
            checkSpan(attribute.name);
            checkUtf16(attribute.value);
        }
        checkUtf16(text);
        return true;
    }
    bool endElement(const XmlNameSpan& name) override
    {
        ++ends;
        checkSpan(name);
        return true;
    }

private:
    void checkSpan(const XmlNameSpan& span)
    {
        ASSERT_LE(begin_, span.begin);
        ASSERT_LE(span.begin, span.end);
        ASSERT_LE(span.end, end_);
    }
    void checkUtf16(const SharedString& text)
    {
        const std::u16string_view units = text.view();
        for (std::size_t i = 0; i < units.size(); ++i) {
            const char16_t unit = units[i];
            if (unit >= 0xD800 && unit <= 0xDBFF) {
                ASSERT_TRUE(i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF);
                ++i;
                continue;
            }
            ASSERT_FALSE(unit >= 0xDC00 && unit <= 0xDFFF);
        }
    }

    const char* begin_;
    const char* end_;
};

// Bytes that steer the scanner or the decoder.
constexpr unsigned char kSpecialBytes[] = {'<', '>', '/', '?', '!', '"', '\'', '=', ' ', '&', ';', 'l', 't',
                                           0x00, 0x80, 0xBF, 0xC3, 0xE2, 0xED, 0xF0, 0xF4, 0xF8, 0xFF};

void mutate(std::string& text, std::mt19937& random)
{
    const auto at = [&] { return text.empty() ? std::size_t{0} : random() % text.size(); };
    switch (random() % 6) {
    case 0:
        if (!text.empty())
            text[at()] = static_cast<char>(random());
        break;
    case 1:
        if (!text.empty())
            text[at()] = static_cast<char>(kSpecialBytes[random() % std::size(kSpecialBytes)]);
        break;
    case 2: {
        const std::size_t from = at();
        text.erase(from, random() % 16);
        break;
    }
    case 3: {
        const std::size_t from = at();
        const std::string piece = text.substr(at(), random() % 24);
        text.insert(from, piece);
        break;
    }
    case 4:
        text.insert(at(), 1, static_cast<char>(kSpecialBytes[random() % std::size(kSpecialBytes)]));
        break;
    default:
        text.resize(at());
        break;
    }
}

TEST(XmlReaderMutation, HostileInputStaysInsideTheBlock)
{
    const std::string base = baseDocument();
    {
        CheckingHandler handler(base.data(), base.data() + base.size());
        XmlReader reader;
        ASSERT_TRUE(reader.setInput(base.data(), base.size()));
        ASSERT_TRUE(reader.parse(handler));
        ASSERT_EQ(handler.starts, 16);
    }
    std::mt19937 random(0x5EED);
    constexpr int kInputs = 100000;
    int accepted = 0;
    for (int i = 0; i < kInputs; ++i) {
        std::string text = base;
        const int mutations = 1 + static_cast<int>(random() % 4);
        for (int m = 0; m < mutations; ++m)
            mutate(text, random);
        std::unique_ptr<char[]> block(new char[text.size()]);
        std::copy(text.begin(), text.end(), block.get());
        CheckingHandler handler(block.get(), block.get() + text.size());
        XmlReader reader;
        ASSERT_TRUE(reader.setInput(block.get(), text.size()));
        const bool ok = reader.parse(handler);
        if (ok) {
            ++accepted;
            ASSERT_EQ(handler.starts, handler.ends) << "input " << i;
        }
        if (HasFatalFailure() || HasFailure())
            FAIL() << "input " << i << ": " << text;
    }
    // Both outcomes must be well represented, or the mutations test little.
    EXPECT_GT(accepted, kInputs / 20);
    EXPECT_LT(accepted, kInputs - kInputs / 20);
}

}  // namespace
}  // namespace druvex
