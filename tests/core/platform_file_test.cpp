#include "core/platform_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

class PlatformFileTest : public test::DeviceFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        DeviceStore rom;
        rom.path = u"\\ROM";
        rom.readOnly = true;
        config.stores.push_back(rom);
    }
};

// The open's code; a handle must come exactly with success, and is closed again.
int openError(std::u16string_view path, std::uint32_t flags, bool* created = nullptr)
{
    int error = 99;
    const FileHandle handle = openFile(path, flags, created, &error);
    EXPECT_EQ(handle != kInvalidFileHandle, error == kOpenSuccess);
    if (handle != kInvalidFileHandle) {
        EXPECT_TRUE(closeHandle(handle));
    }
    return error;
}

struct OpenCase {
    const char* what;
    std::uint32_t flags;
    bool exists;           // "Dir/file.txt" holds "old" before the open
    int error;             // expected code
    bool created;          // expected created flag
    const char* contents;  // afterwards; null: no file
    int reports;           // assertion reports
};

TEST_F(PlatformFileTest, DispositionsAndTheirErrorCodes)
{
    const OpenCase cases[] = {
        {"no disposition", kFileRead, false, kOpenFailed, false, nullptr, 0},
        {"no disposition on a file", kFileRead | kFileWrite, true, kOpenFailed, false, "old", 0},
        {"open existing, missing", kFileOpenExisting | kFileRead, false, kOpenFileNotFound, false, nullptr, 0},
        {"open existing", kFileOpenExisting | kFileRead, true, kOpenSuccess, false, "old", 0},
        {"create new, present", kFileCreateNew | kFileWrite, true, kOpenFileExists, false, "old", 0},
        {"create new", kFileCreateNew | kFileWrite, false, kOpenSuccess, true, "", 0},
        {"open always, missing", kFileOpenAlways | kFileWrite, false, kOpenSuccess, true, "", 0},
        {"open always, present", kFileOpenAlways | kFileWrite, true, kOpenSuccess, false, "old", 0},
        {"create always, missing", kFileCreateAlways | kFileWrite, false, kOpenSuccess, true, "", 0},
        {"create always, present", kFileCreateAlways | kFileWrite, true, kOpenSuccess, true, "", 0},
        {"truncate existing", kFileTruncateExisting | kFileWrite, true, kOpenSuccess, false, "", 0},
        {"truncate existing, missing", kFileTruncateExisting | kFileWrite, false, kOpenFileNotFound, false, nullptr, 0},
        {"truncate without write access", kFileTruncateExisting | kFileRead, true, kOpenFailed, false, "old", 1},
        {"two dispositions: the highest wins", kFileOpenExisting | kFileCreateAlways | kFileWrite, true, kOpenSuccess,
         true, "", 1},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        device().makeFolder("Dir");
        fs::remove(device().hostPath("Dir/file.txt"));
        if (c.exists)
            device().writeFile("Dir/file.txt", "old");
        test::DiagCapture capture;
        bool created = !c.created;
        EXPECT_EQ(openError(u"\\DIR\\file.txt", c.flags, &created), c.error);
        EXPECT_EQ(created, c.created);
        EXPECT_EQ(capture.dbgChkCount(), c.reports);
        if (c.contents)
            EXPECT_EQ(device().readFile("Dir/file.txt"), c.contents);
        else
            EXPECT_FALSE(device().exists("Dir/file.txt"));
    }
}

TEST_F(PlatformFileTest, FailuresSetTheDeviceErrorAndPathsAboveTheRootReachNothing)
{
    device().writeFile("here.txt");
    const struct {
        const char16_t* path;
        std::uint32_t flags;
        int error;
        std::uint32_t deviceError;
    } cases[] = {
        {u"\\missing.txt", kFileOpenExisting | kFileRead, kOpenFileNotFound, kErrorFileNotFound},
        {u"\\HERE.TXT", kFileCreateNew | kFileWrite, kOpenFileExists, kErrorFileExists},
        {u"\\a|b", kFileCreateAlways | kFileWrite, kOpenFailed, kErrorInvalidName},
        {u"..\\..\\escaped.txt", kFileCreateAlways | kFileWrite, kOpenFileNotFound, kErrorPathNotFound},
    };
    for (const auto& c : cases) {
        setLastError(0);
        EXPECT_EQ(openError(c.path, c.flags), c.error);
        EXPECT_EQ(getLastError(), c.deviceError);
    }
    EXPECT_FALSE(fs::exists(device().directory().parent_path() / "escaped.txt"));
    EXPECT_FALSE(fs::exists(device().directory() / "escaped.txt"));
}

TEST_F(PlatformFileTest, NewFilesKeepTheirSpellingInExistingFolders)
{
    device().makeFolder("Program Files/App");
    bool created = false;
    EXPECT_EQ(openError(u"\\PROGRAM FILES\\app\\ReadMe.TXT", kFileCreateNew | kFileWrite, &created), kOpenSuccess);
    EXPECT_TRUE(created);
    EXPECT_EQ(fs::directory_iterator(device().hostPath("Program Files/App"))->path().filename(), "ReadMe.TXT");
}

struct ShareCase {
    const char* what;
    std::uint32_t held;
    std::uint32_t opened;
    int error;
};

TEST_F(PlatformFileTest, ShareRulesBetweenHandles)
{
    constexpr std::uint32_t kRead = kFileOpenExisting | kFileRead;
    constexpr std::uint32_t kWrite = kFileOpenExisting | kFileWrite;
    const ShareCase cases[] = {
        {"read beside read", kRead, kRead, kOpenSuccess},
        {"write beside write", kWrite, kWrite, kOpenSuccess},
        {"write where writing is denied", kRead | kFileDenyWrite, kWrite, kOpenSharingViolation},
        {"denying writing to a writer", kWrite, kRead | kFileDenyWrite, kOpenSharingViolation},
        {"read where reading is denied", kWrite | kFileDenyRead, kRead, kOpenSharingViolation},
        {"denying reading to a reader", kRead, kWrite | kFileDenyRead, kOpenSharingViolation},
        {"read where only writing is denied", kRead | kFileDenyWrite, kRead | kFileDenyWrite, kOpenSuccess},
        {"create always where writing is denied", kRead | kFileDenyWrite, kFileCreateAlways | kFileWrite,
         kOpenSharingViolation},
        {"truncate where writing is denied", kRead | kFileDenyWrite, kFileTruncateExisting | kFileWrite,
         kOpenSharingViolation},
        {"attributes only beside an exclusive handle", kWrite | kFileDenyRead | kFileDenyWrite,
         kFileOpenExisting | kFileWriteAttributes, kOpenSuccess},
        {"delete on close without delete sharing", kRead, kRead | kFileDeleteOnClose, kOpenSharingViolation},
        {"delete on close with delete sharing", kRead | kFileShareDelete,
         kRead | kFileDeleteOnClose | kFileShareDelete, kOpenSuccess},
    };
    for (const ShareCase& c : cases) {
        SCOPED_TRACE(c.what);
        device().writeFile("Shared/data.bin", "keep");
        const FileHandle held = openFile(u"\\Shared\\data.bin", c.held);
        ASSERT_NE(held, kInvalidFileHandle);
        // Another spelling of the same file meets the same handles.
        EXPECT_EQ(openError(u"\\SHARED\\DATA.BIN", c.opened), c.error);
        if (c.error == kOpenSharingViolation) {
            EXPECT_EQ(getLastError(), kErrorSharingViolation);
            EXPECT_EQ(device().readFile("Shared/data.bin"), "keep");
        }
        EXPECT_TRUE(closeHandle(held));
        // Once the holder is gone, the same open passes (unless the file went
        // with its delete-on-close handle).
        if (c.error != kOpenSuccess) {
            EXPECT_EQ(openError(u"\\shared\\data.bin", c.opened), kOpenSuccess);
        }
    }
}

TEST_F(PlatformFileTest, DeleteOnCloseRemovesTheFileWithItsLastHandle)
{
    device().writeFile("Temp/scratch.tmp", "x");
    const std::uint32_t flags = kFileOpenExisting | kFileRead | kFileShareDelete;
    const FileHandle first = openFile(u"\\Temp\\scratch.tmp", flags | kFileDeleteOnClose);
    const FileHandle second = openFile(u"\\Temp\\scratch.tmp", flags);
    ASSERT_NE(first, kInvalidFileHandle);
    ASSERT_NE(second, kInvalidFileHandle);
    EXPECT_TRUE(closeHandle(first));
    EXPECT_TRUE(device().exists("Temp/scratch.tmp"));
    EXPECT_TRUE(closeHandle(second));
    EXPECT_FALSE(device().exists("Temp/scratch.tmp"));
    // The mapper forgets the name: a new file takes the spelling given.
    EXPECT_EQ(openError(u"\\Temp\\SCRATCH.TMP", kFileCreateNew | kFileWrite), kOpenSuccess);
    EXPECT_TRUE(device().exists("Temp/SCRATCH.TMP"));
}

TEST_F(PlatformFileTest, ReadOnlyPlacesRefuseWritesWhoeverRuns)
{
    device().writeFile("ROM/boot.cfg", "rom");
    const std::uint32_t denied[] = {kFileOpenExisting | kFileWrite, kFileCreateAlways | kFileRead,
                                    kFileCreateNew | kFileRead, kFileOpenExisting | kFileRead | kFileDeleteOnClose};
    for (const std::uint32_t flags : denied) {
        EXPECT_EQ(openError(u"\\rom\\boot.cfg", flags), kOpenAccessDenied) << flags;
        EXPECT_EQ(getLastError(), kErrorAccessDenied);
    }
    EXPECT_EQ(openError(u"\\ROM\\new.cfg", kFileOpenAlways | kFileRead), kOpenAccessDenied);
    EXPECT_FALSE(device().exists("ROM/new.cfg"));
    EXPECT_EQ(device().readFile("ROM/boot.cfg"), "rom");
    EXPECT_EQ(openError(u"\\ROM\\boot.cfg", kFileOpenAlways | kFileRead), kOpenSuccess);

    // A file without its owner's write permission is the device's read-only file.
    device().writeFile("locked.txt", "locked");
    fs::permissions(device().hostPath("locked.txt"), fs::perms::owner_write, fs::perm_options::remove);
    EXPECT_EQ(openError(u"\\locked.txt", kFileOpenExisting | kFileWrite), kOpenAccessDenied);
    EXPECT_EQ(openError(u"\\locked.txt", kFileCreateAlways | kFileWrite), kOpenAccessDenied);
    EXPECT_EQ(device().readFile("locked.txt"), "locked");
    EXPECT_EQ(openError(u"\\locked.txt", kFileOpenExisting | kFileRead), kOpenSuccess);
}

TEST_F(PlatformFileTest, FoldersOpenOnlyWithBackupSemantics)
{
    device().makeFolder("Folder");
    EXPECT_EQ(openError(u"\\Folder", kFileOpenExisting | kFileRead), kOpenAccessDenied);
    PlatformFile folder;
    ASSERT_TRUE(folder.open(u"\\folder", kFileOpenExisting | kFileRead | kFileBackupSemantics));
    FileInfo info;
    ASSERT_TRUE(getFileInfo(folder.handle(), info));
    EXPECT_TRUE(info.directory);
    EXPECT_FALSE(info.reserved);
    // Reading a folder fails with its reason; so does reading without a handle.
    char buffer[8];
    EXPECT_THAT([&] { folder.read(buffer, sizeof buffer); },
                testing::ThrowsMessage<std::runtime_error>(
                    testing::MatchesRegex(R"(\[.*platform_file\.cpp:[0-9]+\] Read: 5)")));
    test::DiagCapture capture;
    PlatformFile closed;
    EXPECT_THROW(closed.read(buffer, sizeof buffer), std::runtime_error);
    EXPECT_EQ(capture.dbgChkCount(), 1);
}

TEST_F(PlatformFileTest, ReadWriteSeekAndEndOfFile)
{
    const FileHandle handle = openFile(u"\\data.bin", kFileCreateAlways | kFileRead | kFileWrite);
    ASSERT_NE(handle, kInvalidFileHandle);
    EXPECT_EQ(writeFile(handle, "hello world", 11), 11);
    EXPECT_EQ(seekFile(handle, 0, 0), 0);
    char buffer[32] = {};
    EXPECT_EQ(readFile(handle, buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    EXPECT_EQ(readFile(handle, buffer, sizeof buffer), 6);
    EXPECT_EQ(readFile(handle, buffer, sizeof buffer), 0);  // end of file: 0, not -1
    EXPECT_EQ(writeFile(handle, "", 0), 0);
    EXPECT_TRUE(flushFile(handle));

    EXPECT_EQ(seekFile(handle, 4, 0), 4);
    EXPECT_EQ(seekFile(handle, 2, 1), 6);
    EXPECT_EQ(seekFile(handle, -3, 2), 8);
    EXPECT_EQ(seekFile(handle, std::int64_t(1) << 33, 0), std::int64_t(1) << 33);  // past the end is allowed
    EXPECT_EQ(seekFile(handle, 3, 0), 3);
    // Failed moves are -1, never position 0, and leave the pointer.
    setLastError(0);
    EXPECT_EQ(seekFile(handle, -20, 1), -1);
    EXPECT_EQ(getLastError(), kErrorNegativeSeek);
    EXPECT_EQ(seekFile(handle, 0, 3), -1);
    EXPECT_EQ(getLastError(), kErrorInvalidParameter);
    EXPECT_EQ(seekFile(handle, 0, 1), 3);

    EXPECT_TRUE(closeHandle(handle));
    EXPECT_EQ(device().readFile("data.bin"), "hello world");
    EXPECT_FALSE(closeHandle(handle));
    EXPECT_EQ(seekFile(handle, 0, 0), -1);
    EXPECT_EQ(getLastError(), kErrorInvalidHandle);
    // A later open never gets the closed number back.
    const FileHandle next = openFile(u"\\data.bin", kFileOpenExisting | kFileRead);
    EXPECT_NE(next, handle);
    closeHandle(next);
}

TEST_F(PlatformFileTest, AccessBitsLimitReadsAndWrites)
{
    device().writeFile("data.bin", "abc");
    const FileHandle reader = openFile(u"\\data.bin", kFileOpenExisting | kFileRead);
    const FileHandle writer = openFile(u"\\data.bin", kFileOpenExisting | kFileWrite);
    char buffer[4];
    EXPECT_EQ(writeFile(reader, "x", 1), -1);
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
    EXPECT_EQ(readFile(writer, buffer, sizeof buffer), -1);
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
    EXPECT_FALSE(setFileTimes(reader, 1, 1));
    EXPECT_TRUE(setFileTimes(writer, 1, 1));
    closeHandle(reader);
    closeHandle(writer);
}

TEST_F(PlatformFileTest, InvalidHandlesAreRefused)
{
    char buffer[4];
    FileInfo info;
    for (const FileHandle handle : {kInvalidFileHandle, FileHandle(0), FileHandle(12345)}) {
        EXPECT_EQ(readFile(handle, buffer, sizeof buffer), -1);
        EXPECT_EQ(writeFile(handle, buffer, sizeof buffer), -1);
        EXPECT_EQ(seekFile(handle, 0, 0), -1);
        EXPECT_FALSE(flushFile(handle));
        EXPECT_FALSE(closeHandle(handle));
        EXPECT_FALSE(setFileTimes(handle, 0, 0));
        EXPECT_FALSE(getFileInfo(handle, info));
        EXPECT_EQ(getLastError(), kErrorInvalidHandle);
    }
}

TEST_F(PlatformFileTest, TimesInSecondsSince1970)
{
    const FileHandle handle = openFile(u"\\times.txt", kFileCreateAlways | kFileWrite);
    ASSERT_NE(handle, kInvalidFileHandle);
    FileInfo before;
    ASSERT_TRUE(getFileInfo(handle, before));
    ASSERT_TRUE(setFileTimes(handle, 0, 0));
    FileInfo info;
    ASSERT_TRUE(getFileInfo(handle, info));
    EXPECT_EQ(info.lastAccessTime, 0u);
    EXPECT_EQ(info.lastWriteTime, 0u);
    EXPECT_EQ(info.creationTime, before.creationTime);
    ASSERT_TRUE(setFileTimes(handle, 1000000000, 4000000000u));
    ASSERT_TRUE(getFileInfo(handle, info));
    EXPECT_EQ(info.lastAccessTime, 1000000000u);
    EXPECT_EQ(info.lastWriteTime, 4000000000u);
    EXPECT_EQ(writeFile(handle, "12345", 5), 5);
    ASSERT_TRUE(getFileInfo(handle, info));
    EXPECT_EQ(info.size, 5u);
    EXPECT_FALSE(info.directory);
    closeHandle(handle);
}

TEST_F(PlatformFileTest, FileSizeOfTheFirstFoundEntry)
{
    device().writeFile("Sizes/b.txt", "bb");
    device().writeFile("Sizes/A.txt", "a");
    device().writeFile("Sizes/c.dat", "cccc");
    device().makeFolder("Sizes/Sub");
    EXPECT_EQ(getFileSize(u""), -1);
    EXPECT_EQ(getFileSize(u"\\sizes\\C.DAT"), 4);
    EXPECT_EQ(getFileSize(u"\\Sizes\\*.txt"), 1);
    EXPECT_EQ(getFileSize(u"\\Sizes\\sub"), 0);
    EXPECT_EQ(getFileSize(u"\\Sizes\\none"), -1);
    EXPECT_EQ(getFileSize(u"\\Sizes\\*.none"), -1);
    EXPECT_EQ(getFileSize(u"\\..\\x"), -1);
}

TEST_F(PlatformFileTest, OwnerOpensClosesAndMoves)
{
    device().writeFile("owned.txt", "abc");
    PlatformFile file;
    EXPECT_FALSE(file.isOpen());
    EXPECT_FALSE(file.openForRead(u"\\missing.txt"));
    ASSERT_TRUE(file.openForRead(u"\\OWNED.TXT"));
    PlatformFile moved(std::move(file));
    EXPECT_FALSE(file.isOpen());
    ASSERT_TRUE(moved.isOpen());
    char buffer[8];
    EXPECT_EQ(moved.read(buffer, sizeof buffer), 3);
    EXPECT_EQ(moved.read(buffer, sizeof buffer), 0);
    const FileHandle handle = moved.handle();
    moved.close();
    EXPECT_FALSE(moved.isOpen());
    EXPECT_FALSE(closeHandle(handle));
    {
        PlatformFile scoped;
        ASSERT_TRUE(scoped.open(u"\\owned.txt", kFileOpenExisting | kFileRead | kFileDenyRead | kFileDenyWrite));
    }
    // The destructor closed the exclusive handle.
    PlatformFile again;
    EXPECT_TRUE(again.open(u"\\owned.txt", kFileOpenExisting | kFileWrite));
}

TEST(PlatformFileIdentity, RealPathsWithBackslashes)
{
    test::ScratchDir scratch;
    const std::u16string path = (scratch.path() / "Plain.txt").u16string();
    std::u16string backslashed = path;
    std::replace(backslashed.begin(), backslashed.end(), u'/', u'\\');
    bool created = false;
    const FileHandle handle = openFile(backslashed, kFileCreateNew | kFileWrite, &created);
    ASSERT_NE(handle, kInvalidFileHandle);
    EXPECT_TRUE(created);
    EXPECT_EQ(writeFile(handle, "x", 1), 1);
    closeHandle(handle);
    EXPECT_EQ(getFileSize(path), 1);
    // No device: the host's own case rules.
    std::u16string upper = path;
    upper.replace(upper.size() - 9, 9, u"PLAIN.TXT");
    EXPECT_EQ(getFileSize(upper), -1);
}

TEST(PlatformFileThreads, OneExclusiveOpenWinsARace)
{
    test::ScratchDir scratch;
    test::writeFileBytes(scratch.path() / "race.bin", {1, 2, 3});
    const std::u16string path = (scratch.path() / "race.bin").u16string();
    constexpr int kThreads = 8;
    std::barrier opened(kThreads);
    std::atomic<int> winners{0}, violations{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&] {
            int error = 0;
            const FileHandle handle =
                openFile(path, kFileOpenExisting | kFileWrite | kFileDenyRead | kFileDenyWrite, nullptr, &error);
            if (handle != kInvalidFileHandle)
                ++winners;
            if (error == kOpenSharingViolation)
                ++violations;
            opened.arrive_and_wait();  // every attempt is made while the winner holds it
            closeHandle(handle);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(winners.load(), 1);
    EXPECT_EQ(violations.load(), kThreads - 1);
}

TEST(PlatformFileThreads, HandlesOfManyThreadsStayApart)
{
    test::ScratchDir scratch;
    constexpr int kThreads = 6, kFiles = 50;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kFiles; ++i) {
                const std::u16string path =
                    (scratch.path() / ("f" + std::to_string(t) + "_" + std::to_string(i))).u16string();
                const FileHandle handle = openFile(path, kFileCreateNew | kFileRead | kFileWrite);
                const std::string text = std::to_string(t * 1000 + i);
                char buffer[16] = {};
                if (handle == kInvalidFileHandle || writeFile(handle, text.data(), text.size()) != std::int64_t(text.size()) ||
                    seekFile(handle, 0, 0) != 0 || readFile(handle, buffer, sizeof buffer) != std::int64_t(text.size()) ||
                    text != buffer || !closeHandle(handle))
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace druvex
