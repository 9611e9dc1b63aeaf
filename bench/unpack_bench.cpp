// Unpacking a feature package of 2,000 files (about 200 MB, generated at run
// time) from an LZMA-coded archive entry into a device folder in tmpfs,
// through PayloadArchive, PackageUnpacker and the engine's HostNodeWriter,
// beside `xz --format=lzma -dc` of an LZMA-coded tar of the same files piped
// to `tar -x`. Both streams are coded by the same xz command. After the
// runs the time ratio ours / xz|tar is printed (goal: at most 1.2), from
// interleaved rounds so that both meet the same load.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "data/content_tree.h"
#include "fileutil/file_util.h"
#include "engine/host_node_writer.h"
#include "host/wince_hal_access.h"
#include "package_writer/package_writer.h"
#include "payload/package_streams.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "platform/device_config.h"
#include "platform/device_root.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int kFiles = 2000;
constexpr int kFolders = 20;
constexpr std::size_t kMeanFileSize = 100000;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "unpack_bench: %s\n", what.c_str());
    std::exit(1);
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        fail("command failed: " + command);
}

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

struct Setup {
    fs::path folder;
    fs::path device;
    fs::path source;
    fs::path tarStream;
    std::uint64_t fileBytes = 0;
    std::shared_ptr<druvex::HalAccessWinCE> host;
    int round = 0;

    Setup()
    {
        const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        folder = base / ("druvex-unpack-bench-" + std::to_string(::getpid()));
        device = folder / "device";
        source = folder / "source";
        tarStream = folder / "files.tar.lzma";
        fs::create_directories(device / "fs" / "Temp");
        fs::create_directories(device / "fs" / "Program Files");
        makeSource();

        druvex::tools::PackageWriter writer;
        std::string reason;
        if (!druvex::tools::addFolderTree(writer, source, u"<TARGETDIR>", reason))
            fail(reason);
        fileBytes = writer.fileBytes();
        const fs::path package = folder / "package.bin";
        {
            std::ofstream out(package, std::ios::binary);
            if (!writer.write(out) || !out.flush())
                fail("cannot write the package");
        }
        const fs::path packageStream = folder / "package.lzma";
        run("xz --format=lzma -1 -c '" + package.string() + "' > '" + packageStream.string() + "'");
        run("tar -C '" + source.string() + "' -cf - . | xz --format=lzma -1 -c > '" + tarStream.string() + "'");
        fs::remove(package);
        writeArchive(packageStream);
        std::printf("files: %d, %llu bytes; package entry %llu bytes, tar stream %llu bytes\n", kFiles,
                    static_cast<unsigned long long>(fileBytes),
                    static_cast<unsigned long long>(fs::file_size(packageStream)),
                    static_cast<unsigned long long>(fs::file_size(tarStream)));
        fs::remove(packageStream);

        druvex::DeviceConfig config;
        config.deviceDirectory = device.string();
        std::string error;
        if (!druvex::activateDevice(config, &error))
            fail("cannot activate the device: " + error);
        host = std::make_shared<druvex::HalAccessWinCE>();
    }
    ~Setup()
    {
        host.reset();
        druvex::deactivateDevice();
        fs::remove_all(folder);
    }

    void makeSource()
    {
        std::mt19937 random(42);
        for (int i = 0; i < kFiles; ++i) {
            const fs::path path = source / ("folder" + std::to_string(i % kFolders)) / ("file" + std::to_string(i) + ".job");
            fs::create_directories(path.parent_path());
            const std::size_t size = kMeanFileSize / 5 + random() % (kMeanFileSize * 8 / 5);
            const Bytes data = makeFile(random, size);
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        }
    }

    // An archive "setup.dqres" in the device's \Temp whose entry
    // "Feature/Main" holds the xz-coded package (size unknown, end mark).
    void writeArchive(const fs::path& packageStream)
    {
        std::ifstream in(packageStream, std::ios::binary);
        const Bytes packed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const fs::path archive = device / "fs" / "Temp" / "setup.dqres";
        std::ofstream(archive, std::ios::binary).flush();
        auto plainHost = std::make_shared<druvex::HalAccessWinCE>();
        auto output = std::make_shared<druvex::HalFileOutputStream>();
        if (!output->openForAppend(plainHost, druvex::fromUtf8(archive.string())))
            fail("cannot open the archive");
        druvex::PayloadArchiveWriter archiveWriter(output, 0);
        druvex::MemoryInputStream input(packed);
        int error = 0;
        if (!archiveWriter.addEntry(druvex::SharedString(u"Feature/Main"), druvex::kPayloadMethodLzma, input,
                                    static_cast<std::uint32_t>(fileBytes), error) ||
            !archiveWriter.finish(error))
            fail("cannot write the archive");
    }

    // A fresh target folder below \Program Files: its device path and host path.
    std::pair<std::u16string, fs::path> freshTarget(const char* what)
    {
        const std::string name = std::string(what) + std::to_string(++round);
        return {u"\\Program Files\\" + std::u16string(name.begin(), name.end()), device / "fs" / "Program Files" / name};
    }

    void removeTarget(const fs::path& target)
    {
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

// Our unpacking into a fresh folder; the folder is left for the caller.
fs::path unpackOurs()
{
    Setup& s = setup();
    const auto [devicePath, hostPath] = s.freshTarget("Ours");
    druvex::PayloadArchive archive(*s.host);
    int error = 0;
    if (!archive.open(druvex::SharedString(u"\\Temp\\setup.dqres"), error))
        fail("cannot open the archive, error " + std::to_string(error));
    TargetResolver resolver;
    resolver.target = druvex::SharedString(std::u16string_view(devicePath));
    druvex::HostNodeWriter writer(s.host);
    druvex::PackageUnpacker unpacker(&resolver, writer, *s.host);
    if (!archive.extract(druvex::SharedString(u"Feature/Main"), unpacker))
        fail("the package did not unpack");
    return hostPath;
}

fs::path unpackXzTar()
{
    Setup& s = setup();
    const fs::path target = s.freshTarget("Tar").second;
    fs::create_directories(target);
    run("xz --format=lzma -dc '" + s.tarStream.string() + "' | tar -x -C '" + target.string() + "'");
    return target;
}

void BM_UnpackPackage(benchmark::State& state)
{
    for (auto _ : state) {
        const fs::path target = unpackOurs();
        state.PauseTiming();
        setup().removeTarget(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup().fileBytes));
}
BENCHMARK(BM_UnpackPackage)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_XzTar(benchmark::State& state)
{
    for (auto _ : state) {
        const fs::path target = unpackXzTar();
        state.PauseTiming();
        setup().removeTarget(target);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * setup().fileBytes));
}
BENCHMARK(BM_XzTar)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

double timed(fs::path (*work)(), fs::path& target)
{
    const auto start = Clock::now();
    target = work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    setup();
    // Once: both give the source tree.
    {
        const fs::path ours = unpackOurs();
        const fs::path tar = unpackXzTar();
        run("diff -r -q '" + setup().source.string() + "' '" + ours.string() + "'");
        run("diff -r -q '" + setup().source.string() + "' '" + tar.string() + "'");
        setup().removeTarget(ours);
        setup().removeTarget(tar);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::vector<double> ratios;
    for (int round = 0; round < 5; ++round) {
        fs::path target;
        const double ours = timed(unpackOurs, target);
        setup().removeTarget(target);
        const double tar = timed(unpackXzTar, target);
        setup().removeTarget(target);
        std::printf("round %d: ours %.2f s, xz | tar %.2f s\n", round + 1, ours, tar);
        ratios.push_back(ours / tar);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("unpack time / xz | tar time, median of %zu rounds: %.2f (goal: at most 1.2)\n", ratios.size(),
                ratios[ratios.size() / 2]);
    return 0;
}
