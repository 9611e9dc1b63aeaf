// Copying entries of one installer archive into another as they are stored:
// the copy after a program file reads back entry for entry, an entry whose
// sizes do not fit the writer's 32-bit record is refused before a byte of it
// is written, and damaged bytes fail the copy.
#include "payload/archive_copy.h"

#include <gtest/gtest.h>

#include <fstream>

#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "payload_test_support.h"

namespace druvex {
namespace {

using test::Bytes;

class ArchiveCopy : public test::PayloadHostFixture {
protected:
    // A writer appending to \Temp\<name>, a file of `programBytes` bytes.
    PayloadArchiveWriter& writerAfter(std::string_view name, std::size_t programBytes)
    {
        targetPath_ = placeFile(name, Bytes(programBytes, 0x7F));
        output_ = std::make_shared<HalFileOutputStream>();
        EXPECT_TRUE(output_->openForAppend(host_, targetPath_));
        writer_ = std::make_unique<PayloadArchiveWriter>(output_, output_->payloadBase());
        return *writer_;
    }

    SharedString targetPath_;
    std::shared_ptr<HalFileOutputStream> output_;
    std::unique_ptr<PayloadArchiveWriter> writer_;
};

TEST_F(ArchiveCopy, EveryMethodIsCopiedAsStoredAndReadsBackAfterTheProgram)
{
    const Bytes data = test::sampleData(70000, 7);
    const std::vector<test::EntrySource> sources = {test::codedEntry(u"Data", kPayloadMethodLzma, data),
                                                    test::codedEntry(u"ExtraData/Big", kPayloadMethodStored, data),
                                                    test::codedEntry(u"Translation_1031", kPayloadMethodZlib, data)};
    // The source appended to a program of 300 bytes, as an installer carries it.
    Bytes program(300, 0x11);
    const Bytes archive = test::buildArchive(sources, program.size());
    program.insert(program.end(), archive.begin(), archive.end());
    PayloadArchive& source = opened(placeFile("source.exe", program));
    EXPECT_EQ(source.payloadBase(), 300u);

    PayloadArchiveWriter& writer = writerAfter("setup.exe", 1000);
    int error = -1;
    for (std::uint32_t i = 0; i < source.entryCount(); ++i) {
        EXPECT_EQ(copyArchiveEntry(source, source.entryAt(static_cast<std::int32_t>(i)), writer, error),
                  EntryCopy::Copied);
        EXPECT_EQ(error, kPayloadErrorNone);
    }
    ASSERT_TRUE(writer.finish(error));

    PayloadArchive& copy = opened(targetPath_);
    EXPECT_EQ(copy.payloadBase(), 1000u);
    test::expectSameEntries(source, copy, data);
    // An archive file of its own begins at its start; a closed reader nowhere.
    EXPECT_EQ(opened(placeFile("own.dqres", test::buildArchive(sources))).payloadBase(), 0u);
    EXPECT_EQ(PayloadArchive(*host_).payloadBase(), 0u);
}

TEST_F(ArchiveCopy, AnEntryOf4GiBOrMoreIsRefusedBeforeAByteOfItIsWritten)
{
    // A sparse archive: "Huge" holds 4 GiB and one byte of zeros, "Claims"
    // five stored bytes said to unpack to 4 GiB, "Small" five bytes.
    constexpr std::uint64_t kHuge = (std::uint64_t{1} << 32) + 1;
    const Bytes small = test::toBytes("small");
    Bytes directory = test::makeRecord(u"Huge", kPayloadMethodStored, 0, kHuge, kHuge, 1);
    const Bytes claims = test::makeRecord(u"Claims", kPayloadMethodLzma, kHuge, 5, std::uint64_t{1} << 32, 1);
    directory.insert(directory.end(), claims.begin(), claims.end());
    const Bytes record = test::makeRecord(u"Small", kPayloadMethodStored, kHuge + 5, 5, 5, test::adlerOf(small));
    directory.insert(directory.end(), record.begin(), record.end());
    const std::uint64_t directoryOffset = kHuge + 10;
    const Bytes trailer = test::makeTrailer(directory, 3, 0, directoryOffset);
    {
        std::ofstream file(device().hostPath("Temp/huge.dqres"), std::ios::binary);
        file.seekp(static_cast<std::streamoff>(kHuge + 5));
        file.write(reinterpret_cast<const char*>(small.data()), static_cast<std::streamsize>(small.size()));
        file.write(reinterpret_cast<const char*>(directory.data()), static_cast<std::streamsize>(directory.size()));
        file.write(reinterpret_cast<const char*>(trailer.data()), static_cast<std::streamsize>(trailer.size()));
        ASSERT_TRUE(file.good());
    }
    PayloadArchive& source = opened(SharedString(u"\\Temp\\huge.dqres"));
    ASSERT_EQ(source.entryCount(), 3u);

    PayloadArchiveWriter& writer = writerAfter("setup.exe", 0);
    int error = 0;
    EXPECT_EQ(copyArchiveEntry(source, source.entryAt(0), writer, error), EntryCopy::TooLarge);
    EXPECT_EQ(copyArchiveEntry(source, source.entryAt(1), writer, error), EntryCopy::TooLarge);
    EXPECT_TRUE(writer.entries().empty());
    EXPECT_EQ(copyArchiveEntry(source, source.entryAt(2), writer, error), EntryCopy::Copied);
    ASSERT_EQ(writer.entries().size(), 1u);
    // Nothing of the refused entries went before it.
    EXPECT_EQ(writer.entries()[0].offset, 0u);
    ASSERT_TRUE(writer.finish(error));
    Bytes bytes;
    ASSERT_TRUE(opened(targetPath_).extractTo(u"Small", bytes));
    EXPECT_EQ(bytes, small);
}

TEST_F(ArchiveCopy, BytesThatDoNotMatchTheirCheckWordFailTheCopy)
{
    const Bytes data = test::sampleData(40000, 3);
    Bytes archive = test::buildArchive({test::codedEntry(u"Data", kPayloadMethodStored, data)});
    archive[20000] ^= 0x01;
    PayloadArchive& source = opened(placeFile("damaged.dqres", archive));
    PayloadArchiveWriter& writer = writerAfter("setup.exe", 10);
    int error = 0;
    EXPECT_EQ(copyArchiveEntry(source, source.entryAt(0), writer, error), EntryCopy::Failed);
    EXPECT_EQ(error, kPayloadErrorWrite);
    EXPECT_TRUE(writer.entries().empty());
}

}  // namespace
}  // namespace druvex
