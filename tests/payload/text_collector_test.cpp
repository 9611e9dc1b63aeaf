// One-file packages unpacked into a text (licence texts): the byte-order mark
// decides the decoding, only the first file counts, and an empty file leaves
// the text alone.
#include <gtest/gtest.h>

#include "fileutil/file_util.h"
#include "package_writer/package_writer.h"
#include "payload/package_unpacker.h"
#include "payload/text_collector.h"
#include "payload_test_support.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;

class PackageUnpackerText : public test::PayloadHostFixture {
protected:
    // The files, in order, in one package under "<TARGETDIR>"; whether the
    // unpacking succeeded.
    bool collect(const std::vector<Bytes>& files, SharedString& text)
    {
        tools::PackageWriter writer;
        writer.openFolder(u"<TARGETDIR>");
        char16_t name = u'a';
        for (const Bytes& file : files)
            writer.addFile(std::u16string(1, name++), file);
        TextCollector collector(text);
        PackageUnpacker unpacker(nullptr, collector, *host_);
        unpacker.setPlainNames();
        return test::feedPackage(unpacker, writer.build());
    }
};

TEST_F(PackageUnpackerText, TheMarkDecidesTheDecoding)
{
    const Bytes oddMark{0xFF, 0xFE, 0x00, 0x00, 'A'};
    SharedString utf8Oracle;
    decodeUtf8ToString(oddMark.data(), oddMark.data() + oddMark.size(), utf8Oracle);
    struct Case {
        const char* what;
        Bytes bytes;
        std::u16string text;
    };
    const Case cases[] = {
        {"UTF-8 with its mark", {0xEF, 0xBB, 0xBF, 'L', 0xC3, 0xA9}, u"\uFEFFL\u00E9"},
        {"UTF-8 without a mark", {'O', 'K'}, u"OK"},
        {"UTF-16LE", {0xFF, 0xFE, 'H', 0, 0xAC, 0x20}, u"H\u20AC"},
        {"UTF-16BE", {0xFE, 0xFF, 0, 'H', 0x20, 0xAC}, u"H\u20AC"},
        {"UTF-16LE with an odd last byte", {0xFF, 0xFE, 'H', 0, 'x'}, u"H"},
        {"the UTF-32LE mark is not UTF-16", oddMark, std::u16string(utf8Oracle.view())},
    };
    for (const Case& c : cases) {
        SharedString text(u"before");
        EXPECT_TRUE(collect({c.bytes}, text)) << c.what;
        EXPECT_EQ(text.view(), c.text) << c.what;
    }
}

TEST_F(PackageUnpackerText, OnlyTheFirstFileBecomesTheText)
{
    SharedString text(u"before");
    EXPECT_TRUE(collect({Bytes{}}, text));
    EXPECT_EQ(text, u"before");  // an empty file changes nothing

    EXPECT_FALSE(collect({Bytes{'o', 'n', 'e'}, Bytes{'t', 'w', 'o'}}, text));
    EXPECT_EQ(text, u"one");

    TextCollector collector(text);
    EXPECT_TRUE(collector.createFolder(nullptr, u"x"));
    ASSERT_TRUE(collector.createFile(nullptr, u"x"));
    const std::vector<std::uint8_t> big(1 << 20, 'b');
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(collector.writeData(static_cast<std::uint32_t>(big.size()), big.data()));
    EXPECT_FALSE(collector.writeData(1, big.data()));  // past the in-memory limit
}

}  // namespace
}  // namespace druvex
