// SevenZipReader: listing and extraction in archive order with the sink's
// answers, extractTo stopping right after its entry, and damaged or hostile
// archives: flipped header bytes, a changed stored CRC, a flipped byte in
// the packed stream, cut files, sizes and counts beyond the limits, names
// that lead out of the target, and the copy coder written with a property.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/seven_zip_header.h"
#include "payload/seven_zip_number.h"
#include "seven_zip_fixture.h"
#include "support/seven_zip_folder_sink.h"

namespace druvex {
namespace {

using test::Bytes;
using test::bytesOf;
using test::devicePath;
using test::shared;

// Where the headers of an archive lie (read without checking CRCs).
struct Layout {
    std::size_t headerStart = 0;
    std::size_t headerSize = 0;
    std::size_t encodedStart = 0;
    std::size_t encodedSize = 0;
};

Layout layoutOf(const Bytes& archive)
{
    Layout layout;
    layout.encodedStart = 32 + static_cast<std::size_t>(loadLittleEndian64(&archive[12]));
    layout.encodedSize = static_cast<std::size_t>(loadLittleEndian64(&archive[20]));
    SevenZipEncodedHeader encoded;
    EXPECT_TRUE(parseSevenZipEncodedHeader(std::span(archive).subspan(layout.encodedStart, layout.encodedSize),
                                           encoded));
    layout.headerStart = 32 + static_cast<std::size_t>(encoded.headerPosition);
    layout.headerSize = static_cast<std::size_t>(encoded.headerSize);
    return layout;
}

// Makes every CRC of the header chain agree again after a change to the header.
void reseal(Bytes& archive)
{
    const Layout layout = layoutOf(archive);
    const std::uint32_t headerCrc = sevenZipCrc(std::span(archive).subspan(layout.headerStart, layout.headerSize));
    storeLittleEndian32(&archive[layout.encodedStart + layout.encodedSize - 6], headerCrc);
    const auto start = buildSevenZipStartHeader(
        {loadLittleEndian64(&archive[12]), layout.encodedSize,
         sevenZipCrc(std::span(archive).subspan(layout.encodedStart, layout.encodedSize))});
    std::copy(start.begin(), start.end(), archive.begin());
}

void replaceAll(Bytes& bytes, const Bytes& from, const Bytes& to)
{
    ASSERT_EQ(from.size(), to.size());
    const auto found = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(found, bytes.end());
    std::copy(to.begin(), to.end(), found);
}

Bytes utf16(std::string_view text)
{
    Bytes bytes;
    for (const char ch : text)
        bytes.insert(bytes.end(), {static_cast<std::uint8_t>(ch), 0});
    return bytes;
}

class SevenZipReaderTest : public test::SevenZipFixture {
protected:
    // "info.xml" first, then the settings, a job folder with two jobs (one
    // large enough for many decoder pieces) and an empty job.
    void writeBackup()
    {
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
    }

    std::string bigJob_;
};

TEST_F(SevenZipReaderTest, ListsAndExtractsInArchiveOrderFoldersFirst)
{
    writeBackup();
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(test::SevenZipRecordingSink::narrow(entry->name));
        EXPECT_EQ(entry->modificationTime, test::kSourceTime);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"info.xml", "settings.xml", "jobs", "jobs/big.job", "jobs/small.job",
                                               "jobs/empty.job"}));
    EXPECT_TRUE(entries[2]->isDirectory);
    EXPECT_EQ(entries[3]->size, bigJob_.size());
    EXPECT_EQ(entries[3]->crc, sevenZipCrc(bytesOf(bigJob_)));

    test::SevenZipRecordingSink sink;
    ASSERT_TRUE(reader.extract(sink));
    EXPECT_EQ(sink.events,
              (std::vector<std::string>{"folder jobs", "begin info.xml 7", "end info.xml ok", "begin settings.xml 11",
                                        "end settings.xml ok", "begin jobs/big.job " + std::to_string(bigJob_.size()),
                                        "end jobs/big.job ok", "begin jobs/small.job 5", "end jobs/small.job ok",
                                        "begin jobs/empty.job 0", "end jobs/empty.job ok"}));
    EXPECT_EQ(sink.files["jobs/big.job"], bytesOf(bigJob_));
    EXPECT_EQ(sink.files["jobs/small.job"], bytesOf("small"));
    ASSERT_FALSE(sink.percents.empty());
    EXPECT_EQ(sink.percents.back(), 100u);
    for (std::size_t i = 1; i < sink.percents.size(); ++i)
        EXPECT_LT(sink.percents[i - 1], sink.percents[i]);

    // A second extraction decodes from the start again.
    test::SevenZipRecordingSink again;
    EXPECT_TRUE(reader.extract(again));
    EXPECT_EQ(again.files, sink.files);
}

TEST_F(SevenZipReaderTest, TheSinkSkipsAndStops)
{
    writeBackup();
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));

    test::SevenZipRecordingSink skipping;
    skipping.beginAnswers["jobs/big.job"] = kSevenZipSkip;
    EXPECT_TRUE(reader.extract(skipping));
    EXPECT_EQ(skipping.files.count("jobs/big.job"), 0u);
    EXPECT_EQ(skipping.files["jobs/small.job"], bytesOf("small"));

    test::SevenZipRecordingSink stopping;
    stopping.beginAnswers["settings.xml"] = kSevenZipStop;
    EXPECT_FALSE(reader.extract(stopping));
    EXPECT_EQ(stopping.events.back(), "begin settings.xml 11");

    test::SevenZipRecordingSink refusingWrite;
    refusingWrite.stopAtWrite = 3;
    EXPECT_FALSE(reader.extract(refusingWrite));
    EXPECT_EQ(refusingWrite.events.back(), "begin jobs/big.job " + std::to_string(bigJob_.size()));

    test::SevenZipRecordingSink endingEarly;
    endingEarly.stopAfter = "settings.xml";
    EXPECT_FALSE(reader.extract(endingEarly));
    EXPECT_EQ(endingEarly.events.back(), "end settings.xml ok");
}

TEST_F(SevenZipReaderTest, ExtractToTakesOneEntryAndDecodesNoFurther)
{
    writeBackup();
    Bytes archive = archiveBytes();
    // Damage the end of the packed stream, which holds the jobs' data only.
    const Layout layout = layoutOf(archive);
    for (std::size_t i = layout.headerStart - 20; i < layout.headerStart; ++i)
        archive[i] ^= 0x55;
    writeArchive(archive);

    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(reader.extractTo(shared("info.xml"), bytes));
    EXPECT_EQ(bytes, bytesOf("<info/>"));
    EXPECT_TRUE(reader.extractTo(shared("settings.xml"), bytes));
    EXPECT_EQ(bytes, bytesOf("<settings/>"));

    EXPECT_FALSE(reader.extractTo(shared("jobs/small.job"), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(reader.extractTo(shared("Info.xml"), bytes));  // names are matched with case
    EXPECT_FALSE(reader.extractTo(shared("jobs"), bytes));
    test::SevenZipRecordingSink sink;
    EXPECT_FALSE(reader.extract(sink));
}

TEST_F(SevenZipReaderTest, ExtractToRefusesEmptyAndUnknownEntries)
{
    writeBackup();
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::uint8_t> bytes = {1, 2, 3};
    EXPECT_FALSE(reader.extractTo(shared("jobs/empty.job"), bytes));
    EXPECT_FALSE(reader.extractTo(shared("nothing.xml"), bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(reader.extractTo(shared("jobs/big.job"), bytes));
    EXPECT_EQ(bytes, bytesOf(bigJob_));
    reader.close();
    EXPECT_FALSE(reader.extractTo(shared("info.xml"), bytes));
}

TEST_F(SevenZipReaderTest, AnyFlippedHeaderByteFailsTheOpen)
{
    writeBackup();
    const Bytes sound = archiveBytes();
    const Layout layout = layoutOf(sound);
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < 32; ++i)
        positions.push_back(i);
    for (std::size_t i = layout.headerStart; i < sound.size(); ++i)
        positions.push_back(i);
    for (const std::size_t position : positions) {
        Bytes damaged = sound;
        damaged[position] ^= 0x01;
        writeArchive(damaged);
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader)) << position;
    }
}

TEST_F(SevenZipReaderTest, AChangedStoredCrcStopsTheExtractionAtThatEntry)
{
    writeBackup();
    Bytes archive = archiveBytes();
    const Layout layout = layoutOf(archive);
    Bytes storedCrc;
    appendLittleEndian32(storedCrc, sevenZipCrc(bytesOf("<settings/>")));
    Bytes changedCrc = storedCrc;
    changedCrc[0] ^= 0xFF;
    Bytes header(archive.begin() + layout.headerStart, archive.begin() + layout.headerStart + layout.headerSize);
    replaceAll(header, storedCrc, changedCrc);
    std::copy(header.begin(), header.end(), archive.begin() + layout.headerStart);
    reseal(archive);
    writeArchive(archive);

    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    test::SevenZipRecordingSink sink;
    EXPECT_FALSE(reader.extract(sink));
    EXPECT_EQ(sink.events, (std::vector<std::string>{"folder jobs", "begin info.xml 7", "end info.xml ok",
                                                     "begin settings.xml 11", "end settings.xml bad"}));

    // Also when the damaged entry is skipped: what follows it is not trusted.
    test::SevenZipRecordingSink skipping;
    skipping.beginAnswers["settings.xml"] = kSevenZipSkip;
    EXPECT_FALSE(reader.extract(skipping));
    EXPECT_EQ(skipping.events.back(), "begin settings.xml 11");
    std::vector<std::uint8_t> bytes;
    EXPECT_FALSE(reader.extractTo(shared("jobs/small.job"), bytes));
}

TEST_F(SevenZipReaderTest, AFlippedPackedByteFailsAndNothingFromTheDamageOnMatches)
{
    writeBackup();
    const Bytes sound = archiveBytes();
    const Layout layout = layoutOf(sound);
    const std::map<std::string, Bytes> expected = {{"info.xml", bytesOf("<info/>")},
                                                   {"settings.xml", bytesOf("<settings/>")},
                                                   {"jobs/big.job", bytesOf(bigJob_)},
                                                   {"jobs/small.job", bytesOf("small")},
                                                   {"jobs/empty.job", {}}};
    // The last bytes of the range coder's flush may not change what decodes.
    for (std::size_t position = 32; position + 4 < layout.headerStart; position += 7) {
        SCOPED_TRACE(position);
        Bytes damaged = sound;
        damaged[position] ^= 0x10;
        writeArchive(damaged);
        SevenZipReader reader;
        ASSERT_TRUE(openArchive(reader));
        test::SevenZipRecordingSink sink;
        EXPECT_FALSE(reader.extract(sink));
        // Every entry said to match holds its true bytes, and none follows a failure.
        bool failedOne = false;
        for (const std::string& event : sink.events) {
            if (!event.starts_with("end "))
                continue;
            EXPECT_FALSE(failedOne) << event;
            const bool ok = event.ends_with(" ok");
            const std::string name = event.substr(4, event.size() - (ok ? 7 : 8));
            if (ok) {
                EXPECT_EQ(sink.files[name], expected.at(name)) << name;
            }
            failedOne = failedOne || !ok;
        }
    }
}

TEST_F(SevenZipReaderTest, ACutArchiveFailsToOpenOrToExtract)
{
    writeBackup();
    const Bytes sound = archiveBytes();
    const Layout layout = layoutOf(sound);
    for (const std::size_t size : {std::size_t{0}, std::size_t{31}, std::size_t{32}, layout.headerStart,
                                   sound.size() - 1}) {
        writeArchive(Bytes(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(size)));
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader)) << size;
    }

    // A packed stream that ends early: the header claims more than is there.
    Bytes shortStream = sound;
    Bytes header(sound.begin() + layout.headerStart, sound.begin() + layout.headerStart + layout.headerSize);
    SevenZipCursor cursor(std::span<const std::uint8_t>(header).subspan(6));
    const std::uint64_t packed = cursor.readNumber();
    ASSERT_GT(packed, 0x80u);
    ASSERT_LT(packed, 0x4000u);
    // The packed size is a two-byte number at header offset 6.
    const std::uint64_t shorter = packed - 100;
    header[6] = static_cast<std::uint8_t>(0x80 | (shorter >> 8));
    header[7] = static_cast<std::uint8_t>(shorter);
    std::copy(header.begin(), header.end(), shortStream.begin() + layout.headerStart);
    reseal(shortStream);
    writeArchive(shortStream);
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    test::SevenZipRecordingSink sink;
    EXPECT_FALSE(reader.extract(sink));
    EXPECT_NE(std::find(sink.events.begin(), sink.events.end(), "end jobs/big.job bad"), sink.events.end());
}

TEST_F(SevenZipReaderTest, SizesAndCountsBeyondTheLimitsAreRefusedBeforeAllocation)
{
    writeBackup();
    const Bytes sound = archiveBytes();
    const Layout layout = layoutOf(sound);

    // The start header's next-header size and offset.
    for (const auto& [offset, size] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
             {loadLittleEndian64(&sound[12]), 0xFFFFFFFFull},
             {loadLittleEndian64(&sound[12]), 17ull * 1024 * 1024},
             {loadLittleEndian64(&sound[12]), 0},
             {UINT64_MAX - 10, layout.encodedSize},
             {sound.size(), layout.encodedSize}}) {
        Bytes hostile = sound;
        const auto start = buildSevenZipStartHeader({offset, size, loadLittleEndian32(&sound[28])});
        std::copy(start.begin(), start.end(), hostile.begin());
        writeArchive(hostile);
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader)) << offset << " " << size;
    }

    // The encoded header's header size.
    for (const std::uint64_t size : {0xFFFFFFFFull, 1ull << 40, 17ull * 1024 * 1024}) {
        Bytes hostile(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(layout.encodedStart));
        const Bytes encoded = buildSevenZipEncodedHeader({layout.headerStart - 32, size, 0});
        hostile.insert(hostile.end(), encoded.begin(), encoded.end());
        const auto start = buildSevenZipStartHeader({layout.encodedStart - 32, encoded.size(), sevenZipCrc(encoded)});
        std::copy(start.begin(), start.end(), hostile.begin());
        writeArchive(hostile);
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader)) << size;
    }

    // Counts in the header: entries with data, and files.
    SevenZipStreamInfo stream;
    stream.unpackedSize = 1;
    stream.lzmaProperties = {0x5D, 0x00, 0x00, 0x20, 0x00};
    for (const std::uint64_t count : {std::uint64_t{1} << 60, std::uint64_t{1} << 30}) {
        for (const std::uint8_t id : {std::uint8_t{0x0D}, std::uint8_t{0x05}}) {
            Bytes header = buildSevenZipHeader(stream, {});
            Bytes marker = {id, 0x00};
            auto found = std::search(header.begin(), header.end(), marker.begin(), marker.end());
            ASSERT_NE(found, header.end());
            Bytes number;
            appendSevenZipNumber(number, count);
            found = header.erase(found + 1);
            header.insert(found, number.begin(), number.end());
            Bytes hostile(32, 0);
            hostile.insert(hostile.end(), header.begin(), header.end());
            const Bytes encoded = buildSevenZipEncodedHeader({0, header.size(), sevenZipCrc(header)});
            hostile.insert(hostile.end(), encoded.begin(), encoded.end());
            const auto start = buildSevenZipStartHeader({header.size(), encoded.size(), sevenZipCrc(encoded)});
            std::copy(start.begin(), start.end(), hostile.begin());
            writeArchive(hostile);
            SevenZipReader reader;
            EXPECT_FALSE(openArchive(reader)) << int(id) << " " << count;
        }
    }

    // A dictionary beyond what a decoder may allocate.
    Bytes bigDictionary = sound;
    replaceAll(bigDictionary, {0x05, 0x5D, 0x00, 0x00, 0x20, 0x00}, {0x05, 0x5D, 0x00, 0x00, 0x00, 0x10});
    reseal(bigDictionary);
    writeArchive(bigDictionary);
    SevenZipReader reader;
    EXPECT_FALSE(openArchive(reader));
}

TEST_F(SevenZipReaderTest, NamesLeadingOutOfTheTargetAreRefusedAndNothingIsWritten)
{
    writeSource("Data/x.txt", "evil");
    ASSERT_TRUE(backUp({{"Data/x.txt", "zz/x.txt"}, {"Data/x.txt", "zzzzzx.txt"}}));
    const Bytes sound = archiveBytes();
    const std::vector<std::pair<std::string, std::string>> renames = {
        {"zz/x.txt", "../x.txt"}, {"zzzzzx.txt", "/tmp/x.txt"}, {"zzzzzx.txt", "..\\..\\x.t"},
        {"zzzzzx.txt", "c:/x/x.txt"}, {"zz/x.txt", "zz//x.txt"}};
    for (const auto& [from, to] : renames) {
        SCOPED_TRACE(to);
        Bytes hostile = sound;
        const Layout layout = layoutOf(hostile);
        Bytes header(hostile.begin() + layout.headerStart, hostile.begin() + layout.headerStart + layout.headerSize);
        if (from.size() == to.size()) {
            replaceAll(header, utf16(from + '\0'), utf16(to + '\0'));
        } else {
            // "zz//x.txt" is one unit longer: take it from the other name.
            replaceAll(header, utf16(std::string_view("zz/x.txt\0zzzzzx.txt", 19)),
                       utf16(std::string_view("zz//x.txt\0zzzzx.txt", 19)));
        }
        std::copy(header.begin(), header.end(), hostile.begin() + layout.headerStart);
        reseal(hostile);
        writeArchive(hostile);
        SevenZipReader reader;
        EXPECT_FALSE(openArchive(reader));
        test::SevenZipFolderSink sink(host(), u"\\Restore");
        EXPECT_FALSE(reader.extract(sink));
    }
    EXPECT_TRUE(std::filesystem::is_empty(device().hostPath("Restore")));
    EXPECT_FALSE(device().exists("x.txt"));
}

TEST_F(SevenZipReaderTest, CopyCoderWrittenWithAPropertyByteStillOpens)
{
    writeBackup();
    Bytes archive = archiveBytes();
    const Layout layout = layoutOf(archive);
    Bytes encoded(archive.begin() + static_cast<std::ptrdiff_t>(layout.encodedStart), archive.end());
    const Bytes copyCoder = {0x21, 0x00, 0x00, 0x0C};
    const auto coder = std::search(encoded.begin(), encoded.end(), copyCoder.begin(), copyCoder.end());
    ASSERT_NE(coder, encoded.end());
    // Property size 1 and the property byte 1 in place of property size 0.
    *(coder + 2) = 0x01;
    encoded.insert(coder + 3, 0x01);
    archive.resize(layout.encodedStart);
    archive.insert(archive.end(), encoded.begin(), encoded.end());
    const auto start =
        buildSevenZipStartHeader({loadLittleEndian64(&archive[12]), encoded.size(), sevenZipCrc(encoded)});
    std::copy(start.begin(), start.end(), archive.begin());
    writeArchive(archive);

    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(reader.extractTo(shared("jobs/big.job"), bytes));
    EXPECT_EQ(bytes, bytesOf(bigJob_));
}

TEST_F(SevenZipReaderTest, OpenReplacesTheArchiveBeforeAndAClosedReaderExtractsNothing)
{
    writeBackup();
    writeSource("Data/other.txt", "other");
    ASSERT_TRUE(backUp({{"Data/other.txt", "other.txt"}}, "other.7z"));
    SevenZipReader reader;
    ASSERT_TRUE(openArchive(reader));
    ASSERT_TRUE(openArchive(reader, "other.7z"));
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(openArchive(reader, "missing.7z"));
    EXPECT_FALSE(reader.isOpen());
    reader.listFiles(entries);
    EXPECT_TRUE(entries.empty());
    test::SevenZipRecordingSink sink;
    EXPECT_FALSE(reader.extract(sink));
    EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace druvex
