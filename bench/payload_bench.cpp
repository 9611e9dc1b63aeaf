// Extracting an installer archive's LZMA entry (200 MB decoded, generated and
// coded at run time) through PayloadArchive into a sink that only counts,
// beside `xz --format=lzma -dc` of the same stream into /dev/null. After the
// runs the throughput ratio ours / xz is printed (goal: at least 0.9), from
// interleaved rounds so that both meet the same load.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "host/wince_hal_access.h"
#include "payload/package_streams.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kEntryBytes = 200u * 1000 * 1000;

// Survey-job-like text: words, coordinates, line ends and a few stray bytes.
std::vector<std::uint8_t> makeData()
{
    std::mt19937 random(42);
    static const std::string_view words[] = {"survey ", "point ", "station ", "level ", "\r\n",
                                             "grid ",   "north ", "east ",    "code=TP ", "height "};
    std::vector<std::uint8_t> data;
    data.reserve(kEntryBytes + 32);
    char number[32];
    while (data.size() < kEntryBytes) {
        const std::string_view word = words[random() % std::size(words)];
        data.insert(data.end(), word.begin(), word.end());
        if (random() % 3 == 0) {
            const unsigned whole = static_cast<unsigned>(random() % 100000);
            const unsigned part = static_cast<unsigned>(random() % 1000);
            const int length = std::snprintf(number, sizeof number, "%u.%03u ", whole, part);
            data.insert(data.end(), number, number + length);
        }
        if (random() % 50 == 0)
            data.push_back(static_cast<std::uint8_t>(random()));
    }
    data.resize(kEntryBytes);
    return data;
}

struct Setup {
    fs::path folder;
    fs::path stream;   // the LZMA stream as xz wrote it
    fs::path archive;  // an archive whose one entry "Data" holds that stream
    std::shared_ptr<druvex::HalAccessWinCE> host = std::make_shared<druvex::HalAccessWinCE>();

    Setup()
    {
        folder = fs::temp_directory_path() / ("druvex-payload-bench-" + std::to_string(::getpid()));
        fs::create_directories(folder);
        const fs::path plain = folder / "data.bin";
        stream = folder / "data.lzma";
        archive = folder / "setup.dqres";
        {
            const std::vector<std::uint8_t> data = makeData();
            std::ofstream(plain, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                         static_cast<std::streamsize>(data.size()));
        }
        const std::string encode = "xz --format=lzma -1 -c '" + plain.string() + "' > '" + stream.string() + "'";
        if (std::system(encode.c_str()) != 0)
            fail("xz could not code the data");
        fs::remove(plain);

        std::ifstream in(stream, std::ios::binary);
        const std::vector<std::uint8_t> packed((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(archive, std::ios::binary).flush();
        auto output = std::make_shared<druvex::HalFileOutputStream>();
        if (!output->openForAppend(host, path(archive)))
            fail("cannot open the archive");
        druvex::PayloadArchiveWriter writer(output, 0);
        druvex::MemoryInputStream input(packed);
        int error = 0;
        if (!writer.addEntry(druvex::SharedString(u"Data"), druvex::kPayloadMethodLzma, input,
                             static_cast<std::uint32_t>(kEntryBytes), error) ||
            !writer.finish(error))
            fail("cannot write the archive");
        std::printf("stream: %zu bytes coded, %zu decoded\n", packed.size(), kEntryBytes);
    }
    ~Setup() { fs::remove_all(folder); }

    static druvex::SharedString path(const fs::path& host) { return druvex::fromUtf8(host.string()); }
    [[noreturn]] static void fail(const char* what)
    {
        std::fprintf(stderr, "payload_bench: %s\n", what);
        std::exit(1);
    }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

class CountingSink final : public druvex::PayloadSink {
public:
    void begin(std::uint32_t, std::uint32_t) override { bytes = 0; }
    bool write(std::uint32_t size, const std::uint8_t*) override
    {
        bytes += size;
        return true;
    }
    bool finish() override { return bytes == kEntryBytes; }

    std::uint64_t bytes = 0;
};

void extractOurs()
{
    druvex::PayloadArchive archive(*setup().host);
    int error = 0;
    CountingSink sink;
    if (!archive.open(Setup::path(setup().archive), error) || !archive.extract(druvex::SharedString(u"Data"), sink))
        Setup::fail("extraction failed");
}

void extractXz()
{
    const std::string command = "xz --format=lzma -dc '" + setup().stream.string() + "' > /dev/null";
    if (std::system(command.c_str()) != 0)
        Setup::fail("xz failed");
}

void BM_ExtractLzmaEntry(benchmark::State& state)
{
    for (auto _ : state)
        extractOurs();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntryBytes));
}
BENCHMARK(BM_ExtractLzmaEntry)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_XzDecode(benchmark::State& state)
{
    for (auto _ : state)
        extractXz();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntryBytes));
}
BENCHMARK(BM_XzDecode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

double seconds(void (*work)())
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    setup();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Throughput ours / xz = xz's time / ours, in alternating rounds.
    std::vector<double> ratios;
    for (int round = 0; round < 5; ++round) {
        const double ours = seconds(extractOurs);
        const double xz = seconds(extractXz);
        std::printf("round %d: ours %.0f MB/s, xz %.0f MB/s\n", round + 1, kEntryBytes / ours / 1e6,
                    kEntryBytes / xz / 1e6);
        ratios.push_back(xz / ours);
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("extraction / xz throughput, median of %zu rounds: %.2f (goal: at least 0.9)\n", ratios.size(),
                ratios[ratios.size() / 2]);
    return 0;
}
