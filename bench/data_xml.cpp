// The installer data document at the size of a large program: 50,000 files in
// folders of 40 under 50 features, with their records. Our reader parses it
// and builds the InstallData, our writer writes that data back; pugixml parses
// the same bytes into its DOM and saves that DOM. Then interleaved rounds for
// scripts/bench: reading and building against parsing, each side timed with
// its teardown (the data freed, the document freed), and writing against
// saving.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <pugixml.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "core/xml_reader.h"
#include "bench_support.h"
#include "xml_scan.h"
#include "data/content_tree.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"

namespace {

constexpr int kFeatures = 50;
constexpr int kFoldersPerFeature = 25;
constexpr int kFilesPerFolder = 40;  // 50 * 25 * 40 = 50,000 files

std::u16string number(int value)
{
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

std::unique_ptr<druvex::InstallData> makeData()
{
    auto data = std::make_unique<druvex::InstallData>();
    data->settings().setProgramName(u"Field Survey \u00DCber");
    data->settings().setAuthor(u"Druvex Surveying");
    for (int f = 0; f < kFeatures; ++f) {
        druvex::FeaturePtr feature = druvex::makeFeaturePtr();
        feature->setName(druvex::SharedString(u"Module" + number(f)));
        feature->setPrompt(u"Survey module \u2013 stake-out & roads");
        feature->setDesc(u"Stores <jobs> on the controller.");
        feature->setDigest(u"A9993E364706816ABA3E25717850C26C9CD0D89D");
        feature->setVersion(u"4.1.2");
        feature->setReqSpace(18874368);
        feature->clearContent();
        auto target = std::make_shared<druvex::ContentFolder>(u"<TARGETDIR>");
        feature->addContent(target);
        for (int d = 0; d < kFoldersPerFeature; ++d) {
            auto folder = std::make_shared<druvex::ContentFolder>(druvex::SharedString(u"data" + number(d)));
            folder->setFlags(16);
            target->addChild(folder);
            for (int i = 0; i < kFilesPerFolder; ++i) {
                const std::u16string name = u"job" + number(f * 1000 + d * 40 + i) + u".job";
                auto file = std::make_shared<druvex::ContentFile>(druvex::SharedString(name));
                file->setOrigPath(druvex::SharedString(u"C:\\Build\\Survey\\Stra\u00DFe\\data\\" + name));
                folder->addChild(file);
            }
        }
        auto shortcut = std::make_shared<druvex::Shortcut>();
        shortcut->name = u"Survey";
        shortcut->linkedTo = u"<TARGETDIR>\\Survey.exe";
        feature->addShortcut(shortcut);
        data->featureRoot()->addSubFeature(feature);
    }
    return data;
}

const std::vector<std::uint8_t>& document()
{
    static const std::vector<std::uint8_t> bytes = [] {
        std::vector<std::uint8_t> out;
        druvex::MemoryStream stream(out);
        druvex::writeInstallDataXml(*makeData(), stream, false);
        return out;
    }();
    return bytes;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}

void BM_DataXmlRead_Ours(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        druvex::InstallData data;
        if (!druvex::readInstallDataXml(data, bytes.data(), bytes.size()))
            state.SkipWithError("document refused");
        benchmark::DoNotOptimize(data.featureRoot()->subFeatureCount());
    }
    setBytes(state);
}

// The scan alone, for the share of the reading that building the data takes.
void BM_DataXmlScan_Ours(benchmark::State& state)
{
    druvex::bench::scanWithXmlReader(state, document());
    setBytes(state);
}

// The same without the teardown of the data, which is not part of reading.
void BM_DataXmlBuild_Ours(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        auto data = std::make_unique<druvex::InstallData>();
        druvex::readInstallDataXml(*data, bytes.data(), bytes.size());
        state.PauseTiming();
        data.reset();
        state.ResumeTiming();
    }
    setBytes(state);
}

void BM_DataXmlRead_Pugixml(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        pugi::xml_document dom;
        if (!dom.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8))
            state.SkipWithError("document refused");
        benchmark::DoNotOptimize(dom.first_child());
    }
    setBytes(state);
}

void BM_DataXmlWrite_Ours(benchmark::State& state)
{
    druvex::InstallData data;
    druvex::readInstallDataXml(data, document().data(), document().size());
    for (auto _ : state) {
        std::vector<std::uint8_t> out;
        out.reserve(document().size());
        druvex::MemoryStream stream(out);
        if (!druvex::writeInstallDataXml(data, stream, false))
            state.SkipWithError("write refused");
        benchmark::DoNotOptimize(out.data());
    }
    setBytes(state);
}

class ByteWriter final : public pugi::xml_writer {
public:
    std::vector<std::uint8_t> bytes;
    void write(const void* data, size_t size) override
    {
        const auto* begin = static_cast<const std::uint8_t*>(data);
        bytes.insert(bytes.end(), begin, begin + size);
    }
};

void BM_DataXmlWrite_Pugixml(benchmark::State& state)
{
    pugi::xml_document dom;
    dom.load_buffer(document().data(), document().size(), pugi::parse_default, pugi::encoding_utf8);
    for (auto _ : state) {
        ByteWriter writer;
        writer.bytes.reserve(document().size());
        dom.save(writer, " ", pugi::format_default | pugi::format_write_bom, pugi::encoding_utf8);
        benchmark::DoNotOptimize(writer.bytes.data());
    }
    setBytes(state);
}

BENCHMARK(BM_DataXmlRead_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataXmlBuild_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataXmlScan_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataXmlRead_Pugixml)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataXmlWrite_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DataXmlWrite_Pugixml)->Unit(benchmark::kMillisecond);

// Each side's teardown ends with malloc_trim, which merges the blocks it
// freed: otherwise the allocator bills that merging to whatever allocates a
// large block next, which in alternating rounds is the other side.
void readOurs()
{
    {
        druvex::InstallData data;
        if (!druvex::readInstallDataXml(data, document().data(), document().size()))
            druvex::bench::fail("document refused");
        benchmark::DoNotOptimize(data.featureRoot()->subFeatureCount());
    }
    malloc_trim(0);
}

void parsePugixml()
{
    {
        pugi::xml_document dom;
        if (!dom.load_buffer(document().data(), document().size(), pugi::parse_default, pugi::encoding_utf8))
            druvex::bench::fail("document refused");
        benchmark::DoNotOptimize(dom.first_child());
    }
    malloc_trim(0);
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    std::printf("document: %zu bytes, %d files\n", document().size(), kFeatures * kFoldersPerFeature * kFilesPerFolder);
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    druvex::bench::report("data_xml_read", druvex::bench::interleaved(options.rounds, readOurs, parsePugixml));

    druvex::InstallData data;
    druvex::readInstallDataXml(data, document().data(), document().size());
    pugi::xml_document dom;
    dom.load_buffer(document().data(), document().size(), pugi::parse_default, pugi::encoding_utf8);
    druvex::bench::report("data_xml_write", druvex::bench::interleaved(
                                                options.rounds,
                                                [&] {
                                                    std::vector<std::uint8_t> out;
                                                    druvex::MemoryStream stream(out);
                                                    druvex::writeInstallDataXml(data, stream, false);
                                                    benchmark::DoNotOptimize(out.data());
                                                },
                                                [&] {
                                                    ByteWriter writer;
                                                    dom.save(writer, " ", pugi::format_default | pugi::format_write_bom,
                                                             pugi::encoding_utf8);
                                                    benchmark::DoNotOptimize(writer.bytes.data());
                                                }));
    return 0;
}
