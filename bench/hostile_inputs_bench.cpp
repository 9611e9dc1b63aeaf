// Reading inputs of many items of one kind, in the order worst for a naive
// reader, at two sizes ten times apart: a data.xml of sibling features, one of
// ComponentFeature entries in descending order, one custom page of many
// controls, a registry.reg of many keys whose deepest lies at the depth limit,
// an ini file of continuation lines, a redistributables list, a translation
// file of one key repeated; and inputs whose one item is long or whose items
// are many and cheap: a registry.reg of one long value, a translation looked
// up in a long text, a package header of many files. A reader that costs
// about n log n keeps its cost per item; a quadratic one multiplies it by
// ten. Prints the cost per item at both sizes and reports their ratio, one a
// round.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/ini_file.h"
#include "core/xlate_table.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "data/redist_info.h"
#include "host/wince_hal_access.h"
#include "payload/package_node_writer.h"
#include "payload/package_unpacker.h"
#include "platform/input_limits.h"
#include "platform/registry_file.h"
#include "support/hostile_inputs.h"

namespace {

using namespace druvex;

struct Case {
    const char* id;  // the measure scripts/bench reads
    const char* name;
    int smallCount;  // items at the small size; the large one has ten times as many
    std::function<std::string(int)> build;
    std::function<bool(const std::string&)> read;
};

bool readDataXml(const std::string& document)
{
    InstallData data;
    return readInstallDataXml(data, document.data(), document.size());
}

bool readRegistry(const std::string& text)
{
    RegistryTree tree;
    RegistryTextError error;
    return readRegistryText(text, tree, error);
}

bool readIni(const std::string& text)
{
    IniFile ini;
    return ini.parse(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

bool readRedistInfo(const std::string& text)
{
    std::vector<RedistributablePtr> list;
    return parseRedistInfo(text.data(), text.size(), list);
}

// Translation tables map a file: the inputs are written once, here, and the
// read gets the file's path.
std::string translationFile(const std::string& content)
{
    static const bench::ScratchFolder folder("hostile-inputs");
    static int files = 0;
    const bench::fs::path path = folder.path / ("table" + std::to_string(++files) + ".xlt");
    bench::writeWhole(path, bench::Bytes(content.begin(), content.end()));
    return path.string();
}

bool readRepeatedKeys(const std::string& path)
{
    const XlateTable table(fromUtf8(path).view());
    return table.lookup(u"Repeated key") == u"Text 000000";
}

// The long text looked up ten times, as a dialog's texts are over a run.
bool lookUpLongText(const std::string& path)
{
    const XlateTable table(fromUtf8(path).view());
    bool found = true;
    for (int i = 0; i < 10; ++i)
        found = table.lookup(u"Long").length() > 0 && found;
    return found;
}

// A writer that creates nothing, so that only the header and the tree it
// gives are measured.
class NothingWritten final : public PackageNodeWriter {
public:
    bool createFolder(ContentFolder*, const SharedString&) override { return true; }
    bool createFile(ContentFile*, const SharedString&) override { return true; }
    bool writeData(std::uint32_t, const std::uint8_t*) override { return true; }
    bool finishFile() override { return true; }
};

// Through the unpacker in the decoder's pieces of 4,096 bytes.
bool unpackPackage(const std::string& stream)
{
    static HalAccessWinCE host;
    NothingWritten writer;
    PackageUnpacker unpacker(nullptr, writer, host);
    unpacker.setPlainNames();
    unpacker.begin(static_cast<std::uint32_t>(stream.size()), 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(stream.data());
    for (std::size_t at = 0; at < stream.size(); at += 4096) {
        const std::size_t piece = std::min<std::size_t>(4096, stream.size() - at);
        if (!unpacker.write(static_cast<std::uint32_t>(piece), bytes + at))
            return false;
    }
    return unpacker.finish();
}

const std::vector<Case>& cases()
{
    static const std::vector<Case> list = {
        {"hostile_sibling_features", "data.xml sibling features", 2'000, test::dataXmlWithSiblingFeatures, readDataXml},
        {"hostile_component_features", "data.xml component features, descending", 5'000, test::dataXmlWithComponentFeatures, readDataXml},
        {"hostile_layout_controls", "data.xml custom page controls", 2'000, test::dataXmlWithLayoutControls, readDataXml},
        {"hostile_registry_keys", "registry.reg keys, the deepest at the limit", 2'000,
         [](int keys) { return test::registryFileWithKeys(keys, static_cast<int>(kMaxRegistryKeyDepth)); },
         readRegistry},
        {"hostile_ini_continuations", "ini continuation lines", 20'000, test::iniWithContinuationLines, readIni},
        {"hostile_redist_entries", "redistributables list, descending", 2'000, test::redistInfoWithEntries,
         readRedistInfo},
        {"hostile_translation_repeats", "translation file, one key repeated", 2'000,
         [](int count) { return translationFile(test::translationWithRepeatedKey(count)); }, readRepeatedKeys},
        {"hostile_translation_text", "translation text, 10 lookups a unit", 100'000,
         [](int units) { return translationFile(test::translationWithLongText(units)); }, lookUpLongText},
        {"hostile_registry_value", "registry.reg of one long value, a byte", 1'000'000,
         test::registryFileWithLongValue, readRegistry},
        {"hostile_package_files", "package header of empty files", 20'000, test::packageWithFiles, unpackPackage},
    };
    return list;
}

void BM_Read(benchmark::State& state)
{
    const Case& c = cases()[static_cast<std::size_t>(state.range(0))];
    const int count = c.smallCount * static_cast<int>(state.range(1));
    const std::string input = c.build(count);
    for (auto _ : state) {
        if (!c.read(input))
            state.SkipWithError("the input was refused");
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.SetLabel(c.name);
}
BENCHMARK(BM_Read)
    ->ArgsProduct({benchmark::CreateDenseRange(0, 9, 1), {1, 10}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

using Clock = std::chrono::steady_clock;

// Nanoseconds per item of one read; the least of several, taken in turns
// with the other size, so that both meet the same load.
double nanosecondsPerItem(const Case& c, const std::string& input, int count)
{
    const auto start = Clock::now();
    if (!c.read(input))
        std::fprintf(stderr, "%s: the input of %d items was refused\n", c.name, count);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / count;
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    for (const Case& c : cases()) {
        const int small = c.smallCount;
        const int large = 10 * small;
        const std::string smallInput = c.build(small);
        const std::string largeInput = c.build(large);
        std::vector<double> ratios;
        double smallCost = 1e300;
        double largeCost = 1e300;
        for (int round = 0; round < options.rounds; ++round) {
            const double smallNow = nanosecondsPerItem(c, smallInput, small);
            const double largeNow = nanosecondsPerItem(c, largeInput, large);
            ratios.push_back(largeNow / smallNow);
            smallCost = std::min(smallCost, smallNow);
            largeCost = std::min(largeCost, largeNow);
        }
        std::printf("%-45s %7d items %9.1f ns each, %8d items %9.1f ns each (least of the rounds)\n", c.name, small,
                    smallCost, large, largeCost);
        druvex::bench::report(c.id, ratios);
    }
    return 0;
}
