// payload_tool packing folders of installer-like files (a quarter of them
// incompressible) into an archive, as a child process of its own:
//   pack_4_cores        the time of packing a 200 MB product of four features
//                       (a package each) on 4 cores over the same on 1 core,
//                       interleaved;
//   pack_memory         the peak memory of packing 48 MB with one coder over
//                       xz's coding a tar of the same files with the archive's
//                       LZMA settings (level 5, 16 MiB dictionary);
//   pack_memory_growth  the peak memory packing 48 MB over packing 20 MB, to
//                       show it flat in the input's size.
// DRUVEX_BENCH_SCALE (a fraction, default 1) scales the 200 MB product down.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFeatures = 4;

// `megabytes` of files of 50 KB to 450 KB in folders of 20.
void makeFolder(const fs::path& folder, std::size_t megabytes, unsigned seed = 42)
{
    druvex::bench::ContentMaker maker(seed);
    std::size_t total = 0;
    for (int i = 0; total < megabytes * 1000 * 1000; ++i) {
        const fs::path path = folder / ("folder" + std::to_string(i / 20)) / ("file" + std::to_string(i) + ".bin");
        fs::create_directories(path.parent_path());
        const druvex::bench::Bytes data = maker.file(i, 50000 + maker.random()() % 400000);
        druvex::bench::writeWhole(path, data);
        total += data.size();
    }
}

double packPeak(const fs::path& tool, const fs::path& folder, const fs::path& archive)
{
    return druvex::bench::peakMegabytes(
        {{{tool.string(), "create", archive.string(), "--jobs=1", "package:Feature/Main=" + folder.string()}}});
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    const fs::path tool = fs::path(druvex::bench::selfPath()).parent_path().parent_path() / "tools" / "payload_tool";
    if (!fs::exists(tool))
        druvex::bench::fail("payload_tool not found at " + tool.string());
    druvex::bench::ScratchFolder scratch("pack-bench");
    constexpr std::size_t kSmall = 20;
    constexpr std::size_t kLarge = 48;
    makeFolder(scratch.path / "small", kSmall);
    makeFolder(scratch.path / "large", kLarge);

    const double small = packPeak(tool, scratch.path / "small", scratch.path / "small.dqres");
    const double large = packPeak(tool, scratch.path / "large", scratch.path / "large.dqres");
    druvex::bench::run("tar -C '" + (scratch.path / "large").string() + "' -cf '" + (scratch.path / "large.tar").string() +
                       "' .");
    const double xz = druvex::bench::peakMegabytes(
        {{{"xz", "--format=lzma", "--lzma1=preset=5,dict=16MiB", "-T1", "-c"}, (scratch.path / "large.tar").string(),
          (scratch.path / "large.tar.lzma").string()}});
    std::printf("peak memory, one coder: packing %zu MB %.1f MB, packing %zu MB %.1f MB; xz on the %zu MB tar %.1f MB\n",
                kSmall, small, kLarge, large, kLarge, xz);
    druvex::bench::report("pack_memory", {large / xz});
    druvex::bench::report("pack_memory_growth", {large / small});

    // The product: four features of a quarter each.
    const char* scaleText = std::getenv("DRUVEX_BENCH_SCALE");
    const double scale = scaleText ? std::max(0.001, std::atof(scaleText)) : 1.0;
    const auto featureMegabytes = std::max<std::size_t>(1, static_cast<std::size_t>(200 * scale / kFeatures));
    std::vector<std::string> arguments{tool.string(), "create", (scratch.path / "product.dqres").string()};
    for (int feature = 0; feature < kFeatures; ++feature) {
        const fs::path folder = scratch.path / "product" / ("Part" + std::to_string(feature));
        makeFolder(folder, featureMegabytes, 100 + static_cast<unsigned>(feature));
        arguments.push_back("package:Feature_Part" + std::to_string(feature) + "_1.0_.lzma=" + folder.string());
    }
    std::string command;
    for (const std::string& argument : arguments)
        command += "'" + argument + "' ";
    std::vector<double> ratios;
    for (int round = 0; round < options.rounds; ++round) {
        double four = 0;
        double one = 0;
        const auto packFour = [&] {
            druvex::bench::useCores(4);
            four = druvex::bench::seconds([&] { druvex::bench::run(command); });
        };
        const auto packOne = [&] {
            druvex::bench::useCores(1);
            one = druvex::bench::seconds([&] { druvex::bench::run(command); });
        };
        if (round % 2 == 0) {
            packFour();
            packOne();
        } else {
            packOne();
            packFour();
        }
        std::printf("packing %zu MB in %d features: 4 cores %.1f s, 1 core %.1f s\n", featureMegabytes * kFeatures,
                    kFeatures, four, one);
        ratios.push_back(four / one);
    }
    druvex::bench::report("pack_4_cores", ratios);
    return 0;
}
