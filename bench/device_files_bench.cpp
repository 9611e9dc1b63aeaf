// Creating 10,000 small files in one folder: through DeviceRoot and
// PlatformFile (case-insensitive resolution, share table, handle table) and
// with plain open/write/close on the host path, in tmpfs. Then interleaved
// rounds for scripts/bench, with the folder spelled as on the host and in
// upper case (every name through the case-insensitive lookup).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/platform_file.h"
#include "platform/device_config.h"
#include "platform/device_root.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 10000;
constexpr char kContent[] = "small file body\n";
constexpr std::size_t kContentSize = sizeof kContent - 1;

// A device directory for the whole run, removed at exit.
struct BenchDevice {
    fs::path directory;

    BenchDevice()
    {
        std::string pattern = (druvex::bench::scratchBase() / "druvex-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        directory = pattern;
        fs::create_directories(directory / "fs");
    }
    ~BenchDevice() { fs::remove_all(directory); }
};

BenchDevice& benchDevice()
{
    static BenchDevice device;
    return device;
}

int g_folderNumber = 0;

// A fresh, empty folder below fs/ for one iteration; its name below fs/.
std::string freshFolder()
{
    const std::string name = "Bench" + std::to_string(++g_folderNumber);
    fs::create_directories(benchDevice().directory / "fs" / name);
    return name;
}

void removeFolder(const std::string& name)
{
    const fs::path host = benchDevice().directory / "fs" / name;
    fs::remove_all(host);
    druvex::DeviceRoot::instance().noteRemoved(fs::canonical(host.parent_path()).string() + "/" + name);
}

// Argument 0: the folder spelled as on the host; 1: spelled in upper case, so
// that every name goes through the case-insensitive lookup.
void BM_CreateFiles_Device(benchmark::State& state)
{
    druvex::DeviceConfig config;
    config.deviceDirectory = benchDevice().directory.string();
    druvex::activateDevice(config);
    const bool otherCase = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = freshFolder();
        std::u16string prefix = u"\\";
        for (char ch : folder)
            prefix += static_cast<char16_t>(otherCase ? std::toupper(static_cast<unsigned char>(ch)) : ch);
        prefix += u"\\File";
        state.ResumeTiming();
        for (int i = 0; i < kFiles; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%05d.txt", i);
            std::u16string path = prefix;
            for (const char* p = number; *p; ++p)
                path += static_cast<char16_t>(*p);
            druvex::PlatformFile file;
            if (!file.open(path, druvex::kFileCreateNew | druvex::kFileWrite) ||
                druvex::writeFile(file.handle(), kContent, kContentSize) != static_cast<std::int64_t>(kContentSize))
                state.SkipWithError("device create failed");
        }
        state.PauseTiming();
        removeFolder(folder);
        state.ResumeTiming();
    }
    druvex::deactivateDevice();
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_CreateFiles_Device)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CreateFiles_Posix(benchmark::State& state)
{
    const std::string root = benchDevice().directory.string() + "/fs/";
    for (auto _ : state) {
        state.PauseTiming();
        const std::string folder = root + freshFolder() + "/File";
        state.ResumeTiming();
        for (int i = 0; i < kFiles; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%05d.txt", i);
            const std::string path = folder + number;
            const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, kContent, kContentSize) != static_cast<ssize_t>(kContentSize))
                state.SkipWithError("posix create failed");
            ::close(fd);
        }
        state.PauseTiming();
        fs::remove_all(fs::path(folder).parent_path());
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_CreateFiles_Posix)->Unit(benchmark::kMillisecond)->Iterations(5);

using Clock = std::chrono::steady_clock;

// The ratio under a busy machine's changing load: both ways create their
// 10,000 files in alternating chunks, each into its own folder, so that both
// meet the same load and the same state of the file system's journal.
double interleavedRatio(bool otherCase)
{
    constexpr int kChunk = 250;
    druvex::DeviceConfig config;
    config.deviceDirectory = benchDevice().directory.string();
    druvex::activateDevice(config);
    const std::string deviceFolder = freshFolder();
    const std::string posixFolder = benchDevice().directory.string() + "/fs/" + freshFolder() + "/File";
    std::u16string prefix = u"\\";
    for (char ch : deviceFolder)
        prefix += static_cast<char16_t>(otherCase ? std::toupper(static_cast<unsigned char>(ch)) : ch);
    prefix += u"\\File";
    Clock::duration deviceTime{}, posixTime{};
    for (int start = 0; start < kFiles; start += kChunk) {
        const auto deviceStart = Clock::now();
        for (int i = start; i < start + kChunk; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%05d.txt", i);
            std::u16string path = prefix;
            for (const char* p = number; *p; ++p)
                path += static_cast<char16_t>(*p);
            druvex::PlatformFile file;
            if (!file.open(path, druvex::kFileCreateNew | druvex::kFileWrite) ||
                druvex::writeFile(file.handle(), kContent, kContentSize) != static_cast<std::int64_t>(kContentSize))
                std::abort();
        }
        const auto posixStart = Clock::now();
        deviceTime += posixStart - deviceStart;
        for (int i = start; i < start + kChunk; ++i) {
            char number[16];
            std::snprintf(number, sizeof number, "%05d.txt", i);
            const std::string path = posixFolder + number;
            const int fd = ::open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (fd < 0 || ::write(fd, kContent, kContentSize) != static_cast<ssize_t>(kContentSize))
                std::abort();
            ::close(fd);
        }
        posixTime += Clock::now() - posixStart;
    }
    removeFolder(deviceFolder);
    fs::remove_all(fs::path(posixFolder).parent_path());
    druvex::deactivateDevice();
    const double device = std::chrono::duration<double, std::milli>(deviceTime).count();
    const double posix = std::chrono::duration<double, std::milli>(posixTime).count();
    return device / posix;
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    for (const bool otherCase : {false, true}) {
        std::vector<double> ratios;
        for (int round = 0; round < options.rounds; ++round)
            ratios.push_back(interleavedRatio(otherCase));
        druvex::bench::report(otherCase ? "create_other_case" : "create", ratios);
    }
    return 0;
}
