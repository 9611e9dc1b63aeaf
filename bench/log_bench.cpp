// 100,000 log lines from 1 and from 4 threads: the application log (prefix of
// UTC time and thread id, UTF-16 to UTF-8, the 4,096-byte buffer) beside
// fprintf of the same prefix and text into a FILE* under a mutex; the files
// lie in tmpfs. Also in interleaved rounds for scripts/bench.
#include <benchmark/benchmark.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "core/app_log.h"

namespace {

namespace fs = std::filesystem;

constexpr int kLines = 100000;

// The host's clocks and thread ids, no debugger output: what a run does.
class BenchEnvironment final : public druvex::AppLogEnvironment {
public:
    bool debugOutputEnabled() override { return false; }
};

fs::path scratchFile(const char* name)
{
    return druvex::bench::scratchBase() / (std::string("druvex-log-bench-") + std::to_string(::getpid()) + name);
}

template <class WriteLine>
void onThreads(int threads, WriteLine writeLine)
{
    std::vector<std::thread> workers;
    const int perThread = kLines / threads;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&writeLine, t, perThread] {
            for (int i = 0; i < perThread; ++i)
                writeLine(t, i);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
}

void appLogLines(int threads, const fs::path& path)
{
    static BenchEnvironment environment;
    druvex::AppLog log(environment);
    log.open(druvex::fromUtf8(path.string()));
    onThreads(threads, [&log](int t, int i) {
        log.writeFormat(druvex::AppLog::kLevelAll, u"Installing file %d of thread %d into \\Program Files\\Survey", i, t);
    });
    log.close();
}

void fprintfLines(int threads, const fs::path& path)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::mutex mutex;
    onThreads(threads, [&](int t, int i) {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::tm fields{};
        gmtime_r(&now.tv_sec, &fields);
        thread_local const auto threadId = static_cast<unsigned>(::syscall(SYS_gettid));
        std::lock_guard lock(mutex);
        std::fprintf(file, "T%02d:%02d:%02d.%03dZ ; %08x ; Installing file %d of thread %d into \\Program Files\\Survey\r\n",
                     fields.tm_hour, fields.tm_min, fields.tm_sec, static_cast<int>(now.tv_nsec / 1000000),
                     threadId, i, t);
    });
    std::fclose(file);
}

void BM_AppLog(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const fs::path path = scratchFile(".log.txt");
    for (auto _ : state)
        appLogLines(threads, path);
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(path)) * state.iterations());
    fs::remove(path);
}
BENCHMARK(BM_AppLog)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FprintfUnderMutex(benchmark::State& state)
{
    const int threads = static_cast<int>(state.range(0));
    const fs::path path = scratchFile(".fprintf.txt");
    for (auto _ : state)
        fprintfLines(threads, path);
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(path)) * state.iterations());
    fs::remove(path);
}
BENCHMARK(BM_FprintfUnderMutex)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    const fs::path ours = scratchFile(".log.txt");
    const fs::path theirs = scratchFile(".fprintf.txt");
    for (const int threads : {1, 4}) {
        const std::vector<double> ratios = druvex::bench::interleaved(
            options.rounds, [&] { appLogLines(threads, ours); }, [&] { fprintfLines(threads, theirs); });
        druvex::bench::report(threads == 1 ? "log_1" : "log_4", ratios);
    }
    fs::remove(ours);
    fs::remove(theirs);
    return 0;
}
