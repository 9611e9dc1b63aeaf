// A whole installation through the engine, as a user waits for it: a product
// packed by payload_tool as examples/ packs (LZMA level 5, 16 MiB dictionary)
// and shaped like a real one (one feature of about 45 % of the bytes, three
// smaller ones; a quarter of the bytes incompressible, the rest a program's
// help pages), installed from its archive into a device folder in tmpfs by
// the installation page's silent run (controller, installation process with
// its rollback journal, feature node writer, unpacker, host, product files).
// Beside it, in the same rounds:
//   the decode of its largest feature's package alone on one core, which an
//   installation of one LZMA stream a feature cannot beat (the limit row);
//   the unpacking of the same tree by the tools a user knows: xz -dc | tar -x
//   of a .tar.xz (preset 6), 7zz x of a .7z, dpkg-deb -x of a .deb, and
//   xz --format=lzma -dc | tar -x of a .tar.lzma coded with our settings (a
//   fair test of the decoder and the writes), the last also on 1 core;
//   the uninstallation of the product beside rm -rf of the same files.
// The installation and its references run on 4 cores (the process's
// affinity, which children inherit). Two more products of about 200 MB in
// four equal features, 20 files of 10 MB and 20,000 of 10 kB, give the cost
// of each extra file against 7zz's. The peak memory of the installation is
// read from a child process of its own.
//
// DRUVEX_BENCH_SCALE (a fraction, default 1) scales the products down for a
// quick look while others build. The packed inputs are kept in the data folder.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app_base/installer_options.h"
#include "bench_device.h"
#include "controller/installer_controller.h"
#include "controller/page_installation_logic.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "engine/installation_process.h"
#include "payload/lzma_decode_ahead.h"
#include "payload/payload_archive.h"
#include "payload/payload_sink.h"
#include "platform/device_root.h"
#include "platform/input_limits.h"
#include "support/system_calls.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFeatures = 4;
constexpr int kFoldersPerFeature = 5;
constexpr unsigned kCores = 4;
// The status calls (stat, lstat, fstat, statx) an uninstallation may make a file.
constexpr double kUninstallStatsPerFile = 4;

using druvex::bench::fail;
using druvex::bench::run;

std::string quoted(const fs::path& path)
{
    return "'" + path.string() + "'";
}

double scale()
{
    const char* value = std::getenv("DRUVEX_BENCH_SCALE");
    return value ? std::max(0.001, std::atof(value)) : 1.0;
}

fs::path payloadTool()
{
    const fs::path tool = fs::path(druvex::bench::selfPath()).parent_path().parent_path() / "tools" / "payload_tool";
    if (!fs::exists(tool))
        fail("payload_tool not found at " + tool.string());
    return tool;
}

std::u16string featureName(int feature)
{
    const std::string name = "Part" + std::to_string(feature);
    return std::u16string(name.begin(), name.end());
}

std::string entryName(int feature)
{
    return "Feature_Part" + std::to_string(feature) + "_1.0_.lzma";
}

// One product: its files in four features, the same tree once more as one
// folder, its archive in the device's \Temp\<name>, and the references'
// archives of the tree.
struct Product {
    Product(std::string productName, int fileCount, std::size_t fileSize, bool sameSize, bool shapedAsReal)
        : name(std::move(productName)), files(fileCount), meanSize(fileSize), exactSize(sameSize), real(shapedAsReal)
    {
    }

    std::string name;
    int files = 0;
    std::size_t meanSize = 0;
    // Every file of meanSize, or of a fifth to nine fifths of it.
    bool exactSize = false;
    // Feature 0 takes 9 files in 20 (about 45 % of the bytes), the others a
    // third of the rest each; else the four are alike.
    bool real = false;

    fs::path folder;
    std::uint64_t fileBytes = 0;
    std::uint64_t featureBytes[kFeatures] = {};
    std::map<std::string, fs::path> references;

    fs::path featureFolder(int feature) const { return folder / "features" / ("Part" + std::to_string(feature)); }
    fs::path tree() const { return folder / "tree"; }

    int featureOf(int file) const
    {
        if (!real)
            return file % kFeatures;
        const int place = file % 20;
        return place < 9 ? 0 : 1 + (place - 9) % (kFeatures - 1);
    }

    void prepare(const druvex::bench::Options& options, const fs::path& scratch, const fs::path& device)
    {
        folder = scratch / name;
        makeFiles();
        const std::string tag = "installation-" + name + "-" + std::to_string(files) + "-v4";
        const fs::path archive = druvex::bench::cachedInput(options, scratch, tag + ".dqres", [&](const fs::path& path) {
            std::string command = quoted(payloadTool()) + " create " + quoted(path);
            for (int feature = 0; feature < kFeatures; ++feature)
                command += " 'package:" + entryName(feature) + "=" + featureFolder(feature).string() + "'";
            run(command + " > /dev/null");
        });
        fs::create_directories(device / "fs" / "Temp" / name);
        fs::copy_file(archive, device / "fs" / "Temp" / name / "setup.dqres", fs::copy_options::overwrite_existing);
        const std::string tar = "tar -C " + quoted(tree()) + " -cf - .";
        references["7z"] = druvex::bench::cachedInput(options, scratch, tag + ".7z", [&](const fs::path& path) {
            run("cd " + quoted(tree()) + " && 7zz a -bso0 -bsp0 " + quoted(path) + " .");
        });
        if (!real)
            return;
        references["lzma"] = druvex::bench::cachedInput(options, scratch, tag + ".tar.lzma", [&](const fs::path& path) {
            run(tar + " | xz --format=lzma --lzma1=preset=5,dict=16MiB -T1 -c > " + quoted(path));
        });
        references["xz"] = druvex::bench::cachedInput(options, scratch, tag + ".tar.xz", [&](const fs::path& path) {
            run(tar + " | xz -6 -T1 -c > " + quoted(path));
        });
        references["deb"] = druvex::bench::cachedInput(options, scratch, tag + ".deb", [&](const fs::path& path) {
            const fs::path root = folder / "deb";
            fs::create_directories(root / "DEBIAN");
            std::ofstream(root / "DEBIAN" / "control")
                << "Package: survey-bench\nVersion: 1.0\nArchitecture: all\nMaintainer: bench <bench@localhost>\n"
                   "Description: benchmark tree\n";
            run("cp -al " + quoted(tree()) + "/. " + quoted(root));
            run("dpkg-deb -Zxz --build " + quoted(root) + " " + quoted(path) + " > /dev/null");
            fs::remove_all(root);
        });
    }

    void makeFiles()
    {
        druvex::bench::ContentMaker maker;
        int ofFeature[kFeatures] = {};
        for (int i = 0; i < files; ++i) {
            const int feature = featureOf(i);
            const int index = ofFeature[feature]++;
            const bool packed = index % 4 == 3;
            const fs::path relative =
                fs::path("part" + std::to_string(feature) + "folder" + std::to_string(index % kFoldersPerFeature)) /
                ((packed ? "data" : "page") + std::to_string(i) + (packed ? ".dat" : ".htm"));
            const std::size_t size =
                exactSize ? meanSize : meanSize / 5 + maker.random()() % (meanSize * 8 / 5);
            const fs::path path = featureFolder(feature) / relative;
            fs::create_directories(path.parent_path());
            // Every fourth file of each feature does not compress: a quarter
            // of the bytes of every feature.
            druvex::bench::writeWhole(path, packed ? maker.incompressible(size) : maker.helpPages(size));
            fs::create_directories((tree() / relative).parent_path());
            fs::create_hard_link(path, tree() / relative);
            fileBytes += size;
            featureBytes[feature] += size;
        }
        std::printf("product %s: %d files in %d features, %llu bytes, the largest feature %.0f %%\n", name.c_str(),
                    files, kFeatures, static_cast<unsigned long long>(fileBytes),
                    100.0 * static_cast<double>(*std::max_element(featureBytes, featureBytes + kFeatures)) /
                        static_cast<double>(fileBytes));
    }

    int largestFeature() const
    {
        return static_cast<int>(std::max_element(featureBytes, featureBytes + kFeatures) - featureBytes);
    }
};

class NullBuffer final : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

// The engine's silent run of the product in \Temp\<product> on the active
// device, installing into \Program Files\<destination> (the product's
// uuid too, which names its data folder) or uninstalling what is installed
// there. Gives the host path of the product's data folder.
std::string runOurs(const std::shared_ptr<druvex::HalAccessWinCE>& host, const std::string& product,
                    const std::string& destination, druvex::WizardMode mode)
{
    druvex::InstallerOptions options;
    druvex::InstallerController controller(options, host, host);
    druvex::InstallerSettings& settings = controller.getInstallData().settings();
    settings.set(druvex::InstallerSettingKey::ProgramName, druvex::SharedString(u"Survey Pro"));
    settings.set(druvex::InstallerSettingKey::ProgramUuid, druvex::fromUtf8(destination));
    settings.set(druvex::InstallerSettingKey::ProgramVersion, druvex::SharedString(u"1.0"));
    const druvex::FeaturePtr root = controller.getInstallData().featureRoot();
    std::vector<druvex::FeaturePtr> features;
    for (int index = 0; index < kFeatures; ++index) {
        druvex::FeaturePtr feature = druvex::makeFeaturePtr();
        const std::u16string name = featureName(index);
        feature->setName(druvex::SharedString(std::u16string_view(name)));
        feature->setVersion(druvex::SharedString(u"1.0"));
        root->addSubFeature(feature);
        controller.getPackageSources().addIfAbsent(*feature, druvex::kSourceArchiveEntry,
                                                   druvex::getArchiveName(*feature, true), 1, 0);
        features.push_back(feature);
    }
    int error = 0;
    if (!controller.getPayloadArchive().open(druvex::fromUtf8("\\Temp\\" + product + "\\setup.dqres"), error))
        fail("cannot open the archive, error " + std::to_string(error));
    controller.setDestinationFolder(druvex::fromUtf8("\\Program Files\\" + destination));
    controller.setLanguage(1033, druvex::SharedString(u"English"));
    if (!controller.loadInstalledLog() && mode == druvex::kModeUninstall)
        fail("no installed log of " + destination);
    controller.getPageSequence().buildForMode(mode);
    if (mode == druvex::kModeInstall) {
        for (const druvex::FeaturePtr& feature : features)
            controller.selectFeature(feature);
    }
    controller.setInstallationProcessFactory(std::make_shared<druvex::EngineProcessFactory>());

    NullBuffer nothing;
    std::ostream out(&nothing);
    druvex::PageInstallationLogic logic(controller);
    logic.setStatusOutput(&out);
    if (!logic.runUnattended())
        fail(mode == druvex::kModeInstall ? "the installation failed" : "the uninstallation failed");
    std::string dataFolder;
    druvex::DeviceRoot::instance().toHostPath(controller.getProductDataFolder().view(), dataFolder);
    return dataFolder;
}

// An installation whose product data folder goes again afterwards.
void installOurs(const std::shared_ptr<druvex::HalAccessWinCE>& host, const std::string& product,
                 const std::string& destination)
{
    fs::remove_all(runOurs(host, product, destination, druvex::kModeInstall));
}

// The decoded bytes of an entry, counted and dropped.
class CountingSink final : public druvex::PayloadSink {
public:
    void begin(std::uint32_t, std::uint32_t) override {}
    bool write(std::uint32_t size, const std::uint8_t*) override
    {
        bytes += size;
        return true;
    }
    bool finish() override { return true; }
    std::uint64_t bytes = 0;
};

class Bench {
public:
    explicit Bench(const druvex::bench::Options& options) : options_(options)
    {
        const double factor = scale();
        products_.emplace_back("2000", std::max(20, static_cast<int>(2000 * factor)), 100000, false, true);
        products_.emplace_back("20", 20, static_cast<std::size_t>(10000000 * factor), true, false);
        products_.emplace_back("20000", std::max(kFeatures * kFoldersPerFeature, static_cast<int>(20000 * factor)),
                               10000, true, false);
        for (const char* sub : {"Temp", "Program Files", "Windows"})
            fs::create_directories(device_ / "fs" / sub);
        for (Product& product : products_)
            product.prepare(options, scratch_.path, device_);
        active_.emplace(device_, std::initializer_list<const char*>{});
    }

    Product& product(const std::string& name)
    {
        for (Product& product : products_) {
            if (product.name == name)
                return product;
        }
        fail("no product " + name);
    }

    // One side of a round: its time, the folder it made removed after it.
    double ours(const Product& product)
    {
        const std::string name = "Ours" + std::to_string(++round_);
        const double time = druvex::bench::seconds([&] { installOurs(active_->host, product.name, name); });
        remove(device_ / "fs" / "Program Files" / name);
        return time;
    }
    // The decode of the product's largest package on one core, into nothing.
    double decodeAlone(const Product& product)
    {
        druvex::bench::useCores(1);
        druvex::PayloadArchive archive(*active_->host);
        int error = 0;
        if (!archive.open(druvex::fromUtf8("\\Temp\\" + product.name + "\\setup.dqres"), error))
            fail("cannot open the archive, error " + std::to_string(error));
        CountingSink sink;
        const double time = druvex::bench::seconds([&] {
            if (!archive.extract(druvex::fromUtf8(entryName(product.largestFeature())), sink))
                fail("the largest package does not decode");
        });
        druvex::bench::useCores(kCores);
        return time;
    }
    // The uninstallation of the product installed just before (untimed).
    double uninstall(const Product& product)
    {
        const std::string name = "Uninstall" + std::to_string(++round_);
        const std::string dataFolder = runOurs(active_->host, product.name, name, druvex::kModeInstall);
        const double time =
            druvex::bench::seconds([&] { runOurs(active_->host, product.name, name, druvex::kModeUninstall); });
        if (fs::exists(device_ / "fs" / "Program Files" / name) || fs::exists(dataFolder))
            fail("the uninstallation left " + name + " behind");
        return time;
    }
    // rm -rf of a copy of the product's tree (the copy untimed).
    double removeCopy(const Product& product)
    {
        const fs::path target = device_ / "fs" / "Program Files" / ("Copy" + std::to_string(++round_));
        run("cp -r " + quoted(product.tree()) + " " + quoted(target));
        const double time = druvex::bench::seconds([&] { run("rm -rf " + quoted(target)); });
        druvex::DeviceRoot::instance().noteRemoved(fs::canonical(target.parent_path()).string() + "/" +
                                                   target.filename().string());
        return time;
    }
    double theirs(const std::string& command)
    {
        const fs::path target = device_ / "fs" / "Program Files" / ("Ref" + std::to_string(++round_));
        fs::create_directories(target);
        const std::string line = withTarget(command, target);
        const double time = druvex::bench::seconds([&] { run(line); });
        remove(target);
        return time;
    }

    // Once: ours and the references give the product's tree (ours with its
    // "_config.xml" beside it).
    void checkTrees(const Product& product)
    {
        const std::string name = "Check" + std::to_string(++round_);
        installOurs(active_->host, product.name, name);
        const fs::path target = device_ / "fs" / "Program Files" / name;
        run("diff -r -q -x _config.xml " + quoted(product.tree()) + " " + quoted(target));
        remove(target);
        for (const auto& [kind, reference] : product.references) {
            const fs::path other = device_ / "fs" / "Program Files" / ("Check" + std::to_string(++round_));
            fs::create_directories(other);
            run(withTarget(command(product, kind), other));
            run("diff -r -q " + quoted(product.tree()) + " " + quoted(other));
            remove(other);
        }
    }

    static std::string withTarget(std::string command, const fs::path& target)
    {
        return command.replace(command.find("TARGET"), 6, quoted(target));
    }

    // The reference's command line, TARGET standing for the folder it fills.
    static std::string command(const Product& product, const std::string& kind)
    {
        const fs::path& file = product.references.at(kind);
        if (kind == "7z")
            return "7zz x -bso0 -bsp0 -y -oTARGET " + quoted(file);
        if (kind == "deb")
            return "dpkg-deb -x " + quoted(file) + " TARGET";
        if (kind == "lzma")
            return "xz --format=lzma -dc " + quoted(file) + " | tar -x -C TARGET";
        return "xz -dc " + quoted(file) + " | tar -x -C TARGET";
    }

    // Runs the sides in turn, starting with another one each round so that
    // none always meets a warm cache or the same moment of the machine's load.
    static std::vector<double> rotated(int round, const std::vector<std::function<double()>>& sides)
    {
        std::vector<double> times(sides.size());
        for (std::size_t i = 0; i < sides.size(); ++i) {
            const std::size_t side = (i + static_cast<std::size_t>(round)) % sides.size();
            times[side] = sides[side]();
        }
        return times;
    }

    void remove(const fs::path& target)
    {
        if (!fs::exists(target))
            return;
        fs::remove_all(target);
        druvex::DeviceRoot::instance().noteRemoved(fs::canonical(target.parent_path()).string() + "/" +
                                                   target.filename().string());
    }

    const fs::path& device() const { return device_; }
    void deactivate() { active_.reset(); }

private:
    druvex::bench::Options options_;
    druvex::bench::ScratchFolder scratch_{"installation-bench"};
    fs::path device_ = scratch_.path / "device";
    std::vector<Product> products_;
    std::optional<druvex::bench::ActiveDevice> active_;
    int round_ = 0;
};

// The bound of the installation's memory in MiB: 64 for the buffers and the
// program, and a dictionary (16 MiB as packed) and its fixed buffers (input,
// chunks) a decoder.
double memoryBoundMegabytes(unsigned decoders)
{
    const double fixedBuffers = (65536.0 + 2.0 * druvex::kDecodeAheadChunkBytes) / (1 << 20);
    return 64.0 + decoders * (16.0 + fixedBuffers);
}

}  // namespace

int main(int argc, char** argv)
{
    // The lean child whose peak memory is read: install-child DEVICE PRODUCT DESTINATION.
    if (argc == 5 && std::string_view(argv[1]) == "install-child") {
        druvex::bench::ActiveDevice device(argv[2], {});
        installOurs(device.host, argv[3], argv[4]);
        return 0;
    }
    // The child whose uninstallation's system calls are counted:
    // uninstall-child DEVICE PRODUCT DESTINATION.
    if (argc == 5 && std::string_view(argv[1]) == "uninstall-child") {
        druvex::bench::ActiveDevice device(argv[2], {});
        runOurs(device.host, argv[3], argv[4], druvex::kModeInstall);
        druvex::test::toggleSystemCallCount();
        runOurs(device.host, argv[3], argv[4], druvex::kModeUninstall);
        druvex::test::toggleSystemCallCount();
        return 0;
    }
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    druvex::bench::useCores(kCores);
    Bench bench(options);
    for (const char* name : {"2000", "20", "20000"})
        bench.checkTrees(bench.product(name));

    Product& standard = bench.product("2000");
    std::vector<double> toLimit, toXz, to7zz, toDeb, toLzma;
    for (int round = 0; round < options.rounds; ++round) {
        const std::vector<double> t = Bench::rotated(
            round, {[&] { return bench.ours(standard); }, [&] { return bench.decodeAlone(standard); },
                    [&] { return bench.theirs(Bench::command(standard, "xz")); },
                    [&] { return bench.theirs(Bench::command(standard, "7z")); },
                    [&] { return bench.theirs(Bench::command(standard, "deb")); },
                    [&] { return bench.theirs(Bench::command(standard, "lzma")); }});
        std::printf("2,000 files, %u cores: ours %.2f s, the largest package alone on 1 core %.2f s, xz | tar %.2f s, "
                    "7zz x %.2f s, dpkg-deb -x %.2f s, lzma | tar %.2f s\n",
                    kCores, t[0], t[1], t[2], t[3], t[4], t[5]);
        toLimit.push_back(t[0] / t[1]);
        toXz.push_back(t[0] / t[2]);
        to7zz.push_back(t[0] / t[3]);
        toDeb.push_back(t[0] / t[4]);
        toLzma.push_back(t[0] / t[5]);
    }
    druvex::bench::report("installation_limit", toLimit);
    druvex::bench::report("installation", toXz);
    druvex::bench::report("installation_7zz", to7zz);
    druvex::bench::report("installation_deb", toDeb);
    druvex::bench::report("installation_lzma", toLzma);

    std::vector<double> toRemove;
    for (int round = 0; round < options.rounds; ++round) {
        const std::vector<double> t = Bench::rotated(
            round, {[&] { return bench.uninstall(standard); }, [&] { return bench.removeCopy(standard); }});
        std::printf("uninstallation of 2,000 files: ours %.3f s, rm -rf %.3f s\n", t[0], t[1]);
        toRemove.push_back(t[0] / t[1]);
    }
    druvex::bench::report("uninstallation", toRemove);

    // Counted once: the calls do not vary from run to run.
    const druvex::test::SystemCallCounts calls = druvex::test::countSystemCallsOf(
        {druvex::bench::selfPath(), "uninstall-child", bench.device().string(), standard.name, "Counted"});
    if (!calls.traced)
        fail("the uninstallation's system calls could not be counted (status " + std::to_string(calls.exitStatus) +
             ")");
    const double statsPerFile = static_cast<double>(calls.stats()) / standard.files;
    std::printf("uninstallation of %d files: %ld system calls, %.2f status calls a file\n", standard.files,
                calls.total(), statsPerFile);
    druvex::bench::report("uninstallation_stats", {statsPerFile / kUninstallStatsPerFile});

    Product& few = bench.product("20");
    Product& many = bench.product("20000");
    std::vector<double> fewTo7zz, manyTo7zz, fileCost;
    for (int round = 0; round < options.rounds; ++round) {
        const std::vector<double> t = Bench::rotated(
            round, {[&] { return bench.ours(few); }, [&] { return bench.theirs(Bench::command(few, "7z")); },
                    [&] { return bench.ours(many); }, [&] { return bench.theirs(Bench::command(many, "7z")); }});
        const double extraFiles = static_cast<double>(many.files - few.files);
        std::printf("%d files: ours %.2f s, 7zz x %.2f s; %d files: ours %.2f s, 7zz x %.2f s; per extra file: "
                    "ours %.1f us, 7zz x %.1f us\n",
                    few.files, t[0], t[1], many.files, t[2], t[3], (t[2] - t[0]) / extraFiles * 1e6,
                    (t[3] - t[1]) / extraFiles * 1e6);
        fewTo7zz.push_back(t[0] / t[1]);
        manyTo7zz.push_back(t[2] / t[3]);
        fileCost.push_back((t[2] - t[0]) / (t[3] - t[1]));
    }
    druvex::bench::report("installation_20_files", fewTo7zz);
    druvex::bench::report("installation_20000_files", manyTo7zz);
    druvex::bench::report("installation_file_cost", fileCost);

    std::vector<double> memory;
    for (int round = 0; round < options.rounds; ++round) {
        const std::string destination = "Child" + std::to_string(round);
        const double peak = druvex::bench::peakMegabytes(
            {{{druvex::bench::selfPath(), "install-child", bench.device().string(), standard.name, destination}}});
        bench.remove(bench.device() / "fs" / "Program Files" / destination);
        std::printf("peak memory of the installation on %u cores: %.1f MB, bound %.1f MB\n", kCores, peak,
                    memoryBoundMegabytes(kCores));
        memory.push_back(peak / memoryBoundMegabytes(kCores));
    }
    druvex::bench::report("installation_memory", memory);

    // One core: the installation as it ran before it decoded ahead.
    druvex::bench::useCores(1);
    std::vector<double> oneCore;
    for (int round = 0; round < options.rounds; ++round) {
        const std::vector<double> t = Bench::rotated(
            round, {[&] { return bench.ours(standard); }, [&] { return bench.theirs(Bench::command(standard, "lzma")); }});
        std::printf("2,000 files, 1 core: ours %.2f s, lzma | tar %.2f s\n", t[0], t[1]);
        oneCore.push_back(t[0] / t[1]);
    }
    druvex::bench::report("installation_1_core", oneCore);
    bench.deactivate();
    return 0;
}
