// SevenZipReader: extraction in archive order with the sink's answers,
// extractTo stopping after its entry, and damaged or hostile archives.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "payload/seven_zip_header.h"
#include "payload/seven_zip_number.h"
#include "seven_zip_fixture.h"
#include "support/seven_zip_folder_sink.h"

namespace druvex {
namespace {

using test::Bytes;
using test::toBytes;
using test::shared;
using test::layoutOf;
using test::Layout;
using test::patchHeader;
using test::setEncodedHeader;
using test::utf16;

class SevenZipReaderTest : public test::SevenZipFixture {
protected:
    void SetUp() override
    {
        test::SevenZipFixture::SetUp();
        for (int i = 0; i < 4000; ++i)
            bigJob_ += "line " + std::to_string(i * 7919 % 10007) + "\n";
        writeSource("Data/info.xml", "<info/>");
        writeSource("Data/settings.xml", "<settings/>");
        writeSource("Data/big.job", bigJob_);
        writeSource("Data/small.job", "small");
        writeSource("Data/empty.job", "");
        ASSERT_TRUE(backUp({{"Data/info.xml", "info.xml"},
                            {"Data/settings.xml", "settings.xml"},
                            {"Data/big.job", "jobs/big.job"},
                            {"Data/small.job", "jobs/small.job"},
                            {"Data/empty.job", "jobs/empty.job"}}));
        sound_ = archiveBytes();
    }

    // Whether a reader opens the bytes, written as Backup/out.7z.
    bool opens(const Bytes& archive)
    {
        writeArchive(archive);
        SevenZipReader reader;
        return openArchive(reader);
    }

    // The events of extracting the archive now in Backup/out.7z.
    std::vector<std::string> extracted(test::SevenZipRecordingSink& sink, bool expected)
    {
        SevenZipReader reader;
        EXPECT_TRUE(openArchive(reader));
        EXPECT_EQ(reader.extract(sink), expected);
        return sink.events;
    }

    std::string bigJob_;
    Bytes sound_;
};

TEST_F(SevenZipReaderTest, ListsAndExtractsInArchiveOrderFoldersFirst)
{
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_TRUE(entries[2]->isDirectory && entries[2]->hasNoData);
    EXPECT_EQ(entries[3]->size, bigJob_.size());
    EXPECT_EQ(entries[3]->crc, sevenZipCrc(toBytes(bigJob_)));
    EXPECT_EQ(entries[3]->modificationTime, test::kSourceTime);

    test::SevenZipRecordingSink sink;
    ASSERT_TRUE(reader.extract(sink));
    EXPECT_EQ(sink.events, (std::vector<std::string>{
                               "folder jobs", "begin info.xml 7", "end info.xml ok", "begin settings.xml 11",
                               "end settings.xml ok", "begin jobs/big.job " + std::to_string(bigJob_.size()),
                               "end jobs/big.job ok", "begin jobs/small.job 5", "end jobs/small.job ok",
                               "begin jobs/empty.job 0", "end jobs/empty.job ok"}));
    EXPECT_EQ(sink.files["jobs/big.job"], toBytes(bigJob_));
    EXPECT_EQ(sink.files["jobs/small.job"], toBytes("small"));
    ASSERT_FALSE(sink.percents.empty());
    EXPECT_TRUE(std::is_sorted(sink.percents.begin(), sink.percents.end()));
    EXPECT_EQ(sink.percents.back(), 100u);

    test::SevenZipRecordingSink again;  // decodes from the start again
    EXPECT_TRUE(reader.extract(again));
    EXPECT_EQ(again.files, sink.files);
}

TEST_F(SevenZipReaderTest, TheSinkSkipsAndStops)
{
    test::SevenZipRecordingSink skipping;
    skipping.beginAnswers["jobs/big.job"] = kSevenZipSkip;
    extracted(skipping, true);
    EXPECT_EQ(skipping.files.count("jobs/big.job"), 0u);
    EXPECT_EQ(skipping.files["jobs/small.job"], toBytes("small"));

    test::SevenZipRecordingSink stopping;
    stopping.beginAnswers["settings.xml"] = kSevenZipStop;
    EXPECT_EQ(extracted(stopping, false).back(), "begin settings.xml 11");
    test::SevenZipRecordingSink refusingWrite;
    refusingWrite.stopAtWrite = 3;
    EXPECT_EQ(extracted(refusingWrite, false).back(), "begin jobs/big.job " + std::to_string(bigJob_.size()));
    test::SevenZipRecordingSink endingEarly;
    endingEarly.stopAfter = "settings.xml";
    EXPECT_EQ(extracted(endingEarly, false).back(), "end settings.xml ok");
}

TEST_F(SevenZipReaderTest, ExtractToTakesOneEntryAndDecodesNoFurther)
{
    // Damage the end of the packed stream, which holds the jobs' data only.
    const Layout layout = layoutOf(sound_);
    Bytes archive = sound_;
    for (std::size_t i = layout.header - 20; i < layout.header; ++i)
        archive[i] ^= 0x55;
    writeArchive(archive);
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(reader.extractTo(shared("settings.xml"), bytes));
    EXPECT_EQ(bytes, toBytes("<settings/>"));
    EXPECT_FALSE(reader.extractTo(shared("jobs/small.job"), bytes));
    EXPECT_TRUE(bytes.empty());

    writeArchive(sound_);
    ASSERT_TRUE(openArchive(reader));
    EXPECT_TRUE(reader.extractTo(shared("jobs/big.job"), bytes));
    EXPECT_EQ(bytes, toBytes(bigJob_));
    for (const char* refused : {"jobs/empty.job", "Info.xml", "jobs", "nothing.xml"})
        EXPECT_FALSE(reader.extractTo(shared(refused), bytes)) << refused;
    reader.close();
    EXPECT_FALSE(reader.extractTo(shared("info.xml"), bytes));
}

TEST_F(SevenZipReaderTest, AnyFlippedHeaderByteFailsTheOpen)
{
    const Layout layout = layoutOf(sound_);
    for (std::size_t position = 0; position < sound_.size(); ++position) {
        if (position == 32)
            position = layout.header;
        Bytes damaged = sound_;
        damaged[position] ^= 0x01;
        EXPECT_FALSE(opens(damaged)) << position;
    }
}

TEST_F(SevenZipReaderTest, AChangedStoredCrcStopsTheExtractionAtThatEntry)
{
    Bytes stored, changed;
    appendLittleEndian32(stored, sevenZipCrc(toBytes("<settings/>")));
    appendLittleEndian32(changed, sevenZipCrc(toBytes("<settings/>")) ^ 0xFF);
    Bytes archive = sound_;
    patchHeader(archive, stored, changed);
    writeArchive(archive);
    test::SevenZipRecordingSink sink;
    EXPECT_EQ(extracted(sink, false), (std::vector<std::string>{"folder jobs", "begin info.xml 7", "end info.xml ok",
                                                                "begin settings.xml 11", "end settings.xml bad"}));
    // Also when that entry is skipped: nothing after it is trusted.
    test::SevenZipRecordingSink skipping;
    skipping.beginAnswers["settings.xml"] = kSevenZipSkip;
    EXPECT_EQ(extracted(skipping, false).back(), "begin settings.xml 11");
}

TEST_F(SevenZipReaderTest, AFlippedPackedByteFailsAndNothingFromTheDamageOnMatches)
{
    const Layout layout = layoutOf(sound_);
    const std::map<std::string, Bytes> truth = {{"info.xml", toBytes("<info/>")},
                                                {"settings.xml", toBytes("<settings/>")},
                                                {"jobs/big.job", toBytes(bigJob_)},
                                                {"jobs/small.job", toBytes("small")},
                                                {"jobs/empty.job", {}}};
    // The last bytes of the range coder's flush may not change what decodes.
    for (std::size_t position = 32; position + 4 < layout.header; position += 7) {
        SCOPED_TRACE(position);
        Bytes damaged = sound_;
        damaged[position] ^= 0x10;
        writeArchive(damaged);
        test::SevenZipRecordingSink sink;
        bool failedOne = false;
        for (const std::string& event : extracted(sink, false)) {
            if (!event.starts_with("end "))
                continue;
            EXPECT_FALSE(failedOne) << event;
            const bool ok = event.ends_with(" ok");
            const std::string name = event.substr(4, event.size() - (ok ? 7 : 8));
            EXPECT_TRUE(!ok || sink.files[name] == truth.at(name)) << name;
            failedOne = failedOne || !ok;
        }
    }
}

TEST_F(SevenZipReaderTest, CutArchivesAndAShortPackedStreamFail)
{
    const Layout layout = layoutOf(sound_);
    for (const std::size_t size : {std::size_t{0}, std::size_t{31}, std::size_t{32}, layout.header,
                                   sound_.size() - 1}) {
        EXPECT_FALSE(opens(Bytes(sound_.begin(), sound_.begin() + static_cast<std::ptrdiff_t>(size)))) << size;
    }
    // A header that gives the packed stream 100 bytes less: the decoder runs
    // dry inside the big job instead of reading on into the header.
    const std::uint64_t packed = layout.header - 32;
    ASSERT_TRUE(packed > 0x180 && packed < 0x4000);
    Bytes archive = sound_;
    const auto sizeBytes = [](std::uint64_t size) {
        return Bytes{0x09, static_cast<std::uint8_t>(0x80 | (size >> 8)), static_cast<std::uint8_t>(size)};
    };
    patchHeader(archive, sizeBytes(packed), sizeBytes(packed - 100));
    writeArchive(archive);
    test::SevenZipRecordingSink sink;
    EXPECT_EQ(extracted(sink, false).back(), "end jobs/big.job bad");
}

TEST_F(SevenZipReaderTest, SizesAndCountsBeyondTheLimitsAreRefusedBeforeAllocation)
{
    const Layout layout = layoutOf(sound_);
    const std::uint64_t offset = layout.encoded - 32;
    for (const auto& [nextOffset, nextSize] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {offset, 0xFFFFFFFF}, {offset, 17 << 20}, {offset, 0}, {UINT64_MAX - 10, 27}, {sound_.size(), 27}}) {
        Bytes hostile = sound_;
        const auto start = buildSevenZipStartHeader({nextOffset, nextSize, loadLittleEndian32(&sound_[28])});
        std::copy(start.begin(), start.end(), hostile.begin());
        EXPECT_FALSE(opens(hostile)) << nextOffset << " " << nextSize;
    }
    for (const std::uint64_t headerSize : {0xFFFFFFFFull, 1ull << 40, 17ull << 20}) {
        Bytes hostile = sound_;
        setEncodedHeader(hostile, layout.encoded, buildSevenZipEncodedHeader({offset - 0, headerSize, 0}));
        EXPECT_FALSE(opens(hostile)) << headerSize;
    }
    // Counts of streams and of files far beyond what the header could hold;
    // the same header with counts of 0 opens.
    for (const std::uint8_t id : {std::uint8_t{0x0D}, std::uint8_t{0x05}}) {
        for (const Bytes& number : {Bytes{0x00}, Bytes{0xF0, 0xFF, 0xFF, 0xFF, 0x7F}}) {
            Bytes header = buildSevenZipHeader({0, 0, {0x5D, 0, 0, 0x20, 0}}, {});
            const Bytes zeroCount = {id, 0x00};
            auto count = std::search(header.begin(), header.end(), zeroCount.begin(), zeroCount.end()) + 1;
            count = header.erase(count);
            header.insert(count, number.begin(), number.end());
            Bytes hostile = header;
            hostile.insert(hostile.begin(), 32, 0);
            setEncodedHeader(hostile, hostile.size(),
                             buildSevenZipEncodedHeader({0, header.size(), sevenZipCrc(header)}));
            EXPECT_EQ(opens(hostile), number.size() == 1) << int(id);
        }
    }
    Bytes hugeDictionary = sound_;
    patchHeader(hugeDictionary, {0x5D, 0x00, 0x00, 0x20, 0x00}, {0x5D, 0x00, 0x00, 0x00, 0x10});
    EXPECT_FALSE(opens(hugeDictionary));
}

TEST_F(SevenZipReaderTest, NamesLeadingOutOfTheTargetAreRefusedAndNothingIsWritten)
{
    writeSource("Data/x.txt", "evil");
    ASSERT_TRUE(backUp({{"Data/x.txt", "zz/x.txt"}, {"Data/x.txt", "zzzzzx.txt"}}));
    const Bytes sound = archiveBytes();
    for (const auto& [from, to] : std::vector<std::pair<std::string_view, std::string_view>>{
             {"zz/x.txt", "../x.txt"},
             {"zzzzzx.txt", "/tmp/x.txt"},
             {"zzzzzx.txt", "..\\..\\x.t"},
             {"zzzzzx.txt", "c:/x/x.txt"},
             {std::string_view("zz/x.txt\0zzzzzx.txt", 19), std::string_view("zz//x.txt\0zzzzx.txt", 19)}}) {
        Bytes hostile = sound;
        patchHeader(hostile, utf16(from), utf16(to));
        writeArchive(hostile);
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader)) << to;
        test::SevenZipFolderSink sink(host(), u"\\Restore");
        EXPECT_FALSE(reader.extract(sink));
    }
    EXPECT_TRUE(std::filesystem::is_empty(device().hostPath("Restore")));
    EXPECT_FALSE(device().exists("x.txt"));
}

TEST_F(SevenZipReaderTest, CopyCoderWrittenWithAPropertyByteStillOpens)
{
    const Layout layout = layoutOf(sound_);
    Bytes encoded(sound_.begin() + static_cast<std::ptrdiff_t>(layout.encoded), sound_.end());
    const Bytes copyCoder = {0x21, 0x00, 0x00, 0x0C};
    const auto coder = std::search(encoded.begin(), encoded.end(), copyCoder.begin(), copyCoder.end());
    ASSERT_NE(coder, encoded.end());
    *(coder + 2) = 0x01;             // property size 1 ...
    encoded.insert(coder + 3, 0x01);  // ... and the property byte
    Bytes archive = sound_;
    setEncodedHeader(archive, layout.encoded, encoded);
    writeArchive(archive);
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(reader.extractTo(shared("jobs/big.job"), bytes));
    EXPECT_EQ(bytes, toBytes(bigJob_));
}

}  // namespace
}  // namespace druvex
