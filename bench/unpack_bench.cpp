// Unpacking feature packages from an LZMA-coded archive entry into a device
// folder in tmpfs, through PayloadArchive, PackageUnpacker and the engine's
// HostNodeWriter, beside `xz --format=lzma -dc` of an LZMA-coded tar of the
// same files piped to `tar -x`. Both streams are coded as our archive writer
// codes (level 5, 16 MiB dictionary). Two measures:
//   install        the time of a 2,000-file install (about 40 MB), interleaved;
//   unpack_memory  the peak memory of unpacking 50,000 small files, ours in a
//                  child process of its own, the pipeline's two processes added.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "data/content_tree.h"
#include "engine/host_node_writer.h"
#include "fileutil/file_util.h"
#include "host/wince_hal_access.h"
#include "package_writer/package_writer.h"
#include "payload/entry_encoder.h"
#include "payload/package_streams.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "platform/device_config.h"
#include "platform/device_root.h"

namespace {

namespace fs = std::filesystem;
using druvex::bench::Bytes;

// "<TARGETDIR>" resolves to one folder; the rest of a node's path is joined to it.
class TargetResolver final : public druvex::PackagePathResolver {
public:
    druvex::SharedString target;

    druvex::SharedString resolveQualifiedHostPath(const druvex::ContentItem& node) override
    {
        druvex::SharedString top;
        druvex::SharedString rest;
        node.splitTopFolder(top, rest);
        if (top.view() != u"<TARGETDIR>")
            return {};
        return rest.isEmpty() ? target : druvex::joinPath(target, rest);
    }
};

druvex::SharedString hostText(const fs::path& path)
{
    return druvex::fromUtf8(path.string());
}

// One package: its source folder, its archive in a device's \Temp and the tar
// stream of the same files.
struct Workload {
    Workload(const char* tag, int fileCount, int folderSize, std::size_t meanFileSize)
        : name(tag), files(fileCount), filesPerFolder(folderSize), meanSize(meanFileSize)
    {
    }

    const char* name;
    int files;
    int filesPerFolder;
    std::size_t meanSize;

    fs::path device;
    fs::path source;
    fs::path tarStream;
    std::uint64_t fileBytes = 0;
    int round = 0;

    void prepare(const druvex::bench::Options& options, const fs::path& scratch)
    {
        device = scratch / name / "device";
        source = scratch / name / "source";
        fs::create_directories(device / "fs" / "Temp");
        fs::create_directories(device / "fs" / "Program Files");
        druvex::bench::ContentMaker maker;
        for (int i = 0; i < files; ++i) {
            const fs::path path =
                source / ("folder" + std::to_string(i / filesPerFolder)) / ("file" + std::to_string(i) + ".job");
            fs::create_directories(path.parent_path());
            const std::size_t size = meanSize / 5 + maker.random()() % (meanSize * 8 / 5);
            druvex::bench::writeWhole(path, maker.file(i, size));
            fileBytes += size;
        }
        const std::string tag = std::string(name) + "-v1";
        const fs::path packageStream =
            druvex::bench::cachedInput(options, scratch, tag + ".package.lzma", [&](const fs::path& path) {
                druvex::tools::PackageWriter writer;
                std::string reason;
                if (!druvex::tools::addFolderTree(writer, source, u"<TARGETDIR>", reason))
                    druvex::bench::fail(reason);
                encodeTo(writer.build(), path);
            });
        tarStream = druvex::bench::cachedInput(options, scratch, tag + ".tar.lzma", [&](const fs::path& path) {
            const fs::path tar = scratch / (tag + ".tar");
            druvex::bench::run("tar -C '" + source.string() + "' -cf '" + tar.string() + "' .");
            encodeTo(druvex::bench::readWhole(tar), path);
            fs::remove(tar);
        });
        writeArchive(packageStream);
        std::printf("%s: %d files, %llu bytes; package entry %llu bytes, tar stream %llu bytes\n", name, files,
                    static_cast<unsigned long long>(fileBytes),
                    static_cast<unsigned long long>(fs::file_size(packageStream)),
                    static_cast<unsigned long long>(fs::file_size(tarStream)));
    }

    static void encodeTo(const Bytes& data, const fs::path& path)
    {
        Bytes packed;
        if (data.empty() || !druvex::encodeLzmaEntry(data, packed))
            druvex::bench::fail("cannot code " + path.string());
        druvex::bench::writeWhole(path, packed);
    }

    // "setup.dqres" in the device's \Temp, whose entry "Feature/Main" holds the package.
    void writeArchive(const fs::path& packageStream)
    {
        const Bytes packed = druvex::bench::readWhole(packageStream);
        const fs::path archive = device / "fs" / "Temp" / "setup.dqres";
        druvex::bench::writeWhole(archive, {});
        auto host = std::make_shared<druvex::HalAccessWinCE>();
        auto output = std::make_shared<druvex::HalFileOutputStream>();
        if (!output->openForAppend(host, hostText(archive)))
            druvex::bench::fail("cannot open the archive");
        druvex::PayloadArchiveWriter archiveWriter(output, 0);
        druvex::MemoryInputStream input(packed);
        int error = 0;
        if (!archiveWriter.addEntry(druvex::SharedString(u"Feature/Main"), druvex::kPayloadMethodLzma, input,
                                    static_cast<std::uint32_t>(fileBytes), error) ||
            !archiveWriter.finish(error))
            druvex::bench::fail("cannot write the archive");
    }

    // A fresh target folder name below \Program Files.
    std::string freshTarget(const char* what) { return std::string(what) + std::to_string(++round); }
    fs::path hostTarget(const std::string& target) const { return device / "fs" / "Program Files" / target; }

    void removeTarget(const std::string& target)
    {
        if (target.empty())
            return;
        const fs::path path = hostTarget(target);
        fs::remove_all(path);
        if (!druvex::DeviceRoot::instance().isIdentity())
            druvex::DeviceRoot::instance().noteRemoved(fs::canonical(path.parent_path()).string() + "/" + target);
    }

    void unpackXzTar(const std::string& target) const
    {
        fs::create_directories(hostTarget(target));
        druvex::bench::run("xz --format=lzma -dc '" + tarStream.string() + "' | tar -x -C '" +
                           hostTarget(target).string() + "'");
    }
};

// Our unpacking of \Temp\setup.dqres into \Program Files\<target> on the active device.
void unpackOurs(const std::string& target)
{
    auto host = std::make_shared<druvex::HalAccessWinCE>();
    druvex::PayloadArchive archive(*host);
    int error = 0;
    if (!archive.open(druvex::SharedString(u"\\Temp\\setup.dqres"), error))
        druvex::bench::fail("cannot open the archive, error " + std::to_string(error));
    TargetResolver resolver;
    resolver.target = druvex::fromUtf8("\\Program Files\\" + target);
    druvex::HostNodeWriter writer(host);
    druvex::PackageUnpacker unpacker(&resolver, writer, *host);
    if (!archive.extract(druvex::SharedString(u"Feature/Main"), unpacker))
        druvex::bench::fail("the package did not unpack");
}

void activate(const fs::path& device)
{
    druvex::DeviceConfig config;
    config.deviceDirectory = device.string();
    std::string error;
    if (!druvex::activateDevice(config, &error))
        druvex::bench::fail("cannot activate the device: " + error);
}

Workload g_install{"install-2000", 2000, 100, 20000};
Workload g_many{"unpack-50000", 50000, 40, 200};

void BM_UnpackPackage(benchmark::State& state)
{
    for (auto _ : state) {
        const std::string target = g_install.freshTarget("Ours");
        unpackOurs(target);
        state.PauseTiming();
        g_install.removeTarget(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_install.fileBytes));
}
BENCHMARK(BM_UnpackPackage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_XzTar(benchmark::State& state)
{
    for (auto _ : state) {
        const std::string target = g_install.freshTarget("Tar");
        g_install.unpackXzTar(target);
        state.PauseTiming();
        g_install.removeTarget(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * g_install.fileBytes));
}
BENCHMARK(BM_XzTar)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    // The lean child whose peak memory is measured: unpack-child DEVICE TARGET.
    if (argc == 4 && std::string_view(argv[1]) == "unpack-child") {
        activate(argv[2]);
        unpackOurs(argv[3]);
        return 0;
    }
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    druvex::bench::ScratchFolder scratch("unpack-bench");
    g_install.prepare(options, scratch.path);
    g_many.prepare(options, scratch.path);

    activate(g_install.device);
    {
        // Once: both give the source tree.
        const std::string ours = g_install.freshTarget("Ours");
        const std::string tar = g_install.freshTarget("Tar");
        unpackOurs(ours);
        g_install.unpackXzTar(tar);
        druvex::bench::run("diff -r -q '" + g_install.source.string() + "' '" + g_install.hostTarget(ours).string() + "'");
        druvex::bench::run("diff -r -q '" + g_install.source.string() + "' '" + g_install.hostTarget(tar).string() + "'");
        g_install.removeTarget(ours);
        g_install.removeTarget(tar);
    }
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    std::string ours, tar;
    const std::vector<double> times = druvex::bench::interleaved(
        options.rounds,
        [&] {
            g_install.removeTarget(ours);
            ours = g_install.freshTarget("Ours");
            unpackOurs(ours);
        },
        [&] {
            g_install.removeTarget(tar);
            tar = g_install.freshTarget("Tar");
            g_install.unpackXzTar(tar);
        });
    druvex::deactivateDevice();
    druvex::bench::report("install", times);

    std::vector<double> memory;
    for (int round = 0; round < options.rounds; ++round) {
        const std::string mine = g_many.freshTarget("Ours");
        const std::string theirs = g_many.freshTarget("Tar");
        fs::create_directories(g_many.hostTarget(theirs));
        const double oursPeak =
            druvex::bench::peakMegabytes({{{druvex::bench::selfPath(), "unpack-child", g_many.device.string(), mine}}});
        const double theirsPeak = druvex::bench::peakMegabytes(
            {{{"xz", "--format=lzma", "-dc", g_many.tarStream.string()}},
             {{"tar", "-x", "-C", g_many.hostTarget(theirs).string()}}});
        std::printf("50,000 files: peak ours %.1f MB, xz | tar %.1f MB\n", oursPeak, theirsPeak);
        memory.push_back(oursPeak / theirsPeak);
        fs::remove_all(g_many.hostTarget(mine));
        fs::remove_all(g_many.hostTarget(theirs));
    }
    druvex::bench::report("unpack_memory", memory);
    return 0;
}
