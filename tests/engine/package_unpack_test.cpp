// Unpacking packages into a device folder through the engine's node writer: a
// folder tree packed by the archive tool comes back byte for byte whatever the
// pieces; a pass that fails at the fifth of ten files is resumed; a
// half-written package is rolled back whole.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "data/feature.h"
#include "engine/host_node_writer.h"
#include "engine_fixture.h"
#include "package_writer/package_writer.h"
#include "payload/package_header.h"
#include "payload/payload_archive.h"
#include "support/package_fixtures.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::feedPackage;

Bytes pseudoRandom(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random() % 7 == 0 ? random() : 'a' + random() % 4);
    return bytes;
}

const char kRegistry[] =
    "<Registry><HKEY_LOCAL_MACHINE><Key Name=\"Software\" Flag=\"Automatic\"><Value Name=\"Path\" "
    "Format=\"String\" Data=\"x\"/></Key></HKEY_LOCAL_MACHINE></Registry>";

class PackageUnpackerDevice : public test::EngineHostFixture {
protected:
    void SetUp() override
    {
        EngineHostFixture::SetUp();
        resolver_.map(u"<TARGETDIR>", u"\\Program Files\\Target");
    }

    // Ten files f01..f10 of 3,000 bytes in "<TARGETDIR>\d", after a registry
    // fragment; "sub" (a folder) sits between f02 and f03.
    static Bytes tenFiles(const char* registry = kRegistry)
    {
        tools::PackageWriter writer;
        writer.addData(kPackageRecordRegistry, test::toBytes(registry));
        writer.openFolder(u"<TARGETDIR>").openFolder(u"d");
        for (int i = 1; i <= 10; ++i) {
            if (i == 3)
                writer.openFolder(u"sub").closeFolder();
            writer.addFile(fileName(i), pseudoRandom(3000, static_cast<unsigned>(i)));
        }
        return writer.build();
    }
    static std::u16string fileName(int i)
    {
        return u"f" + std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
               std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
    }
    std::string diffAgainst(const fs::path& source, const std::string& target)
    {
        const test::ToolResult diff =
            test::runTool("diff -r '" + source.string() + "' '" + device().hostPath(target).string() + "'");
        return diff.exitCode == 0 ? "" : "differ: " + std::string(diff.output.begin(), diff.output.end());
    }

    test::TargetFolderResolver resolver_;
};

// A few hundred files of varied sizes in nested folders, packed and
// LZMA-coded by the archive tool, unpacked from the archive and fed directly
// in pieces of 1 byte, 4,096 bytes and random sizes: diff finds no difference.
TEST_F(PackageUnpackerDevice, AToolPackedFolderUnpacksToTheSameTree)
{
    test::ScratchDir scratch;
    const fs::path source = scratch.path() / "source";
    std::mt19937 random(11);
    for (int i = 0; i < 320; ++i) {
        const fs::path folder = source / ("d" + std::to_string(i % 7)) / (i % 3 == 0 ? "deeper" : "");
        fs::create_directories(folder);
        const std::size_t size = i % 50 == 0 ? 65536 + random() % 70000 : i % 9 == 0 ? 0 : random() % 6000;
        test::writeFileBytes(folder / ("file " + std::to_string(i) + ".dat"), pseudoRandom(size, i));
    }
    fs::create_directories(source / "empty folder");

    const fs::path archive = device().hostPath("Temp/setup.dqres");
    const test::ToolResult packed = test::runTool(std::string(DRUVEX_PAYLOAD_TOOL) + " create '" + archive.string() +
                                                  "' 'package:Feature/Main=" + source.string() + "'");
    ASSERT_EQ(packed.exitCode, 0);

    PayloadArchive reader(*host_);
    int error = 0;
    ASSERT_TRUE(reader.open(u"\\Temp\\setup.dqres", error)) << error;
    HostNodeWriter writer(host_);
    PackageUnpacker unpacker(&resolver_, writer, *host_);
    ASSERT_TRUE(reader.extract(u"Feature/Main", unpacker));
    EXPECT_EQ(reader.entryAt(0).unpackedSize, unpacker.fileBytes());
    EXPECT_EQ(diffAgainst(source, "Program Files/Target"), "");

    tools::PackageWriter package;
    std::string reason;
    ASSERT_TRUE(tools::addFolderTree(package, source, u"<TARGETDIR>", reason)) << reason;
    const Bytes stream = package.build();
    const std::pair<const char*, std::function<std::size_t()>> pieces[] = {
        {"1", [] { return std::size_t{1}; }},
        {"4096", [] { return std::size_t{4096}; }},
        {"random", [&] { return std::size_t{1} + random() % 20000; }}};
    for (const auto& [name, next] : pieces) {
        SCOPED_TRACE(name);
        test::TargetFolderResolver resolver;
        resolver.map(u"<TARGETDIR>", u"\\Program Files\\Pieces" + std::u16string(name, name + std::strlen(name)));
        HostNodeWriter direct(host_);
        PackageUnpacker fed(&resolver, direct, *host_);
        ASSERT_TRUE(feedPackage(fed, stream, next));
        EXPECT_EQ(diffAgainst(source, "Program Files/Pieces" + std::string(name)), "");
    }
}

// The fifth of ten files fails to write. keepVerified keeps the four that
// read back as written; the second pass creates no folder again, writes
// files five to ten only, and the registry fragment before the resume point
// is in its Feature.
TEST_F(PackageUnpackerDevice, ARetryAfterTheFifthOfTenFilesWritesTheRest)
{
    const Bytes stream = tenFiles();
    HostNodeWriter host(faulty_);
    test::RecordingNodeWriter first(&host);
    PackageUnpacker unpacker(&resolver_, first, *faulty_);
    test::HalFaultPlan plan;
    plan.failWriteNumber = faulty_->writeCount() + 5;
    faulty_->setPlan(plan);
    ASSERT_FALSE(feedPackage(unpacker, stream));
    EXPECT_EQ(first.calls.back(), "file \\Program Files\\Target/d/f05");
    faulty_->setPlan({});

    std::uint64_t bytes = 99;
    unpacker.keepVerified(bytes);
    EXPECT_EQ(bytes, 0u);  // nothing of f05 reached the file

    first.calls.clear();
    ASSERT_TRUE(feedPackage(unpacker, stream));
    std::vector<std::string> expected;
    for (int i = 5; i <= 10; ++i)
        expected.insert(expected.end(), {"file \\Program Files\\Target/d/" + test::narrow(fileName(i)), "finish"});
    EXPECT_EQ(first.calls, expected);
    EXPECT_TRUE(unpacker.feature()->hasRegistry());
    for (int i = 1; i <= 10; ++i)
        EXPECT_EQ(test::toBytes(device().readFile("Program Files/Target/d/" + test::narrow(fileName(i)))),
                  pseudoRandom(3000, static_cast<unsigned>(i)));
}

// A file damaged on the target after it was written is not kept: the walk
// stops there and the bytes of it and of every later file are given back.
TEST_F(PackageUnpackerDevice, KeepVerifiedStopsAtADamagedFile)
{
    const Bytes stream = tenFiles();
    HostNodeWriter host(faulty_);
    test::RecordingNodeWriter writer(&host);
    writer.failWriteFile = u"f05";
    PackageUnpacker unpacker(&resolver_, writer, *faulty_);
    ASSERT_FALSE(feedPackage(unpacker, stream));
    device().writeFile("Program Files/Target/d/f03", std::string(3000, 'x'));

    std::uint64_t bytes = 0;
    unpacker.keepVerified(bytes);
    EXPECT_EQ(bytes, 2u * 3000);  // f03 and f04
    writer.calls.clear();
    ASSERT_TRUE(feedPackage(unpacker, stream));
    ASSERT_FALSE(writer.calls.empty());
    EXPECT_EQ(writer.calls.front(), "file \\Program Files\\Target/d/f03");
    EXPECT_EQ(writer.calls.size(), 2u * 8);
    EXPECT_EQ(test::toBytes(device().readFile("Program Files/Target/d/f03")), pseudoRandom(3000, 3));
}

// A folder that could not be created is created by the next pass (it lies
// past where the failed pass stopped), and a pass whose header never arrived
// keeps what the passes before it kept.
TEST_F(PackageUnpackerDevice, KeepVerifiedKeepsOnlyWhatThePassReached)
{
    const Bytes stream = tenFiles();
    HostNodeWriter host(faulty_);
    test::RecordingNodeWriter writer(&host);
    writer.failFolder = u"sub";
    PackageUnpacker unpacker(&resolver_, writer, *faulty_);
    ASSERT_FALSE(feedPackage(unpacker, stream));
    std::uint64_t bytes = 0;
    unpacker.keepVerified(bytes);
    const std::size_t kept = unpacker.skipCount();

    // A pass cut before its header ends changes nothing.
    unpacker.begin(static_cast<std::uint32_t>(stream.size()), 0);
    ASSERT_TRUE(unpacker.write(20, stream.data()));
    unpacker.keepVerified(bytes);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(unpacker.skipCount(), kept);

    writer.calls.clear();
    ASSERT_TRUE(feedPackage(unpacker, stream));
    ASSERT_FALSE(writer.calls.empty());
    EXPECT_EQ(writer.calls.front(), "folder \\Program Files\\Target/d/sub");
    EXPECT_TRUE(device().exists("Program Files/Target/d/sub"));
}

// A fragment that does not parse fails the pass after every file was
// written; the files verify, but the retry gathers the fragment again and
// fails again instead of reporting a feature without its registry.
TEST_F(PackageUnpackerDevice, ARetryNeverSucceedsWithoutItsFragments)
{
    const Bytes stream = tenFiles("<Registry><HKEY_LOCAL_MACHINE></Registry>");
    HostNodeWriter host(faulty_);
    PackageUnpacker unpacker(&resolver_, host, *faulty_);
    ASSERT_FALSE(feedPackage(unpacker, stream));
    EXPECT_TRUE(device().exists("Program Files/Target/d/f10"));
    std::uint64_t bytes = 0;
    unpacker.keepVerified(bytes);
    EXPECT_EQ(bytes, 0u);
    EXPECT_FALSE(feedPackage(unpacker, stream));
}

// Two failed passes, the second leaving f08 half-written, then the rollback:
// every file of both passes is gone, the half-written one too, and the bytes
// reported are all that was written, the half-written file's part too (which
// its writer may still hold, not on the disk yet).
TEST_F(PackageUnpackerDevice, DiscardRemovesEveryFileOfEveryPass)
{
    const Bytes stream = tenFiles();
    HostNodeWriter host(faulty_);
    test::RecordingNodeWriter writer(&host);
    writer.failWriteFile = u"f05";
    PackageUnpacker unpacker(&resolver_, writer, *faulty_);
    ASSERT_FALSE(feedPackage(unpacker, stream));
    std::uint64_t bytes = 0;
    unpacker.keepVerified(bytes);

    writer.failWriteFile = u"f08";
    writer.failWriteOfFile = 3;
    ASSERT_FALSE(feedPackage(unpacker, stream, [] { return std::size_t{1000}; }));
    EXPECT_TRUE(device().exists("Program Files/Target/d/f08"));
    const std::uint64_t halfWritten = writer.bytesOfFile;
    EXPECT_GT(halfWritten, 0u);
    EXPECT_LT(halfWritten, 3000u);

    unpacker.discardWritten(bytes);
    EXPECT_EQ(bytes, 7u * 3000 + halfWritten);
    for (const char* name : {"f01", "f04", "f05", "f07", "f08", "f09"})
        EXPECT_FALSE(device().exists("Program Files/Target/d/" + std::string(name))) << name;
    EXPECT_EQ(unpacker.skipCount(), 0u);
}

}  // namespace
}  // namespace druvex
