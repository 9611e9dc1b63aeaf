// The archive writer: appending after an existing file, entries that cannot be
// copied, failed writes and closes, names too long for the directory, and raw
// copies of a running installer's entries into a new archive.
#include <gtest/gtest.h>

#include <algorithm>

#include "payload/entry_encoder.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "payload_test_support.h"
#include "support/external_tool.h"
#include "support/fault_injecting_hal.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;
using test::toBytes;

class ArchiveWriter : public test::PayloadHostFixture {
protected:
    int openError(const SharedString& path)
    {
        PayloadArchive archive(*host_);
        int error = 0;
        archive.open(path, error);
        return error;
    }
};

TEST_F(ArchiveWriter, PiecesAroundTheCopyBufferKeepTheirBytes)
{
    std::vector<test::EntrySource> entries;
    for (const std::size_t size : {0u, 1u, 16383u, 16384u, 16385u, 50000u})
        entries.push_back(test::codedEntry(u"S" + std::u16string(1, static_cast<char16_t>(u'a' + entries.size())),
                                           kPayloadMethodStored, test::sampleData(size, static_cast<unsigned>(size))));
    PayloadArchive& archive = opened(placeFile("a.dqres", test::buildArchive(entries)));
    int error = 0;
    for (const test::EntrySource& entry : entries) {
        const SharedString name(std::u16string_view(entry.name));
        Bytes bytes;
        EXPECT_TRUE(archive.verifyEntry(name, error));
        EXPECT_TRUE(archive.extractTo(name, bytes));
        EXPECT_EQ(bytes, entry.packed);
    }
}

TEST_F(ArchiveWriter, AnInputThatRunsShortIsNotRecorded)
{
    Bytes bytes;
    auto output = std::make_shared<test::VectorOutputStream>(bytes);
    PayloadArchiveWriter writer(output, 0);
    test::ShortInputStream shortInput(test::sampleData(20000), 30000);
    int error = 0;
    EXPECT_FALSE(writer.addEntry(u"Short", 0, shortInput, 30000, error));
    EXPECT_EQ(error, kPayloadErrorWrite);
    EXPECT_TRUE(writer.entries().empty());
    EXPECT_EQ(bytes.size(), 16384u);  // the whole pieces copied stay, unreferenced

    // The next entry still lies where the directory says.
    const Bytes data = toBytes("after the failure");
    MemoryInputStream input(data);
    ASSERT_TRUE(writer.addEntry(u"Next", 0, input, 17, error));
    EXPECT_EQ(writer.entries()[0].offset, 16384u);
    ASSERT_TRUE(writer.finish(error));
    PayloadArchive& archive = opened(placeFile("a.dqres", bytes));
    Bytes read;
    EXPECT_TRUE(archive.extractTo(u"Next", read));
    EXPECT_EQ(read, data);
    EXPECT_EQ(archive.findEntry(u"Short"), -1);
}

// An entry coded while it is written: the stream decodes with xz to the
// input, whatever the pieces the input comes in; a producer that fails, or
// an input that runs short of its announced size, leaves no entry.
TEST_F(ArchiveWriter, EntriesCodedWhileWrittenDecodeWithXz)
{
    const Bytes data = test::sampleData(300000, 11);
    Bytes bytes;
    auto output = std::make_shared<test::VectorOutputStream>(bytes);
    PayloadArchiveWriter writer(output, 0);
    int error = 0;
    std::size_t done = 0;
    const auto readPieces = [&](std::uint8_t* buffer, std::size_t count) -> std::int64_t {
        const std::size_t piece = std::min({count, data.size() - done, std::size_t{777}});
        std::copy_n(data.data() + done, piece, buffer);
        done += piece;
        return static_cast<std::int64_t>(piece);
    };
    const auto codeInto = [&](std::uint64_t size) {
        return [&, size](PackageOutputStream& out) {
            return encodeLzmaEntry(size, readPieces, [&](const std::uint8_t* piece, std::size_t count) {
                return out.write(static_cast<std::uint32_t>(count), piece);
            });
        };
    };
    ASSERT_TRUE(writer.addEntryFrom(u"Coded", kPayloadMethodLzma, 300000, codeInto(data.size()), error));
    EXPECT_EQ(error, 0);
    done = 0;
    EXPECT_FALSE(writer.addEntryFrom(u"Short", kPayloadMethodLzma, 400000, codeInto(400000), error));
    EXPECT_EQ(error, kPayloadErrorWrite);
    EXPECT_FALSE(writer.addEntryFrom(u"Refused", kPayloadMethodLzma, 1, [](PackageOutputStream&) { return false; },
                                     error));
    ASSERT_EQ(writer.entries().size(), 1u);
    ASSERT_TRUE(writer.finish(error));

    PayloadArchive& archive = opened(placeFile("a.dqres", bytes));
    Bytes packed;
    ASSERT_TRUE(archive.verifyEntry(u"Coded", error));
    const PayloadEntry& entry = archive.entryAt(0);
    packed.assign(bytes.begin() + static_cast<std::ptrdiff_t>(entry.offset),
                  bytes.begin() + static_cast<std::ptrdiff_t>(entry.offset + entry.packedSize));
    const test::ToolResult decoded = test::runTool("xz --format=lzma -dc", packed);
    ASSERT_EQ(decoded.exitCode, 0);
    EXPECT_TRUE(decoded.output == data);
    Bytes extracted;
    EXPECT_TRUE(archive.extractTo(u"Coded", extracted));
    EXPECT_TRUE(extracted == data);
    EXPECT_EQ(archive.findEntry(u"Short"), -1);
    EXPECT_EQ(archive.findEntry(u"Refused"), -1);
}

TEST_F(ArchiveWriter, ANameTooLongForTheDirectoryFailsTheFinish)
{
    Bytes bytes;
    auto output = std::make_shared<test::VectorOutputStream>(bytes);
    PayloadArchiveWriter writer(output, 0);
    const Bytes data = toBytes("x");
    MemoryInputStream input(data);
    int error = 0;
    ASSERT_TRUE(writer.addEntry(SharedString(std::u16string(65536, u'n')), 0, input, 1, error));
    EXPECT_FALSE(writer.finish(error));
    EXPECT_EQ(error, kPayloadErrorWrite);
    EXPECT_EQ(output->closes, 1);
    EXPECT_NE(openError(placeFile("a.dqres", bytes)), 0);

    Bytes fits;
    auto second = std::make_shared<test::VectorOutputStream>(fits);
    PayloadArchiveWriter longest(second, 0);
    MemoryInputStream again(data);
    ASSERT_TRUE(longest.addEntry(SharedString(std::u16string(65535, u'n')), 0, again, 1, error));
    EXPECT_TRUE(longest.finish(error));
    EXPECT_EQ(openError(placeFile("b.dqres", fits)), 0);
}

TEST_F(ArchiveWriter, EveryFailedWriteOrCloseIsReported)
{
    const Bytes data = test::sampleData(40000);
    const Bytes sound = test::buildArchive({test::codedEntry(u"A", kPayloadMethodStored, data),
                                            test::codedEntry(u"B", kPayloadMethodStored, data)});
    // Fail the stream at every record and trailer boundary of the finish.
    for (const std::size_t failAfter : {sound.size() - 1, sound.size() - 8, sound.size() - 48, std::size_t{80010}}) {
        Bytes bytes;
        auto output = std::make_shared<test::VectorOutputStream>(bytes);
        output->failAfter = failAfter;
        PayloadArchiveWriter writer(output, 0);
        int error = 0;
        for (const char16_t* name : {u"A", u"B"}) {
            MemoryInputStream input(data);
            ASSERT_TRUE(writer.addEntry(SharedString(name), 0, input, 40000, error));
        }
        EXPECT_FALSE(writer.finish(error)) << failAfter;
        EXPECT_EQ(error, kPayloadErrorWrite);
        EXPECT_NE(openError(placeFile("a.dqres", bytes)), 0);
    }

    Bytes bytes;
    auto output = std::make_shared<test::VectorOutputStream>(bytes);
    output->closeResult = false;
    PayloadArchiveWriter writer(output, 0);
    int error = 0;
    EXPECT_FALSE(writer.finish(error));
    EXPECT_EQ(error, kPayloadErrorWrite);
}

TEST_F(ArchiveWriter, AFailedWriteLeavesNoDirectoryOverDriftedOffsets)
{
    const SharedString path = placeFile("setup.exe", Bytes(100, 1));
    test::HalFaultPlan plan;
    plan.shortWriteNumber = 2;  // the host takes half of a piece and reports it
    auto faulty = std::make_shared<test::FaultInjectingHal>(host_, plan);
    auto output = std::make_shared<HalFileOutputStream>();
    ASSERT_TRUE(output->openForAppend(faulty, path));
    PayloadArchiveWriter writer(output, output->payloadBase());
    const Bytes data = test::sampleData(50000);
    MemoryInputStream first(data);
    int error = 0;
    EXPECT_FALSE(writer.addEntry(u"First", 0, first, 50000, error));
    EXPECT_EQ(error, kPayloadErrorWrite);
    MemoryInputStream second(data);
    EXPECT_FALSE(writer.addEntry(u"Second", 0, second, 50000, error));
    EXPECT_EQ(error, kPayloadErrorWrite);
    EXPECT_FALSE(writer.finish(error));
    EXPECT_EQ(error, kPayloadErrorWrite);
    EXPECT_NE(openError(path), 0);

    test::HalFaultPlan closing;
    closing.failClose = true;
    auto failingClose = std::make_shared<test::FaultInjectingHal>(host_, closing);
    auto closed = std::make_shared<HalFileOutputStream>();
    ASSERT_TRUE(closed->openForAppend(failingClose, placeFile("b.exe", Bytes(10, 2))));
    PayloadArchiveWriter closer(closed, closed->payloadBase());
    EXPECT_FALSE(closer.finish(error));
    EXPECT_EQ(error, kPayloadErrorWrite);
}

// The engine's copy of the installer: raw entries of one archive into another.
TEST_F(ArchiveWriter, RawCopiesKeepEveryEntryAsItWas)
{
    const Bytes data = test::sampleData(60000);
    const std::vector<test::EntrySource> sources = {
        test::codedEntry(u"Data", kPayloadMethodLzma, data), test::codedEntry(u"InstallerInfo", kPayloadMethodStored, data),
        test::codedEntry(u"Translation_1031", kPayloadMethodZlib, data)};
    PayloadArchive& source = opened(placeFile("source.exe", test::buildArchive(sources)));
    int error = 0;

    EXPECT_FALSE(HalFileOutputStream().openForAppend(host_, u"\\Temp\\missing.exe"));
    const SharedString targetPath = placeFile("target.exe", Bytes(1000, 0xAB));
    auto output = std::make_shared<HalFileOutputStream>();
    ASSERT_TRUE(output->openForAppend(host_, targetPath));
    EXPECT_EQ(output->payloadBase(), 1000u);
    PayloadArchiveWriter writer(output, output->payloadBase());
    for (std::uint32_t i = 0; i < source.entryCount(); ++i) {
        const PayloadEntry& entry = source.entryAt(static_cast<std::int32_t>(i));
        Bytes raw;
        std::uint64_t unpacked = 0;
        std::uint32_t method = 0;
        ASSERT_TRUE(source.extractRawTo(entry.name, raw, unpacked, method));
        MemoryInputStream input(raw);
        ASSERT_TRUE(writer.addEntry(entry.name, method, input, static_cast<std::uint32_t>(unpacked), error));
    }
    ASSERT_TRUE(writer.finish(error));
    EXPECT_EQ(writer.entries()[0].offset, 0u);
    EXPECT_EQ(device().readFile("Temp/target.exe").substr(0, 1000), std::string(1000, '\xAB'));

    test::expectSameEntries(source, opened(targetPath), data);
}

}  // namespace
}  // namespace druvex
