// SharedString against std::u16string on the work the program does most with
// texts: copying them into records and releasing them again, and building a
// short message with printf-style formatting.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "text/shared_string.h"

namespace {

std::u16string sampleText(std::size_t units)
{
    const std::u16string_view piece = u"\\Program Files\\Survey\\Data\\job0042.job ";
    std::u16string text;
    while (text.size() < units)
        text += piece;
    text.resize(units);
    return text;
}

// A copy that lives for one iteration and is released again.
void BM_SharedStringCopy(benchmark::State& state)
{
    const druvex::SharedString text(sampleText(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        druvex::SharedString copy = text;
        benchmark::DoNotOptimize(copy.c_str());
    }
}
BENCHMARK(BM_SharedStringCopy)->Arg(16)->Arg(256)->Arg(4096);

// Threads copying one and the same string contend on its count.
void BM_SharedStringCopyAcrossThreads(benchmark::State& state)
{
    static const druvex::SharedString text(sampleText(256));
    for (auto _ : state) {
        druvex::SharedString copy = text;
        benchmark::DoNotOptimize(copy.c_str());
    }
}
BENCHMARK(BM_SharedStringCopyAcrossThreads)->Threads(1)->Threads(4);

void BM_U16StringCopy(benchmark::State& state)
{
    const std::u16string text = sampleText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::u16string copy = text;
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_U16StringCopy)->Arg(16)->Arg(256)->Arg(4096);

void BM_U16StringCopyAcrossThreads(benchmark::State& state)
{
    static const std::u16string text = sampleText(256);
    for (auto _ : state) {
        std::u16string copy = text;
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_U16StringCopyAcrossThreads)->Threads(1)->Threads(4);

// Copy, then write: the shared string pays the copy at the write.
void BM_SharedStringCopyAndWrite(benchmark::State& state)
{
    const druvex::SharedString text(sampleText(static_cast<std::size_t>(state.range(0))));
    for (auto _ : state) {
        druvex::SharedString copy = text;
        copy += u'x';
        benchmark::DoNotOptimize(copy.c_str());
    }
}
BENCHMARK(BM_SharedStringCopyAndWrite)->Arg(256);

void BM_U16StringCopyAndWrite(benchmark::State& state)
{
    const std::u16string text = sampleText(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        std::u16string copy = text;
        copy += u'x';
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_U16StringCopyAndWrite)->Arg(256);

// A log-line-like message through our engine and through the C library.
void BM_SharedStringFormat(benchmark::State& state)
{
    const druvex::SharedString name(u"Road design");
    for (auto _ : state) {
        druvex::SharedString line;
        line.format(u"%08x ; feature %s ; %d of %d ; %.2f%%", 1234u, name, 17, 42, 40.476);
        benchmark::DoNotOptimize(line.c_str());
    }
}
BENCHMARK(BM_SharedStringFormat);

void BM_SnprintfFormat(benchmark::State& state)
{
    const std::string name = "Road design";
    for (auto _ : state) {
        char line[256];
        std::snprintf(line, sizeof line, "%08x ; feature %s ; %d of %d ; %.2f%%", 1234u, name.c_str(), 17, 42, 40.476);
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_SnprintfFormat);

}  // namespace

BENCHMARK_MAIN();
