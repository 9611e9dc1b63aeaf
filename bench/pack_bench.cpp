// The peak memory of packing a folder of installer-like files (a quarter of
// them incompressible) into an archive with payload_tool, as a child process
// of its own: at two sizes, to show it flat in the input's size, and beside
// xz coding a tar of the smaller folder with the archive's LZMA settings
// (level 5, 16 MiB dictionary), whose coder needs as much.
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

namespace fs = std::filesystem;

// `megabytes` of files of 50 KB to 450 KB in folders of 20.
void makeFolder(const fs::path& folder, std::size_t megabytes)
{
    druvex::bench::ContentMaker maker;
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
        {{{tool.string(), "create", archive.string(), "package:Feature/Main=" + folder.string()}}});
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
    druvex::bench::run("tar -C '" + (scratch.path / "small").string() + "' -cf '" + (scratch.path / "small.tar").string() +
                       "' .");
    const double xz = druvex::bench::peakMegabytes(
        {{{"xz", "--format=lzma", "--lzma1=preset=5,dict=16MiB", "-c"}, (scratch.path / "small.tar").string(),
          (scratch.path / "small.tar.lzma").string()}});
    std::printf("peak memory: packing %zu MB %.1f MB, packing %zu MB %.1f MB; xz on the %zu MB tar %.1f MB\n", kSmall,
                small, kLarge, large, kSmall, xz);
    (void)options;
    druvex::bench::report("pack_memory", {large});
    druvex::bench::report("pack_memory_growth", {large / small});
    druvex::bench::report("pack_memory_xz", {small / xz});
    return 0;
}
