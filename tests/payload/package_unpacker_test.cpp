// The package unpacker over a recording node writer: a package written by hand
// from the format's tables, the same stream in pieces of every size, the
// header's last piece carrying data, empty files, fragments applied once,
// streams that end early or run on, and how a node's target path is found.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <cctype>
#include <random>

#include "data/feature.h"
#include "package_writer/package_writer.h"
#include "payload/package_header.h"
#include "payload/package_unpacker.h"
#include "payload_test_support.h"
#include "support/diag_capture.h"
#include "support/package_fixtures.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;

// The bytes of the hex digit pairs; anything else (spaces) is passed over.
Bytes fromHex(std::string_view hex)
{
    std::string digits;
    std::copy_if(hex.begin(), hex.end(), std::back_inserter(digits), [](char c) { return std::isxdigit(c) != 0; });
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

const std::string kShortcuts =
    "<Shortcuts><Shortcut Name=\"App\" LinkPos=\"MenuPrograms\" LinkedTo=\"&lt;TARGETDIR&gt;\\a.txt\"/></Shortcuts>";

// Written from the format's tables, not by our writer. Records: a type-12
// record (passed over), a shortcut fragment at the top level, "<TARGETDIR>"
// announcing 3 children with two extension fields, the file "a.txt" (5 bytes,
// version 3.5.0.0, an extension field), the folder "sub" (flags 16, 2
// children announced) holding "b.bin" (3 bytes) and then an end record that
// ends the whole tree. 228 header bytes, then the data in record order.
Bytes handWrittenPackage()
{
    Bytes stream = fromHex(
        "E4 00 00 00 00 00 00 00"                    // header size 228
        "05 00 00 00"                                // version 5
        "0C 00 00 00  04 00 00 00 00 00 00 00"       // type 12, 4 bytes
        "08 00 00 00  67 00 00 00 00 00 00 00"       // shortcuts, 103 bytes
        "02 00 00 00  0B 00"                         // folder, 11 units
        "3C 00 54 00 41 00 52 00 47 00 45 00 54 00 44 00 49 00 52 00 3E 00"  // <TARGETDIR>
        "00 00 00 00  03 00 00 00"                   // flags 0, 3 children
        "05 00 00 00  03 00 00 00  61 62 63"         // extension tag 5, "abc"
        "78 56 34 12  00 00 00 00"                   // extension tag 0x12345678, empty
        "00 00 00 00"                                // end of extensions
        "01 00 00 00  05 00  61 00 2E 00 74 00 78 00 74 00"  // file "a.txt"
        "00 00 00 00"                                // flags
        "05 00 00 00 00 00 00 00"                    // 5 bytes
        "00 00 D9 F5 6A 67 D8 01"                    // time stamp 0x01D8676AF5D90000
        "00 00 00 00 05 00 03 00"                    // version 3.5.0.0
        "01 00 00 00  01 00 00 00  78  00 00 00 00"  // extension tag 1, "x"; end
        "02 00 00 00  03 00  73 00 75 00 62 00"      // folder "sub"
        "10 00 00 00  02 00 00 00  00 00 00 00"      // flags 16, 2 children, no extensions
        "01 00 00 00  05 00  62 00 2E 00 62 00 69 00 6E 00"  // file "b.bin"
        "00 00 00 00  03 00 00 00 00 00 00 00"       // flags, 3 bytes
        "00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00 00 00 00 00"  // no time, no version, no extensions
        "07 00 00 00"                                // end of the tree inside "sub"'s child list
        "DE AD BE EF");                              // type 12's data
    EXPECT_EQ(kShortcuts.size(), 0x67u);
    stream.insert(stream.end(), kShortcuts.begin(), kShortcuts.end());
    for (const char c : std::string_view("hello"))
        stream.push_back(static_cast<std::uint8_t>(c));
    for (const std::uint8_t b : {1, 2, 3})
        stream.push_back(b);
    return stream;
}

// A package with folders, files around the 4,096-byte pieces, empty files, a
// registry fragment, a record to pass over and a second root.
Bytes mixedPackage(std::uint64_t* fileBytes = nullptr)
{
    tools::PackageWriter writer;
    writer.addData(kPackageRecordRegistry, test::toBytes("<Registry><HKEY_CURRENT_USER><Key Name=\"Software\" "
                                                         "Flag=\"Automatic\"><Value Name=\"Path\" Format=\"String\" "
                                                         "Data=\"x\"/></Key></HKEY_CURRENT_USER></Registry>"));
    writer.openFolder(u"<TARGETDIR>");
    unsigned seed = 1;
    for (const std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 10000u}) {
        writer.addFile(u"f" + std::u16string(1, static_cast<char16_t>(u'a' + seed)) + u".bin",
                       test::sampleData(size, seed));
        ++seed;
    }
    writer.openFolder(u"empty").closeFolder();
    writer.openFolder(u"deep").openFolder(u"er").addFile(u"z.txt", test::toBytes("zz")).addFile(u"e", {});
    writer.closeFolder().closeFolder();
    writer.addData(40, Bytes(5000, 0xAB));
    writer.closeFolder();
    writer.openFolder(u"<WINDOWS>").addFile(u"w.ini", test::toBytes("[w]")).closeFolder();
    if (fileBytes)
        *fileBytes = writer.fileBytes();
    return writer.build();
}

class PackageUnpackerStream : public test::PayloadHostFixture {
protected:
    void SetUp() override
    {
        PayloadHostFixture::SetUp();
        resolver_.map(u"<TARGETDIR>", u"\\Program Files\\App").map(u"<WINDOWS>", u"\\Windows");
    }

    std::unique_ptr<PackageUnpacker> makeUnpacker(test::RecordingNodeWriter& writer)
    {
        return std::make_unique<PackageUnpacker>(&resolver_, writer, *host_);
    }

    test::TargetFolderResolver resolver_;
};

TEST_F(PackageUnpackerStream, AHandWrittenPackageUnpacksAsTheTablesSay)
{
    test::RecordingNodeWriter writer;
    auto unpacker = makeUnpacker(writer);
    ASSERT_TRUE(test::feedPackage(*unpacker, handWrittenPackage()));

    EXPECT_EQ(writer.calls, (std::vector<std::string>{"folder \\Program Files\\App", "file \\Program Files\\App/a.txt",
                                                      "finish", "folder \\Program Files\\App/sub",
                                                      "file \\Program Files\\App/sub/b.bin", "finish"}));
    EXPECT_EQ(writer.files[u"\\Program Files\\App/a.txt"], test::toBytes("hello"));
    EXPECT_EQ(writer.files[u"\\Program Files\\App/sub/b.bin"], (Bytes{1, 2, 3}));
    EXPECT_EQ(unpacker->fileBytes(), 8u);

    // The tree: data records make no nodes; the nodes keep flags, sizes,
    // times and versions.
    const Feature& feature = *unpacker->feature();
    ASSERT_EQ(feature.contentCount(), 1);
    const auto target = std::static_pointer_cast<ContentFolder>(feature.contentAt(0));
    EXPECT_EQ(target->getName(), u"<TARGETDIR>");
    ASSERT_EQ(target->childCount(), 2);
    const auto a = std::static_pointer_cast<ContentFile>(target->childAt(0));
    EXPECT_EQ(a->getName(), u"a.txt");
    EXPECT_EQ(a->getSize(), 5u);
    EXPECT_EQ(a->getTimeValue(), 0x01D8676AF5D90000ull);
    EXPECT_EQ(a->getVersionValue(), 0x0003000500000000ull);
    const auto sub = std::static_pointer_cast<ContentFolder>(target->childAt(1));
    EXPECT_EQ(sub->getFlags(), 16);
    ASSERT_EQ(sub->childCount(), 1);
    EXPECT_EQ(sub->childAt(0)->pathFromRoot(), u"<TARGETDIR>/sub/b.bin");
    EXPECT_EQ(writer.fileNodes[1], sub->childAt(0).get());

    // The shortcut fragment at the top level was applied after the last record.
    ASSERT_EQ(feature.shortcutCount(), 1);
    EXPECT_EQ(feature.shortcutAt(0)->name, u"App");
}

// Whatever the pieces, the same folders and files with the same bytes, and
// the same fragments.
TEST_F(PackageUnpackerStream, PieceSizesChangeNothing)
{
    std::uint64_t fileBytes = 0;
    const Bytes stream = mixedPackage(&fileBytes);
    test::RecordingNodeWriter reference;
    auto first = makeUnpacker(reference);
    ASSERT_TRUE(test::feedPackage(*first, stream));
    EXPECT_EQ(first->fileBytes(), fileBytes);
    EXPECT_EQ(reference.calls.size(), 1u + 6 * 2 + 1 + 2 + 2 * 2 + 1 + 2);
    EXPECT_EQ(reference.calls.back(), "finish");
    EXPECT_EQ(reference.files[u"\\Windows/w.ini"], test::toBytes("[w]"));
    EXPECT_EQ(reference.files.size(), 9u);
    ASSERT_TRUE(first->feature()->hasRegistry());

    std::mt19937 random(7);
    struct Pieces {
        const char* what;
        std::function<std::size_t()> next;
    };
    const Pieces cases[] = {{"1 byte", [] { return std::size_t{1}; }},
                            {"4,096 bytes", [] { return std::size_t{4096}; }},
                            {"random up to 9,000", [&] { return std::size_t{1} + random() % 9000; }},
                            {"random up to 40", [&] { return std::size_t{1} + random() % 40; }}};
    for (const Pieces& pieces : cases) {
        SCOPED_TRACE(pieces.what);
        test::RecordingNodeWriter writer;
        auto unpacker = makeUnpacker(writer);
        ASSERT_TRUE(test::feedPackage(*unpacker, stream, pieces.next));
        EXPECT_EQ(writer.calls, reference.calls);
        EXPECT_EQ(writer.files, reference.files);
        EXPECT_TRUE(unpacker->feature()->getRegistry().findKey(1, u"Software"));
    }
}

// The header is gathered over pieces; the bytes after it in the piece that
// completes it are processed at once, and a version of 6 fails exactly that
// piece.
TEST_F(PackageUnpackerStream, TheHeadersLastPieceCarriesData)
{
    const Bytes stream = handWrittenPackage();
    const std::size_t header = 228;
    test::RecordingNodeWriter writer;
    auto unpacker = makeUnpacker(writer);
    unpacker->begin(static_cast<std::uint32_t>(stream.size()), 0);
    for (std::size_t i = 0; i + 1 < header; ++i)
        ASSERT_TRUE(unpacker->write(1, stream.data() + i));
    EXPECT_TRUE(writer.calls.empty());
    // The header's last byte with the type-12 data, the fragment and 2 bytes of "a.txt".
    ASSERT_TRUE(unpacker->write(1 + 4 + 0x67 + 2, stream.data() + header - 1));
    EXPECT_EQ(writer.calls, (std::vector<std::string>{"folder \\Program Files\\App", "file \\Program Files\\App/a.txt"}));
    EXPECT_EQ(writer.files[u"\\Program Files\\App/a.txt"], test::toBytes("he"));

    Bytes six = stream;
    six[8] = 6;
    test::RecordingNodeWriter refused;
    auto old = makeUnpacker(refused);
    old->begin(static_cast<std::uint32_t>(six.size()), 0);
    for (std::size_t i = 0; i + 1 < header; ++i)
        ASSERT_TRUE(old->write(1, six.data() + i));
    EXPECT_FALSE(old->write(1, six.data() + header - 1));
    EXPECT_FALSE(old->finish());
    EXPECT_TRUE(refused.calls.empty());
}

TEST_F(PackageUnpackerStream, AnOnlyEmptyFileIsCreatedWrittenAndClosed)
{
    tools::PackageWriter package;
    package.openFolder(u"<TARGETDIR>").addFile(u"empty.txt", {}).closeFolder();
    test::RecordingNodeWriter writer;
    EXPECT_TRUE(test::feedPackage(*makeUnpacker(writer), package.build()));
    EXPECT_EQ(writer.calls, (std::vector<std::string>{"folder \\Program Files\\App",
                                                      "file \\Program Files\\App/empty.txt", "finish"}));
    EXPECT_EQ(writer.writes, 1);  // one write of 0 bytes
}

// The stream ends with its last record: one that ends before its header or
// its last record does not satisfy the unpacker (an extraction that stops
// early fails), and bytes after it are refused. An empty piece after it is
// accepted and applies the fragments no second time.
TEST_F(PackageUnpackerStream, TheStreamEndsWithItsLastRecord)
{
    const Bytes stream = handWrittenPackage();
    for (const std::size_t length : {std::size_t{0}, std::size_t{7}, std::size_t{100}, stream.size() - 1}) {
        test::RecordingNodeWriter writer;
        auto unpacker = makeUnpacker(writer);
        unpacker->begin(static_cast<std::uint32_t>(stream.size()), 0);
        EXPECT_TRUE(unpacker->write(static_cast<std::uint32_t>(length), stream.data()));
        EXPECT_FALSE(unpacker->finish()) << length;
    }

    test::RecordingNodeWriter writer;
    auto unpacker = makeUnpacker(writer);
    ASSERT_TRUE(test::feedPackage(*unpacker, stream));
    EXPECT_TRUE(unpacker->write(0, nullptr));
    EXPECT_EQ(unpacker->feature()->shortcutCount(), 1);
    EXPECT_FALSE(unpacker->write(1, stream.data()));
    EXPECT_FALSE(unpacker->finish());
}

TEST_F(PackageUnpackerStream, WriterFailuresFailThePackageWithTheirLogLines)
{
    const Bytes stream = handWrittenPackage();
    struct Case {
        const char* what;
        std::function<void(test::RecordingNodeWriter&)> arrange;
        std::u16string line;
    };
    const Case cases[] = {
        {"folder", [](auto& w) { w.failFolder = u"sub"; },
         u"********** Failed to create folder \\Program Files\\App/sub **********"},
        {"file", [](auto& w) { w.failCreate = u"a.txt"; },
         u"********** Failed to create file \\Program Files\\App/a.txt **********"},
        {"write", [](auto& w) { w.failWriteFile = u"b.bin"; }, u"********** Failed writing to file **********"},
        {"close", [](auto& w) { w.failFinish = true; }, u"********** Failed closing the file **********"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::DiagCapture capture;
        test::RecordingNodeWriter writer;
        c.arrange(writer);
        auto unpacker = makeUnpacker(writer);
        EXPECT_FALSE(test::feedPackage(*unpacker, stream));
        EXPECT_TRUE(capture.contains(c.line));
        // The fragments wait for the last record.
        EXPECT_EQ(unpacker->feature()->shortcutCount(), 0);
    }
}

// A refusal keeps the record at fault and the reason for the caller's log
// line, and the unpacker's own line carries both.
TEST_F(PackageUnpackerStream, RefusalsNameTheRecordAndTheReason)
{
    tools::PackageWriter badFragment;
    badFragment.addData(kPackageRecordIis, test::toBytes("<x/>"));
    badFragment.addData(kPackageRecordShortcuts, test::toBytes("<Shortcuts><Shortcut Name='x'/></Shortcuts>"));
    badFragment.openFolder(u"<TARGETDIR>").addFile(u"a.txt", test::toBytes("a")).closeFolder();
    tools::PackageWriter badName;
    badName.openFolder(u"<TARGETDIR>").addFile(u"a.txt", {}).addFile(u"..", {}).closeFolder();
    Bytes badSize(8, 0);
    badSize[0] = 4;
    struct Case {
        const char* what;
        Bytes stream;
        std::int64_t record;
        std::u16string reason;
    };
    const Case cases[] = {
        {"fragment", badFragment.build(), 1,
         u"the XML fragment of type 8 does not parse: at byte 21: an attribute value is not in double quotes"},
        {"name", badName.build(), 2, u"the name \"..\" may not stand in a package"},
        {"header size", badSize, -1, u"the header size is 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::DiagCapture capture;
        test::RecordingNodeWriter writer;
        auto unpacker = makeUnpacker(writer);
        EXPECT_FALSE(test::feedPackage(*unpacker, c.stream));
        EXPECT_EQ(unpacker->lastRefusal().record, c.record);
        EXPECT_EQ(unpacker->lastRefusal().reason, c.reason);
        const std::u16string where =
            c.record < 0 ? u"" : u"record " + std::u16string(1, static_cast<char16_t>(u'0' + c.record)) + u": ";
        EXPECT_TRUE(capture.contains(u"********** Package refused: " + where + c.reason + u" **********"));
        // The next pass starts without the old refusal.
        unpacker->begin(0, 0);
        EXPECT_EQ(unpacker->lastRefusal().record, -1);
        EXPECT_TRUE(unpacker->lastRefusal().reason.isEmpty());
    }
}

// One fragment with a record of every kind: each reader takes only its own
// kind from it, so where the records land shows which reader the record type
// chose.
const std::string kEveryKind =
    "<Records>"
    "<HKEY_CURRENT_USER><Key Name=\"Software\" Flag=\"Automatic\"><Value Name=\"Path\" Format=\"String\" "
    "Data=\"x\"/></Key></HKEY_CURRENT_USER>"
    "<EnvironmentVar Name=\"SURVEY_HOME\" Value=\"&lt;TARGETDIR&gt;\"/>"
    "<FileAssociation ProgId=\"Survey.Job\"><FileExtension Name=\".job\"/></FileAssociation>"
    "<FeatureScript Name=\"s\" ExecutionTime=\"onInstall\" Script=\"return 0\"/>"
    "<Shortcut Name=\"Survey\" LinkPos=\"Desktop\" LinkedTo=\"survey.exe\"/>"
    "<AppPool Name=\"SurveyPool\"/>"
    "</Records>";

// The kinds of records a feature holds.
std::set<std::string> recordKinds(const Feature& feature)
{
    std::set<std::string> kinds;
    if (feature.hasRegistry())
        kinds.insert("registry");
    if (feature.environmentVarCount() > 0)
        kinds.insert("environment variables");
    if (feature.fileAssociationCount() > 0)
        kinds.insert("file associations");
    if (feature.featureScriptCount() > 0)
        kinds.insert("feature scripts");
    if (feature.shortcutCount() > 0)
        kinds.insert("shortcuts");
    if (feature.webServer().appPoolCount() > 0)
        kinds.insert("web server");
    return kinds;
}

TEST_F(PackageUnpackerStream, EachFragmentTypeLandsInItsOwnRecords)
{
    const std::pair<std::uint32_t, const char*> types[] = {
        {3, "registry"},        {4, "environment variables"}, {5, "file associations"},
        {6, "feature scripts"}, {8, "shortcuts"},             {9, "web server"},
    };
    tools::PackageWriter everyType;
    for (const auto& [type, kind] : types) {
        SCOPED_TRACE(type);
        tools::PackageWriter package;
        package.addData(type, test::toBytes(kEveryKind));
        package.openFolder(u"<TARGETDIR>").addFile(u"a.txt", test::toBytes("a")).closeFolder();
        everyType.addData(type, test::toBytes(kEveryKind));
        test::RecordingNodeWriter writer;
        auto unpacker = makeUnpacker(writer);
        ASSERT_TRUE(test::feedPackage(*unpacker, package.build()));
        EXPECT_EQ(recordKinds(*unpacker->feature()), std::set<std::string>{kind});
    }

    // A package that carries all six applies each once.
    everyType.openFolder(u"<TARGETDIR>").addFile(u"a.txt", test::toBytes("a")).closeFolder();
    test::RecordingNodeWriter writer;
    auto unpacker = makeUnpacker(writer);
    ASSERT_TRUE(test::feedPackage(*unpacker, everyType.build()));
    const Feature& feature = *unpacker->feature();
    EXPECT_EQ(recordKinds(feature).size(), 6u);
    EXPECT_EQ(feature.environmentVarCount() + feature.fileAssociationCount() + feature.featureScriptCount() +
                  feature.shortcutCount() + feature.webServer().appPoolCount(),
              5);
    EXPECT_TRUE(feature.getRegistry().findKey(1, u"Software"));
}

// With plain names a node's target is its own name.
TEST_F(PackageUnpackerStream, ResolvePathPlainNamesAreTheNodesOwnNames)
{
    test::RecordingNodeWriter writer;
    PackageUnpacker unpacker(nullptr, writer, *host_);
    unpacker.setPlainNames();
    ASSERT_TRUE(test::feedPackage(unpacker, handWrittenPackage()));
    EXPECT_EQ(writer.calls, (std::vector<std::string>{"folder <TARGETDIR>", "file a.txt", "finish", "folder sub",
                                                      "file b.bin", "finish"}));
}

class CountingResolver final : public PackagePathResolver {
public:
    SharedString resolveQualifiedHostPath(const ContentItem& node) override
    {
        asked.push_back(test::narrow(node.pathFromRoot().view()));
        return answer ? SharedString(u"\\T\\") + node.getName() : SharedString();
    }
    std::vector<std::string> asked;
    bool answer = true;
};

// The resolver is asked once for each folder and file node and sees it in
// its tree. A node that does not resolve (an unknown root, a failed
// expansion) is a failed create: nothing is written under an empty path.
TEST_F(PackageUnpackerStream, ResolvePathAsksTheResolverOncePerNode)
{
    CountingResolver resolver;
    test::RecordingNodeWriter writer;
    PackageUnpacker unpacker(&resolver, writer, *host_);
    ASSERT_TRUE(test::feedPackage(unpacker, handWrittenPackage()));
    EXPECT_EQ(resolver.asked, (std::vector<std::string>{"<TARGETDIR>", "<TARGETDIR>/a.txt", "<TARGETDIR>/sub",
                                                        "<TARGETDIR>/sub/b.bin"}));
    EXPECT_EQ(writer.calls[1], "file \\T\\a.txt");

    resolver.answer = false;
    test::RecordingNodeWriter refused;
    test::DiagCapture capture;
    PackageUnpacker unresolved(&resolver, refused, *host_);
    EXPECT_FALSE(test::feedPackage(unresolved, handWrittenPackage()));
    EXPECT_TRUE(refused.calls.empty());
    EXPECT_TRUE(capture.contains(u"********** Failed to create folder  **********"));
}

// The peak resident memory of this process since the last reset, in bytes.
std::uint64_t peakResidentBytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:"))
            return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
}

void resetPeakResident()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A header of a million 12-byte data records, fed in the decoder's pieces,
// costs memory in proportion: the header's bytes and the record list, each
// allocated once at its final size (not the parsed records beside the list,
// nor lists grown as they go).
using PackageUnpackerMemoryDeathTest = PackageUnpackerStream;

TEST_F(PackageUnpackerMemoryDeathTest, AHeaderOfManySmallRecordsPeaksInProportion)
{
    EXPECT_EXIT(
        {
            tools::PackageWriter writer;
            for (int i = 0; i < 1'000'000; ++i)
                writer.addData(kPackageRecordFirstSkipped, {});
            const Bytes stream = writer.build();
            test::RecordingNodeWriter nodes;
            PackageUnpacker unpacker(nullptr, nodes, *host_);
            unpacker.setPlainNames();
            resetPeakResident();
            const std::uint64_t before = peakResidentBytes();
            const bool unpacked = test::feedPackage(unpacker, stream, [] { return std::size_t{4096}; });
            const double ratio = static_cast<double>(peakResidentBytes() - before) / static_cast<double>(stream.size());
            std::fprintf(stderr, "peak %.2f times the header\n", ratio);
            std::_Exit(unpacked && ratio < 5.0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");

    // The header's own parser keeps its list at the exact size too.
    tools::PackageWriter writer;
    for (int i = 0; i < 1'000; ++i)
        writer.addData(kPackageRecordFirstSkipped, {});
    PackageHeader header;
    std::string reason;
    const Bytes bytes = writer.header();
    ASSERT_TRUE(parsePackageHeader(bytes, header, reason)) << reason;
    EXPECT_EQ(header.records.size(), 1'000u);
    EXPECT_EQ(header.records.capacity(), 1'000u);
}

}  // namespace
}  // namespace druvex
