#include "platform/device_root.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/win_error.h"
#include "support/device_fixture.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::DeviceFixture;

class DeviceRootTest : public DeviceFixture {
protected:
    // The host path below fs/ that a device path maps to ("" for fs/ itself),
    // or "error <n>".
    std::string mapped(std::u16string_view devicePath, DevicePathKind kind = DevicePathKind::kPath)
    {
        std::string host;
        const std::uint32_t error = DeviceRoot::instance().toHostPath(devicePath, host, kind);
        if (error != 0)
            return "error " + std::to_string(error);
        const std::string root = DeviceRoot::instance().rootFolder();
        if (host == root)
            return "";
        if (!host.starts_with(root + "/"))
            return "outside: " + host;
        return host.substr(root.size() + 1);
    }

    std::vector<std::string> names(const std::vector<DeviceFolderEntry>& entries)
    {
        std::vector<std::string> result;
        for (const DeviceFolderEntry& entry : entries)
            result.push_back(entry.hostName + (entry.isFolder ? "/" : ""));
        return result;
    }
};

TEST_F(DeviceRootTest, PathsAreNormalisedAndResolvedWithoutRegardToCase)
{
    device().writeFile("Windows/Start Menu/x.lnk", "link");
    device().writeFile("\xC3\xA4rger/\xD0\xB4\xD0\xB0.txt");  // a-umlaut, Cyrillic "da"
    struct Case {
        std::u16string_view device;
        const char* host;
    } cases[] = {
        {u"\\WINDOWS\\start menu\\x.lnk", "Windows/Start Menu/x.lnk"},
        {u"/windows/START MENU/X.LNK", "Windows/Start Menu/x.lnk"},
        {u"\\\u00C4RGER\\\u0414\u0410.TXT", "\xC3\xA4rger/\xD0\xB4\xD0\xB0.txt"},
        // New components keep the spelling given.
        {u"\\WINDOWS\\NewFile.TXT", "Windows/NewFile.TXT"},
        {u"\\windows\\New Dir\\Sub\\a.B", "Windows/New Dir/Sub/a.B"},
        {u"\\Nowhere\\X", "Nowhere/X"},
        // Relative paths start at the root.
        {u"", "error 3"},
        {u"\\", ""},
        {u"/", ""},
        {u"Temp\\x", "Temp/x"},
        {u"\\\\Windows\\\\\\x", "Windows/x"},
        {u"\\Windows\\", "Windows"},
        {u"\\a\\.\\b\\.", "a/b"},
        {u"\\a\\..\\b", "b"},
        {u"a/b/../../c", "c"},
        {u"\\a\\..", ""},
        {u"...\\x", ".../x"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mapped(c.device), c.host) << std::string(c.device.begin(), c.device.end());
}

TEST_F(DeviceRootTest, NothingClimbsOutOfTheRoot)
{
    const fs::path outside = device().directory() / "passwd";
    for (std::u16string_view path : {u"..\\..\\etc\\passwd", u"\\..", u"\\a\\..\\..\\passwd", u"..", u"/../fs/x"}) {
        setLastError(0);
        std::string host = "unchanged";
        EXPECT_EQ(DeviceRoot::instance().toHostPath(path, host), kErrorPathNotFound);
        EXPECT_EQ(host, "");
        EXPECT_EQ(getLastError(), kErrorPathNotFound);
    }
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_EQ(fs::directory_iterator(device().directory())->path().filename(), "fs");
}

TEST_F(DeviceRootTest, InvalidNamesAreRefused)
{
    for (const std::u16string& path : {std::u16string(u"C:\\x"), std::u16string(u"\\a\tb"),
                                       u"\\a" + std::u16string(1, char16_t(0xD800)) + u"b",  // lone surrogates
                                       u"\\a" + std::u16string(1, char16_t(0xDC00)), std::u16string(u"\\a\0b", 4)})
        EXPECT_EQ(mapped(path), "error 123") << path.size();
    for (const char16_t reserved : std::u16string_view(u"<>|\"*?"))
        EXPECT_EQ(mapped(u"\\a" + std::u16string(1, reserved) + u"b"), "error 123") << char(reserved);
    EXPECT_EQ(mapped(u"\\" + std::u16string(256, u'x')), "error 123");
    EXPECT_EQ(mapped(u"\\" + std::u16string(255, u'x')), std::string(255, 'x'));
    // A surrogate pair is a valid character.
    EXPECT_EQ(mapped(u"\\\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST_F(DeviceRootTest, PatternsMayHoldWildcardsInTheLastComponentOnly)
{
    device().makeFolder("Windows");
    EXPECT_EQ(mapped(u"\\WINDOWS\\*.LNK", DevicePathKind::kPattern), "Windows/*.LNK");
    EXPECT_EQ(mapped(u"\\windows\\a?c", DevicePathKind::kPattern), "Windows/a?c");
    EXPECT_EQ(mapped(u"\\Win*\\x", DevicePathKind::kPattern), "error 123");
    EXPECT_EQ(mapped(u"\\Windows\\*\\", DevicePathKind::kPattern), "error 123");
    EXPECT_EQ(mapped(u"\\Windows\\*.lnk"), "error 123");
    // Without wildcards a pattern resolves like a path.
    device().writeFile("Windows/Exact.txt");
    EXPECT_EQ(mapped(u"\\windows\\exact.TXT", DevicePathKind::kPattern), "Windows/Exact.txt");
}

TEST_F(DeviceRootTest, ExactSpellingWinsAndOtherwiseTheSmallestNameIsChosen)
{
    device().makeFolder("data");
    device().makeFolder("Data");
    for (int pass = 0; pass < 2; ++pass) {  // before and after the root's names are cached
        EXPECT_EQ(mapped(u"\\data\\x"), "data/x");
        EXPECT_EQ(mapped(u"\\Data"), "Data");
        EXPECT_EQ(mapped(u"\\DATA\\x"), "Data/x");
        EXPECT_EQ(mapped(u"\\nothing"), "nothing");
    }
    // Removing one of them leaves the other to be found.
    fs::remove(device().hostPath("Data"));
    DeviceRoot::instance().noteRemoved(DeviceRoot::instance().rootFolder() + "/Data");
    EXPECT_EQ(mapped(u"\\DATA"), "data");
}

TEST_F(DeviceRootTest, NamesMadeBehindItsBackAreFound)
{
    // Changes made around the mapper; each gives the folder a new time stamp,
    // as any change would on a file system with coarse time stamps. Where the
    // kernel gives change notices, the mapper learns of them as they are read
    // (catchUp: at once).
    const fs::path folder = device().hostPath("Folder");
    fs::create_directories(folder);
    int second = 1000;
    const auto touchFolder = [&] {
        const struct timespec times[2] = {{second, 0}, {second, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), times, 0), 0);
        ++second;
        DeviceRoot::instance().catchUp();
    };
    touchFolder();
    EXPECT_EQ(mapped(u"\\folder\\foo"), "Folder/foo");  // caches the folder's names
    test::writeFileBytes(folder / "Foo", {});
    touchFolder();
    EXPECT_EQ(mapped(u"\\folder\\FOO"), "Folder/Foo");
    fs::rename(folder / "Foo", folder / "fOO");
    touchFolder();
    EXPECT_EQ(mapped(u"\\folder\\foo"), "Folder/fOO");
    fs::remove(folder / "fOO");
    touchFolder();
    EXPECT_EQ(mapped(u"\\folder\\foo"), "Folder/foo");

    // A folder replaced by another with the same name and time stamp.
    EXPECT_EQ(mapped(u"\\folder\\x"), "Folder/x");
    fs::remove_all(folder);
    fs::create_directories(folder);
    test::writeFileBytes(folder / "X", {});
    --second;
    touchFolder();
    EXPECT_EQ(mapped(u"\\folder\\x"), "Folder/X");
}

// Folders replaced behind the mapper's back, at every depth, in another case:
// what was known below them is forgotten once the notices are read.
TEST_F(DeviceRootTest, FoldersReplacedBehindItsBackAreReadAgain)
{
    device().writeFile("Top/Middle/Inner/File.txt");
    EXPECT_EQ(mapped(u"\\top\\middle\\inner\\FILE.TXT"), "Top/Middle/Inner/File.txt");
    EXPECT_EQ(mapped(u"\\top\\middle\\inner\\FILE.TXT"), "Top/Middle/Inner/File.txt");
    fs::remove_all(device().hostPath("Top/Middle"));
    device().writeFile("Top/MIDDLE/inner/file.TXT");
    DeviceRoot::instance().catchUp();
    EXPECT_EQ(mapped(u"\\top\\middle\\inner\\FILE.TXT"), "Top/MIDDLE/inner/file.TXT");
    fs::rename(device().hostPath("Top"), device().hostPath("Moved"));
    device().writeFile("TOP/Middle/Inner/File.txt");
    DeviceRoot::instance().catchUp();
    EXPECT_EQ(mapped(u"\\top\\middle\\inner\\FILE.TXT"), "TOP/Middle/Inner/File.txt");
    EXPECT_EQ(mapped(u"\\moved\\middle\\INNER\\file.txt"), "Moved/MIDDLE/inner/file.TXT");
}

TEST_F(DeviceRootTest, ChangesAfterOurOwnAreStillSeen)
{
    DeviceRoot& root = DeviceRoot::instance();
    device().makeFolder("Mixed");
    std::string host;
    ASSERT_EQ(root.toHostPath(u"\\mixed\\Ours.txt", host), 0u);
    test::writeFileBytes(host, {});
    root.noteCreated(host);
    // Someone else's file, later than ours.
    const fs::path folder = device().hostPath("Mixed");
    test::writeFileBytes(folder / "Theirs.txt", {});
    const struct timespec later[2] = {{0, UTIME_OMIT}, {::time(nullptr) + 100, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, folder.c_str(), later, 0), 0);
    EXPECT_EQ(mapped(u"\\MIXED\\theirs.TXT"), "Mixed/Theirs.txt");
    EXPECT_EQ(mapped(u"\\MIXED\\ours.TXT"), "Mixed/Ours.txt");
}

TEST_F(DeviceRootTest, OwnChangesKeepTheCacheInStep)
{
    DeviceRoot& root = DeviceRoot::instance();
    device().makeFolder("Many");
    // Each creation changes the folder; the notes keep the cached names current.
    for (int i = 0; i < 300; ++i) {
        const std::u16string name = u"\\many\\File" + std::u16string(1, char16_t(u'A' + i % 26)) +
                                    std::u16string(1, char16_t(u'a' + i / 26));
        std::string host;
        ASSERT_EQ(root.toHostPath(name, host), 0u);
        const int fd = ::open(host.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << host;
        ::close(fd);
        root.noteCreated(host);
    }
    EXPECT_EQ(mapped(u"\\MANY\\FILEBA"), "Many/FileBa");
    EXPECT_EQ(mapped(u"\\many\\fileza"), "Many/FileZa");

    const fs::path renamedFrom = device().hostPath("Many/FileBa");
    const fs::path renamedTo = device().hostPath("Many/Moved");
    fs::rename(renamedFrom, renamedTo);
    root.noteRenamed(renamedFrom.string(), renamedTo.string());
    EXPECT_EQ(mapped(u"\\many\\MOVED"), "Many/Moved");
    EXPECT_EQ(mapped(u"\\many\\FILEBA"), "Many/FILEBA");

    fs::remove(renamedTo);
    root.noteRemoved(renamedTo.string());
    EXPECT_EQ(mapped(u"\\many\\MOVED"), "Many/MOVED");
}

TEST_F(DeviceRootTest, RemovedFoldersLeaveNoStaleNames)
{
    DeviceRoot& root = DeviceRoot::instance();
    device().writeFile("Old/Inner/File.txt");
    EXPECT_EQ(mapped(u"\\old\\inner\\file.TXT"), "Old/Inner/File.txt");
    fs::remove_all(device().hostPath("Old"));
    root.noteRemoved(device().hostPath("Old").string());
    fs::create_directories(device().hostPath("old/inner"));
    test::writeFileBytes(device().hostPath("old/inner/FILE.txt"), {});
    EXPECT_EQ(mapped(u"\\OLD\\INNER\\file.txt"), "old/inner/FILE.txt");
}

TEST_F(DeviceRootTest, HostPathsMapBackToDevicePaths)
{
    const DeviceRoot& root = DeviceRoot::instance();
    const std::string fsFolder = root.rootFolder();
    SharedString device;
    ASSERT_TRUE(root.toDevicePath(fsFolder + "/Windows/Start Menu/x.lnk", device));
    EXPECT_EQ(device, u"\\Windows\\Start Menu\\x.lnk");
    ASSERT_TRUE(root.toDevicePath(fsFolder, device));
    EXPECT_EQ(device, u"\\");
    ASSERT_TRUE(root.toDevicePath(fsFolder + "//a/./b/", device));
    EXPECT_EQ(device, u"\\a\\b");
    EXPECT_FALSE(root.toDevicePath(fsFolder + "x/y", device));
    EXPECT_FALSE(root.toDevicePath(fsFolder + "/../x", device));
    EXPECT_FALSE(root.toDevicePath("/etc/passwd", device));
    EXPECT_FALSE(root.toDevicePath(fsFolder + "/bad\xFF", device));
    EXPECT_EQ(device, u"");
}

TEST_F(DeviceRootTest, ConfigurationIsCanonical)
{
    const fs::path directory = device().directory();
    EXPECT_EQ(DeviceRoot::instance().deviceDirectory(), fs::canonical(directory).string());
    EXPECT_EQ(DeviceRoot::instance().rootFolder(), fs::canonical(directory / "fs").string());
    EXPECT_FALSE(DeviceRoot::instance().isIdentity());
    // A different spelling of the same folder gives the same mapping.
    DeviceRoot::instance().configure((directory / "fs" / ".." / "").string());
    EXPECT_EQ(DeviceRoot::instance().rootFolder(), fs::canonical(directory / "fs").string());
}

TEST_F(DeviceRootTest, ListingsAreSortedWithoutRegardToCase)
{
    for (const char* name : {"b", "A", "c", "B2", "a2", "_x", "\xC3\xA4"})
        device().writeFile(std::string("List/") + name);
    device().makeFolder("List/Sub");
    std::vector<DeviceFolderEntry> entries;
    ASSERT_EQ(DeviceRoot::instance().listFolder(device().hostPath("List").string(), entries), 0u);
    EXPECT_EQ(names(entries), (std::vector<std::string>{"_x", "A", "a2", "b", "B2", "c", "Sub/", "\xC3\xA4"}));
    EXPECT_EQ(entries[1].name, u"A");

    ASSERT_EQ(DeviceRoot::instance().listFolder(device().hostPath("List").string(), entries, u"?2"), 0u);
    EXPECT_EQ(names(entries), (std::vector<std::string>{"a2", "B2"}));

    EXPECT_EQ(DeviceRoot::instance().listFolder(device().hostPath("Missing").string(), entries), kErrorPathNotFound);
    EXPECT_TRUE(entries.empty());

    // Names that differ in case only still come in a fixed order.
    for (const char* name : {"ab", "AB", "Ab", "aB"})
        device().writeFile(std::string("Same/") + name);
    ASSERT_EQ(DeviceRoot::instance().listFolder(device().hostPath("Same").string(), entries), 0u);
    EXPECT_EQ(names(entries), (std::vector<std::string>{"AB", "Ab", "aB", "ab"}));
}

TEST_F(DeviceRootTest, FindsEntriesByPatternOrPath)
{
    device().writeFile("Windows/b.LNK");
    device().writeFile("Windows/A.lnk");
    device().writeFile("Windows/c.txt");
    DeviceRoot& root = DeviceRoot::instance();
    std::string folder;
    std::vector<DeviceFolderEntry> entries;
    ASSERT_EQ(root.findEntries(u"\\WINDOWS\\*.lnk", folder, entries), 0u);
    EXPECT_EQ(folder, device().hostPath("Windows").string());
    EXPECT_EQ(names(entries), (std::vector<std::string>{"A.lnk", "b.LNK"}));

    ASSERT_EQ(root.findEntries(u"\\windows\\C.TXT", folder, entries), 0u);
    EXPECT_EQ(names(entries), std::vector<std::string>{"c.txt"});
    ASSERT_EQ(root.findEntries(u"\\windows", folder, entries), 0u);
    EXPECT_EQ(names(entries), std::vector<std::string>{"Windows/"});

    EXPECT_EQ(root.findEntries(u"\\Windows\\*.exe", folder, entries), kErrorFileNotFound);
    EXPECT_EQ(root.findEntries(u"\\Windows\\none.txt", folder, entries), kErrorFileNotFound);
    EXPECT_EQ(root.findEntries(u"\\Missing\\*", folder, entries), kErrorPathNotFound);
    EXPECT_EQ(root.findEntries(u"\\Missing\\x", folder, entries), kErrorPathNotFound);
    EXPECT_EQ(root.findEntries(u"\\", folder, entries), kErrorFileNotFound);
    EXPECT_EQ(root.findEntries(u"\\..\\*", folder, entries), kErrorPathNotFound);
    EXPECT_TRUE(entries.empty());
}

// Lookups from several threads while another changes the tree (and notes
// it) and a third configures the same device again: names that never change
// always resolve to their spelling on the disk, names in the busy folder
// always resolve to some name there, and no mapping fails.
class DeviceRootThreads : public DeviceRootTest {};

TEST_F(DeviceRootThreads, LookupsStayRightWhileTheTreeChanges)
{
    DeviceRoot& root = DeviceRoot::instance();
    device().writeFile("Stable/Folder/Keep.txt");
    device().writeFile("Stable/Other.TXT");
    device().makeFolder("Busy/Sub");
    const std::string rootFolder = root.rootFolder();
    const std::string keep = rootFolder + "/Stable/Folder/Keep.txt";
    const std::string other = rootFolder + "/Stable/Other.TXT";
    const std::string busy = rootFolder + "/Busy/";

    std::atomic<int> wrong{0};
    std::atomic<int> failed{0};
    const auto lookUp = [&](int seed) {
        std::string host;
        std::vector<DeviceFolderEntry> entries;
        for (int i = 0; i < 600; ++i) {
            if (root.toHostPath(u"\\STABLE\\folder\\keep.TXT", host) != 0 || host != keep)
                ++wrong;
            if (root.toHostPath(u"/stable/other.txt", host) != 0 || host != other)
                ++wrong;
            const std::u16string name = u"\\busy\\f" + std::u16string(1, static_cast<char16_t>(u'0' + (i + seed) % 10));
            if (root.toHostPath(name, host) != 0 || !host.starts_with(busy))
                ++failed;
            if (root.toHostPath(u"\\BUSY\\SUB\\x", host) != 0 || !host.starts_with(busy))
                ++failed;
            if (i % 50 == 0 && root.listFolder(rootFolder + "/Stable", entries) != 0)
                ++failed;
        }
    };
    const auto change = [&] {
        std::string host;
        for (int i = 0; i < 400; ++i) {
            const std::u16string name = u"\\Busy\\F" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10));
            if (root.toHostPath(name, host) != 0) {
                ++failed;
                continue;
            }
            if (fs::exists(host)) {
                fs::remove(host);
                root.noteRemoved(host);
            } else {
                test::writeFileBytes(host, {});
                root.noteCreated(host);
            }
            if (i % 40 == 0) {
                fs::remove_all(busy + "Sub");
                root.noteRemoved(busy + "Sub");
                fs::create_directory(busy + "SUB");
                root.noteCreated(busy + "SUB");
                fs::rename(busy + "SUB", busy + "Sub");
                root.noteRenamed(busy + "SUB", busy + "Sub");
            }
        }
    };
    const std::string directory = root.deviceDirectory();
    const auto reconfigure = [&] {
        for (int i = 0; i < 20; ++i)
            root.configure(directory);
    };

    std::vector<std::thread> threads;
    for (int seed = 0; seed < 3; ++seed)
        threads.emplace_back(lookUp, seed);
    threads.emplace_back(change);
    threads.emplace_back(reconfigure);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(failed.load(), 0);
}

TEST(DeviceRootIdentity, BackslashesSeparateAndNothingElseChanges)
{
    DeviceRoot& root = DeviceRoot::instance();
    ASSERT_TRUE(root.isIdentity());
    struct Case {
        std::u16string_view device;
        const char* host;
    } cases[] = {
        {u"/tmp/a/b.txt", "/tmp/a/b.txt"},
        {u"\\tmp\\A\\\\b\\", "/tmp/A/b"},
        {u"rel\\x", "rel/x"},
        {u"/a/../b/./c", "/a/../b/./c"},
        {u"\\", "/"},
        {u"//", "/"},
        {u"\u00E4", "\xC3\xA4"},
    };
    for (const Case& c : cases) {
        std::string host;
        EXPECT_EQ(root.toHostPath(c.device, host), 0u);
        EXPECT_EQ(host, c.host);
    }
    std::string host;
    EXPECT_EQ(root.toHostPath(u"", host), kErrorPathNotFound);
    EXPECT_EQ(root.toHostPath(std::u16string_view(u"/a\0b", 4), host), kErrorInvalidName);

    SharedString device;
    ASSERT_TRUE(root.toDevicePath("/tmp/x", device));
    EXPECT_EQ(device, u"/tmp/x");
}

TEST(DeviceRootIdentity, NamesResolveExactlyAndListingsAreSorted)
{
    test::ScratchDir scratch;
    test::writeFileBytes(scratch.path() / "Upper.txt", {});
    test::writeFileBytes(scratch.path() / "lower.txt", {});
    DeviceRoot& root = DeviceRoot::instance();
    std::string host;
    const std::u16string folder = fs::path(scratch.path()).u16string();
    ASSERT_EQ(root.toHostPath(folder + u"\\UPPER.TXT", host), 0u);
    EXPECT_EQ(host, (scratch.path() / "UPPER.TXT").string());

    std::vector<DeviceFolderEntry> entries;
    ASSERT_EQ(root.findEntries(folder + u"\\*.TXT", host, entries), 0u);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, u"lower.txt");
    EXPECT_EQ(entries[1].name, u"Upper.txt");
}

}  // namespace
}  // namespace druvex
