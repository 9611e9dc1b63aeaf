// Extracting an installer archive's LZMA entry (48 MB of installer-like files
// decoded, coded as our archive writer codes: level 5, 16 MiB dictionary)
// through PayloadArchive into a sink that only counts, beside
// `xz --format=lzma -dc` and `7zz e -so` of the same stream into /dev/null,
// in rotating order so that all three meet the same load.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "host/wince_hal_access.h"
#include "payload/entry_encoder.h"
#include "payload/package_streams.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"

namespace {

namespace fs = std::filesystem;
using druvex::bench::Bytes;

constexpr std::size_t kEntryBytes = 48u * 1000 * 1000;

// Files of 4 KB to 200 KB one after the other, as a package holds them.
Bytes makeData()
{
    druvex::bench::ContentMaker maker;
    Bytes data;
    data.reserve(kEntryBytes + 200000);
    for (int index = 0; data.size() < kEntryBytes; ++index) {
        const Bytes file = maker.file(index, 4000 + maker.random()() % 196000);
        data.insert(data.end(), file.begin(), file.end());
    }
    data.resize(kEntryBytes);
    return data;
}

struct Setup {
    druvex::bench::ScratchFolder scratch{"payload-bench"};
    fs::path stream;   // the entry's LZMA stream, which is also an .lzma file
    fs::path archive;  // an archive whose one entry "Data" holds that stream
    std::shared_ptr<druvex::HalAccessWinCE> host = std::make_shared<druvex::HalAccessWinCE>();

    explicit Setup(const druvex::bench::Options& options)
    {
        stream = druvex::bench::cachedInput(options, scratch.path, "entry-48M-v1.lzma", [](const fs::path& path) {
            Bytes packed;
            if (!druvex::encodeLzmaEntry(makeData(), packed))
                druvex::bench::fail("the encoder failed");
            druvex::bench::writeWhole(path, packed);
        });
        archive = scratch.path / "setup.dqres";
        const Bytes packed = druvex::bench::readWhole(stream);
        druvex::bench::writeWhole(archive, {});
        auto output = std::make_shared<druvex::HalFileOutputStream>();
        if (!output->openForAppend(host, path(archive)))
            druvex::bench::fail("cannot open the archive");
        druvex::PayloadArchiveWriter writer(output, 0);
        druvex::MemoryInputStream input(packed);
        int error = 0;
        if (!writer.addEntry(druvex::SharedString(u"Data"), druvex::kPayloadMethodLzma, input,
                             static_cast<std::uint32_t>(kEntryBytes), error) ||
            !writer.finish(error))
            druvex::bench::fail("cannot write the archive");
        std::printf("stream: %zu bytes coded, %zu decoded\n", packed.size(), kEntryBytes);
    }

    static druvex::SharedString path(const fs::path& host) { return druvex::fromUtf8(host.string()); }
};

Setup* g_setup = nullptr;

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
    druvex::PayloadArchive archive(*g_setup->host);
    int error = 0;
    CountingSink sink;
    if (!archive.open(Setup::path(g_setup->archive), error) || !archive.extract(druvex::SharedString(u"Data"), sink))
        druvex::bench::fail("extraction failed");
}

void extractXz()
{
    druvex::bench::run("xz --format=lzma -dc '" + g_setup->stream.string() + "' > /dev/null");
}

void extract7zz()
{
    druvex::bench::run("7zz e -so '" + g_setup->stream.string() + "' > /dev/null");
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

void BM_7zzDecode(benchmark::State& state)
{
    for (auto _ : state)
        extract7zz();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kEntryBytes));
}
BENCHMARK(BM_7zzDecode)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    Setup setup(options);
    g_setup = &setup;
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    // Each round times the three in a rotating order.
    std::vector<double> versusXz, versus7zz;
    void (*const sides[])() = {extractOurs, extractXz, extract7zz};
    for (int round = 0; round < options.rounds; ++round) {
        double times[3];
        for (int i = 0; i < 3; ++i) {
            const int side = (round + i) % 3;
            times[side] = druvex::bench::seconds(sides[side]);
        }
        std::printf("round %d: ours %.0f MB/s, xz %.0f MB/s, 7zz %.0f MB/s\n", round + 1, kEntryBytes / times[0] / 1e6,
                    kEntryBytes / times[1] / 1e6, kEntryBytes / times[2] / 1e6);
        versusXz.push_back(times[0] / times[1]);
        versus7zz.push_back(times[0] / times[2]);
    }
    druvex::bench::report("lzma_xz", versusXz);
    druvex::bench::report("lzma_7zz", versus7zz);
    return 0;
}
