// The engine's node writer and file sink over the device host: folders that
// stand already or need their parents, a file in a folder's place, files with
// and without time stamps, writes and closes the host refuses.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "data/content_tree.h"
#include "engine/file_sink.h"
#include "engine/host_node_writer.h"
#include "engine_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/system_calls.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

class HostNodeWriterTest : public test::EngineHostFixture {
protected:
    bool writeFile(HostNodeWriter& writer, ContentFile* node, const char16_t* path, std::string_view content)
    {
        return writer.createFile(node, SharedString(path)) &&
               writer.writeData(static_cast<std::uint32_t>(content.size()),
                                reinterpret_cast<const std::uint8_t*>(content.data())) &&
               writer.finishFile();
    }
};

TEST_F(HostNodeWriterTest, FoldersStandAfterwardsWhateverWasThere)
{
    HostNodeWriter writer(host_);
    ContentFolder node(u"x");
    EXPECT_TRUE(writer.createFolder(&node, u"\\Program Files\\New"));
    EXPECT_TRUE(writer.createFolder(&node, u"\\Program Files\\New"));  // there already
    EXPECT_TRUE(writer.createFolder(nullptr, u"\\Program Files\\a\\b\\c"));  // with its parents
    EXPECT_TRUE(device().exists("Program Files/a/b/c"));

    // A file where the folder should be is not a folder.
    device().writeFile("Program Files/file", "x");
    EXPECT_FALSE(writer.createFolder(&node, u"\\Program Files\\file"));
    EXPECT_FALSE(writer.createFolder(&node, u"\\Program Files\\file\\below"));
}

TEST_F(HostNodeWriterTest, FilesGetTheirBytesAndPositiveTimeStamps)
{
    HostNodeWriter writer(host_);
    ContentFile stamped(u"a.txt");
    // 2020-09-13 12:26:40 UTC as a Windows file time.
    stamped.setTimeValue(116444736000000000ull + 1600000000ull * 10000000ull);
    ASSERT_TRUE(writeFile(writer, &stamped, u"\\Program Files\\a.txt", "hello"));
    EXPECT_EQ(device().readFile("Program Files/a.txt"), "hello");
    struct stat status {};
    ASSERT_EQ(::stat(device().hostPath("Program Files/a.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, 1600000000);

    // No time stamp, or one that reads as negative: the file keeps the time of its writing.
    ContentFile negative(u"b.txt");
    negative.setTimeValue(0x8000000000000000ull);
    for (ContentFile* node : {static_cast<ContentFile*>(nullptr), &negative}) {
        ASSERT_TRUE(writeFile(writer, node, u"\\Program Files\\b.txt", "second"));
        ASSERT_EQ(::stat(device().hostPath("Program Files/b.txt").c_str(), &status), 0);
        EXPECT_GT(status.st_mtim.tv_sec, 1600000000);
    }

    // An empty file; a file created again is replaced.
    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\b.txt", ""));
    EXPECT_EQ(device().readFile("Program Files/b.txt"), "");
}

TEST_F(HostNodeWriterTest, FailuresOfTheHostFailTheCall)
{
    HostNodeWriter writer(faulty_);
    ContentFile open(u"o");
    open.setFlags(16);
    ASSERT_TRUE(writeFile(writer, &open, u"\\Program Files\\o.txt", "o"));

    // Nothing open: nothing to write or close.
    const std::uint8_t byte = 1;
    EXPECT_FALSE(writer.writeData(1, &byte));
    EXPECT_FALSE(writer.finishFile());

    test::HalFaultPlan plan;
    plan.failOpenContaining = u"refused";
    faulty_->setPlan(plan);
    EXPECT_FALSE(writer.createFile(nullptr, u"\\Program Files\\refused.txt"));

    // A write the host cuts short fails the piece that completes the file
    // (its node tells the size); without a size, the close that writes it.
    plan = {};
    plan.shortWriteNumber = faulty_->writeCount() + 1;
    faulty_->setPlan(plan);
    ContentFile sized(u"short.txt");
    sized.setSize(4);
    ASSERT_TRUE(writer.createFile(&sized, u"\\Program Files\\short.txt"));
    EXPECT_TRUE(writer.writeData(2, reinterpret_cast<const std::uint8_t*>("ab")));
    EXPECT_FALSE(writer.writeData(2, reinterpret_cast<const std::uint8_t*>("cd")));
    EXPECT_TRUE(writer.finishFile());
    plan.shortWriteNumber = faulty_->writeCount() + 1;
    faulty_->setPlan(plan);
    ASSERT_TRUE(writer.createFile(nullptr, u"\\Program Files\\short.txt"));
    EXPECT_TRUE(writer.writeData(4, reinterpret_cast<const std::uint8_t*>("abcd")));
    EXPECT_FALSE(writer.finishFile());

    plan = {};
    plan.failClose = true;
    faulty_->setPlan(plan);
    ASSERT_TRUE(writer.createFile(nullptr, u"\\Program Files\\close.txt"));
    EXPECT_TRUE(writer.writeData(1, &byte));
    EXPECT_FALSE(writer.finishFile());
}

// A file whose time cannot be set still holds its bytes, and the log says
// which one lost its time.
TEST_F(HostNodeWriterTest, ATimeThatCannotBeSetIsLogged)
{
    test::DiagCapture log;
    test::HalFaultPlan plan;
    plan.failSetFileTimes = true;
    faulty_->setPlan(plan);
    HostNodeWriter writer(faulty_);
    ContentFile stamped(u"a.txt");
    stamped.setTimeValue(116444736000000000ull + 1600000000ull * 10000000ull);
    EXPECT_TRUE(writeFile(writer, &stamped, u"\\Program Files\\a.txt", "hello"));
    EXPECT_EQ(device().readFile("Program Files/a.txt"), "hello");
    EXPECT_TRUE(log.contains(u"Setting the time of \\Program Files\\a.txt failed (error 31)"));

    // Without a time stamp nothing is set, so nothing fails.
    log.clear();
    EXPECT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\b.txt", "plain"));
    EXPECT_FALSE(log.contains(u"Setting the time"));
}

// A file left open by a failed pass is closed when the next file is created,
// so a retry does not leak the handle.
TEST_F(HostNodeWriterTest, ANewFileClosesOneLeftOpen)
{
    HostNodeWriter writer(faulty_);
    ASSERT_TRUE(writer.createFile(nullptr, u"\\Program Files\\first.txt"));
    const int closes = faulty_->closeCount();
    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\second.txt", "2"));
    EXPECT_EQ(faulty_->closeCount(), closes + 2);
}

// The decoder hands a file over in pieces of 4 KB; the host gets it in
// blocks of 64 KiB, each one write and nothing else (no status or seek to
// learn what a store with a stated free space gives), so a megabyte costs
// sixteen system calls more than an empty file.
TEST_F(HostNodeWriterTest, AMegabyteReachesTheHostInSixteenWrites)
{
    DeviceConfig config = device().config();
    DeviceStore store;
    store.path = SharedString(u"\\");
    store.free = 16u << 20;
    config.stores.push_back(store);
    device().reconfigure(config);
    // The store is measured once, at its first write.
    HostNodeWriter first(host_);
    ASSERT_TRUE(writeFile(first, nullptr, u"\\Program Files\\first.bin", "1"));

    Bytes content(1 << 20);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
    const auto callsOf = [&](std::size_t size, const char16_t* path) {
        return test::countSystemCalls([&] {
            HostNodeWriter writer(host_);
            ContentFile node(u"f");
            node.setSize(size);
            if (!writer.createFile(&node, SharedString(path)))
                return false;
            for (std::size_t done = 0; done < size; done += 4096) {
                if (!writer.writeData(4096, content.data() + done))
                    return false;
            }
            return writer.finishFile();
        });
    };
    const test::SystemCallCounts empty = callsOf(0, u"\\Program Files\\empty.bin");
    const test::SystemCallCounts megabyte = callsOf(content.size(), u"\\Program Files\\full.bin");
    ASSERT_TRUE(empty.traced);
    ASSERT_TRUE(megabyte.traced);
    EXPECT_EQ(megabyte.writes() - empty.writes(), 16);
    EXPECT_EQ(megabyte.stats(), empty.stats());
    EXPECT_EQ(megabyte.seeks(), empty.seeks());
    EXPECT_EQ(megabyte.withoutMemory() - empty.withoutMemory(), 16) << [&] {
        std::string calls = "calls that differ (number: empty, megabyte):";
        for (const auto& [number, count] : megabyte.byNumber) {
            if (empty.count({number}) != count)
                calls += " " + std::to_string(number) + ": " + std::to_string(empty.count({number})) + ", " + std::to_string(count);
        }
        return calls;
    }();
    const std::string written = device().readFile("Program Files/full.bin");
    EXPECT_TRUE(written == std::string(content.begin(), content.end()));

    // Pieces of odd sizes make the same blocks, and a file's last block
    // goes out with its last piece.
    HostNodeWriter writer(faulty_);
    ContentFile node(u"odd");
    node.setSize(200000);
    ASSERT_TRUE(writer.createFile(&node, u"\\Program Files\\odd.bin"));
    const int writesBefore = faulty_->writeCount();
    for (std::size_t done = 0; done < 200000; done += 1000)
        ASSERT_TRUE(writer.writeData(1000, content.data() + done));
    EXPECT_EQ(faulty_->writeCount() - writesBefore, 4);  // 3 of 64 KiB and the rest
    ASSERT_TRUE(writer.finishFile());
    EXPECT_EQ(faulty_->writeCount() - writesBefore, 4);
    EXPECT_TRUE(device().readFile("Program Files/odd.bin") == std::string(content.begin(), content.begin() + 200000));
}

TEST_F(HostNodeWriterTest, FileSinkWritesEveryPieceAndCountsTheBytes)
{
    HalFile file;
    ASSERT_TRUE(file.openForWrite(faulty_, u"\\Temp\\entry.bin"));
    FileSink sink(file);
    sink.begin(7, 0);
    EXPECT_TRUE(sink.write(3, reinterpret_cast<const std::uint8_t*>("abc")));
    EXPECT_TRUE(sink.write(0, nullptr));
    EXPECT_FALSE(sink.finish());  // 3 of 7 bytes
    EXPECT_TRUE(sink.write(4, reinterpret_cast<const std::uint8_t*>("defg")));
    EXPECT_TRUE(sink.finish());
    EXPECT_TRUE(file.close());
    EXPECT_EQ(device().readFile("Temp/entry.bin"), "abcdefg");

    // An unknown size takes what comes; a short write stops the extraction.
    ASSERT_TRUE(file.openForWrite(faulty_, u"\\Temp\\short.bin"));
    FileSink second(file);
    second.begin(0xFFFFFFFF, 0xFFFFFFFF);
    EXPECT_TRUE(second.write(2, reinterpret_cast<const std::uint8_t*>("ab")));
    EXPECT_TRUE(second.finish());
    test::HalFaultPlan plan;
    plan.shortWriteNumber = faulty_->writeCount() + 1;
    faulty_->setPlan(plan);
    EXPECT_FALSE(second.write(2, reinterpret_cast<const std::uint8_t*>("cd")));
    EXPECT_FALSE(second.write(2, reinterpret_cast<const std::uint8_t*>("ef")));
    EXPECT_FALSE(second.finish());
}

}  // namespace
}  // namespace druvex
