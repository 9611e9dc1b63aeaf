// What the installation process's tests share: a product of features whose
// files and package fragments a test chooses, packed into an installer
// archive; a device with its registry on which one or more runs install it;
// and a run, made as the application makes it: a controller over the device
// (through a fault-injecting host), the installation page's logic with the
// engine's process factory, driven silently.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../payload/payload_test_support.h"
#include "controller/installation_page_sink.h"
#include "controller/installer_controller.h"
#include "controller/page_installation_logic.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/package_sources.h"
#include "engine/installation_process.h"
#include "fileutil/file_util.h"
#include "hal/device_identity.h"
#include "package_writer/package_writer.h"
#include "payload/package_header.h"
#include "platform/registry.h"
#include "support/external_tool.h"
#include "support/fault_injecting_hal.h"
#include "support/package_fixtures.h"

namespace druvex::test {

namespace fs = std::filesystem;

// One feature below "Feature": its files by relative path ('/'), and the
// fragments its package carries.
struct TestFeature {
    std::u16string name;
    std::map<std::string, Bytes> files;
    std::string registry;
    std::string shortcuts;
    std::u16string version = u"1.0";
};

inline std::u16string packageEntryName(const TestFeature& feature)
{
    return u"Feature_" + feature.name + u"_" + feature.version + u"_.lzma";
}

// The features' files below `root/<name>` on the host.
inline void writeSources(const fs::path& root, const std::vector<TestFeature>& features)
{
    for (const TestFeature& feature : features) {
        const fs::path folder = root / narrow(feature.name);
        fs::create_directories(folder);
        for (const auto& [relative, bytes] : feature.files) {
            fs::create_directories((folder / relative).parent_path());
            writeFileBytes(folder / relative, bytes);
        }
    }
}

// An installer archive with one LZMA-coded package per feature, packed from
// the sources that writeSources left in `root`; the entries also go to
// `entriesOut` when given. With `dictionary` ("64KiB") xz codes the packages
// with a dictionary that small, as a packer short of memory would.
inline Bytes buildProductArchive(const fs::path& root, const std::vector<TestFeature>& features,
                                 std::vector<EntrySource>* entriesOut = nullptr, const std::string& dictionary = {})
{
    std::vector<EntrySource> entries;
    for (const TestFeature& feature : features) {
        tools::PackageWriter writer;
        if (!feature.registry.empty())
            writer.addData(kPackageRecordRegistry, toBytes(feature.registry));
        if (!feature.shortcuts.empty())
            writer.addData(kPackageRecordShortcuts, toBytes(feature.shortcuts));
        std::string reason;
        EXPECT_TRUE(tools::addFolderTree(writer, root / narrow(feature.name), u"<TARGETDIR>", reason)) << reason;
        EntrySource entry = dictionary.empty()
                                ? codedEntry(packageEntryName(feature), kPayloadMethodLzma, writer.build())
                                : EntrySource{packageEntryName(feature), kPayloadMethodLzma,
                                              lzmaByXz(writer.build(), dictionary), 0};
        entry.unpacked = static_cast<std::uint32_t>(writer.fileBytes());
        entries.push_back(std::move(entry));
    }
    if (entriesOut)
        *entriesOut = entries;
    return buildArchive(entries);
}

// A fresh device with the standard folders and a registry of its own, made
// the active device for its life.
class InstallDevice {
public:
    InstallDevice() : device_(std::string_view(), DeviceConfig{})
    {
        device_.makeStandardFolders();
        EXPECT_EQ(deviceRegistry().configure((device_.directory() / "registry.reg").string()), 0u);
        resetDeviceIdentificationForTests();
        host_ = std::make_shared<HalAccessWinCE>();
        // A device has a registry of its own before anything is installed.
        EXPECT_TRUE(host_->writeRegistryStringValue(kRegistryLocalMachine, SharedString(u"Software\\Vendor"), 0,
                                                    SharedString(u"Model"), SharedString(u"QM40"), false));
    }
    // The device with `archive` in place as the installer archive.
    explicit InstallDevice(const Bytes& archive) : InstallDevice() { placeArchive(archive); }
    ~InstallDevice()
    {
        host_.reset();
        deviceRegistry().configure(std::string());
        resetDeviceIdentificationForTests();
    }

    TestDevice& device() { return device_; }
    const std::shared_ptr<HalAccessWinCE>& host() const { return host_; }
    // A host of the test's own kind over this device (made while it is active).
    void replaceHost(std::shared_ptr<HalAccessWinCE> host) { host_ = std::move(host); }

    void placeArchive(const Bytes& archive)
    {
        device_.writeFile("Temp/setup.dqres",
                          std::string_view(reinterpret_cast<const char*>(archive.data()), archive.size()));
    }

    // Every path below fs/ with its size and a hash of its bytes (folders
    // marked), and registry.reg, leaving out the folders named (the work
    // folder) and the application log with its sequence file.
    std::map<std::string, std::string> snapshot(const std::set<std::string>& leftOut = {}) const
    {
        std::map<std::string, std::string> state;
        for (auto entry = fs::recursive_directory_iterator(device_.fsFolder());
             entry != fs::recursive_directory_iterator(); ++entry) {
            const std::string relative = fs::relative(entry->path(), device_.fsFolder()).generic_string();
            if (leftOut.contains(relative)) {
                entry.disable_recursion_pending();
                continue;
            }
            const std::string name = entry->path().filename().string();
            if (name == "orv.seq.ini" || (name.starts_with("orv") && name.ends_with(".log.txt")))
                continue;
            state[relative] = entry->is_directory() ? std::string("<folder>") : digest(device_.readFile(relative));
        }
        const fs::path registry = device_.directory() / "registry.reg";
        state["<registry.reg>"] = fs::exists(registry) ? readHostText(registry) : std::string();
        return state;
    }

    // The size and a hash of the bytes: enough to tell files apart, short to print.
    static std::string digest(const std::string& bytes)
    {
        return std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string>()(bytes));
    }

    static std::string readHostText(const fs::path& path)
    {
        const Bytes bytes = readFileBytes(path);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    TestDevice device_;
    std::shared_ptr<HalAccessWinCE> host_;
};

inline const char16_t kTestDestination[] = u"\\Program Files\\Survey";
inline const char16_t kTestProgramUuid[] = u"druvex-survey-test";

// One run over a device: the controller as loading would leave it (installer
// data with the features, their archive entries as package sources, the
// archive open (\Temp\setup.dqres unless another is given), the installed
// log loaded from the product data folder), the features selected and the
// mode set; then the installation page's silent run.
class TestRun {
public:
    TestRun(InstallDevice& device, const std::vector<TestFeature>& features, WizardMode mode,
            HalFaultPlan plan = {}, InstallerOptions options = {},
            const SharedString& archive = SharedString(u"\\Temp\\setup.dqres"))
        : options_(std::move(options))
    {
        faulty_ = std::make_shared<FaultInjectingHal>(device.host(), std::move(plan));
        controller_ = std::make_unique<InstallerController>(options_, faulty_, faulty_);
        InstallerController& controller = *controller_;
        InstallerSettings& settings = controller.getInstallData().settings();
        settings.set(InstallerSettingKey::ProgramName, SharedString(u"Survey Pro"));
        settings.set(InstallerSettingKey::ProgramUuid, SharedString(kTestProgramUuid));
        settings.set(InstallerSettingKey::ProgramVersion, SharedString(std::u16string_view(features.empty()
                                                                                              ? u"1.0"
                                                                                              : features[0].version)));
        const FeaturePtr root = controller.getInstallData().featureRoot();
        for (const TestFeature& source : features) {
            FeaturePtr feature = makeFeaturePtr();
            feature->setName(SharedString(std::u16string_view(source.name)));
            feature->setVersion(SharedString(std::u16string_view(source.version)));
            root->addSubFeature(feature);
            controller.getPackageSources().addIfAbsent(*feature, kSourceArchiveEntry,
                                                       getArchiveName(*feature, true), 1, 0);
            features_.push_back(feature);
        }
        int error = 0;
        EXPECT_TRUE(controller.getPayloadArchive().open(archive, error)) << error;
        controller.setDestinationFolder(SharedString(kTestDestination));
        controller.setLanguage(1033, SharedString(u"English"));
        // As the start-up leaves it: the installed features mapped to the
        // data's and selected again (none for a new installation).
        (void)controller.loadInstalledLog();
        controller.getPageSequence().buildForMode(mode);
        if (mode != kModeUninstall) {
            for (const FeaturePtr& feature : features_)
                controller.selectFeature(feature);
        }
        controller.setInstallationProcessFactory(std::make_shared<EngineProcessFactory>());
    }
    ~TestRun()
    {
        logic_.reset();
        controller_.reset();
    }

    InstallerController& controller() { return *controller_; }
    FaultInjectingHal& host() { return *faulty_; }
    const std::vector<FeaturePtr>& features() const { return features_; }
    // The work folder, relative to fs/, as InstallDevice::snapshot leaves it out.
    std::string workFolder() const
    {
        std::string folder = narrow(controller_->getWorkFolder().view());
        std::replace(folder.begin(), folder.end(), '\\', '/');
        return folder.substr(folder.find_first_not_of('/'));
    }

    // Questions go to `callback` instead of the log-only answers.
    void setUiCallback(std::shared_ptr<InstallerUiCallback> callback) { controller_->setUiCallback(std::move(callback)); }

    PageInstallationLogic& logic()
    {
        if (!logic_)
            logic_ = std::make_unique<PageInstallationLogic>(*controller_);
        return *logic_;
    }
    // The silent run; what it printed goes to output().
    bool runSilently()
    {
        logic().setStatusOutput(&output_);
        return logic().runUnattended();
    }
    std::string output() const { return output_.str(); }

private:
    InstallerOptions options_;
    std::shared_ptr<FaultInjectingHal> faulty_;
    std::unique_ptr<InstallerController> controller_;
    std::vector<FeaturePtr> features_;
    std::unique_ptr<PageInstallationLogic> logic_;
    std::ostringstream output_;
};

// Tells the test when a run has first reported progress (of its files or of
// a backup) and how it ended; given the logic, it cancels the run from the
// run's own thread at that first report.
class ProgressSink final : public InstallationPageSink {
public:
    explicit ProgressSink(PageInstallationLogic* abort = nullptr) : abort_(abort) {}
    void setProgressPosition(const SharedString&, std::uint64_t) override { progressed(); }
    void setBackupPosition(std::uint32_t, std::uint32_t, std::uint32_t) override { progressed(); }
    void onRunFinished(bool ok, bool, bool) override { ended(ok); }
    void onBackupFinished(bool ok, std::uint32_t) override { ended(ok); }

    void awaitFirst()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return seen_; });
    }
    bool awaitEnd()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_; });
        return ok_;
    }

private:
    void progressed()
    {
        bool first = false;
        {
            std::lock_guard lock(mutex_);
            first = !std::exchange(seen_, true);
            changed_.notify_all();
        }
        if (first && abort_)
            abort_->abort();
    }
    void ended(bool ok)
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        ok_ = ok;
        changed_.notify_all();
    }

    PageInstallationLogic* abort_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool seen_ = false;
    bool finished_ = false;
    bool ok_ = false;
};

}  // namespace druvex::test
