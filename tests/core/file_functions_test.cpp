// File functions on device paths: queries, folders made and removed (never
// following links), times, the current folder, read-only stores, and copies
// of files and folders with their one retry round.
#include "core/file_functions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/app_paths.h"
#include "core/fs_path.h"
#include "core/platform_file.h"
#include "platform/device_root.h"
#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

using FileFunctions = test::DeviceFixture;

void makeReadOnly(const fs::path& path)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

bool isReadOnly(const fs::path& path)
{
    return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

TEST_F(FileFunctions, PathsMapBelowTheDeviceRoot)
{
    device().makeFolder("Windows");
    const fs::path root = DeviceRoot::instance().rootFolder();
    EXPECT_EQ(stringToPath(u"\\Storage Card\\x"), root / "Storage Card" / "x");
    EXPECT_EQ(stringToPath(u"\\WINDOWS\\New.txt"), root / "Windows" / "New.txt");
    std::uint32_t error = 0;
    EXPECT_TRUE(stringToPath(u"\\..\\outside", &error).empty());
    EXPECT_EQ(error, kErrorPathNotFound);
    EXPECT_EQ(pathToString(root / "Windows" / "a b.txt"), u"\\Windows\\a b.txt");
    EXPECT_TRUE(pathToString(root.parent_path() / "device.ini").isEmpty());
}

TEST_F(FileFunctions, ExistenceAndTypeQueries)
{
    device().writeFile("Data/job.txt", "x");
    device().makeFolder("Data/Sub");
    EXPECT_TRUE(fileExists(u"\\Data\\job.txt"));
    EXPECT_TRUE(fileExists(u"/data/JOB.TXT"));
    EXPECT_TRUE(fileExists(u"\\Data\\Sub"));
    EXPECT_TRUE(fileExists(u"\\Data\\*.txt"));
    EXPECT_FALSE(fileExists(u"\\Data\\*.xml"));
    EXPECT_FALSE(fileExists(SharedString()));

    EXPECT_FALSE(directoryExists(SharedString()));
    EXPECT_TRUE(directoryExists(u"\\Data\\Sub"));
    EXPECT_TRUE(directoryExists(u"\\DATA"));
    EXPECT_FALSE(directoryExists(u"\\Data\\job.txt"));
    EXPECT_TRUE(isDirectory(u"\\Data\\Sub\\"));
    EXPECT_FALSE(isDirectory(u"\\Data\\job.txt"));
    EXPECT_FALSE(isDirectory(u"\\..\\.."));
}

TEST_F(FileFunctions, CreateDirectoriesMakesMissingParents)
{
    EXPECT_TRUE(createDirectories(SharedString()));
    EXPECT_TRUE(createDirectories(u"\\a\\b\\c"));
    EXPECT_TRUE(fs::is_directory(device().hostPath("a/b/c")));
    EXPECT_TRUE(createDirectories(u"/A/B"));  // exists, spelled differently
    device().writeFile("f", "x");
    EXPECT_FALSE(createDirectories(u"\\f"));
    EXPECT_FALSE(createDirectories(u"\\f\\g"));
}

TEST_F(FileFunctions, RemoveFileTakesOnlyFilesAndHonoursReadOnly)
{
    device().writeFile("a.txt", "x");
    device().writeFile("ro.txt", "x");
    device().makeFolder("dir");
    makeReadOnly(device().hostPath("ro.txt"));

    EXPECT_TRUE(removeFile(u"\\A.TXT", false));
    EXPECT_FALSE(device().exists("a.txt"));
    EXPECT_FALSE(removeFile(u"\\a.txt", false));
    EXPECT_FALSE(removeFile(u"\\dir", true));
    EXPECT_TRUE(device().exists("dir"));

    // Refused without makeWritable whatever the host's user may do.
    EXPECT_FALSE(removeFile(u"\\ro.txt", false));
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
    EXPECT_TRUE(device().exists("ro.txt"));
    EXPECT_TRUE(removeFile(u"\\ro.txt", true));
    EXPECT_FALSE(device().exists("ro.txt"));
}

TEST_F(FileFunctions, RemoveAllTakesTreesAndNeverFollowsLinks)
{
    test::ScratchDir outside;
    std::ofstream(outside.path() / "keep.txt") << "keep";
    device().writeFile("Tree/a.txt", "a");
    device().writeFile("Tree/Sub/b.txt", "b");
    device().makeFolder("Tree/Sub/Empty");
    makeReadOnly(device().hostPath("Tree/Sub/b.txt"));
    fs::create_directory_symlink(outside.path(), device().hostPath("Tree/Sub/link"));
    fs::create_symlink(outside.path() / "keep.txt", device().hostPath("Tree/filelink"));
    fs::create_symlink(device().hostPath("none"), device().hostPath("Tree/dangling"));

    EXPECT_TRUE(removeAll(u"\\tree"));
    EXPECT_FALSE(device().exists("Tree"));
    EXPECT_TRUE(fs::exists(outside.path() / "keep.txt"));
    EXPECT_TRUE(removeAll(u"\\Tree"));  // gone already
    device().writeFile("single.txt");
    EXPECT_TRUE(removeAll(u"\\single.txt"));
    EXPECT_FALSE(device().exists("single.txt"));
}

TEST_F(FileFunctions, RemoveAllRefusesEmptyPathsAndTheRoot)
{
    device().writeFile("stay.txt");
    test::DiagCapture capture;
    EXPECT_FALSE(removeAll(SharedString()));
    EXPECT_EQ(capture.dbgChkCount(), 1);
    EXPECT_TRUE(capture.contains(u"FileFunctions"));
    EXPECT_FALSE(removeAll(u"\\"));
    EXPECT_FALSE(removeAll(u"\\x\\..\\.."));
    EXPECT_TRUE(device().exists("stay.txt"));
}

TEST_F(FileFunctions, EmptyFolderKeepsTheFolder)
{
    test::ScratchDir outside;
    std::ofstream(outside.path() / "keep.txt") << "keep";
    device().writeFile("Box/a.txt");
    device().writeFile("Box/Sub/b.txt");
    fs::create_directory_symlink(outside.path(), device().hostPath("Box/link"));
    device().writeFile("file.txt", "x");

    EXPECT_TRUE(emptyFolder(u"\\Box"));
    EXPECT_TRUE(fs::is_directory(device().hostPath("Box")));
    EXPECT_TRUE(fs::is_empty(device().hostPath("Box")));
    EXPECT_TRUE(fs::exists(outside.path() / "keep.txt"));
    EXPECT_TRUE(emptyFolder(u"\\missing"));
    EXPECT_TRUE(emptyFolder(u"\\file.txt"));
    EXPECT_EQ(device().readFile("file.txt"), "x");

    test::DiagCapture capture;
    EXPECT_FALSE(emptyFolder(SharedString()));
    EXPECT_EQ(capture.dbgChkCount(), 1);
}

TEST_F(FileFunctions, FileTimesCountFrom1601)
{
    device().writeFile("t.txt", "x");
    {
        PlatformFile file;
        ASSERT_TRUE(file.open(u"\\t.txt", kFileOpenExisting | kFileWrite));
        ASSERT_TRUE(setFileTimes(file.handle(), 1'000'000'000u, 1'234'567'890u));
    }
    std::uint64_t access = 0, write = 0, creation = 0;
    ASSERT_TRUE(getFileTimes(u"\\T.txt", &creation, &access, &write));
    EXPECT_EQ(access, (1'000'000'000ULL + 11'644'473'600ULL) * 10'000'000ULL);
    EXPECT_EQ(write, (1'234'567'890ULL + 11'644'473'600ULL) * 10'000'000ULL);
    EXPECT_GT(creation, 0u);
    EXPECT_TRUE(getFileTimes(u"\\t.txt", nullptr, nullptr, &write));

    device().makeFolder("folder");
    EXPECT_FALSE(getFileTimes(u"\\folder", nullptr, nullptr, &write));
    EXPECT_FALSE(getFileTimes(u"\\none.txt", nullptr, nullptr, &write));
}

// Restores the process's current folder.
class CurrentFolderGuard {
public:
    CurrentFolderGuard() : saved_(fs::current_path()) {}
    ~CurrentFolderGuard() { fs::current_path(saved_); }

private:
    fs::path saved_;
};

TEST_F(FileFunctions, CurrentFolderIsADevicePath)
{
    CurrentFolderGuard guard;
    device().makeFolder("Temp/Work");
    fs::current_path(device().hostPath("Temp/Work"));
    EXPECT_EQ(getCurrentFolder(), u"\\Temp\\Work");
    fs::current_path(device().directory());
    EXPECT_TRUE(getCurrentFolder().isEmpty());
}

TEST(FileFunctionsIdentity, HostPathsWithEitherSeparator)
{
    ASSERT_TRUE(DeviceRoot::instance().isIdentity());
    test::ScratchDir scratchDir;
    // The current folder comes back canonical.
    const fs::path scratch = fs::canonical(scratchDir.path());
    const SharedString base = fromUtf8(scratch.string());
    const SharedString folder = base + u"\\one\\two";
    EXPECT_EQ(stringToPath(folder), scratch / "one" / "two");
    EXPECT_TRUE(createDirectories(folder));
    EXPECT_TRUE(fs::is_directory(scratch / "one" / "two"));
    EXPECT_TRUE(directoryExists(base + u"/one"));
    EXPECT_EQ(pathToString(scratch / "one"), base + u"/one");

    CurrentFolderGuard guard;
    fs::current_path(scratch / "one");
    EXPECT_EQ(getCurrentFolder(), base + u"/one");
    EXPECT_TRUE(removeAll(base + u"\\one"));
    EXPECT_FALSE(fs::exists(scratch / "one"));
}

// A device whose storage card is read-only.
class FileFunctionsReadOnlyStore : public test::DeviceFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        DeviceStore card;
        card.path = u"\\Storage Card";
        card.readOnly = true;
        card.mounted = true;
        config.stores.push_back(card);
    }
};

TEST_F(FileFunctionsReadOnlyStore, WritesAndRemovalsBelowItFail)
{
    device().writeFile("Storage Card/job.txt", "job");
    device().writeFile("Storage Card/Sub/a.txt", "a");
    device().writeFile("local.txt", "local");
    test::DiagCapture capture;

    EXPECT_FALSE(copyFileTo(u"\\local.txt", u"\\Storage Card\\new.txt", false));
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
    EXPECT_FALSE(copyFileTo(u"\\local.txt", u"\\storage card\\job.txt", true));
    EXPECT_FALSE(copyPathEntry(u"\\local.txt", u"\\Storage Card\\x.txt", true, false));
    EXPECT_FALSE(copyFolder(u"\\Storage Card\\Sub", u"\\Storage Card\\Sub2", true, false));
    EXPECT_FALSE(createDirectories(u"\\Storage Card\\New"));
    EXPECT_FALSE(removeFile(u"\\Storage Card\\job.txt", true));
    EXPECT_FALSE(removeAll(u"\\Storage Card\\Sub"));
    EXPECT_FALSE(emptyFolder(u"\\Storage Card"));
    EXPECT_EQ(device().readFile("Storage Card/job.txt"), "job");
    EXPECT_EQ(device().readFile("Storage Card/Sub/a.txt"), "a");
    EXPECT_FALSE(device().exists("Storage Card/new.txt"));
    EXPECT_FALSE(device().exists("Storage Card/New"));
    EXPECT_FALSE(device().exists("Storage Card/Sub2"));

    // Reading from it is fine.
    EXPECT_TRUE(copyFolder(u"\\Storage Card", u"\\Copy", true, false));
    EXPECT_EQ(device().readFile("Copy/Sub/a.txt"), "a");
    EXPECT_TRUE(removeAll(u"\\Storage Card\\missing"));
}

// ---- Copies ----------------------------------------------------------------------

// The names in a host folder, to see that no temporary copy was left behind.
std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Records the pauses of copyFolder's retry round and runs a repair in them.
class FileFunctionsCopy : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        pauses.clear();
        repair = nullptr;
        previousWait_ = setCopyRetryWait([](unsigned milliseconds) {
            pauses.push_back(milliseconds);
            if (repair)
                repair();
        });
    }
    void TearDown() override
    {
        setCopyRetryWait(previousWait_);
        DeviceFixture::TearDown();
    }

    static inline std::vector<unsigned> pauses;
    static inline std::function<void()> repair;

private:
    CopyRetryWait previousWait_ = nullptr;
};

TEST_F(FileFunctionsCopy, CopyPathEntryCopiesOneEntry)
{
    device().writeFile("src/a.txt", "new");
    device().writeFile("src/Sub/inner.txt", "inner");
    device().writeFile("dst/a.txt", "old");
    device().makeFolder("dst");

    test::DiagCapture capture;
    EXPECT_TRUE(copyPathEntry(u"\\src\\a.txt", u"\\dst\\b.txt", false, false));
    EXPECT_EQ(device().readFile("dst/b.txt"), "new");
    EXPECT_FALSE(copyPathEntry(u"\\src\\a.txt", u"\\dst\\a.txt", false, false));
    EXPECT_EQ(device().readFile("dst/a.txt"), "old");
    EXPECT_EQ(capture.dbgChkCount(), 1);
    EXPECT_TRUE(capture.contains(u"FileFunctions"));
    EXPECT_TRUE(copyPathEntry(u"\\src\\a.txt", u"\\dst\\a.txt", true, false));
    EXPECT_EQ(device().readFile("dst/a.txt"), "new");

    // A folder makes the folder, not its content; an existing one is fine.
    EXPECT_TRUE(copyPathEntry(u"\\src\\Sub", u"\\dst\\Sub", false, false));
    EXPECT_TRUE(fs::is_directory(device().hostPath("dst/Sub")));
    EXPECT_FALSE(device().exists("dst/Sub/inner.txt"));
    EXPECT_TRUE(copyPathEntry(u"\\src\\Sub", u"\\dst\\Sub", true, false));
    EXPECT_EQ(namesIn(device().hostPath("dst")), (std::vector<std::string>{"Sub", "a.txt", "b.txt"}));

    makeReadOnly(device().hostPath("src/a.txt"));
    EXPECT_TRUE(copyPathEntry(u"\\src\\a.txt", u"\\kept.txt", false, false));
    EXPECT_TRUE(isReadOnly(device().hostPath("kept.txt")));
    EXPECT_TRUE(copyPathEntry(u"\\src\\a.txt", u"\\normal.txt", false, true));
    EXPECT_FALSE(isReadOnly(device().hostPath("normal.txt")));
}

TEST_F(FileFunctionsCopy, CopyFileToMakesParentsAndRespectsOverwrite)
{
    device().writeFile("src.txt", "new");
    device().writeFile("dst/old.txt", "old");
    EXPECT_TRUE(copyFileTo(u"\\src.txt", u"\\x\\y\\z.txt", false));
    EXPECT_EQ(device().readFile("x/y/z.txt"), "new");
    EXPECT_FALSE(copyFileTo(u"\\src.txt", u"\\dst\\old.txt", false));
    EXPECT_EQ(device().readFile("dst/old.txt"), "old");
    makeReadOnly(device().hostPath("dst/old.txt"));
    EXPECT_TRUE(copyFileTo(u"\\src.txt", u"\\DST\\OLD.TXT", true));
    EXPECT_EQ(device().readFile("dst/old.txt"), "new");
    EXPECT_EQ(namesIn(device().hostPath("dst")), std::vector<std::string>{"old.txt"});

    // A failed copy keeps the old target, also when the source is a folder.
    device().makeFolder("src/folder");
    EXPECT_FALSE(copyFileTo(u"\\src\\missing.txt", u"\\dst\\old.txt", true));
    EXPECT_FALSE(copyFileTo(u"\\src\\folder", u"\\dst\\old.txt", true));
    EXPECT_EQ(device().readFile("dst/old.txt"), "new");
    EXPECT_EQ(namesIn(device().hostPath("dst")), std::vector<std::string>{"old.txt"});
}

TEST_F(FileFunctionsCopy, RelativePathsStartAtTheProgramFolder)
{
    AppPaths::setInstance(u"\\Program Files\\App\\setup.exe");
    device().writeFile("Program Files/App/data.txt", "data");
    device().writeFile("data.txt", "root");
    const bool copied = copyFileTo(u"data.txt", u"sub\\copy.txt", false);
    const bool skipped = copyFileIfNeeded(u"\\data.txt", u"sub/copy.txt", false);
    AppPaths::resetInstance();
    EXPECT_TRUE(copied);
    EXPECT_TRUE(skipped);
    EXPECT_EQ(device().readFile("Program Files/App/sub/copy.txt"), "data");
    EXPECT_FALSE(device().exists("sub"));
}

TEST_F(FileFunctionsCopy, CopyFileIfNeededLeavesExistingTargets)
{
    device().writeFile("src.txt", "new");
    device().writeFile("dst.txt", "old");
    EXPECT_TRUE(copyFileIfNeeded(u"\\src.txt", u"\\Dst.txt", false));
    EXPECT_EQ(device().readFile("dst.txt"), "old");
    EXPECT_TRUE(copyFileIfNeeded(u"\\src.txt", u"\\dst.txt", true));
    EXPECT_EQ(device().readFile("dst.txt"), "new");
    EXPECT_TRUE(copyFileIfNeeded(u"\\src.txt", u"\\fresh.txt", false));
    EXPECT_EQ(device().readFile("fresh.txt"), "new");
}

void makeSourceTree(const test::TestDevice& device)
{
    device.writeFile("src/top.txt", "top");
    device.writeFile("src/second.txt", "second");
    device.writeFile("src/Sub/inner.txt", "inner");
    device.writeFile("src/Sub/Deep/deep.txt", "deep");
    device.makeFolder("src/EmptySub");
}

// A flat copy takes only the top files; a recursive one the whole tree, also
// into an existing tree.
TEST_F(FileFunctionsCopy, FlatAndRecursiveCopies)
{
    makeSourceTree(device());
    EXPECT_TRUE(copyFolder(u"\\src", u"\\a\\b\\flat", false, false));
    EXPECT_EQ(namesIn(device().hostPath("a/b/flat")), (std::vector<std::string>{"second.txt", "top.txt"}));

    EXPECT_TRUE(copyFolder(u"\\src", u"\\dst", true, false));
    EXPECT_EQ(device().readFile("dst/Sub/Deep/deep.txt"), "deep");
    EXPECT_TRUE(fs::is_directory(device().hostPath("dst/EmptySub")));

    // Again, with changed sources and a target whose folders are spelled differently.
    device().writeFile("src/Sub/inner.txt", "changed");
    device().writeFile("src/Sub/Deep/added.txt", "added");
    fs::rename(device().hostPath("dst/Sub"), device().hostPath("dst/SUB"));
    const std::string root = DeviceRoot::instance().rootFolder();
    DeviceRoot::instance().noteRenamed(root + "/dst/Sub", root + "/dst/SUB");
    makeReadOnly(device().hostPath("dst/top.txt"));
    EXPECT_TRUE(copyFolder(u"\\src", u"\\dst", true, true));
    EXPECT_EQ(device().readFile("dst/SUB/inner.txt"), "changed");
    EXPECT_EQ(device().readFile("dst/SUB/Deep/added.txt"), "added");
    EXPECT_FALSE(device().exists("dst/Sub"));
    EXPECT_FALSE(isReadOnly(device().hostPath("dst/top.txt")));
    EXPECT_TRUE(pauses.empty());
}

TEST_F(FileFunctionsCopy, CopyIntoItsOwnSubfolderEnds)
{
    device().writeFile("src/a.txt", "a");
    EXPECT_TRUE(copyFolder(u"\\src", u"\\src\\copy", true, false));
    EXPECT_EQ(device().readFile("src/copy/a.txt"), "a");
    EXPECT_FALSE(device().exists("src/copy/copy"));
}

TEST_F(FileFunctionsCopy, FailedEntriesAreRetriedOnceAfterAPause)
{
    makeSourceTree(device());
    // A folder where a file should go makes that entry fail until it is removed.
    device().writeFile("dst/top.txt/blocker.txt");
    repair = [this] { fs::remove_all(device().hostPath("dst/top.txt")); };
    test::DiagCapture capture;
    EXPECT_TRUE(copyFolder(u"\\src", u"\\dst", true, false));
    EXPECT_EQ(pauses, std::vector<unsigned>{10});
    EXPECT_EQ(device().readFile("dst/top.txt"), "top");
    EXPECT_EQ(device().readFile("dst/Sub/inner.txt"), "inner");
    EXPECT_EQ(capture.dbgChkCount(), 1);  // the first attempt's report
}

TEST_F(FileFunctionsCopy, AFailedRetryFailsTheCopy)
{
    makeSourceTree(device());
    device().writeFile("dst/top.txt/blocker.txt");
    device().writeFile("dst/second.txt/blocker.txt");
    test::DiagCapture capture;
    EXPECT_FALSE(copyFolder(u"\\src", u"\\dst", false, false));
    EXPECT_EQ(pauses, std::vector<unsigned>{10});
    // Two first attempts, two retries, and the one report of the failed round.
    EXPECT_EQ(capture.dbgChkCount(), 5);
    EXPECT_TRUE(fs::is_directory(device().hostPath("dst/top.txt")));
}

TEST_F(FileFunctionsCopy, CopyFolderOfAFileOrNothingReportsWhatHappened)
{
    device().writeFile("file.txt", "new");
    device().writeFile("existing.txt", "old");
    device().makeFolder("folder/inside");
    EXPECT_FALSE(copyFolder(u"\\none", u"\\dst", true, false));
    EXPECT_FALSE(device().exists("dst"));
    EXPECT_TRUE(copyFolder(u"\\file.txt", u"\\x\\copy.txt", true, false));
    EXPECT_EQ(device().readFile("x/copy.txt"), "new");
    // Onto an existing file: the file is copied, not just claimed.
    EXPECT_TRUE(copyFolder(u"\\file.txt", u"\\existing.txt", true, false));
    EXPECT_EQ(device().readFile("existing.txt"), "new");
    // Onto an existing folder it cannot go.
    test::DiagCapture capture;
    EXPECT_FALSE(copyFolder(u"\\file.txt", u"\\folder", true, false));
    EXPECT_TRUE(fs::is_directory(device().hostPath("folder/inside")));
}

}  // namespace
}  // namespace druvex
