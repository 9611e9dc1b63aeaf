// Our digests and XML reader beside the libraries that set the pace, on the
// same generated 20 MB installer-data document: Adler-32 against zlib's
// adler32, SHA-1 against OpenSSL's EVP SHA-1, XmlReader::parse against expat
// with empty callbacks (both only scan and decode). Then each pair in
// interleaved rounds for scripts/bench.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/adler32.h"
#include "core/byte_stream.h"
#include "core/sha1.h"
#include "core/xml_reader.h"
#include "core/xml_writer.h"
#include "bench_support.h"
#include "expat_scan.h"
#include "xml_scan.h"

namespace {

constexpr std::size_t kDocumentBytes = 20 * 1024 * 1024;

// Features with folders of files, variables with texts and a script each,
// as the installer data holds them, repeated up to the size.
std::vector<std::uint8_t> makeDocument()
{
    std::vector<std::uint8_t> bytes;
    druvex::MemoryStream stream(bytes);
    druvex::XmlWriter writer(stream, true);
    writer.startElement("InstallData");
    writer.attribute("Version", u"5.1");
    for (int feature = 0; bytes.size() < kDocumentBytes; ++feature) {
        writer.startElement("Feature");
        writer.attribute("Id", u"F" + std::u16string(1, static_cast<char16_t>(u'A' + feature % 26)));
        writer.attribute("Name", u"Road & Rail \u00BBDesign\u00AB");
        writer.attribute("Digest", u"A9993E364706816ABA3E25717850C26C9CD0D89D");
        for (int folder = 0; folder < 4; ++folder) {
            writer.startElement("Folder");
            writer.attribute("Path", u"<PROGRAMFILES>\\Survey\\Data\\Stra\u00DFe");
            for (int file = 0; file < 12; ++file) {
                writer.startElement("File");
                writer.attribute("Name", u"job0042.job");
                writer.attribute("Size", u"18231");
                writer.attribute("Attributes", u"0x20");
                writer.endElement("File");
            }
            writer.endElement("Folder");
        }
        for (int variable = 0; variable < 6; ++variable) {
            writer.startElement("Variable");
            writer.attribute("Name", u"INSTALLDIR");
            writer.text(u"\\Program Files\\Survey\\\u6F22\u5B57 <default>");
            writer.endElement("Variable");
        }
        writer.startElement("Script");
        writer.text(u"if HalOut:FileExists(path) and size > 0 then\r\n  return \"ok\"\r\nend\r\n");
        writer.endElement("Script");
        writer.endElement("Feature");
        writer.flush();
    }
    writer.endElement("InstallData");
    writer.flush();
    return bytes;
}

const std::vector<std::uint8_t>& document()
{
    static const std::vector<std::uint8_t> bytes = makeDocument();
    return bytes;
}

void setBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * document().size()));
}

void BM_Adler32_Ours(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        druvex::Adler32 adler;
        adler.update(bytes.size(), bytes.data());
        benchmark::DoNotOptimize(adler.final());
    }
    setBytes(state);
}

void BM_Adler32_Zlib(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state)
        benchmark::DoNotOptimize(adler32_z(1, bytes.data(), bytes.size()));
    setBytes(state);
}

void BM_Sha1_Ours(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        druvex::Sha1 sha;
        sha.update(bytes.size(), bytes.data());
        std::uint8_t digest[20];
        sha.final(20, digest);
        benchmark::DoNotOptimize(digest);
    }
    setBytes(state);
}

void BM_Sha1_OpenSsl(benchmark::State& state)
{
    const auto& bytes = document();
    for (auto _ : state) {
        std::uint8_t digest[EVP_MAX_MD_SIZE];
        unsigned length = 0;
        EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    setBytes(state);
}

void BM_XmlParse_Ours(benchmark::State& state)
{
    druvex::bench::scanWithXmlReader(state, document());
    setBytes(state);
}

void BM_XmlParse_Expat(benchmark::State& state)
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

BENCHMARK(BM_Adler32_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adler32_Zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sha1_OpenSsl)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlParse_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XmlParse_Expat)->Unit(benchmark::kMillisecond);

void sha1Ours()
{
    druvex::Sha1 sha;
    sha.update(document().size(), document().data());
    std::uint8_t digest[20];
    sha.final(20, digest);
    benchmark::DoNotOptimize(digest);
}

void sha1OpenSsl()
{
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(document().data(), document().size(), digest, &length, EVP_sha1(), nullptr);
    benchmark::DoNotOptimize(digest);
}

void adlerOurs()
{
    druvex::Adler32 adler;
    adler.update(document().size(), document().data());
    benchmark::DoNotOptimize(adler.final());
}

void adlerZlib()
{
    benchmark::DoNotOptimize(adler32_z(1, document().data(), document().size()));
}

void scanOurs()
{
    druvex::bench::CountingHandler handler;
    druvex::XmlReader reader;
    reader.setInput(document().data(), document().size());
    reader.parse(handler);
    benchmark::DoNotOptimize(handler.elements);
}

void scanExpat()
{
    benchmark::DoNotOptimize(druvex::bench::expatScan(document()));
}

// A side of a round: several passes, so that a round lasts long enough to time.
template <void (*kWork)()>
void passes()
{
    for (int i = 0; i < 5; ++i)
        kWork();
}

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    std::printf("document: %zu bytes\n", document().size());
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    druvex::bench::report("sha1", druvex::bench::interleaved(options.rounds, passes<sha1Ours>, passes<sha1OpenSsl>));
    druvex::bench::report("adler32", druvex::bench::interleaved(options.rounds, passes<adlerOurs>, passes<adlerZlib>));
    druvex::bench::report("xml_scan", druvex::bench::interleaved(options.rounds, passes<scanOurs>, passes<scanExpat>));
    return 0;
}
