// The translation table against std::unordered_map on one language file of
// 16,384 pairs: loading it, looking up every key, and as many misses. The
// table maps the file, sorts spans into it and indexes the case-folded keys;
// the map copies every text and hashes. A table miss also looks for the key
// under another case (finding "save" under "Save"); the map has no such
// fallback. Hits and misses also in interleaved rounds for scripts/bench.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include <unistd.h>

#include "bench_support.h"
#include "core/xlate_table.h"

namespace {

constexpr int kPairs = 16384;

std::u16string ascii(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

struct Corpus {
    std::vector<std::u16string> keys;
    std::vector<std::u16string> texts;
    std::vector<std::u16string> misses;
    std::filesystem::path file;
    std::u16string filePath;

    Corpus()
    {
        char buffer[96];
        for (int i = 0; i < kPairs; ++i) {
            // Keys share long prefixes, as real message keys do.
            std::snprintf(buffer, sizeof buffer, "The file %05d could not be copied to the target folder", i);
            keys.push_back(ascii(buffer));
            std::snprintf(buffer, sizeof buffer, "Die Datei %05d konnte nicht kopiert werden", i);
            texts.push_back(ascii(buffer));
            std::snprintf(buffer, sizeof buffer, "The file %05d could not be opened in the target folder", i);
            misses.push_back(ascii(buffer));
        }
        std::u16string content(1, u'\xFEFF');
        for (int i = 0; i < kPairs; ++i)
            content += u"[" + keys[i] + u"][" + texts[i] + u"]\r\n";
        file = std::filesystem::temp_directory_path() / ("xlate_bench_" + std::to_string(::getpid()) + ".xlt");
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size() * 2));
        out.close();
        filePath = ascii(file.string());
    }
    ~Corpus()
    {
        std::error_code ec;
        std::filesystem::remove(file, ec);
    }
};

const Corpus& corpus()
{
    static const Corpus instance;
    return instance;
}

using Map = std::unordered_map<std::u16string, std::u16string>;

Map buildMap(const Corpus& c)
{
    Map map;
    map.reserve(kPairs);
    for (int i = 0; i < kPairs; ++i)
        map.emplace(c.keys[i], c.texts[i]);
    return map;
}

// A map lookup that answers as the table does: a copy of the text, or of the key.
std::u16string mapLookup(const Map& map, const std::u16string& key)
{
    const auto found = map.find(key);
    return found == map.end() ? key : found->second;
}

void BM_XlateTableLoad(benchmark::State& state)
{
    const Corpus& c = corpus();
    for (auto _ : state) {
        druvex::XlateTable table(c.filePath);
        benchmark::DoNotOptimize(table.entries().data());
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_XlateTableLoad)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapBuild(benchmark::State& state)
{
    const Corpus& c = corpus();
    for (auto _ : state) {
        Map map = buildMap(c);
        benchmark::DoNotOptimize(map.size());
    }
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_UnorderedMapBuild)->Unit(benchmark::kMillisecond);

void BM_XlateTableLookupHits(benchmark::State& state)
{
    const Corpus& c = corpus();
    const druvex::XlateTable table(c.filePath);
    for (auto _ : state)
        for (const std::u16string& key : c.keys)
            benchmark::DoNotOptimize(table.lookup(key).c_str());
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_XlateTableLookupHits)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapLookupHits(benchmark::State& state)
{
    const Corpus& c = corpus();
    const Map map = buildMap(c);
    for (auto _ : state)
        for (const std::u16string& key : c.keys)
            benchmark::DoNotOptimize(mapLookup(map, key).data());
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_UnorderedMapLookupHits)->Unit(benchmark::kMillisecond);

void BM_XlateTableLookupMisses(benchmark::State& state)
{
    const Corpus& c = corpus();
    const druvex::XlateTable table(c.filePath);
    for (auto _ : state)
        for (const std::u16string& key : c.misses)
            benchmark::DoNotOptimize(table.lookup(key).c_str());
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_XlateTableLookupMisses)->Unit(benchmark::kMillisecond);

void BM_UnorderedMapLookupMisses(benchmark::State& state)
{
    const Corpus& c = corpus();
    const Map map = buildMap(c);
    for (auto _ : state)
        for (const std::u16string& key : c.misses)
            benchmark::DoNotOptimize(mapLookup(map, key).data());
    state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_UnorderedMapLookupMisses)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    const Corpus& c = corpus();
    const druvex::XlateTable table(c.filePath);
    const Map map = buildMap(c);
    // Each side looks every key up several times a round.
    const auto tableLookups = [&](const std::vector<std::u16string>& keys) {
        return [&] {
            for (int pass = 0; pass < 20; ++pass)
                for (const std::u16string& key : keys)
                    benchmark::DoNotOptimize(table.lookup(key).c_str());
        };
    };
    const auto mapLookups = [&](const std::vector<std::u16string>& keys) {
        return [&] {
            for (int pass = 0; pass < 20; ++pass)
                for (const std::u16string& key : keys)
                    benchmark::DoNotOptimize(mapLookup(map, key).data());
        };
    };
    druvex::bench::report("xlate_miss",
                          druvex::bench::interleaved(options.rounds, tableLookups(c.misses), mapLookups(c.misses)));
    druvex::bench::report("xlate_hit",
                          druvex::bench::interleaved(options.rounds, tableLookups(c.keys), mapLookups(c.keys)));
    return 0;
}
