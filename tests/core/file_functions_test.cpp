#include "core/file_functions.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

fs::path deviceRootFolder()
{
    return fs::path(DeviceRoot::instance().rootFolder());
}

void makeReadOnly(const fs::path& path)
{
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
}

TEST_F(FileFunctions, PathsMapBelowTheDeviceRoot)
{
    device().makeFolder("Windows");
    const fs::path root = deviceRootFolder();
    EXPECT_EQ(stringToPath(SharedString(u"\\Storage Card\\x")), root / "Storage Card" / "x");
    EXPECT_EQ(stringToPath(SharedString(u"\\WINDOWS\\New.txt")), root / "Windows" / "New.txt");
    std::uint32_t error = 0;
    EXPECT_TRUE(stringToPath(SharedString(u"\\..\\outside"), &error).empty());
    EXPECT_EQ(error, kErrorPathNotFound);
    EXPECT_EQ(pathToString(root / "Windows" / "a b.txt"), u"\\Windows\\a b.txt");
    EXPECT_TRUE(pathToString(root.parent_path() / "device.ini").isEmpty());
}

TEST_F(FileFunctions, ExistenceAndTypeQueries)
{
    device().writeFile("Data/job.txt", "x");
    device().makeFolder("Data/Sub");
    EXPECT_TRUE(fileExists(SharedString(u"\\Data\\job.txt")));
    EXPECT_TRUE(fileExists(SharedString(u"/data/JOB.TXT")));
    EXPECT_TRUE(fileExists(SharedString(u"\\Data\\Sub")));
    EXPECT_TRUE(fileExists(SharedString(u"\\Data\\*.txt")));
    EXPECT_FALSE(fileExists(SharedString(u"\\Data\\*.xml")));
    EXPECT_FALSE(fileExists(SharedString()));

    EXPECT_FALSE(directoryExists(SharedString()));
    EXPECT_TRUE(directoryExists(SharedString(u"\\Data\\Sub")));
    EXPECT_TRUE(directoryExists(SharedString(u"\\DATA")));
    EXPECT_FALSE(directoryExists(SharedString(u"\\Data\\job.txt")));
    EXPECT_TRUE(isDirectory(SharedString(u"\\Data\\Sub\\")));
    EXPECT_FALSE(isDirectory(SharedString(u"\\Data\\job.txt")));
    EXPECT_FALSE(isDirectory(SharedString(u"\\..\\..")));
}

TEST_F(FileFunctions, CreateDirectoriesMakesMissingParents)
{
    EXPECT_TRUE(createDirectories(SharedString()));
    EXPECT_TRUE(createDirectories(SharedString(u"\\a\\b\\c")));
    EXPECT_TRUE(fs::is_directory(device().hostPath("a/b/c")));
    EXPECT_TRUE(createDirectories(SharedString(u"/A/B")));  // exists, spelled differently
    device().writeFile("f", "x");
    EXPECT_FALSE(createDirectories(SharedString(u"\\f")));
    EXPECT_FALSE(createDirectories(SharedString(u"\\f\\g")));
}

TEST_F(FileFunctions, RemoveFileTakesOnlyFilesAndHonoursReadOnly)
{
    device().writeFile("a.txt", "x");
    device().writeFile("ro.txt", "x");
    device().makeFolder("dir");
    makeReadOnly(device().hostPath("ro.txt"));

    EXPECT_TRUE(removeFile(SharedString(u"\\A.TXT"), false));
    EXPECT_FALSE(device().exists("a.txt"));
    EXPECT_FALSE(removeFile(SharedString(u"\\a.txt"), false));
    EXPECT_FALSE(removeFile(SharedString(u"\\dir"), true));
    EXPECT_TRUE(device().exists("dir"));

    // Refused without makeWritable whatever the host's user may do.
    EXPECT_FALSE(removeFile(SharedString(u"\\ro.txt"), false));
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
    EXPECT_TRUE(device().exists("ro.txt"));
    EXPECT_TRUE(removeFile(SharedString(u"\\ro.txt"), true));
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

    EXPECT_TRUE(removeAll(SharedString(u"\\tree")));
    EXPECT_FALSE(device().exists("Tree"));
    EXPECT_TRUE(fs::exists(outside.path() / "keep.txt"));
    EXPECT_TRUE(removeAll(SharedString(u"\\Tree")));  // gone already
    device().writeFile("single.txt");
    EXPECT_TRUE(removeAll(SharedString(u"\\single.txt")));
    EXPECT_FALSE(device().exists("single.txt"));
}

TEST_F(FileFunctions, RemoveAllRefusesEmptyPathsAndTheRoot)
{
    device().writeFile("stay.txt");
    test::DiagCapture capture;
    EXPECT_FALSE(removeAll(SharedString()));
    EXPECT_EQ(capture.dbgChkCount(), 1);
    EXPECT_TRUE(capture.contains(u"FileFunctions"));
    EXPECT_FALSE(removeAll(SharedString(u"\\")));
    EXPECT_FALSE(removeAll(SharedString(u"\\x\\..\\..")));
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

    EXPECT_TRUE(emptyFolder(SharedString(u"\\Box")));
    EXPECT_TRUE(fs::is_directory(device().hostPath("Box")));
    EXPECT_TRUE(fs::is_empty(device().hostPath("Box")));
    EXPECT_TRUE(fs::exists(outside.path() / "keep.txt"));
    EXPECT_TRUE(emptyFolder(SharedString(u"\\missing")));
    EXPECT_TRUE(emptyFolder(SharedString(u"\\file.txt")));
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
    std::uint64_t access = 0;
    std::uint64_t write = 0;
    std::uint64_t creation = 0;
    ASSERT_TRUE(getFileTimes(SharedString(u"\\T.txt"), &creation, &access, &write));
    EXPECT_EQ(access, (1'000'000'000ULL + 11'644'473'600ULL) * 10'000'000ULL);
    EXPECT_EQ(write, (1'234'567'890ULL + 11'644'473'600ULL) * 10'000'000ULL);
    EXPECT_GT(creation, 0u);
    EXPECT_TRUE(getFileTimes(SharedString(u"\\t.txt"), nullptr, nullptr, &write));

    device().makeFolder("folder");
    EXPECT_FALSE(getFileTimes(SharedString(u"\\folder"), nullptr, nullptr, &write));
    EXPECT_FALSE(getFileTimes(SharedString(u"\\none.txt"), nullptr, nullptr, &write));
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

}  // namespace
}  // namespace druvex

namespace druvex {
namespace {

// A device whose storage card is read-only.
class FileFunctionsReadOnlyStore : public test::DeviceFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        DeviceStore card;
        card.path = SharedString(u"\\Storage Card");
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

    EXPECT_FALSE(copyFileTo(SharedString(u"\\local.txt"), SharedString(u"\\Storage Card\\new.txt"), false));
    EXPECT_EQ(getLastError(), kErrorAccessDenied);
    EXPECT_FALSE(copyFileTo(SharedString(u"\\local.txt"), SharedString(u"\\storage card\\job.txt"), true));
    EXPECT_FALSE(copyPathEntry(SharedString(u"\\local.txt"), SharedString(u"\\Storage Card\\x.txt"), true, false));
    EXPECT_FALSE(copyFolder(SharedString(u"\\Storage Card\\Sub"), SharedString(u"\\Storage Card\\Sub2"), true, false));
    EXPECT_FALSE(createDirectories(SharedString(u"\\Storage Card\\New")));
    EXPECT_FALSE(removeFile(SharedString(u"\\Storage Card\\job.txt"), true));
    EXPECT_FALSE(removeAll(SharedString(u"\\Storage Card\\Sub")));
    EXPECT_FALSE(emptyFolder(SharedString(u"\\Storage Card")));
    EXPECT_EQ(device().readFile("Storage Card/job.txt"), "job");
    EXPECT_EQ(device().readFile("Storage Card/Sub/a.txt"), "a");
    EXPECT_FALSE(device().exists("Storage Card/new.txt"));
    EXPECT_FALSE(device().exists("Storage Card/New"));
    EXPECT_FALSE(device().exists("Storage Card/Sub2"));

    // Reading from it is fine.
    EXPECT_TRUE(copyFolder(SharedString(u"\\Storage Card"), SharedString(u"\\Copy"), true, false));
    EXPECT_EQ(device().readFile("Copy/Sub/a.txt"), "a");
    EXPECT_TRUE(removeAll(SharedString(u"\\Storage Card\\missing")));
}

}  // namespace
}  // namespace druvex
