// Reading inputs of many items of one kind, in the order worst for a naive
// reader, at two sizes ten times apart: a data.xml of sibling features, one of
// ComponentFeature entries in descending order, one custom page of many
// controls, a registry.reg of many keys whose deepest lies at the depth limit,
// an ini file of continuation lines, a redistributables list, a translation
// file of one key repeated; and inputs whose one item is long or whose items
// are many and cheap: a registry.reg of one long value, a translation looked
// up in a long text, a package header of many files; and two that grow with
// their count in a run rather than in a file: the installed logs of other
// products that a script loads, and the stores of a device.ini. A reader that
// costs about n log n keeps its cost per item; a quadratic one multiplies it
// by ten. Prints the cost per item at both sizes and reports their ratio, one
// a round.
//
// Then the inputs whose one item has a limit (input_limits.h): a line a script
// reads with HalOut:readTextFile, and a value of registry.reg, loaded and
// changed. Each is read at its limit within a stated time (the ratio to it,
// one a round) and memory (the peak of a child that reads it, over the bound),
// and one byte past the limit must be refused, or the program fails.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "controller/installed_product_registry.h"
#include "core/device_profile.h"
#include "core/ini_file.h"
#include "core/xlate_table.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "data/redist_info.h"
#include "host/installer_script_runner.h"
#include "host/script_host_services.h"
#include "host/wince_hal_access.h"
#include "payload/package_node_writer.h"
#include "payload/package_unpacker.h"
#include "platform/device_config.h"
#include "platform/input_limits.h"
#include "platform/registry.h"
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

// Other products' installed logs as a script loads them, each name new
// (none has a log: only the registry's own work is measured), then each
// again. The input is the count.
class NoInstalledProducts final : public InstalledProductsController {
public:
    std::shared_ptr<HalAccess> getHalOut() const override { return host_; }
    SharedString getProductDataRoot(HalAccess&, bool, const SharedString& name) const override
    {
        return u"\\No products here\\" + name;
    }

private:
    std::shared_ptr<HalAccess> host_ = std::make_shared<HalAccessWinCE>();
};

bool loadInstalledProducts(const std::string& countText)
{
    static NoInstalledProducts controller;
    InstalledProductRegistry registry(controller);
    const int count = std::stoi(countText);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < count; ++i) {
            if (registry.load(fromUtf8(test::numberedName("Product ", i))) != i + 1)
                return false;
        }
    }
    return true;
}

// A device.ini read and made the active device, as the program starts.
bool activateStores(const std::string& text)
{
    static const bench::ScratchFolder folder("hostile-stores");
    DeviceConfig config;
    std::string error;
    if (!parseDeviceProfile(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), "device.ini", config,
                            error))
        return false;
    config.deviceDirectory = folder.path.string();
    const bool activated = activateDevice(config, &error);
    deactivateDevice();
    return activated;
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
        {"hostile_registry_value", "registry.reg of one long value, a byte", 100'000,
         test::registryFileWithLongValue, readRegistry},
        {"hostile_package_files", "package header of empty files", 20'000, test::packageWithFiles, unpackPackage},
        {"hostile_installed_products", "installed products a script loads", 10'000,
         [](int count) { return std::to_string(count); }, loadInstalledProducts},
        {"hostile_store_sections", "device.ini store sections", 10'000, test::deviceIniWithStores, activateStores},
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
    ->ArgsProduct({benchmark::CreateDenseRange(0, 11, 1), {1, 10}})
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

// ---- inputs at their limit

struct LimitCase {
    const char* id;  // the time measure; the memory measure adds "_memory"
    const char* name;
    std::uint64_t limit;
    double boundSeconds;
    double boundMegabytes;
    std::function<std::string(std::uint64_t)> build;  // the input with its one item of that size
    std::function<bool(const std::string&)> read;     // true when the file at the path was taken
};

class ScriptHost final : public ScriptHostServices {
public:
    std::shared_ptr<HalAccess> getHalIn() override { return host_; }
    std::shared_ptr<HalAccess> getHalInAdmin() override { return host_; }
    std::shared_ptr<HalAccess> getHalOut() override { return host_; }

private:
    std::shared_ptr<HalAccess> host_ = std::make_shared<HalAccessWinCE>();
};

// The first line of the file through HalOut:readTextFile, and the next.
bool readScriptLine(const std::string& path)
{
    ScriptHost services;
    InstallerScriptRunner runner(&services);
    const std::string script = "function Main()\n local h = HalOut:openFile([[" + path +
                               "]], true)\n local first = HalOut:readTextFile(h)\n"
                               " local second = HalOut:readTextFile(h)\n HalOut:closeFile(h)\n"
                               " return #first .. ' ' .. second\nend\n";
    SharedString result;
    return runner.loadScriptText(fromUtf8(script)) == 1 && runner.callFunction(nullptr, 0, nullptr, 1, &result) &&
           result.view().ends_with(u" next");
}

// registry.reg loaded, then changed: the whole file is written again.
bool loadAndChangeRegistry(const std::string& path)
{
    DeviceRegistry registry;
    if (registry.configure(path) != 0)
        return false;
    RegistryKey key = 0;
    const std::uint32_t one = 1;
    return registry.createKey(kRegistryLocalMachine, u"Software\\Changed", key) == 0 &&
           registry.setValue(key, u"count", kRegDword, &one, sizeof one) == 0;
}

const std::vector<LimitCase>& limitCases()
{
    static const std::vector<LimitCase> list = {
        {"hostile_script_line_limit", "script line of the limit's length", kMaxScriptTextLine, 0.5, 64,
         [](std::uint64_t bytes) { return test::textFileWithLongLine(bytes); }, readScriptLine},
        {"hostile_registry_value_limit", "registry.reg value of the limit's size", kMaxRegistryValueSize, 0.5, 64,
         [](std::uint64_t bytes) { return test::registryFileWithValueOfSize(bytes); }, loadAndChangeRegistry},
    };
    return list;
}

const LimitCase* limitCase(std::string_view id)
{
    for (const LimitCase& c : limitCases()) {
        if (id == c.id)
            return &c;
    }
    return nullptr;
}

void measureAtLimit(const LimitCase& c, const bench::Options& options)
{
    static const bench::ScratchFolder folder("hostile-limits");
    const std::string atLimit = (folder.path / (std::string(c.id) + "-at")).string();
    const std::string above = (folder.path / (std::string(c.id) + "-above")).string();
    const std::string atText = c.build(c.limit);
    const std::string aboveText = c.build(c.limit + 2);
    std::vector<double> ratios;
    double least = 1e300;
    for (int round = 0; round < options.rounds; ++round) {
        // Written again each round: a change rewrites the file.
        bench::writeWhole(atLimit, bench::Bytes(atText.begin(), atText.end()));
        bool taken = false;
        const double seconds = bench::seconds([&] { taken = c.read(atLimit); });
        if (!taken)
            bench::fail(std::string(c.name) + ": the input at the limit was refused");
        ratios.push_back(seconds / c.boundSeconds);
        least = std::min(least, seconds);
    }
    bench::writeWhole(above, bench::Bytes(aboveText.begin(), aboveText.end()));
    if (c.read(above))
        bench::fail(std::string(c.name) + ": the input past the limit was taken");
    bench::writeWhole(atLimit, bench::Bytes(atText.begin(), atText.end()));
    const double peak = bench::peakMegabytes({{{bench::selfPath(), "limit-child", c.id, atLimit}}});
    std::printf("%-45s %9llu bytes: %7.3f s (bound %.2f s), peak %6.1f MB (bound %.0f MB); past it refused\n", c.name,
                static_cast<unsigned long long>(c.limit), least, c.boundSeconds, peak, c.boundMegabytes);
    bench::report(c.id, ratios);
    bench::report(std::string(c.id) + "_memory", {peak / c.boundMegabytes});
}

}  // namespace

int main(int argc, char** argv)
{
    // The lean child whose peak memory is measured: limit-child ID FILE.
    if (argc == 4 && std::string_view(argv[1]) == "limit-child") {
        const LimitCase* c = limitCase(argv[2]);
        return c && c->read(argv[3]) ? 0 : 1;
    }
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
    for (const LimitCase& c : limitCases())
        measureAtLimit(c, options);
    return 0;
}
