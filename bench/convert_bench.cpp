// Our UTF-8 codec against glibc's iconv on the same inputs: a mixed text as
// log lines and translated messages look (mostly ASCII, Latin accents,
// Cyrillic, CJK, an emoji now and then) and a pure-ASCII one.
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <string>
#include <string_view>

#include "text/text_convert.h"

namespace {

constexpr std::size_t kTextUnits = 64 * 1024;

std::u16string repeatTo(std::u16string_view piece)
{
    std::u16string text;
    while (text.size() + piece.size() <= kTextUnits)
        text += piece;
    return text;
}

const std::u16string& mixedText()
{
    static const std::u16string text = repeatTo(
        u"T09:41:07.125Z ; 000004d2 ; Installing feature \"Road design\" to \\Program Files\\Survey\r\n"
        u"Die Datei \u00BBStra\u00DFenachse.xml\u00AB ist gr\u00F6\u00DFer als erwartet.\r\n"
        u"L'installation a \u00E9chou\u00E9 : espace insuffisant sur la carte.\r\n"
        u"\u0423\u0441\u0442\u0430\u043D\u043E\u0432\u043A\u0430 \u0437\u0430\u0432\u0435\u0440\u0448\u0435\u043D\u0430.\r\n"
        u"\u5B89\u88C5\u5DF2\u5B8C\u6210\u3002\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB \xD83D\xDE00\r\n");
    return text;
}

const std::u16string& asciiText()
{
    static const std::u16string text = repeatTo(
        u"T09:41:07.125Z ; 000004d2 ; Copying \\Program Files\\Survey\\Data\\job0042.job (18231 bytes)\r\n");
    return text;
}

const std::u16string& textFor(const benchmark::State& state)
{
    return state.range(0) == 0 ? mixedText() : asciiText();
}

std::string ourUtf8(const std::u16string& text)
{
    std::string out(text.size() * 3, '\0');
    out.resize(static_cast<std::size_t>(
        druvex::utf16ToUtf8(text.data(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()))));
    return out;
}

void setLabel(benchmark::State& state, std::size_t inputBytes)
{
    state.SetLabel(state.range(0) == 0 ? "mixed" : "ascii");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * inputBytes));
}

void BM_Utf16ToUtf8_Ours(benchmark::State& state)
{
    const std::u16string& text = textFor(state);
    std::string out(text.size() * 3, '\0');
    for (auto _ : state) {
        const int n = druvex::utf16ToUtf8(text.data(), static_cast<int>(text.size()), out.data(),
                                          static_cast<int>(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    setLabel(state, text.size() * 2);
}

void BM_Utf16ToUtf8_Iconv(benchmark::State& state)
{
    const std::u16string& text = textFor(state);
    std::string out(text.size() * 3, '\0');
    iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
    for (auto _ : state) {
        char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
        std::size_t inLeft = text.size() * 2;
        char* outPtr = out.data();
        std::size_t outLeft = out.size();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t n = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    setLabel(state, text.size() * 2);
}

void BM_Utf8ToUtf16_Ours(benchmark::State& state)
{
    const std::string utf8 = ourUtf8(textFor(state));
    std::u16string out(utf8.size(), u'\0');
    for (auto _ : state) {
        const int n = druvex::utf8ToUtf16(utf8.data(), static_cast<int>(utf8.size()), out.data(),
                                          static_cast<int>(out.size()));
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    setLabel(state, utf8.size());
}

void BM_Utf8ToUtf16_Iconv(benchmark::State& state)
{
    const std::string utf8 = ourUtf8(textFor(state));
    std::u16string out(utf8.size(), u'\0');
    iconv_t cd = iconv_open("UTF-16LE", "UTF-8");
    for (auto _ : state) {
        char* in = const_cast<char*>(utf8.data());
        std::size_t inLeft = utf8.size();
        char* outPtr = reinterpret_cast<char*>(out.data());
        std::size_t outLeft = out.size() * 2;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const std::size_t n = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        benchmark::DoNotOptimize(n);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    setLabel(state, utf8.size());
}

// Argument 0: mixed text, 1: ASCII.
BENCHMARK(BM_Utf16ToUtf8_Ours)->Arg(0)->Arg(1);
BENCHMARK(BM_Utf16ToUtf8_Iconv)->Arg(0)->Arg(1);
BENCHMARK(BM_Utf8ToUtf16_Ours)->Arg(0)->Arg(1);
BENCHMARK(BM_Utf8ToUtf16_Iconv)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
