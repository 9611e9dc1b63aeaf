#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <vector>

#include "core/app_paths.h"
#include "core/file_functions.h"
#include "platform/device_root.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

bool isReadOnly(const fs::path& path)
{
    return (fs::status(path).permissions() & fs::perms::owner_write) == fs::perms::none;
}

void makeReadOnly(const fs::path& path)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

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
struct RetryWaits {
    static inline std::vector<unsigned> pauses;
    static inline std::function<void()> repair;
    static void wait(unsigned milliseconds)
    {
        pauses.push_back(milliseconds);
        if (repair)
            repair();
    }
};

class FileFunctionsCopy : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        RetryWaits::pauses.clear();
        RetryWaits::repair = nullptr;
        previousWait_ = setCopyRetryWait(RetryWaits::wait);
    }
    void TearDown() override
    {
        setCopyRetryWait(previousWait_);
        DeviceFixture::TearDown();
    }

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
    EXPECT_TRUE(copyPathEntry(SharedString(u"\\src\\a.txt"), SharedString(u"\\dst\\b.txt"), false, false));
    EXPECT_EQ(device().readFile("dst/b.txt"), "new");
    EXPECT_FALSE(copyPathEntry(SharedString(u"\\src\\a.txt"), SharedString(u"\\dst\\a.txt"), false, false));
    EXPECT_EQ(device().readFile("dst/a.txt"), "old");
    EXPECT_EQ(capture.dbgChkCount(), 1);
    EXPECT_TRUE(capture.contains(u"FileFunctions"));
    EXPECT_TRUE(copyPathEntry(SharedString(u"\\src\\a.txt"), SharedString(u"\\dst\\a.txt"), true, false));
    EXPECT_EQ(device().readFile("dst/a.txt"), "new");

    // A folder makes the folder, not its content; an existing one is fine.
    EXPECT_TRUE(copyPathEntry(SharedString(u"\\src\\Sub"), SharedString(u"\\dst\\Sub"), false, false));
    EXPECT_TRUE(fs::is_directory(device().hostPath("dst/Sub")));
    EXPECT_FALSE(device().exists("dst/Sub/inner.txt"));
    EXPECT_TRUE(copyPathEntry(SharedString(u"\\src\\Sub"), SharedString(u"\\dst\\Sub"), true, false));
    EXPECT_EQ(namesIn(device().hostPath("dst")), (std::vector<std::string>{"Sub", "a.txt", "b.txt"}));

    makeReadOnly(device().hostPath("src/a.txt"));
    EXPECT_TRUE(copyPathEntry(SharedString(u"\\src\\a.txt"), SharedString(u"\\kept.txt"), false, false));
    EXPECT_TRUE(isReadOnly(device().hostPath("kept.txt")));
    EXPECT_TRUE(copyPathEntry(SharedString(u"\\src\\a.txt"), SharedString(u"\\normal.txt"), false, true));
    EXPECT_FALSE(isReadOnly(device().hostPath("normal.txt")));
}

TEST_F(FileFunctionsCopy, CopyFileToMakesParentsAndRespectsOverwrite)
{
    device().writeFile("src.txt", "new");
    device().writeFile("dst/old.txt", "old");
    EXPECT_TRUE(copyFileTo(SharedString(u"\\src.txt"), SharedString(u"\\x\\y\\z.txt"), false));
    EXPECT_EQ(device().readFile("x/y/z.txt"), "new");
    EXPECT_FALSE(copyFileTo(SharedString(u"\\src.txt"), SharedString(u"\\dst\\old.txt"), false));
    EXPECT_EQ(device().readFile("dst/old.txt"), "old");
    makeReadOnly(device().hostPath("dst/old.txt"));
    EXPECT_TRUE(copyFileTo(SharedString(u"\\src.txt"), SharedString(u"\\DST\\OLD.TXT"), true));
    EXPECT_EQ(device().readFile("dst/old.txt"), "new");
    EXPECT_EQ(namesIn(device().hostPath("dst")), std::vector<std::string>{"old.txt"});
}

TEST_F(FileFunctionsCopy, FailedCopyKeepsTheOldTarget)
{
    device().writeFile("dst/keep.txt", "precious");
    device().makeFolder("src/folder");
    EXPECT_FALSE(copyFileTo(SharedString(u"\\src\\missing.txt"), SharedString(u"\\dst\\keep.txt"), true));
    EXPECT_EQ(device().readFile("dst/keep.txt"), "precious");
    // A source that cannot be read as a file fails the same way.
    EXPECT_FALSE(copyFileTo(SharedString(u"\\src\\folder"), SharedString(u"\\dst\\keep.txt"), true));
    EXPECT_EQ(device().readFile("dst/keep.txt"), "precious");
    EXPECT_EQ(namesIn(device().hostPath("dst")), std::vector<std::string>{"keep.txt"});
}

TEST_F(FileFunctionsCopy, RelativePathsStartAtTheProgramFolder)
{
    AppPaths::setInstance(SharedString(u"\\Program Files\\App\\setup.exe"));
    device().writeFile("Program Files/App/data.txt", "data");
    device().writeFile("data.txt", "root");
    const bool copied = copyFileTo(SharedString(u"data.txt"), SharedString(u"sub\\copy.txt"), false);
    const bool skipped = copyFileIfNeeded(SharedString(u"\\data.txt"), SharedString(u"sub/copy.txt"), false);
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
    EXPECT_TRUE(copyFileIfNeeded(SharedString(u"\\src.txt"), SharedString(u"\\Dst.txt"), false));
    EXPECT_EQ(device().readFile("dst.txt"), "old");
    EXPECT_TRUE(copyFileIfNeeded(SharedString(u"\\src.txt"), SharedString(u"\\dst.txt"), true));
    EXPECT_EQ(device().readFile("dst.txt"), "new");
    EXPECT_TRUE(copyFileIfNeeded(SharedString(u"\\src.txt"), SharedString(u"\\fresh.txt"), false));
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

TEST_F(FileFunctionsCopy, CopyFolderOfAMissingSourceFails)
{
    EXPECT_FALSE(copyFolder(SharedString(u"\\none"), SharedString(u"\\dst"), true, false));
    EXPECT_FALSE(device().exists("dst"));
}

TEST_F(FileFunctionsCopy, NonRecursiveCopyTakesOnlyTopFiles)
{
    makeSourceTree(device());
    EXPECT_TRUE(copyFolder(SharedString(u"\\src"), SharedString(u"\\a\\b\\dst"), false, false));
    EXPECT_EQ(namesIn(device().hostPath("a/b/dst")), (std::vector<std::string>{"second.txt", "top.txt"}));
    EXPECT_TRUE(RetryWaits::pauses.empty());
}

TEST_F(FileFunctionsCopy, RecursiveCopyIntoAnExistingTree)
{
    makeSourceTree(device());
    EXPECT_TRUE(copyFolder(SharedString(u"\\src"), SharedString(u"\\dst"), true, false));
    EXPECT_EQ(device().readFile("dst/Sub/Deep/deep.txt"), "deep");
    EXPECT_TRUE(fs::is_directory(device().hostPath("dst/EmptySub")));

    // Again, with changed sources and a target whose folders are spelled differently.
    device().writeFile("src/Sub/inner.txt", "changed");
    device().writeFile("src/Sub/Deep/added.txt", "added");
    fs::rename(device().hostPath("dst/Sub"), device().hostPath("dst/SUB"));
    const std::string root = DeviceRoot::instance().rootFolder();
    DeviceRoot::instance().noteRenamed(root + "/dst/Sub", root + "/dst/SUB");
    makeReadOnly(device().hostPath("dst/top.txt"));
    EXPECT_TRUE(copyFolder(SharedString(u"\\src"), SharedString(u"\\dst"), true, true));
    EXPECT_EQ(device().readFile("dst/SUB/inner.txt"), "changed");
    EXPECT_EQ(device().readFile("dst/SUB/Deep/added.txt"), "added");
    EXPECT_FALSE(device().exists("dst/Sub"));
    EXPECT_FALSE(isReadOnly(device().hostPath("dst/top.txt")));
    EXPECT_TRUE(RetryWaits::pauses.empty());
}

TEST_F(FileFunctionsCopy, CopyIntoItsOwnSubfolderEnds)
{
    device().writeFile("src/a.txt", "a");
    EXPECT_TRUE(copyFolder(SharedString(u"\\src"), SharedString(u"\\src\\copy"), true, false));
    EXPECT_EQ(device().readFile("src/copy/a.txt"), "a");
    EXPECT_FALSE(device().exists("src/copy/copy"));
}

TEST_F(FileFunctionsCopy, FailedEntriesAreRetriedOnceAfterAPause)
{
    makeSourceTree(device());
    // A folder where a file should go makes that entry fail until it is removed.
    device().writeFile("dst/top.txt/blocker.txt");
    RetryWaits::repair = [this] { fs::remove_all(device().hostPath("dst/top.txt")); };
    test::DiagCapture capture;
    EXPECT_TRUE(copyFolder(SharedString(u"\\src"), SharedString(u"\\dst"), true, false));
    EXPECT_EQ(RetryWaits::pauses, std::vector<unsigned>{10});
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
    EXPECT_FALSE(copyFolder(SharedString(u"\\src"), SharedString(u"\\dst"), false, false));
    EXPECT_EQ(RetryWaits::pauses, std::vector<unsigned>{10});
    // Two first attempts, two retries, and the one report of the failed round.
    EXPECT_EQ(capture.dbgChkCount(), 5);
    EXPECT_TRUE(fs::is_directory(device().hostPath("dst/top.txt")));
}

TEST_F(FileFunctionsCopy, CopyFolderOfAFileReportsWhatHappened)
{
    device().writeFile("file.txt", "new");
    device().writeFile("existing.txt", "old");
    device().makeFolder("folder/inside");
    EXPECT_TRUE(copyFolder(SharedString(u"\\file.txt"), SharedString(u"\\x\\copy.txt"), true, false));
    EXPECT_EQ(device().readFile("x/copy.txt"), "new");
    // Onto an existing file: the file is copied, not just claimed.
    EXPECT_TRUE(copyFolder(SharedString(u"\\file.txt"), SharedString(u"\\existing.txt"), true, false));
    EXPECT_EQ(device().readFile("existing.txt"), "new");
    // Onto an existing folder it cannot go.
    test::DiagCapture capture;
    EXPECT_FALSE(copyFolder(SharedString(u"\\file.txt"), SharedString(u"\\folder"), true, false));
    EXPECT_TRUE(fs::is_directory(device().hostPath("folder/inside")));
}

}  // namespace
}  // namespace druvex
