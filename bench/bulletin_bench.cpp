// The update bulletin of a large product: 5 versions of 1,000 features each,
// with complete installers, component features and variables. Our reader
// parses it into the bulletin's records (features sorted, addresses resolved
// and checked); expat parses the same bytes with empty callbacks. Then
// interleaved rounds for scripts/bench, each side timed with its teardown
// (the records freed, the parser freed).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "expat_scan.h"
#include "liveupdate/update_bulletin.h"

namespace {

constexpr int kVersions = 5;
constexpr int kFeaturesPerVersion = 1000;

std::u16string number(int value)
{
    const std::string text = std::to_string(value);
    return std::u16string(text.begin(), text.end());
}

std::vector<std::uint8_t> makeBulletin()
{
    std::vector<std::uint8_t> bytes;
    druvex::MemoryStream stream(bytes);
    druvex::XmlWriter writer(stream, true);
    writer.startElement("UpdateBulletin");
    writer.startElement("Installer");
    writer.attribute("InstallerVersion", u"5.1");
    writer.endElement("Installer");
    writer.startElement("EmptyInstaller");
    writer.attribute("platform", u"Qm40");
    writer.attribute("revision", u"812");
    writer.attribute("size", u"1048576");
    writer.attribute("digest", u"A9993E364706816ABA3E25717850C26C9CD0D89D");
    writer.attribute("url", u"empty/setup_qm40.exe");
    writer.endElement("EmptyInstaller");
    for (int language = 0; language < 10; ++language) {
        writer.startElement("InstallerLanguage");
        writer.attribute("localeID", number(1031 + language));
        writer.attribute("digest", u"A9993E364706816ABA3E25717850C26C9CD0D89D");
        writer.attribute("url", u"lng/lng_5.1_" + number(1031 + language) + u".lng");
        writer.endElement("InstallerLanguage");
    }
    for (int version = 0; version < kVersions; ++version) {
        writer.startElement("Version");
        writer.attribute("Ver", u"4." + number(9 - version));
        writer.attribute("RevNum", u"4." + number(9 - version) + u".1200");
        writer.startElement("ReleaseNotes");
        writer.text(u"Roads & rails: faster stake-out, \u00DCbersicht of the jobs.");
        writer.endElement("ReleaseNotes");
        for (const char16_t* mask : {u"Wm6,Qm40", u"Win32,Win64", u"All"}) {
            writer.startElement("FullInstaller");
            writer.attribute("prog-platform-mask", mask);
            writer.attribute("inst-platform", u"Controller");
            writer.attribute("inst-type", u"Full");
            writer.attribute("url", u"full/setup4" + number(9 - version) + u".exe");
            writer.attribute("size", u"20000000");
            writer.endElement("FullInstaller");
        }
        for (int i = 0; i < kFeaturesPerVersion; ++i) {
            // Written in reverse order, so that the reader's sort has work.
            const std::u16string index = number(kFeaturesPerVersion - i);
            writer.startElement("Feature");
            writer.attribute("Name", u"Feature/Module" + index + u"/Survey");
            writer.attribute("Prompt", u"Survey module " + index);
            writer.attribute("Desc", u"Stores <jobs> on the controller.");
            writer.attribute("Version", u"4.2." + index);
            writer.attribute("Digest", u"A9993E364706816ABA3E25717850C26C9CD0D89D");
            writer.attribute("Timestamp", u"1650000000");
            writer.attribute("ReqSpace", u"18874368");
            writer.attribute("compressed-size", u"6291456");
            writer.attribute("Platforms", u"Wm6,Qm40");
            writer.attribute("LocaleId", i % 10 == 0 ? u"1031" : u"0");
            writer.attribute("url", u"pkg\\module" + index + u".lzma");
            if (i % 4 == 0) {
                writer.startElement("ComponentFeature");
                writer.text(u"Feature/Module" + index + u"/Base");
                writer.endElement("ComponentFeature");
            }
            writer.endElement("Feature");
        }
        writer.startElement("InstallerVariable");
        writer.attribute("name", u"DATADIR");
        writer.startElement("Definition");
        writer.attribute("platform", u"Qm40");
        writer.text(u"\\My Documents\\Survey");
        writer.endElement("Definition");
        writer.endElement("InstallerVariable");
        writer.endElement("Version");
    }
    writer.endElement("UpdateBulletin");
    writer.flush();
    return bytes;
}

const std::vector<std::uint8_t>& document()
{
    static const std::vector<std::uint8_t> bytes = makeBulletin();
    return bytes;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}

// Reading and building the records; the teardown of the bulletin is not
// part of reading it and is left out of the time.
void BM_BulletinParse_Ours(benchmark::State& state)
{
    const auto& bytes = document();
    const druvex::SharedString base(u"http://updates.invalid/survey/bulletin.xml");
    for (auto _ : state) {
        auto bulletin = std::make_unique<druvex::UpdateBulletin>();
        if (!bulletin->parse(bytes.data(), bytes.size(), base, true, false))
            state.SkipWithError("bulletin refused");
        benchmark::DoNotOptimize(bulletin->getVersionCount());
        state.PauseTiming();
        bulletin.reset();
        state.ResumeTiming();
    }
    setBytes(state);
}

// The same with the teardown.
void BM_BulletinParseAndFree_Ours(benchmark::State& state)
{
    const auto& bytes = document();
    const druvex::SharedString base(u"http://updates.invalid/survey/bulletin.xml");
    for (auto _ : state) {
        druvex::UpdateBulletin bulletin;
        if (!bulletin.parse(bytes.data(), bytes.size(), base, true, false))
            state.SkipWithError("bulletin refused");
        benchmark::DoNotOptimize(bulletin.getVersionCount());
    }
    setBytes(state);
}

void BM_BulletinParse_Expat(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        const long elements = druvex::bench::expatScan(bytes);
        if (elements < 0)
            state.SkipWithError("document refused");
        benchmark::DoNotOptimize(elements);
    }
    setBytes(state);
}

BENCHMARK(BM_BulletinParse_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulletinParseAndFree_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BulletinParse_Expat)->Unit(benchmark::kMillisecond);

// Each side's teardown ends with malloc_trim, which merges the blocks it
// freed: otherwise the allocator bills that merging to whatever allocates a
// large block next, which in alternating rounds is the other side.
void parseOurs()
{
    {
        const druvex::SharedString base(u"http://updates.invalid/survey/bulletin.xml");
        druvex::UpdateBulletin bulletin;
        if (!bulletin.parse(document().data(), document().size(), base, true, false))
            druvex::bench::fail("bulletin refused");
        benchmark::DoNotOptimize(bulletin.getVersionCount());
    }
    malloc_trim(0);
}

void parseExpat()
{
    const long elements = druvex::bench::expatScan(document());
    if (elements < 0)
        druvex::bench::fail("document refused");
    benchmark::DoNotOptimize(elements);
    malloc_trim(0);
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    std::printf("bulletin: %d versions of %d features, %zu bytes\n", kVersions, kFeaturesPerVersion,
                document().size());
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    druvex::bench::report("bulletin_read", druvex::bench::interleaved(options.rounds, parseOurs, parseExpat));
    return 0;
}
