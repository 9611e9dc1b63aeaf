// The newer installer: the bulletin's offer for this build and platform,
// the switch to a download run, the save folder's room on a test device,
// and the start of a downloaded installer: placed from the loopback server
// by the package installer and started with its command line, or, at the
// wrong size, refused or deleted and never started.
#include "liveupdate/new_installer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "liveupdate/fake_live_update_context.h"
#include "liveupdate/liveupdate_test_text.h"
#include "liveupdate/package_installer.h"
#include "liveupdate/recording_package_owner.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/web_downloader.h"
#include "platform/device_config.h"
#include "platform/win_error.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/host_fixture.h"
#include "support/loopback_http_server.h"
#include "support/recorded_start.h"

namespace druvex {
namespace {

using test::HttpReply;
using test::wide;

// The device host, with the store queries and process starts it is asked
// for recorded; a start only records (or fails when told to) unless it is
// told to start for real.
class RecordingHost final : public HalAccessWinCE {
public:
    struct Start {
        SharedString application;
        SharedString commandLine;
    };

    bool createProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t flags,
                       ProcessInformation& information) override
    {
        starts.push_back({application, commandLine});
        if (startForReal) {
            const bool started = HalAccessWinCE::createProcess(application, commandLine, flags, information);
            startedProcessId = information.processId;
            return started;
        }
        if (failStart) {
            setLastError(kErrorAccessDenied);
            return false;
        }
        information = ProcessInformation{};
        return true;
    }
    bool getStoreInformation(const SharedString& path, std::uint64_t& total, std::uint64_t& free) override
    {
        queried.push_back(path);
        return HalAccessWinCE::getStoreInformation(path, total, free);
    }

    std::vector<Start> starts;
    std::vector<SharedString> queried;
    bool failStart = false;
    bool startForReal = false;
    std::uint32_t startedProcessId = 0;
};

class NewInstallerDevice : public test::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        recording_ = std::make_shared<RecordingHost>();
        host_ = recording_;
        context_.emplace(host_);
        context_->build.setInstallerPlatform(kInstallerPlatformController);
        context_->build.setInstallerType(kInstallerTypeFull);
        context_->platform = kPlatformQm40;
    }
    void TearDown() override
    {
        context_.reset();
        recording_.reset();
        HostFixture::TearDown();
    }

    // Two versions; the second offers this build an installer of `size`
    // bytes at `url`.
    bool loadOffer(std::string_view mask = "Qm40", std::size_t size = 9, std::string_view url = "setup49.exe")
    {
        // The device's reader separates attributes by blanks only, so each
        // tag stands on one line.
        const std::string xml =
            R"(<B><Version Ver="5.0"><FullInstaller prog-platform-mask="All" inst-platform="Controller" )"
            R"(inst-type="Full" url="setup50.exe" size="7"/></Version>)"
            R"(<Version Ver="4.9"><FullInstaller prog-platform-mask="Wm6" inst-platform="Controller" )"
            R"(inst-type="Full" url="wm6/setup49.exe" size="5"/>)"
            R"(<FullInstaller prog-platform-mask=")" + std::string(mask) +
            R"(" inst-platform="PC" inst-type="Full" url=")" + std::string(url) + R"(" size=")" +
            std::to_string(size) +
            R"("/></Version></B>)";
        return context_->patcher.loadBulletin(xml.data(), xml.size());
    }

    std::shared_ptr<RecordingHost> recording_;
    std::optional<test::FakeLiveUpdateContext> context_;
};

using NewInstaller = NewInstallerDevice;

TEST_F(NewInstaller, OfferedForThisPlatformFromTheSecondVersionOn)
{
    SharedString url;
    std::uint64_t size = 0;
    EXPECT_FALSE(getNewVersionInfo(*context_, url, size));

    constexpr std::string_view single = R"(<B><Version Ver="5.0"><FullInstaller prog-platform-mask="All" )"
                                        R"(inst-platform="Controller" inst-type="Full" url="setup50.exe" size="7"/>)"
                                        R"(</Version></B>)";
    ASSERT_TRUE(context_->patcher.loadBulletin(single.data(), single.size()));
    EXPECT_FALSE(getNewVersionInfo(*context_, url, size));

    ASSERT_TRUE(loadOffer("Win32"));
    EXPECT_FALSE(getNewVersionInfo(*context_, url, size));

    ASSERT_TRUE(loadOffer());
    std::shared_ptr<BulletinVersion> version;
    int index = -1;
    bool matched = true;
    ASSERT_TRUE(getNewInstallerEntry(*context_, version, index, matched));
    EXPECT_EQ(version, context_->patcher.getBulletin()->getVersion(1));
    EXPECT_EQ(index, 1);
    EXPECT_FALSE(matched);
    ASSERT_TRUE(getNewVersionInfo(*context_, url, size));
    EXPECT_EQ(url, u"http://127.0.0.1:8080/p/setup49.exe");
    EXPECT_EQ(size, 9u);
}

TEST_F(NewInstaller, PrepareSwitchesToADownloadRun)
{
    SharedString target;
    EXPECT_EQ(findNewInstallerTarget(*context_, target), kSaveSpaceNoOffer);
    EXPECT_FALSE(prepareNewVersionDownload(*context_, u"/Temp/setup49.exe"));
    ASSERT_TRUE(loadOffer());
    // The root of a device without a preferred folder, named after the address.
    EXPECT_EQ(findNewInstallerTarget(*context_, target), kSaveSpaceEnough);
    EXPECT_EQ(target, u"/setup49.exe");
    EXPECT_FALSE(prepareNewVersionDownload(*context_, u""));
    EXPECT_TRUE(context_->builtModes.empty());
    EXPECT_TRUE(prepareNewVersionDownload(*context_, u"/Temp/setup49.exe"));
    EXPECT_EQ(context_->builtModes, std::vector<WizardMode>{kModeDownload});
    EXPECT_EQ(context_->newUrl, u"http://127.0.0.1:8080/p/setup49.exe");
    EXPECT_EQ(context_->newSize, 9u);
    EXPECT_EQ(context_->newTarget, u"/Temp/setup49.exe");
}

// The file takes the last name of the address's path; a name that would
// lead out of the save folder is no place to put a program.
TEST_F(NewInstaller, TheSavedInstallerIsNamedAfterTheAddressInsideTheSaveFolder)
{
    const struct {
        const char* url;
        const char16_t* target;
    } cases[] = {
        {"setup49.exe", u"/setup49.exe"},
        {"http://downloads.example.invalid/dl/setup49.exe?key=1#top", u"/setup49.exe"},
        {"dl/", u"/setup.exe"},
        {R"(..\Windows\setup.exe)", u"/setup.exe"},
        {R"(http://downloads.example.invalid/dl/..\Windows\setup.exe)", u"/.._Windows_setup.exe"},
        {R"(dl/..)", u"/setup.exe"},
        {R"(dl/.)", u"/setup.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        ASSERT_TRUE(loadOffer("Qm40", 9, c.url));
        SharedString target;
        EXPECT_EQ(findNewInstallerTarget(*context_, target), kSaveSpaceEnough);
        EXPECT_EQ(target, c.target);
    }
}

TEST_F(NewInstaller, FailedLaunchIsRecorded)
{
    const struct {
        const char* what;
        const char* content;  // null: no file
        bool failStart;
        bool kept;
    } cases[] = {
        {"the start fails", "123456789", true, true},
        {"no file", nullptr, false, false},
        {"one byte short", "12345678", false, false},
        {"one byte over", "1234567890", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(device().hostPath("Temp/setup49.exe"));
        if (c.content)
            device().writeFile("Temp/setup49.exe", c.content);
        recording_->starts.clear();
        recording_->failStart = c.failStart;
        context_->launchFailed = false;
        context_->setNewVersionDownload(u"http://h.invalid/setup49.exe", 9, u"/Temp/setup49.exe");
        test::DiagCapture log;
        EXPECT_FALSE(launchNewInstaller(*context_));
        EXPECT_TRUE(context_->launchFailed);
        EXPECT_EQ(recording_->starts.size(), c.failStart ? 1u : 0u);
        EXPECT_EQ(device().exists("Temp/setup49.exe"), c.kept);
        EXPECT_TRUE(log.contains(u"The newer installer /Temp/setup49.exe ")) << ::testing::PrintToString(log.lines());
    }
}

DeviceStore store(const char16_t* path, std::uint64_t free, bool readOnly = false, bool mounted = false)
{
    DeviceStore result;
    result.path = path;
    result.free = free;
    result.readOnly = readOnly;
    result.mounted = mounted;
    return result;
}

// A device whose stores the profile sizes: 10 MB fits with 16,384 bytes to
// spare, two and a half times over, or not at all.
class SaveFolderSpace : public test::HostFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.stores = {store(u"\\Tight", 10016383), store(u"\\Edge", 10016384), store(u"\\Mid", 20000000),
                         store(u"\\Roomy", 25000000), store(u"\\Locked", 100000000, true)};
    }
};

TEST_F(SaveFolderSpace, AnswersForTenMegabytes)
{
    const struct {
        const char16_t* folder;
        SaveSpace expected;
    } cases[] = {
        {u"/Tight", kSaveSpaceTooSmall}, {u"/Edge", kSaveSpaceTight},       {u"/Mid", kSaveSpaceTight},
        {u"/Roomy", kSaveSpaceEnough},   {u"/Locked", kSaveSpaceNotWritable}, {u"/Missing", kSaveSpaceUnknown},
    };
    for (const char* folder : {"Tight", "Edge", "Mid", "Roomy", "Locked"})
        device().makeFolder(folder);
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(SharedString(c.folder)));
        EXPECT_EQ(checkSaveFolderSpace(host(), c.folder, 10'000'000), c.expected);
    }
    EXPECT_EQ(checkSaveFolderSpace(host(), u"/Roomy", ~std::uint64_t{0}), kSaveSpaceTooSmall);
    for (const char* probe : {"Tight/testInstaller", "Mid/testInstaller", "Roomy/testInstaller"})
        EXPECT_FALSE(device().exists(probe)) << probe;
}

// The folder search on devices of several types, one device per case.
class SaveFolderSpaceSearch : public test::DeviceFixture {
protected:
    void start(int deviceType, std::vector<DeviceStore> stores)
    {
        stop();
        deviceType_ = deviceType;
        stores_ = std::move(stores);
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        for (const char* folder : {"SystemCF", "HardDisk", "Storage Card"})
            device().makeFolder(folder);
        resetDeviceIdentificationForTests();
        host_ = std::make_shared<RecordingHost>();
    }
    void stop()
    {
        host_.reset();
        resetDeviceIdentificationForTests();
        DeviceFixture::TearDown();
    }
    void SetUp() override {}
    void TearDown() override { stop(); }
    void configure(DeviceConfig& config) const override
    {
        config.forceDeviceType = deviceType_;
        config.stores = stores_;
    }

    int deviceType_ = 0;
    std::vector<DeviceStore> stores_;
    std::shared_ptr<RecordingHost> host_;
};

TEST_F(SaveFolderSpaceSearch, PreferredFolderRootAndStorageRoots)
{
    const struct {
        const char* what;
        int deviceType;
        std::vector<DeviceStore> stores;
        bool found;
        const char16_t* folder;
        SaveSpace result;
        std::vector<SharedString> queried;
    } cases[] = {
        {"type 5 prefers SystemCF", 5, {store(u"\\SystemCF", 25000000), store(u"\\", 25000000)}, true,
         u"SystemCF", kSaveSpaceEnough, {u"SystemCF"}},
        {"a full SystemCF gives way to the root", 5, {store(u"\\SystemCF", 1000), store(u"\\", 25000000)}, true,
         u"/", kSaveSpaceEnough, {u"SystemCF", u"/"}},
        {"type 20 prefers the hard disk", 20, {store(u"\\HardDisk", 30000000)}, true, u"/HardDisk",
         kSaveSpaceEnough, {u"/HardDisk"}},
        {"without room the last of the best", 18,
         {store(u"\\", 20000000), store(u"\\Storage Card", 20000000, false, true)}, false, u"Storage Card",
         kSaveSpaceTight, {u"/", u"/", u"Storage Card"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        start(c.deviceType, c.stores);
        SharedString folder;
        SaveSpace result = kSaveSpaceNoOffer;
        EXPECT_EQ(findNewInstallerSaveFolder(*host_, 10'000'000, folder, result), c.found);
        EXPECT_EQ(folder, c.folder);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(host_->queried, c.queried);
    }
}

// The whole way from the bulletin's offer to the start, against the
// loopback server: the offer chosen for download, the package installer's
// new-version job (presence probe, transfer to the target), the launch.
class NewInstallerThreads : public NewInstallerDevice {
protected:
    void SetUp() override
    {
        NewInstallerDevice::SetUp();
        context_->updateUrl = wide(server_.url("/p/bulletin.xml"));
    }

    // Offers an installer of `size` bytes and runs its download: false when
    // the presence probe refused it, else the owner's reports.
    std::vector<std::string> download(std::size_t size, bool& present)
    {
        EXPECT_TRUE(loadOffer("Qm40", size));
        EXPECT_TRUE(prepareNewVersionDownload(*context_, u"/Temp/setup49.exe"));
        test::RecordingPackageOwner owner;
        PackageInstaller installer(*context_, owner);
        std::vector<FeaturePtr> downloaded;
        std::vector<FeaturePtr> local;
        installer.planDownloads({}, downloaded, local);
        present = installer.checkPackagesPresent();
        if (!present)
            return {};
        installer.start(nullptr);
        EXPECT_TRUE(owner.waitAllHandled());
        return owner.events();
    }

    test::LoopbackHttpServer server_;
};

TEST_F(NewInstallerThreads, ServedProgramIsPlacedAndRunsWithItsCommandLine)
{
    std::ifstream in(DRUVEX_RECORD_START_PROGRAM, std::ios::binary);
    const std::string program((std::istreambuf_iterator<char>(in)), {});
    ASSERT_FALSE(program.empty());
    server_.setReply("/p/setup49.exe", HttpReply::ok(program));
    bool present = false;
    EXPECT_EQ(download(program.size(), present),
              (std::vector<std::string>{"started setup49.exe", "ready setup49.exe /Temp/setup49.exe", "all handled"}));
    EXPECT_TRUE(present);
    // The new installer bypasses the package store.
    EXPECT_EQ(context_->cache.stores.load(), 0);
    recording_->startForReal = true;
    ASSERT_TRUE(launchNewInstaller(*context_));
    ASSERT_EQ(recording_->starts.size(), 1u);
    EXPECT_EQ(recording_->starts[0].commandLine, u"dont_check_unique_instance");
    // The program records its arguments, its own path first, as it starts.
    test::awaitChildEnd(static_cast<pid_t>(recording_->startedProcessId));
    EXPECT_EQ(test::recordedArguments(device().directory()),
              (std::vector<std::string>{device().hostPath("Temp/setup49.exe").string(), "dont_check_unique_instance"}));
    EXPECT_FALSE(context_->launchFailed);
}

// An installer of another size than the bulletin's fails its probe; one the
// server cuts short is deleted. Neither is ever started.
TEST_F(NewInstallerThreads, InstallerOfAnotherSizeOrCutShortIsNeverStarted)
{
    HttpReply cut = HttpReply::ok("123456789");
    cut.cutAfter = 5;
    const struct {
        const char* what;
        HttpReply reply;
        bool present;
        std::vector<std::string> events;
    } cases[] = {
        {"another size", HttpReply::ok("12345678"), false, {}},
        {"cut short", cut, true, {"started setup49.exe", "failed", "all handled"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server_.setReply("/p/setup49.exe", c.reply);
        bool present = !c.present;
        EXPECT_EQ(download(9, present), c.events);
        EXPECT_EQ(present, c.present);
        EXPECT_FALSE(device().exists("Temp/setup49.exe"));
        context_->launchFailed = false;
        EXPECT_FALSE(launchNewInstaller(*context_));
        EXPECT_TRUE(recording_->starts.empty());
        EXPECT_TRUE(context_->launchFailed);
    }
}

}  // namespace
}  // namespace druvex
