// The device host's files and folders on the device folder: the device's
// answers for copies, moves and removal, read-only stores, handles, the
// finder, times and seeks.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/file_functions.h"
#include "core/platform_file.h"
#include "host_checks.h"
#include "support/file_holder_process.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class HostFiles : public test::HostFixture {};

using test::refused;

TEST_F(HostFiles, DeleteOfWhatIsNotThereSucceeds)
{
    EXPECT_TRUE(host().deleteFile(u"\\Temp\\missing.txt"));
    EXPECT_TRUE(host().deleteFile(u"\\No Such Folder\\missing.txt"));
    EXPECT_TRUE(host().deleteFile(u"\\..\\..\\outside.txt"));

    device().writeFile("Temp/there.txt", "x");
    EXPECT_TRUE(host().deleteFile(u"/temp/THERE.txt"));
    EXPECT_FALSE(device().exists("Temp/there.txt"));

    EXPECT_TRUE(refused(host(), host().deleteFile(u"\\Temp"), kErrorAccessDenied));
    EXPECT_TRUE(refused(host(), host().deleteFile(u"\\Temp\\bad|name"), kErrorInvalidName));
}

TEST_F(HostFiles, MoveNeverReplacesAndIgnoresItsFlags)
{
    for (const std::uint32_t flags : {0u, 1u, 0xFFFFFFFFu}) {
        device().writeFile("Temp/a.txt", "source");
        device().writeFile("Temp/b.txt", "target");
        const auto move = [&] { return host().moveFileEx(u"\\Temp\\a.txt", u"\\Temp\\b.txt", flags); };
        EXPECT_TRUE(refused(host(), move(), kErrorAlreadyExists)) << flags;
        EXPECT_EQ(device().readFile("Temp/b.txt"), "target");

        ASSERT_TRUE(host().deleteFile(u"\\Temp\\b.txt"));
        EXPECT_TRUE(move()) << flags;
        EXPECT_EQ(device().readFile("Temp/b.txt"), "source");
        EXPECT_FALSE(device().exists("Temp/a.txt"));
        ASSERT_TRUE(host().deleteFile(u"\\Temp\\b.txt"));
    }
}

TEST_F(HostFiles, MoveReportsWhatIsMissing)
{
    device().writeFile("Temp/a.txt", "x");
    EXPECT_TRUE(refused(host(), host().moveFile(u"\\Temp\\none.txt", u"\\Temp\\c.txt"), kErrorFileNotFound));
    EXPECT_TRUE(refused(host(), host().moveFile(u"\\Temp\\a.txt", u"\\Nowhere\\c.txt"), kErrorPathNotFound));
    // A folder moves whole.
    device().writeFile("Old/inner/f.txt", "f");
    ASSERT_TRUE(host().moveFile(u"\\Old", u"\\New"));
    EXPECT_EQ(device().readFile("New/inner/f.txt"), "f");
}

TEST_F(HostFiles, CopyFollowsTheDeviceRules)
{
    device().writeFile("Temp/src.txt", "payload");
    device().writeFile("Temp/old.txt", "old content that is longer");
    const SharedString source(u"\\Temp\\src.txt");

    EXPECT_TRUE(refused(host(), host().copyFile(source, u"\\Temp\\old.txt", true), kErrorFileExists));
    EXPECT_EQ(device().readFile("Temp/old.txt"), "old content that is longer");
    ASSERT_TRUE(host().copyFile(source, u"\\TEMP\\OLD.TXT", false));
    EXPECT_EQ(device().readFile("Temp/old.txt"), "payload");
    ASSERT_TRUE(host().copyFile(source, u"\\Temp\\new.txt", true));
    EXPECT_EQ(device().readFile("Temp/new.txt"), "payload");

    EXPECT_TRUE(refused(host(), host().copyFile(u"\\Temp\\none.txt", u"\\Temp\\x.txt", false), kErrorFileNotFound));
    EXPECT_TRUE(refused(host(), host().copyFile(source, u"\\Nowhere\\x.txt", false), kErrorPathNotFound));
    EXPECT_TRUE(refused(host(), host().copyFile(source, u"\\Temp", false), kErrorAccessDenied));

    // A copy onto itself must not empty the file it reads.
    EXPECT_FALSE(host().copyFile(source, u"\\temp\\SRC.txt", false));
    EXPECT_EQ(device().readFile("Temp/src.txt"), "payload");
}

// Times keep their 100-ns units, as the device keeps them (a backup stores
// them so); a copy keeps them too.
TEST_F(HostFiles, FileTimesRoundTripIn100NsUnitsAndCopiesKeepThem)
{
    device().writeFile("Temp/t.txt", "x");
    const SharedString path(u"\\Temp\\t.txt");
    std::uint64_t access = 0;
    std::uint64_t write = 0;
    ASSERT_TRUE(host().getFileTimes(path, nullptr, &access, &write));
    const std::uint64_t newWrite = 116444736000000000ull + 86400ull * 10000000 + 1234567;  // 1970-01-02
    ASSERT_TRUE(host().setFileTimes(path, nullptr, nullptr, &newWrite));
    std::uint64_t readAccess = 0;
    std::uint64_t readWrite = 0;
    ASSERT_TRUE(host().getFileTimes(path, nullptr, &readAccess, &readWrite));
    EXPECT_EQ(readWrite, newWrite);
    EXPECT_EQ(readAccess, access);  // not given, not changed

    ASSERT_TRUE(host().copyFile(path, u"\\Temp\\dst.txt", true));
    ASSERT_TRUE(host().getFileTimes(u"\\Temp\\dst.txt", nullptr, nullptr, &readWrite));
    EXPECT_EQ(readWrite, newWrite);
    // The core utilities' own file times stay whole seconds.
    std::uint64_t coreWrite = 0;
    ASSERT_TRUE(getFileTimes(path, nullptr, nullptr, &coreWrite));
    EXPECT_EQ(coreWrite, 116444736000000000ull + 86400ull * 10000000);

    EXPECT_FALSE(host().setFileTimes(u"\\Temp\\none.txt", nullptr, nullptr, &newWrite));
    EXPECT_FALSE(host().getFileTimes(u"\\Temp\\none.txt", nullptr, nullptr, &readWrite));
}

TEST_F(HostFiles, FoldersOneLevelAtATime)
{
    EXPECT_TRUE(refused(host(), host().createDirectory(u"\\A\\B"), kErrorPathNotFound));
    ASSERT_TRUE(host().createDirectory(u"\\A"));
    ASSERT_TRUE(host().createDirectory(u"/a/B"));
    EXPECT_TRUE(device().exists("A/B"));
    EXPECT_TRUE(refused(host(), host().createDirectory(u"\\A"), kErrorAlreadyExists));

    EXPECT_TRUE(refused(host(), host().removeDirectory(u"\\A"), kErrorDirNotEmpty));
    device().writeFile("A/file.txt", "x");
    EXPECT_TRUE(refused(host(), host().removeDirectory(u"\\A\\file.txt"), kErrorDirectory));
    EXPECT_TRUE(host().removeDirectory(u"\\A\\B"));
    EXPECT_TRUE(refused(host(), host().removeDirectory(u"\\A\\B"), kErrorFileNotFound));
    EXPECT_FALSE(host().removeDirectory(u"\\"));

    bool isFolder = false;
    EXPECT_TRUE(host().exists(u"\\a", &isFolder));
    EXPECT_TRUE(isFolder);
    EXPECT_TRUE(host().exists(u"\\A\\FILE.TXT", &isFolder));
    EXPECT_FALSE(isFolder);
    EXPECT_TRUE(refused(host(), host().exists(u"\\A\\none", nullptr), kErrorFileNotFound));
}

TEST_F(HostFiles, FinderListsSortedEntriesWithSizes)
{
    device().writeFile("Data/b.bin", "12345");
    device().writeFile("Data/A.txt", "1");
    device().makeFolder("Data/c");
    std::unique_ptr<HalFileFinder> finder;
    ASSERT_TRUE(host().createFileFinder(u"\\data", finder));
    std::vector<std::string> seen;
    do {
        seen.push_back(toUtf8(finder->name()).c_str() + std::string(":") + std::to_string(finder->size()) +
                       (finder->isFolder() ? "/" : ""));
    } while (finder->next());
    EXPECT_EQ(seen, (std::vector<std::string>{"A.txt:1", "b.bin:5", "c:0/"}));
    EXPECT_FALSE(finder->next());

    EXPECT_FALSE(host().createFileFinder(u"\\Data\\c", finder));
    EXPECT_EQ(finder, nullptr);
    EXPECT_FALSE(host().createFileFinder(u"\\Nowhere", finder));
}

TEST_F(HostFiles, HandlesOfOtherOwnersAreRefused)
{
    device().writeFile("Temp/f.txt", "abc");
    PlatformFile foreign;
    ASSERT_TRUE(foreign.openForRead(u"\\Temp\\f.txt"));
    char buffer[4] = {};
    EXPECT_TRUE(refused(host(), host().readFile(foreign.handle(), buffer, 3) != -1, kErrorInvalidHandle));
    EXPECT_FALSE(host().closeFile(foreign.handle()));
    EXPECT_EQ(foreign.read(buffer, 3), 3);

    const FileHandle mine = host().openFileForRead(u"\\Temp\\f.txt");
    ASSERT_NE(mine, kInvalidFileHandle);
    EXPECT_TRUE(host().closeFile(mine));
    EXPECT_TRUE(refused(host(), host().closeFile(mine), kErrorInvalidHandle));
}

TEST_F(HostFiles, SeekAnswersEveryRealPosition)
{
    const FileHandle handle = host().createFileForWrite(u"\\Temp\\sparse.bin");
    ASSERT_NE(handle, kInvalidFileHandle);
    std::uint64_t position = 1;
    // 0xFFFFFFFF is a position like any other, not a failure.
    ASSERT_TRUE(host().seekFile(handle, 0, 0xFFFFFFFFll, &position));
    EXPECT_EQ(position, 0xFFFFFFFFull);
    ASSERT_EQ(host().writeFile(handle, "z", 1), 1);
    std::uint64_t size = 0;
    ASSERT_TRUE(host().getOpenFileSize(handle, size));
    EXPECT_EQ(size, 0x100000000ull);
    ASSERT_TRUE(host().seekFile(handle, 1, -1, &position));
    EXPECT_EQ(position, 0xFFFFFFFFull);

    position = 7;
    EXPECT_FALSE(host().seekFile(handle, 0, -1, &position));
    EXPECT_EQ(position, 7u);
    EXPECT_TRUE(refused(host(), host().seekFile(handle, 3, 0, &position), kErrorInvalidParameter));
    EXPECT_TRUE(host().closeFile(handle));

    std::uint64_t found = 0;
    ASSERT_TRUE(host().getFileSize(u"\\Temp\\SPARSE.bin", found));
    EXPECT_EQ(found, 0x100000000ull);
    EXPECT_FALSE(host().getFileSize(u"\\Temp\\none.bin", found));
}

TEST_F(HostFiles, ProgramsWrittenThroughTheHostStayStartable)
{
    for (const char16_t* name : {u"\\Temp\\setup.EXE", u"\\Temp\\data.dat"}) {
        const FileHandle handle = host().createFileForWrite(SharedString(name));
        ASSERT_NE(handle, kInvalidFileHandle);
        EXPECT_TRUE(host().closeFile(handle));
    }
    struct stat status {};
    ASSERT_EQ(::stat(device().hostPath("Temp/setup.EXE").c_str(), &status), 0);
    EXPECT_NE(status.st_mode & S_IXUSR, 0u);
    ASSERT_EQ(::stat(device().hostPath("Temp/data.dat").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & S_IXUSR, 0u);
}

// What the device cannot answer leaves no stale output behind.
TEST_F(HostFiles, UnansweredQueriesClearTheirOutput)
{
    std::uint32_t mask = 5;
    EXPECT_FALSE(host().getFileAccessMask(u"\\Temp", mask));
    EXPECT_EQ(mask, 0u);
    std::vector<LockingProcess> processes(2);
    EXPECT_FALSE(host().getLockingProcesses(u"\\Temp", processes));
    EXPECT_TRUE(processes.empty());
}

// A file that another application holds open stays where it is, as on the
// device; it may still be written over. A desktop names the application and
// tells the rights on the file; a device tells neither.
class HostFilesHeld : public test::DeviceModelFixture {};

TEST_F(HostFilesHeld, AHeldFileIsNeitherDeletedNorMovedUntilItsApplicationEnds)
{
    setDeviceType(DeviceType::WIN64);
    device().writeFile("Program Files/App/app.dat", "old");
    const SharedString path(u"\\Program Files\\App\\app.dat");
    test::FileHolderProcess holder(device().hostPath("Program Files/App/app.dat"));
    ASSERT_TRUE(holder.running());

    EXPECT_TRUE(refused(host(), host().deleteFile(path), kErrorSharingViolation));
    EXPECT_TRUE(refused(host(), host().moveFile(path, u"\\Temp\\app.dat"), kErrorSharingViolation));
    EXPECT_EQ(device().readFile("Program Files/App/app.dat"), "old");
    std::vector<LockingProcess> processes;
    ASSERT_TRUE(host().getLockingProcesses(path, processes));
    ASSERT_EQ(processes.size(), 1u);
    EXPECT_EQ(processes[0].processId, static_cast<std::uint32_t>(holder.pid()));
    EXPECT_EQ(processes[0].applicationName, u"sleep");
    // Written over in place, as the application's own descriptor allows.
    const FileHandle handle = host().createFileForWrite(path);
    ASSERT_NE(handle, kInvalidFileHandle);
    EXPECT_EQ(host().writeFile(handle, "new", 3), 3);
    EXPECT_TRUE(host().closeFile(handle));
    EXPECT_EQ(device().readFile("Program Files/App/app.dat"), "new");

    // This process's own descriptors hold nothing against it.
    device().writeFile("Temp/mine.txt", "mine");
    const FileHandle mine = host().openFileForRead(u"\\Temp\\mine.txt");
    ASSERT_NE(mine, kInvalidFileHandle);
    EXPECT_TRUE(host().getLockingProcesses(u"\\Temp\\mine.txt", processes));
    EXPECT_TRUE(processes.empty());
    EXPECT_TRUE(host().moveFile(u"\\Temp\\mine.txt", u"\\Temp\\moved.txt"));
    host().closeFile(mine);

    holder.release();
    EXPECT_TRUE(host().getLockingProcesses(path, processes));
    EXPECT_TRUE(processes.empty());
    EXPECT_TRUE(host().deleteFile(path));
    EXPECT_FALSE(device().exists("Program Files/App/app.dat"));
}

TEST_F(HostFilesHeld, ADesktopTellsTheRightsOnAFileAndADeviceDoesNot)
{
    constexpr std::uint32_t kRead = 0x120089;
    constexpr std::uint32_t kWrite = 0x120116;
    setDeviceType(DeviceType::WIN32, {DeviceStore{u"\\Locked", {}, {}, true, false}});
    device().writeFile("Temp/plain.txt", "x");
    device().writeFile("Temp/readonly.txt", "x");
    device().writeFile("Locked/stored.txt", "x");
    ASSERT_EQ(::chmod(device().hostPath("Temp/readonly.txt").c_str(), 0444), 0);
    std::uint32_t mask = 0;
    ASSERT_TRUE(host().getFileAccessMask(u"\\Temp\\plain.txt", mask));
    EXPECT_EQ(mask, kRead | kWrite);
    ASSERT_TRUE(host().getFileAccessMask(u"\\Temp\\readonly.txt", mask));
    EXPECT_EQ(mask, kRead);
    ASSERT_TRUE(host().getFileAccessMask(u"\\Locked\\stored.txt", mask));
    EXPECT_EQ(mask, kRead);
    EXPECT_TRUE(refused(host(), host().getFileAccessMask(u"\\Temp\\missing.txt", mask), kErrorFileNotFound));

    setDeviceType(DeviceType::TS_TSORLAN);
    test::FileHolderProcess holder(device().hostPath("Temp/plain.txt"));
    std::vector<LockingProcess> processes(1);
    EXPECT_FALSE(host().getFileAccessMask(u"\\Temp\\plain.txt", mask));
    EXPECT_FALSE(host().getLockingProcesses(u"\\Temp\\plain.txt", processes));
    EXPECT_TRUE(processes.empty());
    // The device refuses to delete it all the same.
    EXPECT_TRUE(refused(host(), host().deleteFile(u"\\Temp\\plain.txt"), kErrorSharingViolation));
}

// Read-only stores, as device.ini marks them.
class HostFilesReadOnlyStore : public test::HostFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        DeviceStore store;
        store.path = u"\\SystemCF\\TTStartup\\ColdBootCopy";
        store.readOnly = true;
        config.stores.push_back(store);
    }
};

TEST_F(HostFilesReadOnlyStore, RefusesEveryChangeBeneathIt)
{
    device().writeFile("SystemCF/TTStartup/ColdBootCopy/Windows/kept.txt", "kept");
    device().makeFolder("SystemCF/TTStartup/ColdBootCopy/Empty");
    device().writeFile("Temp/src.txt", "src");
    const SharedString inside(u"\\SystemCF\\TTStartup\\ColdBootCopy\\Windows\\kept.txt");
    const SharedString fresh(u"/systemcf/ttstartup/coldbootcopy/Windows/new.txt");
    const std::uint64_t time = 130000000000000000ull;
    struct Change {
        const char* what;
        std::function<bool()> run;
    };
    const Change changes[] = {
        {"copy into", [&] { return host().copyFile(u"\\Temp\\src.txt", fresh, false); }},
        {"copy over", [&] { return host().copyFile(u"\\Temp\\src.txt", inside, false); }},
        {"move into", [&] { return host().moveFile(u"\\Temp\\src.txt", fresh); }},
        {"move out", [&] { return host().moveFile(inside, u"\\Temp\\out.txt"); }},
        {"delete", [&] { return host().deleteFile(inside); }},
        {"create for write", [&] { return host().createFileForWrite(fresh) != kInvalidFileHandle; }},
        {"open for write", [&] { return host().openFile(inside, kFileOpenExisting | kFileWrite, nullptr) != -1; }},
        {"create folder",
         [&] { return host().createDirectory(u"\\SystemCF\\TTStartup\\ColdBootCopy\\New"); }},
        {"remove folder",
         [&] { return host().removeDirectory(u"\\SystemCF\\TTStartup\\ColdBootCopy\\Empty"); }},
        {"set times", [&] { return host().setFileTimes(inside, nullptr, nullptr, &time); }},
    };
    for (const Change& change : changes) {
        setLastError(0);
        EXPECT_TRUE(refused(host(), change.run(), kErrorAccessDenied)) << change.what;
    }
    EXPECT_EQ(device().readFile("SystemCF/TTStartup/ColdBootCopy/Windows/kept.txt"), "kept");
    EXPECT_FALSE(device().exists("SystemCF/TTStartup/ColdBootCopy/Windows/new.txt"));
    EXPECT_FALSE(device().exists("SystemCF/TTStartup/ColdBootCopy/New"));
    EXPECT_TRUE(device().exists("SystemCF/TTStartup/ColdBootCopy/Empty"));
    EXPECT_EQ(device().readFile("Temp/src.txt"), "src");

    // Reading stays allowed, and the store's parent is an ordinary folder.
    ASSERT_TRUE(host().copyFile(inside, u"\\Temp\\copy.txt", true));
    EXPECT_EQ(device().readFile("Temp/copy.txt"), "kept");
    EXPECT_TRUE(host().createDirectory(u"\\SystemCF\\TTStartup\\Other"));
}

}  // namespace
}  // namespace druvex
