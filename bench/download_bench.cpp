// Downloading a 256 MiB file from the loopback test server: through
// WebDownloader and a one-item DownloadList into a device folder in tmpfs,
// with the SHA-1 checked on the fly, and with `curl -s -o` into the same
// folder followed by `sha1sum`. Reports the ratio of the two times.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "bench_device.h"
#include "core/sha1.h"
#include "liveupdate/download_list.h"
#include "liveupdate/web_downloader.h"
#include "platform/http_request.h"
#include "support/loopback_http_server.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileBytes = 256u << 20;

using druvex::bench::fail;

std::string capture(const std::string& command)
{
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        fail("cannot run " + command);
    std::string output;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
        output += buffer;
    if (::pclose(pipe) != 0)
        fail("failed: " + command);
    return output;
}

// Tells when the batch of one file has ended.
class BatchEnd final : public druvex::DownloadListener {
public:
    void onContentLength(druvex::DownloadRequest&, std::uint64_t) override {}
    void onBegin(druvex::DownloadRequest&) override {}
    bool onData(druvex::DownloadRequest&, std::uint32_t, std::uint32_t, const std::uint8_t*) override { return true; }
    void onFinished(druvex::DownloadRequest&, int status, bool&) override
    {
        std::lock_guard lock(mutex_);
        status_ = status;
        changed_.notify_all();
    }
    int wait()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return status_ >= 0; });
        return status_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int status_ = -1;
};

struct Setup {
    druvex::bench::ScratchFolder folder{"download-bench"};
    druvex::bench::ActiveDevice device{folder.path, {"Temp"}};
    druvex::test::LoopbackHttpServer server;
    druvex::SharedString digest;
    std::string url;

    Setup()
    {
        std::string body(kFileBytes, '\0');
        std::mt19937_64 random(42);
        for (std::size_t i = 0; i + 8 <= body.size(); i += 8) {
            const std::uint64_t word = random();
            std::memcpy(&body[i], &word, 8);
        }
        druvex::Sha1 sha1;
        sha1.update(body.size(), body.data());
        digest = sha1.hexDigest(druvex::Sha1::kDigestBytes);
        server.setReply("/big.bin", druvex::test::HttpReply::ok(std::move(body)));
        url = server.url("/big.bin");
    }
};

Setup& setup()
{
    static Setup instance;
    return instance;
}

void downloadOurs()
{
    Setup& s = setup();
    druvex::WebDownloader downloader;
    BatchEnd end;
    druvex::DownloadList list(s.device.host, downloader, &end);
    const std::u16string url(s.url.begin(), s.url.end());
    list.add(u"\\Temp\\ours.bin", 1, s.digest, druvex::SharedString(std::u16string_view(url)));
    list.startAll();
    if (end.wait() != druvex::kDownloadOk)
        fail("the download failed");
}

void downloadCurl()
{
    Setup& s = setup();
    const fs::path target = s.folder.path / "fs" / "Temp" / "curl.bin";
    const std::string output = capture("curl -s -o '" + target.string() + "' '" + s.url + "' && sha1sum '" +
                                       target.string() + "'");
    std::string expected(s.digest.view().begin(), s.digest.view().end());
    std::transform(expected.begin(), expected.end(), expected.begin(), [](char c) { return std::tolower(c); });
    if (output.compare(0, expected.size(), expected) != 0)
        fail("curl and sha1sum disagree with the digest");
}

void BM_WebDownloader(benchmark::State& state)
{
    for (auto _ : state)
        downloadOurs();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_WebDownloader)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

void BM_CurlThenSha1sum(benchmark::State& state)
{
    for (auto _ : state)
        downloadCurl();
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kFileBytes));
}
BENCHMARK(BM_CurlThenSha1sum)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    const druvex::bench::Options options = druvex::bench::parseOptions(argc, argv);
    druvex::initHttpOnce();
    setup();
    if (!druvex::bench::runGoogleBenchmarks(options, argc, argv))
        return 1;
    druvex::bench::report("download", druvex::bench::interleaved(options.rounds, downloadOurs, downloadCurl));
    return 0;
}
