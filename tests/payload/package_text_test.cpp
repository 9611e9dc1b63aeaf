// The text of a one-file package (a licence): the byte-order mark decides the
// decoding, only the first file counts and an empty one leaves the text
// alone; from an archive entry named after its item and from an LZMA file on
// the device; a second file, a missing, empty or damaged package and a
// failing read give no length.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "data/feature.h"
#include "fileutil/file_util.h"
#include "package_writer/package_writer.h"
#include "payload/package_text.h"
#include "payload/package_unpacker.h"
#include "payload/text_collector.h"
#include "payload_test_support.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/package_fixtures.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;

const std::u16string kLicence = u"Licence \u00E9\u20AC \U0001F600 ok";

Bytes utf16le(std::u16string_view text)
{
    Bytes bytes{0xFF, 0xFE};
    for (const char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

Bytes utf8(std::u16string_view text)
{
    const std::string narrow = test::narrow(text);
    return Bytes(narrow.begin(), narrow.end());
}

// A package of the files, in order, under "<TARGETDIR>".
Bytes packageOf(const std::vector<Bytes>& files)
{
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>");
    char16_t name = u'a';
    for (const Bytes& file : files)
        writer.addFile(std::u16string(1, name++) + u".txt", file);
    return writer.build();
}

Bytes lzma(const Bytes& stream)
{
    Bytes coded;
    EXPECT_TRUE(encodeLzmaEntry(stream, coded));
    return coded;
}

FeaturePtr itemNamed(std::u16string_view name)
{
    FeaturePtr item = makeFeaturePtr();
    item->setName(SharedString(name));
    return item;
}

// The text collector behind the unpacker, with plain names.
class PackageUnpackerText : public test::PayloadHostFixture {
protected:
    bool collect(const std::vector<Bytes>& files, SharedString& text)
    {
        TextCollector collector(text);
        PackageUnpacker unpacker(nullptr, collector, *host_);
        unpacker.setPlainNames();
        return test::feedPackage(unpacker, packageOf(files));
    }
};

TEST_F(PackageUnpackerText, TheMarkDecidesTheDecoding)
{
    const Bytes oddMark{0xFF, 0xFE, 0x00, 0x00, 'A'};
    SharedString utf8Oracle;
    decodeUtf8ToString(oddMark.data(), oddMark.data() + oddMark.size(), utf8Oracle);
    const struct {
        const char* what;
        Bytes bytes;
        std::u16string text;
    } cases[] = {
        {"UTF-8 with its mark", {0xEF, 0xBB, 0xBF, 'L', 0xC3, 0xA9}, u"\uFEFFL\u00E9"},
        {"UTF-8 without a mark", {'O', 'K'}, u"OK"},
        {"UTF-16LE", {0xFF, 0xFE, 'H', 0, 0xAC, 0x20}, u"H\u20AC"},
        {"UTF-16BE", {0xFE, 0xFF, 0, 'H', 0x20, 0xAC}, u"H\u20AC"},
        {"UTF-16LE with an odd last byte", {0xFF, 0xFE, 'H', 0, 'x'}, u"H"},
        {"the UTF-32LE mark is not UTF-16", oddMark, std::u16string(utf8Oracle.view())},
    };
    for (const auto& c : cases) {
        SharedString text(u"before");
        EXPECT_TRUE(collect({c.bytes}, text)) << c.what;
        EXPECT_EQ(text.view(), c.text) << c.what;
    }
}

TEST_F(PackageUnpackerText, AnEmptyFileChangesNothingAndMemoryIsLimited)
{
    SharedString text(u"before");
    EXPECT_TRUE(collect({Bytes{}}, text));
    EXPECT_EQ(text, u"before");

    TextCollector collector(text);
    EXPECT_TRUE(collector.createFolder(nullptr, u"x"));
    ASSERT_TRUE(collector.createFile(nullptr, u"x"));
    const std::vector<std::uint8_t> big(1 << 20, 'b');
    for (int i = 0; i < 64; ++i)
        ASSERT_TRUE(collector.writeData(static_cast<std::uint32_t>(big.size()), big.data()));
    EXPECT_FALSE(collector.writeData(1, big.data()));  // past the in-memory limit
}

class ExtractPayloadFolder : public test::PayloadHostFixture {
protected:
    PayloadArchive& archiveOf(const std::vector<test::EntrySource>& entries)
    {
        return opened(placeFile("setup.dqres", test::buildArchive(entries)));
    }
};

TEST_F(ExtractPayloadFolder, AOneFilePackageGivesItsTextAndLength)
{
    PayloadArchive& archive = archiveOf({
        test::codedEntry(u"Eula16", kPayloadMethodLzma, packageOf({utf16le(kLicence)})),
        test::codedEntry(u"Eula8", kPayloadMethodLzma, packageOf({utf8(kLicence)})),
        test::codedEntry(u"EulaZ", kPayloadMethodZlib, packageOf({utf8(kLicence)})),
    });
    for (const char16_t* name : {u"Eula16", u"Eula8", u"EulaZ"}) {
        SharedString text(u"before");
        EXPECT_EQ(extractPayloadFolder(archive, *host_, *itemNamed(name), text),
                  static_cast<int>(kLicence.size()))
            << test::narrow(name);
        EXPECT_EQ(text.view(), kLicence) << test::narrow(name);
    }
}

TEST_F(ExtractPayloadFolder, ASecondFileOrAMissingEntryGiveNoLength)
{
    test::DiagCapture log;
    PayloadArchive& archive = archiveOf({
        test::codedEntry(u"Two", kPayloadMethodLzma, packageOf({utf8(u"first"), utf8(u"second")})),
    });
    SharedString text(u"before");
    EXPECT_EQ(extractPayloadFolder(archive, *host_, *itemNamed(u"Two"), text), 0);
    EXPECT_EQ(text, u"first");
    EXPECT_TRUE(log.contains(u"Failed to create file b.txt"));
    EXPECT_TRUE(log.contains(u"Cannot unpack the text of Two"));

    EXPECT_EQ(extractPayloadFolder(archive, *host_, *itemNamed(u"Missing"), text), 0);
    EXPECT_EQ(text, u"first");
}

class ExtractPackageBuffer : public test::PayloadHostFixture {};

TEST_F(ExtractPackageBuffer, AnLzmaFileOnTheDeviceGivesTheSameText)
{
    const Bytes stream = packageOf({utf16le(kLicence)});
    struct Case {
        const char* what;
        Bytes file;
    };
    const Case cases[] = {
        {"LZMA with its length", lzma(stream)},
        {"LZMA with an end mark", test::lzmaByXz(stream)},
    };
    for (const Case& c : cases) {
        const SharedString path = placeFile("eula.lzma", c.file);
        SharedString text;
        EXPECT_EQ(extractPackageBuffer(*host_, path, text), static_cast<int>(kLicence.size())) << c.what;
        EXPECT_EQ(text.view(), kLicence) << c.what;
    }
}

TEST_F(ExtractPackageBuffer, MissingEmptyAndDamagedFilesGiveNothing)
{
    test::DiagCapture log;
    const Bytes coded = lzma(packageOf({utf8(u"text")}));
    Bytes cut(coded.begin(), coded.end() - 3);
    Bytes flipped = coded;
    flipped[20] ^= 0x5A;
    Bytes wrongHeader = coded;
    wrongHeader[0] = 0xFF;  // properties the decoder refuses
    // A damaged stream may complete the file before the damage shows, so
    // the text is only sure to stay where nothing decoded.
    struct Case {
        const char* what;
        std::optional<Bytes> file;
        bool nothingDecoded;
    };
    const Case cases[] = {
        {"missing", std::nullopt, true},
        {"empty", Bytes{}, true},
        {"cut short", cut, false},
        {"a flipped byte", flipped, false},
        {"bad properties", wrongHeader, true},
        {"not LZMA", test::toBytes("plain text, not a package"), true},
    };
    for (const Case& c : cases) {
        const SharedString path = c.file ? placeFile("bad.lzma", *c.file) : SharedString(u"\\Temp\\none.lzma");
        SharedString text(u"kept");
        EXPECT_EQ(extractPackageBuffer(*host_, path, text), 0) << c.what;
        if (c.nothingDecoded) {
            EXPECT_EQ(text, u"kept") << c.what;
        }
    }
    EXPECT_TRUE(log.contains(u"Cannot unpack the text of \\Temp\\none.lzma"));
}

// The file is decoded as it is read, in pieces, and a read that fails on
// the way fails the text.
TEST_F(ExtractPackageBuffer, TheFileIsReadInPieces)
{
    std::mt19937 random(7);
    std::u16string large(150000, u'\0');
    for (char16_t& unit : large)
        unit = static_cast<char16_t>(0x4E00 + random() % 0x5000);  // incompressible ideographs
    const SharedString path = placeFile("large.lzma", lzma(packageOf({utf16le(large)})));

    auto counting = std::make_shared<test::FaultInjectingHal>(host_);
    SharedString text;
    EXPECT_EQ(extractPackageBuffer(*counting, path, text), static_cast<int>(large.size()));
    EXPECT_EQ(text.view(), large);
    EXPECT_GE(counting->readCount(), 3);

    test::HalFaultPlan plan;
    plan.failReadAtOffset = 100000;
    auto failing = std::make_shared<test::FaultInjectingHal>(host_, plan);
    SharedString kept(u"kept");
    EXPECT_EQ(extractPackageBuffer(*failing, path, kept), 0);
    EXPECT_EQ(kept, u"kept");
    EXPECT_EQ(failing->closeCount(), 1);
}

}  // namespace
}  // namespace druvex
