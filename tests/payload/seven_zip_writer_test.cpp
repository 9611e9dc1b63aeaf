// SevenZipWriter: the exact bytes of a small backup, folders above names,
// empty files, sources that fail or change before the archive is written,
// failed writes of the archive itself, progress, and computeFileCrc32.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/seven_zip_header.h"
#include "payload/seven_zip_number.h"
#include "seven_zip_fixture.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"

namespace druvex {
namespace {

using test::Bytes;
using test::toBytes;
using test::devicePath;
using test::shared;

class SevenZipWriterTest : public test::SevenZipFixture {
protected:
    std::vector<std::string> entryNames(const SevenZipWriter& writer)
    {
        std::vector<std::string> names;
        for (const auto& entry : writer.entries())
            names.push_back(test::SevenZipRecordingSink::narrow(entry->name) + (entry->isDirectory ? "/" : ""));
        return names;
    }

    std::shared_ptr<test::FaultInjectingHal> faulty(test::HalFaultPlan plan)
    {
        return std::make_shared<test::FaultInjectingHal>(host(), plan);
    }
};

class RecordingListener final : public SevenZipProgressListener {
public:
    bool onProgress(std::uint32_t percent) override
    {
        percents.push_back(percent);
        return static_cast<int>(percents.size()) != stopAtCall;
    }
    std::vector<std::uint32_t> percents;
    int stopAtCall = 0;
};

TEST_F(SevenZipWriterTest, SmallBackupHasTheExactLayout)
{
    writeSource("Data/settings.xml", "<settings/>\n");
    writeSource("Data/info.xml", "<info/>\n");
    ASSERT_TRUE(backUp({{"Data/settings.xml", "settings.xml"}, {"Data/info.xml", "info.xml"}}));
    const Bytes archive = archiveBytes();
    constexpr std::size_t kPacked = 23;
    constexpr std::size_t kHeader = 131;
    constexpr std::size_t kEncoded = 27;
    ASSERT_EQ(archive.size(), 32 + kPacked + kHeader + kEncoded);

    const Bytes signature = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04};
    EXPECT_EQ(Bytes(archive.begin(), archive.begin() + 8), signature);
    EXPECT_EQ(loadLittleEndian32(&archive[8]), sevenZipCrc(std::span(archive).subspan(12, 20)));
    EXPECT_EQ(loadLittleEndian64(&archive[12]), kPacked + kHeader);
    EXPECT_EQ(loadLittleEndian64(&archive[20]), kEncoded);
    EXPECT_EQ(loadLittleEndian32(&archive[28]), sevenZipCrc(std::span(archive).last(kEncoded)));

    Bytes crcs;
    appendLittleEndian32(crcs, sevenZipCrc(toBytes("<settings/>\n")));
    appendLittleEndian32(crcs, sevenZipCrc(toBytes("<info/>\n")));
    Bytes expectedHeader = {
        0x01, 0x04,                                            // header, main streams
        0x06, 0x00, 0x01, 0x09, 0x17, 0x00,                    // one pack stream of 23 bytes at 0
        0x07, 0x0B, 0x01, 0x00, 0x01, 0x23, 0x03, 0x01, 0x01,  // one folder, one LZMA coder
        0x05, 0x5D, 0x00, 0x00, 0x20, 0x00,                    // lc 3 lp 0 pb 2, 2 MiB dictionary
        0x0C, 0x14, 0x00,                                      // 20 bytes unpacked
        0x08, 0x0D, 0x02, 0x09, 0x0C, 0x0A, 0x01,              // two streams, the first 12 bytes
    };
    expectedHeader.insert(expectedHeader.end(), crcs.begin(), crcs.end());
    const Bytes files = {
        0x00, 0x00, 0x05, 0x02,                   // end of streams; two files
        0x0E, 0x01, 0x00, 0x0F, 0x00,             // no empty streams, no empty files
        0x11, 0x2D, 0x00,                         // 45 bytes of names
        's', 0, 'e', 0, 't', 0, 't', 0, 'i', 0, 'n', 0, 'g', 0, 's', 0, '.', 0, 'x', 0, 'm', 0, 'l', 0, 0, 0,
        'i', 0, 'n', 0, 'f', 0, 'o', 0, '.', 0, 'x', 0, 'm', 0, 'l', 0, 0, 0,
        0x14, 0x12, 0x01, 0x00,                   // times to the 100 ns, all defined
        0x07, 0x60, 0xF9, 0x36, 0xBE, 0x0F, 0xD7, 0x01, 0x07, 0x60, 0xF9, 0x36, 0xBE, 0x0F, 0xD7, 0x01,
        0x15, 0x0A, 0x01, 0x00,                   // attributes, all defined
        0x20, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00,
        0x00, 0x00,
    };
    expectedHeader.insert(expectedHeader.end(), files.begin(), files.end());
    const Bytes header(archive.begin() + 32 + kPacked, archive.begin() + 32 + kPacked + kHeader);
    EXPECT_EQ(header, expectedHeader);

    Bytes expectedEncoded = {
        0x17, 0x06, 0x17, 0x01, 0x09, 0x80, 0x83, 0x00,              // the header: 131 bytes at 23
        0x07, 0x0B, 0x01, 0x00, 0x01, 0x21, 0x00, 0x00,              // copy coder, no property bytes
        0x0C, 0x80, 0x83, 0x0A, 0x01,
    };
    appendLittleEndian32(expectedEncoded, sevenZipCrc(header));
    expectedEncoded.insert(expectedEncoded.end(), {0x00, 0x00});
    EXPECT_EQ(Bytes(archive.end() - kEncoded, archive.end()), expectedEncoded);
}

TEST_F(SevenZipWriterTest, FoldersAboveANameComeFirstAndOnceAndBadPathsAreRefused)
{
    writeSource("Data/b.txt", "b");
    device().makeFolder("Data/sub");
    SevenZipWriter writer;
    EXPECT_FALSE(writer.addPath(devicePath("Data/b.txt"), shared("b.txt")));  // nothing open
    ASSERT_TRUE(writer.open(host(), devicePath("Backup/out.7z")));
    EXPECT_TRUE(writer.addPath(devicePath("Data/b.txt"), shared("settings.xml")));
    EXPECT_TRUE(writer.addPath(devicePath("Data/b.txt"), shared("jobs/a/b.txt")));
    EXPECT_TRUE(writer.addPath(devicePath("Data/b.txt"), shared("jobs/a/c.txt")));
    EXPECT_TRUE(writer.addPath(devicePath("Data/sub"), shared("jobs/a")));  // there already
    EXPECT_TRUE(writer.addPath(devicePath("Data/sub"), shared("jobs/e")));
    EXPECT_TRUE(writer.addPath(devicePath("Data/b.txt"), shared("jobs/e/f.txt")));
    EXPECT_FALSE(writer.addPath(devicePath("Data/missing.txt"), shared("missing.txt")));
    for (const char* name : {"../a.txt", "/a.txt", "x/../../a.txt", "a\\b.txt", "c:a.txt", ""})
        EXPECT_FALSE(writer.addPath(devicePath("Data/b.txt"), shared(name))) << name;
    EXPECT_EQ(entryNames(writer), (std::vector<std::string>{"settings.xml", "jobs/", "jobs/a/", "jobs/a/b.txt",
                                                            "jobs/a/c.txt", "jobs/e/", "jobs/e/f.txt"}));
    EXPECT_TRUE(writer.close(nullptr));
}

TEST_F(SevenZipWriterTest, AnEmptyFileIsAnEntryWithoutData)
{
    writeSource("Data/settings.xml", "settings");
    writeSource("Data/empty.job", "");
    ASSERT_TRUE(backUp({{"Data/settings.xml", "settings.xml"}, {"Data/empty.job", "jobs/empty.job"}}));
    const Bytes archive = archiveBytes();
    // One stream of 8 bytes; three files, the last two without a stream
    // (bits 011), of which the second is an empty file (bits 01).
    const Bytes streams = {0x0C, 0x08, 0x00, 0x08, 0x0D, 0x01, 0x09, 0x0A, 0x01};
    const Bytes files = {0x05, 0x03, 0x0E, 0x01, 0x60, 0x0F, 0x01, 0x40};
    EXPECT_NE(std::search(archive.begin(), archive.end(), streams.begin(), streams.end()), archive.end());
    EXPECT_NE(std::search(archive.begin(), archive.end(), files.begin(), files.end()), archive.end());
}

struct SourceFault {
    const char* name;
    test::HalFaultPlan plan;
    const char16_t* line;
};

TEST_F(SevenZipWriterTest, ASourceThatFailsIsLoggedAndNoArchiveIsLeft)
{
    writeSource("Data/settings.xml", "settings");
    writeSource("Data/a.job", std::string(5000, 'a'));
    test::HalFaultPlan cannotOpen;
    cannotOpen.failOpenContaining = u"a.job";
    test::HalFaultPlan readError;
    readError.failReadAtOffset = 100;
    test::HalFaultPlan cannotClose;
    cannotClose.failClose = true;
    const SourceFault faults[] = {
        {"open", cannotOpen, u"********** Cannot open \\Data\\a.job **********"},
        {"read", readError, u"********** Read error \\Data\\a.job **********"},
        {"close", cannotClose, u"********** Cannot close \\Data\\settings.xml **********"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.name);
        test::DiagCapture log;
        EXPECT_FALSE(backUp({{"Data/settings.xml", "settings.xml"}, {"Data/a.job", "a.job"}}, "out.7z", nullptr,
                            faulty(fault.plan)));
        EXPECT_EQ(log.lines(), std::vector<std::u16string>{fault.line});
        EXPECT_FALSE(device().exists("Backup/out.7z"));
    }
}

TEST_F(SevenZipWriterTest, AFileThatChangedSinceItWasAddedFailsTheBackup)
{
    struct Change {
        const char* name;
        std::string before;
        std::string after;  // empty: removed
        bool remove;
        const char16_t* line;
    };
    const Change changes[] = {
        {"grew", "1234", "12345", false, u"********** File changed during backup \\Data\\a.job **********"},
        {"shrank", "1234", "123", false, u"********** File changed during backup \\Data\\a.job **********"},
        {"no longer empty", "", "1", false, u"********** File changed during backup \\Data\\a.job **********"},
        {"removed", "1234", "", true, u"********** Cannot open \\Data\\a.job **********"},
    };
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        writeSource("Data/a.job", change.before);
        writeSource("Data/b.job", "b");
        SevenZipWriter writer;
        ASSERT_TRUE(writer.open(host(), devicePath("Backup/out.7z")));
        ASSERT_TRUE(writer.addPath(devicePath("Data/a.job"), shared("a.job")));
        ASSERT_TRUE(writer.addPath(devicePath("Data/b.job"), shared("b.job")));
        if (change.remove)
            std::filesystem::remove(device().hostPath("Data/a.job"));
        else
            device().writeFile("Data/a.job", change.after);
        test::DiagCapture log;
        EXPECT_FALSE(writer.close(nullptr));
        EXPECT_EQ(log.lines(), std::vector<std::u16string>{change.line});
        EXPECT_FALSE(device().exists("Backup/out.7z"));
    }
}

TEST_F(SevenZipWriterTest, EveryFailedOrShortArchiveWriteFailsAndDeletesTheArchive)
{
    writeSource("Data/settings.xml", std::string(70000, 's'));
    writeSource("Data/info.xml", "info");
    const std::vector<std::pair<std::string, std::string>> files = {{"Data/settings.xml", "settings.xml"},
                                                                     {"Data/info.xml", "info.xml"}};
    const auto counting = faulty({});
    ASSERT_TRUE(backUp(files, "out.7z", nullptr, counting));
    const int writes = counting->writeCount();
    ASSERT_GE(writes, 4);
    for (int number = 1; number <= writes; ++number) {
        SCOPED_TRACE(number);
        test::HalFaultPlan failed;
        failed.failWriteNumber = number;
        EXPECT_FALSE(backUp(files, "out.7z", nullptr, faulty(failed)));
        EXPECT_FALSE(device().exists("Backup/out.7z"));
        test::HalFaultPlan shortened;
        shortened.shortWriteNumber = number;
        EXPECT_FALSE(backUp(files, "out.7z", nullptr, faulty(shortened)));
        EXPECT_FALSE(device().exists("Backup/out.7z"));
    }
}

TEST_F(SevenZipWriterTest, ProgressRisesToOneHundredAndCanStopTheBackup)
{
    writeSource("Data/a.job", std::string(300000, 'a'));
    writeSource("Data/b.job", std::string(100000, 'b'));
    RecordingListener listener;
    ASSERT_TRUE(backUp({{"Data/a.job", "a.job"}, {"Data/b.job", "b.job"}}, "out.7z", &listener));
    ASSERT_FALSE(listener.percents.empty());
    EXPECT_EQ(listener.percents.back(), 100u);
    for (std::size_t i = 1; i < listener.percents.size(); ++i)
        EXPECT_LT(listener.percents[i - 1], listener.percents[i]);

    RecordingListener stopping;
    stopping.stopAtCall = 1;
    test::DiagCapture log;
    EXPECT_FALSE(backUp({{"Data/a.job", "a.job"}, {"Data/b.job", "b.job"}}, "out.7z", &stopping));
    EXPECT_EQ(stopping.percents.size(), 1u);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_FALSE(device().exists("Backup/out.7z"));

    // Only folders and empty files: nothing to read, and still a completion.
    writeSource("Data/empty.job", "");
    RecordingListener empty;
    ASSERT_TRUE(backUp({{"Data/empty.job", "jobs/empty.job"}}, "out.7z", &empty));
    EXPECT_EQ(empty.percents, std::vector<std::uint32_t>{100});
}

TEST_F(SevenZipWriterTest, OpenFinishesTheArchiveBeforeAndTheDestructorAbandonsOne)
{
    writeSource("Data/a.job", "a");
    {
        SevenZipWriter writer;
        ASSERT_TRUE(writer.open(host(), devicePath("Backup/first.7z")));
        ASSERT_TRUE(writer.addPath(devicePath("Data/a.job"), shared("a.job")));
        ASSERT_TRUE(writer.open(host(), devicePath("Backup/second.7z")));
        EXPECT_TRUE(writer.entries().empty());
    }
    EXPECT_FALSE(device().exists("Backup/second.7z"));
    SevenZipReader reader;
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(openArchive(reader, "first.7z") && reader.extractTo(shared("a.job"), bytes));
    EXPECT_EQ(bytes, toBytes("a"));
}

TEST_F(SevenZipWriterTest, FileCrcOfWholeFilesAndOfNoFile)
{
    writeSource("Data/digits.txt", "123456789");
    writeSource("Data/empty.txt", "");
    writeSource("Data/big.bin", std::string(200000, 'x'));
    std::uint32_t crc = 1;
    EXPECT_TRUE(computeFileCrc32(host(), devicePath("Data/digits.txt"), crc));
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_TRUE(computeFileCrc32(host(), devicePath("Data/empty.txt"), crc));
    EXPECT_EQ(crc, 0u);
    EXPECT_TRUE(computeFileCrc32(host(), devicePath("Data/big.bin"), crc));
    EXPECT_EQ(crc, sevenZipCrc(toBytes(std::string(200000, 'x'))));
    EXPECT_FALSE(computeFileCrc32(host(), devicePath("Data/missing.txt"), crc));
    test::HalFaultPlan readError;
    readError.failReadAtOffset = 70000;
    EXPECT_FALSE(computeFileCrc32(faulty(readError), devicePath("Data/big.bin"), crc));
}

}  // namespace
}  // namespace druvex
