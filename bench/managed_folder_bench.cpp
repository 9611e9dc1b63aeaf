// The clean-up of a managed folder by the feature node writer at two sizes ten
// times apart: a folder of N files of which half are listed by an installed
// log that holds 2N file names (so that both the folder and the log grow), on
// a device folder in tmpfs. Each round makes a new writer, so the cost holds
// the gathering of the installed names too. Prints the cost per file of each
// size and reports their ratio for scripts/bench (the cost per file must not
// grow with the size).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench_device.h"
#include "controller/log_only_ui_callback.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "engine/feature_install_run.h"
#include "engine/feature_node_writer.h"
#include "engine/host_node_writer.h"
#include "engine/install_plan.h"
#include "fileutil/file_util.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSmall = 1000;
constexpr int kLarge = 10000;

using druvex::bench::fail;

// The run as the clean-up needs it: the target host and the installed log.
class BenchRun final : public druvex::FeatureInstallRun {
public:
    BenchRun(std::shared_ptr<druvex::HalAccess> host, std::shared_ptr<druvex::InstalledLog> log)
        : host_(std::move(host)), log_(std::move(log))
    {
    }

    void waitIfPausedAndCheckCanceled(bool& canceled) override { canceled = false; }
    bool processQueuedRequests() override { return true; }
    void reportDownloadProgress(const druvex::SharedString&, std::uint64_t) override {}
    void addEstimateSample(std::uint64_t) override {}
    bool closeLockingProcesses(const std::vector<druvex::LockingProcess>&) override { return false; }
    void waitMilliseconds(std::uint32_t) override {}
    bool hasAdministratorRights() const override { return true; }
    std::shared_ptr<druvex::HalAccess> getHalIn() const override { return host_; }
    std::shared_ptr<druvex::HalAccess> getHalOut() const override { return host_; }
    std::shared_ptr<druvex::HalAccess> getHalOutElevated() const override { return host_; }
    bool isDesktopTarget() const override { return false; }
    bool isRebootRequired() const override { return false; }
    void setRebootRequired() override {}
    std::shared_ptr<druvex::InstallerUiCallback> getUiCallback() const override { return callback_; }
    std::shared_ptr<druvex::InstalledLog> getInstalledLog() const override { return log_; }
    std::shared_ptr<druvex::LanguageTemplate> findLanguageTemplate(const druvex::Feature&) const override
    {
        return nullptr;
    }
    druvex::SharedString getDestinationFolder() const override { return druvex::SharedString(u"\\Program Files"); }
    druvex::SharedString resolveHostPath(const druvex::SharedString& folder, const druvex::SharedString& name) override
    {
        return druvex::joinPath(folder, name);
    }

private:
    std::shared_ptr<druvex::HalAccess> host_;
    std::shared_ptr<druvex::InstalledLog> log_;
    std::shared_ptr<druvex::InstallerUiCallback> callback_ = std::make_shared<druvex::LogOnlyUiCallback>(nullptr);
};

std::string fileName(int i)
{
    return "file" + std::to_string(i) + ".dat";
}

// The installed log: the even files of the managed folder, and as many names
// again in another folder.
std::shared_ptr<druvex::InstalledLog> installedLog(const std::string& managed, int files)
{
    auto log = std::make_shared<druvex::InstalledLog>();
    auto feature = druvex::makeFeaturePtr();
    feature->setName(druvex::SharedString(u"Feature/Main"));
    auto folder = std::make_shared<druvex::ContentFolder>(druvex::SharedString(u"<TARGETDIR>"));
    for (int i = 0; i < files; i += 2)
        folder->addChild(std::make_shared<druvex::ContentFile>(
            druvex::fromUtf8("/Program Files/" + managed + "/" + fileName(i))));
    for (int i = 0; i < files + files / 2; ++i)
        folder->addChild(std::make_shared<druvex::ContentFile>(
            druvex::fromUtf8("/Program Files/Elsewhere/" + fileName(i))));
    feature->clearContent();
    feature->addContent(folder);
    log->addFeature(feature);
    return log;
}

// Seconds per file of one clean-up of a folder of `files` files, the median
// of the rounds.
double costPerFile(const druvex::bench::ActiveDevice& device, const fs::path& deviceFolder, int files, int rounds)
{
    const std::string managed = "Managed" + std::to_string(files);
    const fs::path hostFolder = deviceFolder / "fs" / "Program Files" / managed;
    const auto log = installedLog(managed, files);
    const druvex::SharedString path = druvex::fromUtf8("\\Program Files\\" + managed);
    std::vector<double> costs;
    for (int round = 0; round < rounds; ++round) {
        fs::create_directories(hostFolder);
        for (int i = 0; i < files; ++i) {
            if (!fs::exists(hostFolder / fileName(i)))
                std::ofstream(hostFolder / fileName(i)) << "x";
        }
        BenchRun run(device.host, log);
        druvex::HostNodeWriter nodeWriter(device.host);
        druvex::InstallPlan plan;
        druvex::ItemObserver observer;
        druvex::FeatureNodeWriter writer(nodeWriter, run, plan, observer, druvex::makeFeaturePtr(), true);
        druvex::ContentFolder node(u"managed");
        node.setFlags(druvex::kContentFlagManagedFolder);
        const auto start = Clock::now();
        if (!writer.createFolder(&node, path))
            fail("the managed folder was not made");
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const auto left = std::distance(fs::directory_iterator(hostFolder), fs::directory_iterator());
        if (left != files / 2)
            fail("the clean-up left " + std::to_string(left) + " of " + std::to_string(files) + " files");
        costs.push_back(seconds / files);
    }
    std::sort(costs.begin(), costs.end());
    return costs[costs.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    const int rounds = std::max(1, options.rounds);
    const druvex::bench::ScratchFolder folder("managed-bench");
    const druvex::bench::ActiveDevice device(folder.path, {"Program Files"});
    const double small = costPerFile(device, folder.path, kSmall, rounds);
    const double large = costPerFile(device, folder.path, kLarge, rounds);
    std::printf("managed-folder clean-up, %d files: %.2f us per file\n", kSmall, small * 1e6);
    std::printf("managed-folder clean-up, %d files: %.2f us per file\n", kLarge, large * 1e6);
    druvex::bench::report("managed_folder_growth", {large / small});
    return 0;
}
