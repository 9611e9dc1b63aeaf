// The installer's copy in the product data folder and the removals other
// products were asked for: an upgrade leaves the program without the archive
// appended to it and every entry of the running archive once, and says so in
// the installed log, and leaves out with a log line an entry whose sizes its
// record cannot hold; only a run of another version copies, and a full
// store during the copy is named; a run of that very copy leaves its files
// alone; a feature removal that a script queued for another product starts
// that product's installed setup.exe before anything is installed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "controller/installed_product_registry.h"
#include "controller/uninstall_launcher.h"
#include "core/app_paths.h"
#include "installation_fixture.h"
#include "payload/payload_archive.h"
#include "support/diag_capture.h"
#include "support/recorded_start.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;
using test::InstallDevice;
using test::TestFeature;
using test::TestRun;

const std::string kDataFolder = "Windows/_QuendaSuperInstaller/druvex-survey-test";

// A device path in the product data folder: the folder and `tail`.
SharedString dataPath(const char16_t* tail)
{
    return SharedString(u"\\") + fromUtf8(kDataFolder) + tail;
}

std::vector<TestFeature> twoFeatures(std::u16string version, char fill)
{
    std::vector<TestFeature> features(2);
    features[0].name = u"Core";
    features[1].name = u"Help";
    for (TestFeature& feature : features) {
        feature.version = version;
        feature.files[test::narrow(feature.name) + "/a.dat"] = Bytes(5000, static_cast<std::uint8_t>(fill));
        feature.files[test::narrow(feature.name) + "/b.dat"] = Bytes(300, static_cast<std::uint8_t>(fill + 1));
    }
    return features;
}

class InstallationProcessInstallerCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldVersion_ = twoFeatures(u"1.0", 'a');
        newVersion_ = twoFeatures(u"2.0", 'k');
        test::writeSources(oldSources_.path(), oldVersion_);
        test::writeSources(newSources_.path(), newVersion_);
        oldArchive_ = test::buildProductArchive(oldSources_.path(), oldVersion_);
        newArchive_ = test::buildProductArchive(newSources_.path(), newVersion_);
    }
    void TearDown() override { AppPaths::resetInstance(); }

    // The program file \Temp\Setup\FieldSetup.exe: 4000 bytes of program
    // with an archive appended to it.
    void placeProgram(InstallDevice& device)
    {
        Bytes file(4000, 0x5A);
        const Bytes appended = test::buildArchive({test::codedEntry(u"Data", kPayloadMethodStored, Bytes(700, 1))},
                                                  file.size());
        file.insert(file.end(), appended.begin(), appended.end());
        device.device().writeFile("Temp/Setup/FieldSetup.exe", std::string(file.begin(), file.end()));
        AppPaths::setInstance(SharedString(u"\\Temp\\Setup\\FieldSetup.exe"));
    }
    // The old version installed from the program placed, the new archive in place.
    void installOldVersion(InstallDevice& device)
    {
        placeProgram(device);
        device.placeArchive(oldArchive_);
        {
            TestRun run(device, oldVersion_, kModeInstall);
            ASSERT_TRUE(run.runSilently());
        }
        device.placeArchive(newArchive_);
    }
    // The host file behind a file of the product data folder.
    static ino_t inode(InstallDevice& device, const std::string& name)
    {
        struct stat status {};
        EXPECT_EQ(::stat(device.device().hostPath(kDataFolder + "/" + name).c_str(), &status), 0) << name;
        return status.st_ino;
    }
    static std::uint32_t supportFlags(InstallDevice& device)
    {
        const std::string text = device.device().readFile(kDataFolder + "/InstalledLog.xml");
        InstalledLog log;
        EXPECT_TRUE(log.loadFromBuffer(text.data(), text.size()));
        return log.getSupportFlags();
    }

    std::vector<TestFeature> oldVersion_;
    std::vector<TestFeature> newVersion_;
    test::ScratchDir oldSources_;
    test::ScratchDir newSources_;
    Bytes oldArchive_;
    Bytes newArchive_;
};

TEST_F(InstallationProcessInstallerCopy, AnUpgradeLeavesTheProgramAloneAndEveryEntryOfItsArchiveOnce)
{
    InstallDevice device;
    installOldVersion(device);
    // A first installation leaves no copy, and no copy takes requests.
    EXPECT_FALSE(device.device().exists(kDataFolder + "/setup.exe"));
    EXPECT_EQ(supportFlags(device) & kInstalledLogSupportsRoboActions, 0u);

    {
        TestRun run(device, newVersion_, kModeUpdate);
        ASSERT_TRUE(run.runSilently());
    }
    EXPECT_EQ(device.device().readFile(kDataFolder + "/setup.exe"), std::string(4000, 'Z'));
    PayloadArchive copy(*device.host());
    PayloadArchive running(*device.host());
    int error = 0;
    ASSERT_TRUE(copy.open(dataPath(u"/setup.dqres"), error)) << error;
    ASSERT_TRUE(running.open(SharedString(u"\\Temp\\setup.dqres"), error)) << error;
    ASSERT_EQ(copy.entryCount(), running.entryCount());
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(copy.entryCount()); ++i) {
        EXPECT_EQ(copy.entryAt(i).name, running.entryAt(i).name);
        EXPECT_EQ(copy.entryAt(i).checksum, running.entryAt(i).checksum);
        EXPECT_TRUE(copy.verifyEntry(copy.entryAt(i).name, error)) << error;
    }
    EXPECT_EQ(supportFlags(device) & kInstalledLogSupportsRoboActions, kInstalledLogSupportsRoboActions);
}

// The copy is the installer of the version that stands: a run of that very
// version (a repair, a change of features) neither makes nor needs one, and
// a downgrade the user accepted leaves the older installer in place of the
// newer one.
TEST_F(InstallationProcessInstallerCopy, OnlyARunOfAnotherVersionCopiesTheInstaller)
{
    InstallDevice device;
    installOldVersion(device);
    device.placeArchive(oldArchive_);
    for (const WizardMode mode : {kModeRepair, kModeMaintenance, kModeUpdate}) {
        TestRun run(device, oldVersion_, mode);
        ASSERT_TRUE(run.runSilently()) << mode;
        EXPECT_FALSE(device.device().exists(kDataFolder + "/setup.exe")) << mode;
        EXPECT_FALSE(device.device().exists(kDataFolder + "/setup.dqres")) << mode;
    }

    device.placeArchive(newArchive_);
    {
        TestRun run(device, newVersion_, kModeMaintenance);
        ASSERT_TRUE(run.runSilently());
    }
    device.placeArchive(oldArchive_);
    {
        TestRun run(device, oldVersion_, kModeMaintenance);
        ASSERT_EQ(run.controller().getInstalledVersionComparison(), 1);
        ASSERT_TRUE(run.runSilently());
    }
    PayloadArchive copy(*device.host());
    int error = 0;
    ASSERT_TRUE(copy.open(dataPath(u"/setup.dqres"), error)) << error;
    const std::int32_t core = copy.findEntry(SharedString(u"Feature_Core_1.0_.lzma"));
    EXPECT_GE(core, 0);
    EXPECT_LT(copy.findEntry(SharedString(u"Feature_Core_2.0_.lzma")), 0);
}

// A store too full for the copy fails the upgrade with the reason and the
// size of what was being written, and the rollback leaves the installation
// and its copy as they were.
TEST_F(InstallationProcessInstallerCopy, AFullStoreDuringTheCopySaysSoWithTheSize)
{
    InstallDevice device;
    installOldVersion(device);
    const std::string before = device.device().readFile(kDataFolder + "/InstalledLog.xml");
    const auto withFree = [&](std::uint64_t free) {
        DeviceConfig config = device.device().config();
        config.stores = {{SharedString(u"\\"), std::uint64_t{1} << 30, free, false, false}};
        device.device().reconfigure(config);
    };

    // The program of 4000 bytes does not fit.
    withFree(1000);
    {
        test::DiagCapture log;
        TestRun run(device, newVersion_, kModeMaintenance);
        EXPECT_FALSE(run.runSilently());
        EXPECT_TRUE(log.contains(u"Cannot copy the installer (3.9 kB) to \\Windows\\_QuendaSuperInstaller/"
                                 u"druvex-survey-test/setup.exe (error 112: the store is full)"));
    }
    EXPECT_FALSE(device.device().exists(kDataFolder + "/setup.exe"));

    // The program fits, the archive does not: the entry being copied is named.
    withFree(4001);
    {
        test::DiagCapture log;
        TestRun run(device, newVersion_, kModeMaintenance);
        EXPECT_FALSE(run.runSilently());
        const SharedString first = run.controller().getPayloadArchive().entryAt(0).name;
        EXPECT_TRUE(log.contains(u"Cannot copy the installer entry " + std::u16string(first.view()) + u" ("));
        EXPECT_TRUE(log.contains(u"setup.dqres (error 112: the store is full)"));
    }
    EXPECT_FALSE(device.device().exists(kDataFolder + "/setup.exe"));
    EXPECT_FALSE(device.device().exists(kDataFolder + "/setup.dqres"));
    EXPECT_EQ(device.device().readFile(kDataFolder + "/InstalledLog.xml"), before);
}

TEST_F(InstallationProcessInstallerCopy, AnEntryTooLargeForItsRecordIsLeftOutOfTheCopyWithALogLine)
{
    InstallDevice device;
    installOldVersion(device);
    // The new archive with a sparse stored entry of 4 GiB and one byte last.
    std::vector<test::EntrySource> entries;
    test::buildProductArchive(newSources_.path(), newVersion_, &entries);
    constexpr std::uint64_t kHuge = (std::uint64_t{1} << 32) + 1;
    Bytes data;
    Bytes directory;
    for (const test::EntrySource& entry : entries) {
        const Bytes record = test::makeRecord(entry.name, entry.method, data.size(), entry.packed.size(), entry.unpacked,
                                              test::adlerOf(entry.packed));
        directory.insert(directory.end(), record.begin(), record.end());
        data.insert(data.end(), entry.packed.begin(), entry.packed.end());
    }
    const Bytes huge = test::makeRecord(u"ExtraData/Huge", kPayloadMethodStored, data.size(), kHuge, kHuge, 1);
    directory.insert(directory.end(), huge.begin(), huge.end());
    const Bytes trailer = test::makeTrailer(directory, static_cast<std::uint32_t>(entries.size() + 1), 0,
                                            data.size() + kHuge);
    {
        std::ofstream file(device.device().hostPath("Temp/setup.dqres"), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        file.seekp(static_cast<std::streamoff>(data.size() + kHuge));
        file.write(reinterpret_cast<const char*>(directory.data()), static_cast<std::streamsize>(directory.size()));
        file.write(reinterpret_cast<const char*>(trailer.data()), static_cast<std::streamsize>(trailer.size()));
        ASSERT_TRUE(file.good());
    }

    test::DiagCapture log;
    {
        TestRun run(device, newVersion_, kModeUpdate);
        ASSERT_TRUE(run.runSilently());
    }
    PayloadArchive copy(*device.host());
    int error = 0;
    ASSERT_TRUE(copy.open(dataPath(u"/setup.dqres"), error)) << error;
    EXPECT_EQ(copy.entryCount(), entries.size());
    EXPECT_LT(copy.findEntry(SharedString(u"ExtraData/Huge")), 0);
    for (const test::EntrySource& entry : entries)
        EXPECT_TRUE(copy.verifyEntry(SharedString(std::u16string_view(entry.name)), error)) << error;
    EXPECT_TRUE(log.contains(u"The installer entry ExtraData/Huge of 4294967297 bytes (4294967297 unpacked) is left "
                             u"out of"));
}

TEST_F(InstallationProcessInstallerCopy, ARunOfTheInstalledCopyLeavesItInPlace)
{
    InstallDevice device;
    installOldVersion(device);
    {
        TestRun run(device, newVersion_, kModeUpdate);
        ASSERT_TRUE(run.runSilently());
    }
    const std::string program = device.device().readFile(kDataFolder + "/setup.exe");
    const std::string archive = device.device().readFile(kDataFolder + "/setup.dqres");
    const ino_t programFile = inode(device, "setup.exe");
    const ino_t archiveFile = inode(device, "setup.dqres");

    // The copy runs again over what it installed, reading its own archive.
    AppPaths::setInstance(dataPath(u"\\SETUP.exe"));
    {
        TestRun run(device, newVersion_, kModeUpdate, {}, {},
                    dataPath(u"\\setup.dqres"));
        ASSERT_TRUE(run.runSilently());
    }
    EXPECT_TRUE(device.device().readFile(kDataFolder + "/setup.exe") == program);
    EXPECT_TRUE(device.device().readFile(kDataFolder + "/setup.dqres") == archive);
    // Not written again over themselves either: the very same files.
    EXPECT_EQ(inode(device, "setup.exe"), programFile);
    EXPECT_EQ(inode(device, "setup.dqres"), archiveFile);
    EXPECT_EQ(supportFlags(device) & kInstalledLogSupportsRoboActions, kInstalledLogSupportsRoboActions);
}

TEST_F(InstallationProcessInstallerCopy, ARemovalQueuedForAnotherProductRunsItsSetupBeforeTheInstallation)
{
    InstallDevice device;
    DeviceConfig config = device.device().config();
    config.programs.push_back({u"setup.exe", DRUVEX_RECORD_START_PROGRAM});
    device.device().reconfigure(config);
    device.device().writeFile("Windows/_QuendaSuperInstaller/Field Maps/setup.exe", "MZ device program");
    device.placeArchive(oldArchive_);

    TestRun run(device, oldVersion_, kModeInstall);
    InstalledProductRegistry& products = run.controller().getInstalledProducts();
    const int maps = products.load(SharedString(u"Field Maps"));
    ASSERT_EQ(maps, 1);
    products.sendAction(maps, kInstalledProductActionRemove, SharedString(u"Feature/Topo"));
    ASSERT_TRUE(run.runSilently());

    EXPECT_EQ(test::recordedArguments(device.device().directory()),
              (std::vector<std::string>{DRUVEX_RECORD_START_PROGRAM,
                                        "dont_check_unique_instance uninstall_feature Feature/Topo"}));
    ASSERT_EQ(run.controller().getUninstallLaunchers().size(), 1u);
    EXPECT_NE(dynamic_cast<const FeatureUninstallLauncher*>(run.controller().getUninstallLaunchers()[0].get()),
              nullptr);
    EXPECT_TRUE(device.device().exists("Program Files/Survey/Core/a.dat"));
}

}  // namespace
}  // namespace druvex
