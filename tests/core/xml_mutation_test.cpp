// XmlReader on hostile input: mutated and truncated copies of an installer-data
// style document, each parsed from a heap buffer of exactly its size so that
// the sanitizer build catches any read outside the block. Every name the
// handler sees must lie inside the block, every decoded text must be valid
// UTF-16, and an accepted input must close every element it opened.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"

namespace druvex {
namespace {

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
