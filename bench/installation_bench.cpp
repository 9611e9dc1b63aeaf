// A whole installation through the engine: a product of 2,000 files (about
// 200 MB, generated at run time, in four features) installed from its
// LZMA-coded archive into a device folder in tmpfs by the installation
// page's silent run (controller, installation process with its rollback
// journal, feature node writer, unpacker, host, product files), beside
// `xz --format=lzma -dc` of an LZMA-coded tar of the same files piped to
// `tar -x`. Both streams are coded by the same xz command. The time ratio
// ours / xz|tar is reported from interleaved rounds.
//
// DRUVEX_BENCH_SCALE (a fraction, default 1) scales the product down for a
// quick look while others build.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "app_base/installer_options.h"
#include "bench_device.h"
#include "controller/installer_controller.h"
#include "controller/page_installation_logic.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "engine/installation_process.h"
#include "package_writer/package_writer.h"
#include "payload/package_streams.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "platform/device_root.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFeatures = 4;
constexpr int kFoldersPerFeature = 5;
constexpr std::size_t kMeanFileSize = 100000;

using druvex::bench::fail;
using druvex::bench::run;

// Survey-job-like text: words, coordinates, line ends and a few stray bytes.
Bytes makeFile(std::mt19937& random, std::size_t size)
{
    static const std::string_view words[] = {"survey ", "point ", "station ", "level ", "\r\n",
                                             "grid ",   "north ", "east ",    "code=TP ", "height "};
    Bytes data;
    data.reserve(size + 32);
    char number[32];
    while (data.size() < size) {
        const std::string_view word = words[random() % std::size(words)];
        data.insert(data.end(), word.begin(), word.end());
        if (random() % 3 == 0) {
            const int length = std::snprintf(number, sizeof number, "%u.%03u ",
                                             static_cast<unsigned>(random() % 100000),
                                             static_cast<unsigned>(random() % 1000));
            data.insert(data.end(), number, number + length);
        }
        if (random() % 50 == 0)
            data.push_back(static_cast<std::uint8_t>(random()));
    }
    data.resize(size);
    return data;
}

std::u16string featureName(int index)
{
    const std::string name = "Part" + std::to_string(index);
    return std::u16string(name.begin(), name.end());
}

std::u16string entryName(int index)
{
    return u"Feature_" + featureName(index) + u"_1.0_.lzma";
}

class NullBuffer final : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
};

struct Setup {
    druvex::bench::ScratchFolder scratch{"installation-bench"};
    fs::path folder = scratch.path;
    fs::path device = folder / "device";
    fs::path source;
    fs::path tarStream;
    int files = 2000;
    std::uint64_t fileBytes = 0;
    // Made once the archive is written through a host of the plain file system.
    std::optional<druvex::bench::ActiveDevice> active;
    int round = 0;

    Setup()
    {
        if (const char* scale = std::getenv("DRUVEX_BENCH_SCALE"))
            files = std::max(kFeatures * kFoldersPerFeature, static_cast<int>(files * std::atof(scale)));
        source = folder / "source";
        tarStream = folder / "files.tar.lzma";
        for (const char* sub : {"Temp", "Program Files", "Windows"})
            fs::create_directories(device / "fs" / sub);
        makeSource();
        // One tree: what the engine makes of the features side by side.
        std::string parts;
        for (int feature = 0; feature < kFeatures; ++feature)
            parts += " -C '" + featureSource(feature).string() + "' .";
        run("tar -cf -" + parts + " | xz --format=lzma -1 -c > '" + tarStream.string() + "'");
        writeArchive();
        std::printf("files: %d in %d features, %llu bytes; tar stream %llu bytes\n", files, kFeatures,
                    static_cast<unsigned long long>(fileBytes),
                    static_cast<unsigned long long>(fs::file_size(tarStream)));
        active.emplace(device, std::initializer_list<const char*>{});
    }

    fs::path featureSource(int feature) const { return source / ("Part" + std::to_string(feature)); }

    void makeSource()
    {
        std::mt19937 random(42);
        for (int i = 0; i < files; ++i) {
            const int feature = i % kFeatures;
            const fs::path path = featureSource(feature) /
                                  ("part" + std::to_string(feature) + "folder" +
                                   std::to_string(i / kFeatures % kFoldersPerFeature)) /
                                  ("file" + std::to_string(i) + ".job");
            fs::create_directories(path.parent_path());
            const std::size_t size = kMeanFileSize / 5 + random() % (kMeanFileSize * 8 / 5);
            const Bytes data = makeFile(random, size);
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
            fileBytes += size;
        }
    }

    // "setup.dqres" in the device's \Temp with one xz-coded package per
    // feature (size unknown, end mark).
    void writeArchive()
    {
        struct Entry {
            Bytes packed;
            std::uint64_t unpacked;
        };
        std::vector<Entry> entries;
        for (int feature = 0; feature < kFeatures; ++feature) {
            druvex::tools::PackageWriter writer;
            std::string reason;
            if (!druvex::tools::addFolderTree(writer, featureSource(feature), u"<TARGETDIR>", reason))
                fail(reason);
            const fs::path package = folder / "package.bin";
            const fs::path packed = folder / "package.lzma";
            {
                std::ofstream out(package, std::ios::binary);
                if (!writer.write(out) || !out.flush())
                    fail("cannot write a package");
            }
            run("xz --format=lzma -1 -c '" + package.string() + "' > '" + packed.string() + "'");
            std::ifstream in(packed, std::ios::binary);
            entries.push_back({Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
                               writer.fileBytes()});
            fs::remove(package);
            fs::remove(packed);
        }
        const fs::path archive = device / "fs" / "Temp" / "setup.dqres";
        std::ofstream(archive, std::ios::binary).flush();
        auto plainHost = std::make_shared<druvex::HalAccessWinCE>();
        auto output = std::make_shared<druvex::HalFileOutputStream>();
        if (!output->openForAppend(plainHost, druvex::fromUtf8(archive.string())))
            fail("cannot open the archive");
        druvex::PayloadArchiveWriter archiveWriter(output, 0);
        int error = 0;
        for (int feature = 0; feature < kFeatures; ++feature) {
            druvex::MemoryInputStream input(entries[static_cast<std::size_t>(feature)].packed);
            const std::u16string name = entryName(feature);
            if (!archiveWriter.addEntry(druvex::SharedString(std::u16string_view(name)), druvex::kPayloadMethodLzma,
                                        input, static_cast<std::uint32_t>(entries[static_cast<std::size_t>(feature)].unpacked),
                                        error))
                fail("cannot write the archive");
        }
        if (!archiveWriter.finish(error))
            fail("cannot write the archive");
    }

    void removeHostFolder(const fs::path& target)
    {
        if (!fs::exists(target))
            return;
        fs::remove_all(target);
        druvex::DeviceRoot::instance().noteRemoved(fs::canonical(target.parent_path()).string() + "/" +
                                                   target.filename().string());
    }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

// The engine's silent run into a fresh folder; the folder is left for the caller.
fs::path installOurs()
{
    Setup& s = setup();
    const std::string name = "Ours" + std::to_string(++s.round);
    const std::u16string destination = u"\\Program Files\\" + std::u16string(name.begin(), name.end());
    druvex::InstallerOptions options;
    druvex::InstallerController controller(options, s.active->host, s.active->host);
    druvex::InstallerSettings& settings = controller.getInstallData().settings();
    settings.set(druvex::InstallerSettingKey::ProgramName, druvex::SharedString(u"Survey Pro"));
    settings.set(druvex::InstallerSettingKey::ProgramUuid, druvex::fromUtf8(name));
    settings.set(druvex::InstallerSettingKey::ProgramVersion, druvex::SharedString(u"1.0"));
    const druvex::FeaturePtr root = controller.getInstallData().featureRoot();
    for (int index = 0; index < kFeatures; ++index) {
        druvex::FeaturePtr feature = druvex::makeFeaturePtr();
        const std::u16string featureName = ::featureName(index);
        feature->setName(druvex::SharedString(std::u16string_view(featureName)));
        feature->setVersion(druvex::SharedString(u"1.0"));
        root->addSubFeature(feature);
        controller.getPackageSources().addIfAbsent(*feature, druvex::kSourceArchiveEntry,
                                                   druvex::getArchiveName(*feature, true), 1, 0);
        controller.selectFeature(feature);
    }
    int error = 0;
    if (!controller.getPayloadArchive().open(druvex::SharedString(u"\\Temp\\setup.dqres"), error))
        fail("cannot open the archive, error " + std::to_string(error));
    controller.setDestinationFolder(druvex::SharedString(std::u16string_view(destination)));
    controller.setLanguage(1033, druvex::SharedString(u"English"));
    controller.getPageSequence().buildForMode(druvex::kModeInstall);
    controller.setInstallationProcessFactory(std::make_shared<druvex::EngineProcessFactory>());

    NullBuffer nothing;
    std::ostream out(&nothing);
    druvex::PageInstallationLogic logic(controller);
    logic.setStatusOutput(&out);
    if (!logic.runUnattended())
        fail("the installation failed");
    // The product data folder goes with the round.
    druvex::SharedString dataFolder = controller.getProductDataFolder();
    std::string hostData;
    druvex::DeviceRoot::instance().toHostPath(dataFolder.view(), hostData);
    s.removeHostFolder(hostData);
    return s.device / "fs" / "Program Files" / name;
}

fs::path installXzTar()
{
    Setup& s = setup();
    const fs::path target = s.device / "fs" / "Program Files" / ("Tar" + std::to_string(++s.round));
    fs::create_directories(target);
    run("xz --format=lzma -dc '" + s.tarStream.string() + "' | tar -x -C '" + target.string() + "'");
    return target;
}

// One side's time; the folder it made is removed outside the timing.
double timedInstall(fs::path (*work)())
{
    fs::path target;
    const double seconds = druvex::bench::seconds([&] { target = work(); });
    setup().removeHostFolder(target);
    return seconds;
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    setup();
    // Once: both give the same tree (ours with its "_config.xml" beside it).
    {
        const fs::path ours = installOurs();
        const fs::path tar = installXzTar();
        run("diff -r -q -x _config.xml '" + ours.string() + "' '" + tar.string() + "'");
        setup().removeHostFolder(ours);
        setup().removeHostFolder(tar);
    }
    // Interleaved, the order alternating, so that both meet the same load.
    std::vector<double> ratios;
    for (int round = 0; round < options.rounds; ++round) {
        double ours = 0;
        double tar = 0;
        if (round % 2 == 0) {
            ours = timedInstall(installOurs);
            tar = timedInstall(installXzTar);
        } else {
            tar = timedInstall(installXzTar);
            ours = timedInstall(installOurs);
        }
        std::printf("round %d: ours %.2f s, xz | tar %.2f s\n", round + 1, ours, tar);
        ratios.push_back(ours / tar);
    }
    druvex::bench::report("installation", ratios);
    return 0;
}
