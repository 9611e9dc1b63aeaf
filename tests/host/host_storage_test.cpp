// The device host's stores and named folders: free space, special folders,
// the temporary, program and installer folders and the storage roots, on the
// device models whose rules differ.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host_checks.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

constexpr std::uint64_t kGiB = 1024ull * 1024 * 1024;

DeviceStore store(const char16_t* path, std::optional<std::uint64_t> total, std::optional<std::uint64_t> free,
                  bool mounted = false)
{
    DeviceStore result;
    result.path = path;
    result.total = total;
    result.free = free;
    result.mounted = mounted;
    return result;
}

class HostFilesStores : public test::HostFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.stores.push_back(store(u"\\Storage Card", 8 * kGiB, 8 * kGiB, true));
        config.stores.push_back(store(u"\\Half", 6 * kGiB, std::nullopt));
    }
};

TEST_F(HostFilesStores, ConfiguredSizesPastFourGiBReadWhole)
{
    device().makeFolder("Storage Card/Data");
    std::uint64_t total = 0;
    std::uint64_t free = 0;
    for (const char16_t* path : {u"\\Storage Card", u"/storage card/DATA", u"\\Storage Card\\Data\\..\\Data"}) {
        ASSERT_TRUE(host().getStoreInformation(SharedString(path), total, free)) << toUtf8(SharedString(path)).c_str();
        EXPECT_EQ(total, 8 * kGiB);
        EXPECT_EQ(free, 8 * kGiB);
    }
}

TEST_F(HostFilesStores, UnconfiguredNumbersComeFromTheHostVolume)
{
    device().makeFolder("Half");
    struct statvfs volume {};
    ASSERT_EQ(::statvfs(device().fsFolder().c_str(), &volume), 0);
    const std::uint64_t hostTotal = std::uint64_t{volume.f_blocks} * volume.f_frsize;

    std::uint64_t total = 0;
    std::uint64_t free = 0;
    ASSERT_TRUE(host().getStoreInformation(u"\\Temp", total, free));
    EXPECT_EQ(total, hostTotal);
    EXPECT_LE(free, total);
    ASSERT_TRUE(host().getStoreInformation(u"\\Half", total, free));
    EXPECT_EQ(total, 6 * kGiB);
    EXPECT_LE(free, hostTotal);

    EXPECT_TRUE(test::refused(host(), host().getStoreInformation(u"\\Storage Card\\Missing", total, free), kErrorPathNotFound));
}

TEST_F(HostFilesStores, MountedCardsAreStorageRootsAfterTheObjectStore)
{
    DeviceConfig config = device().config();
    config.stores.push_back(store(u"\\SD Card", std::nullopt, std::nullopt, true));
    config.stores.push_back(store(u"\\Network", std::nullopt, std::nullopt, true));
    config.stores.push_back(store(u"\\Absent Card", std::nullopt, std::nullopt, true));
    config.forceDeviceType = static_cast<int>(DeviceType::GENERIC_WIN_MOBILE6);
    device().reconfigure(config);
    for (const char* folder : {"Storage Card", "SD Card", "Network", "Half", "Windows"})
        device().makeFolder(folder);
    std::vector<SharedString> roots(1, u"stale");
    EXPECT_EQ(host().enumerateStorageRoots(roots), 3);
    EXPECT_EQ(roots, (std::vector<SharedString>{u"/", u"SD Card", u"Storage Card"}));
}

// A store whose free space the profile states fills up as the program
// writes: a write that does not fit fails as on a full store, and what is
// deleted makes room again. Root runs the tests, so only the profile can say so.
class HostFilesFullStore : public test::HostFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.stores.push_back(store(u"\\", 1000000, 10000));
        config.stores.push_back(store(u"\\Storage Card", 1000000, 500000, true));
    }
    void SetUp() override
    {
        test::HostFixture::SetUp();
        // Files there before the program writes are not the program's to count.
        device().writeFile("Temp/before.bin", std::string(50000, 'b'));
        device().makeFolder("Storage Card");
    }
    std::uint64_t freeAt(const char16_t* path)
    {
        std::uint64_t total = 0;
        std::uint64_t free = 0;
        EXPECT_TRUE(host().getStoreInformation(SharedString(path), total, free));
        return free;
    }
    // Writes `bytes` bytes to the end of the file in one write; what the write answered.
    std::int64_t append(const char16_t* path, std::size_t bytes)
    {
        bool created = false;
        const FileHandle handle = host().openFile(SharedString(path), kFileOpenAlways | kFileWrite, &created);
        EXPECT_NE(handle, -1);
        host().seekFile(handle, 2, 0, nullptr);
        const std::string data(bytes, 'x');
        const std::int64_t written = host().writeFile(handle, data.data(), static_cast<std::uint32_t>(data.size()));
        EXPECT_TRUE(host().closeFile(handle));
        return written;
    }
};

TEST_F(HostFilesFullStore, AWriteBeyondTheFreeSpaceFailsWholeUntilADeletionMakesRoom)
{
    EXPECT_EQ(freeAt(u"\\Temp"), 10000u);
    EXPECT_EQ(append(u"\\Temp\\a.bin", 6000), 6000);
    EXPECT_EQ(freeAt(u"\\"), 4000u);

    setLastError(0);
    EXPECT_EQ(append(u"\\Temp\\b.bin", 4001), -1);
    EXPECT_EQ(host().getLastError(), kErrorDiskFull);
    EXPECT_EQ(device().readFile("Temp/b.bin"), "");
    EXPECT_EQ(freeAt(u"\\"), 4000u);
    // Growing what is there counts the same; rewriting it in place takes nothing.
    EXPECT_EQ(append(u"\\Temp\\a.bin", 4001), -1);
    const FileHandle handle = host().openFile(u"\\Temp\\a.bin", kFileOpenExisting | kFileWrite, nullptr);
    ASSERT_NE(handle, -1);
    const std::string same(6000, 'y');
    EXPECT_EQ(host().writeFile(handle, same.data(), 6000), 6000);
    EXPECT_TRUE(host().closeFile(handle));
    EXPECT_EQ(append(u"\\Temp\\b.bin", 4000), 4000);
    EXPECT_EQ(freeAt(u"\\"), 0u);

    // A copy that does not fit leaves nothing behind.
    EXPECT_TRUE(test::refused(host(), host().copyFile(u"\\Temp\\a.bin", u"\\Temp\\c.bin", true), kErrorDiskFull));
    EXPECT_FALSE(device().exists("Temp/c.bin"));

    // What is deleted, by the program or by anyone, is free again; the files
    // that were there before the program wrote give room too.
    ASSERT_TRUE(host().deleteFile(u"\\Temp\\a.bin"));
    EXPECT_EQ(freeAt(u"\\Temp"), 6000u);
    std::filesystem::remove(device().hostPath("Temp/before.bin"));
    EXPECT_EQ(append(u"\\Temp\\c.bin", 56000), 56000);
    EXPECT_EQ(freeAt(u"\\"), 0u);
}

// A write takes from the store what it adds past the file's end, wherever
// reads and seeks have left the handle.
TEST_F(HostFilesFullStore, AWriteTakesOnlyWhatItAddsPastTheEnd)
{
    EXPECT_EQ(append(u"\\Temp\\a.bin", 6000), 6000);
    const FileHandle handle = host().openFile(u"\\Temp\\a.bin", kFileOpenExisting | kFileRead | kFileWrite, nullptr);
    ASSERT_NE(handle, -1);
    std::string data(5000, 'r');
    EXPECT_EQ(host().readFile(handle, data.data(), 5000), 5000);
    EXPECT_EQ(host().writeFile(handle, data.data(), 2000), 2000);  // 1,000 past the end
    EXPECT_EQ(freeAt(u"\\"), 3000u);
    ASSERT_TRUE(host().seekFile(handle, 0, 1000, nullptr));
    EXPECT_EQ(host().writeFile(handle, data.data(), 5000), 5000);  // within the file
    EXPECT_EQ(freeAt(u"\\"), 3000u);
    ASSERT_TRUE(host().seekFile(handle, 2, 2000, nullptr));
    EXPECT_EQ(host().writeFile(handle, data.data(), 1001), -1);  // 3,001 past the end
    EXPECT_EQ(host().getLastError(), kErrorDiskFull);
    EXPECT_EQ(host().writeFile(handle, data.data(), 1000), 1000);
    EXPECT_EQ(freeAt(u"\\"), 0u);
    EXPECT_TRUE(host().closeFile(handle));
    EXPECT_EQ(std::filesystem::file_size(device().hostPath("Temp/a.bin")), 10000u);
}

TEST_F(HostFilesFullStore, EachStoreKeepsItsOwnSpace)
{
    // The card's folder lies in the root's, its files are not the root's.
    EXPECT_EQ(freeAt(u"\\"), 10000u);
    EXPECT_EQ(append(u"\\Storage Card\\big.bin", 200000), 200000);
    EXPECT_EQ(freeAt(u"\\Storage Card"), 300000u);
    EXPECT_EQ(freeAt(u"\\"), 10000u);
    EXPECT_EQ(append(u"\\Temp\\a.bin", 10000), 10000);
    EXPECT_EQ(append(u"\\Storage Card\\more.bin", 300000), 300000);
    EXPECT_EQ(append(u"\\Storage Card\\more.bin", 1), -1);
    EXPECT_EQ(host().getLastError(), kErrorDiskFull);
}

using HostFilesFullStoreThreads = HostFilesFullStore;

// Writers on two threads (the installation and the log, say) share the
// store: together they get exactly what is free, never more.
TEST_F(HostFilesFullStoreThreads, WritersOnTwoThreadsShareTheFreeSpace)
{
    std::atomic<int> written{0};
    const auto writer = [&](const char16_t* path) {
        const FileHandle handle = host().openFile(SharedString(path), kFileCreateAlways | kFileWrite, nullptr);
        ASSERT_NE(handle, -1);
        const std::string chunk(100, 'x');
        for (int i = 0; i < 100; ++i) {
            if (host().writeFile(handle, chunk.data(), chunk.size()) == 100)
                written.fetch_add(1);
        }
        EXPECT_TRUE(host().closeFile(handle));
    };
    std::thread first(writer, u"\\Temp\\first.bin");
    std::thread second(writer, u"\\Temp\\second.bin");
    first.join();
    second.join();
    EXPECT_EQ(written.load(), 100);
    EXPECT_EQ(std::filesystem::file_size(device().hostPath("Temp/first.bin")) +
                  std::filesystem::file_size(device().hostPath("Temp/second.bin")),
              10000u);
    EXPECT_EQ(freeAt(u"\\"), 0u);
}

class HostFilesDeviceModels : public test::DeviceModelFixture {
protected:
    void setModel(DeviceType type)
    {
        device().makeFolder("Storage Card");
        setDeviceType(type, {store(u"\\Storage Card", std::nullopt, std::nullopt, true)});
    }
};

TEST_F(HostFilesDeviceModels, StorageRootsByModel)
{
    const std::pair<DeviceType, std::vector<SharedString>> cases[] = {
        {DeviceType::TS_ONBOARD, {u"/ROMDisk"}},
        {DeviceType::TS_QM40, {u"/ROMDisk"}},
        {DeviceType::TS_TSORLAN, {u"/ROMDisk"}},
        {DeviceType::KT_61, {u"Storage Card"}},
        {DeviceType::LQ5, {u"Storage Card"}},
        {DeviceType::LQ1, {u"/", u"Storage Card"}},
    };
    for (const auto& [type, expected] : cases) {
        setModel(type);
        std::vector<SharedString> roots;
        EXPECT_EQ(host().enumerateStorageRoots(roots), static_cast<int>(expected.size()));
        EXPECT_EQ(roots, expected) << static_cast<int>(type);
    }
}

TEST_F(HostFilesDeviceModels, InstallerFolderByModel)
{
    struct Case {
        DeviceType type;
        const char16_t* path;
    };
    const Case cases[] = {
        {DeviceType::KT_61, u"/SystemCF/Installer/_QuendaSuperInstaller"},
        {DeviceType::LQ5, u"/HardDisk/Installer/_QuendaSuperInstaller"},
        {DeviceType::GENERIC_WIN_MOBILE6, u"\\Windows\\_QuendaSuperInstaller"},
    };
    for (const Case& c : cases) {
        setModel(c.type);
        SharedString path;
        ASSERT_TRUE(host().getInstallerPath(path));
        EXPECT_EQ(path, c.path);
    }
    DeviceConfig config = device().config();
    config.specialFolders.erase(36);
    device().reconfigure(config);
    SharedString path;
    ASSERT_TRUE(host().getInstallerPath(path));
    EXPECT_EQ(path, u"/windows/_QuendaSuperInstaller");
}

TEST_F(HostFilesDeviceModels, ProgramFolderOnAStorageRoot)
{
    struct Case {
        DeviceType type;
        const char16_t* root;
        const char16_t* path;
    };
    const Case cases[] = {
        {DeviceType::GENERIC_WIN_MOBILE6, u"/", u"\\Program Files"},
        {DeviceType::GENERIC_WIN_MOBILE6, u"Storage Card", u"Storage Card\\Program Files"},
        {DeviceType::GENERIC_WIN_MOBILE6, u"\\Storage Card\\", u"\\Storage Card\\Program Files"},
        {DeviceType::TS_QM40, u"/ROMDisk", u"\\ROMDisk\\Program"},
        {DeviceType::TS_ONBOARD, u"\\ROMDisk", u"\\ROMDisk\\Program"},
    };
    for (const Case& c : cases) {
        setModel(c.type);
        SharedString path;
        ASSERT_TRUE(host().getProgramPath(path, SharedString(c.root)));
        EXPECT_EQ(path, c.path) << toUtf8(SharedString(c.root)).c_str();
    }

    setModel(DeviceType::GENERIC_WIN_MOBILE6);
    DeviceConfig config = device().config();
    config.specialFolders[38] = u"\\Programme\\";
    device().reconfigure(config);
    SharedString path;
    ASSERT_TRUE(host().getProgramPath(path, u"\\Storage Card"));
    EXPECT_EQ(path, u"\\Storage Card\\Programme");
    ASSERT_TRUE(host().getPredefinedInstallPath(path, true));
    EXPECT_EQ(path, u"\\Programme");
    config.specialFolders.erase(38);
    device().reconfigure(config);
    ASSERT_TRUE(host().getPredefinedInstallPath(path, false));
    EXPECT_EQ(path, u"\\Program Files");
}

TEST_F(HostFilesDeviceModels, SpecialAndTemporaryFoldersEndWithASeparator)
{
    DeviceConfig config = device().config();
    config.specialFolders[36] = u"\\Windows";
    config.specialFolders[5] = u"/My Documents/";
    config.tempPath = u"\\Temp";
    config.osVersion = {6, 1};
    device().reconfigure(config);
    SharedString path;
    ASSERT_TRUE(host().getSpecialFolderPath(36, path));
    EXPECT_EQ(path, u"\\Windows\\");
    ASSERT_TRUE(host().getSpecialFolderPath(5, path));
    EXPECT_EQ(path, u"/My Documents/");
    path = u"kept";
    EXPECT_FALSE(host().getSpecialFolderPath(1234, path));
    EXPECT_EQ(path, u"kept");
    ASSERT_TRUE(host().getTempPath(path));
    EXPECT_EQ(path, u"\\Temp\\");

    std::uint32_t major = 0, minor = 0, servicePack = 9;
    bool isServer = true;
    ASSERT_TRUE(host().getOSVersion(major, minor, servicePack, isServer));
    EXPECT_EQ((std::vector<std::uint32_t>{major, minor, servicePack}), (std::vector<std::uint32_t>{6, 1, 0}));
    EXPECT_FALSE(isServer);
}

}  // namespace
}  // namespace druvex
