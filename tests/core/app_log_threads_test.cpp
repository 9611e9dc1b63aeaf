// The log written from several threads at once, and closed while they write.
#include "core/app_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/external_tool.h"

namespace druvex {
namespace {

// The host's clocks and thread ids with a quiet debugger.
class QuietHost : public AppLogEnvironment {
public:
    bool debugOutputEnabled() override { return false; }
};

// The texts of a log file's lines, without their prefixes; every line must be whole.
std::vector<std::string> textsOf(const std::filesystem::path& path)
{
    const test::Bytes bytes = test::readFileBytes(path);
    std::istringstream in(std::string(bytes.begin() + 3, bytes.end()));
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(line.size() >= 30 && line.ends_with('\r') && line.substr(14, 3) == " ; " &&
                    line.substr(25, 3) == " ; ")
            << line;
        texts.push_back(line.substr(28, line.size() - 29));
    }
    return texts;
}

class AppLogThreads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(log_.open(fromUtf8(path().string()))); }
    std::filesystem::path path() const { return scratch_.path() / "t.log.txt"; }

    test::ScratchDir scratch_;
    QuietHost environment_;
    AppLog log_{environment_};
};

TEST_F(AppLogThreads, LinesOfManyThreadsArriveWholeAndInTheirOrder)
{
    constexpr int kThreads = 4, kLines = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i)
                log_.writeFormat(AppLog::kLevelAll, u"thread %d line %d", t, i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    log_.close();

    const std::vector<std::string> texts = textsOf(path());
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(kThreads * kLines + 1));
    std::vector<int> next(kThreads, 0);
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        int thread = -1, number = -1;
        ASSERT_EQ(std::sscanf(texts[i].c_str(), "thread %d line %d", &thread, &number), 2) << texts[i];
        ASSERT_TRUE(thread >= 0 && thread < kThreads && number == next[thread]++) << texts[i];
    }
    EXPECT_EQ(texts.back(), "Logging finished");
}

TEST_F(AppLogThreads, WritersRacingTheCloseNeverReachAClosedFile)
{
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; !stop.load(); ++i) {
                // A writer that holds the log, and one that took it as the
                // diagnostics sink just before the close.
                log_.writeFormat(AppLog::kLevelAll, u"direct %d %d", t, i);
                log_.writeLine(u"as the sink");
                log_.flush();
                written.fetch_add(1);
            }
        });
    }
    while (written.load() < 2000)
        std::this_thread::yield();
    log_.close();
    const int atClose = written.load();
    while (written.load() < atClose + 2000)
        std::this_thread::yield();
    stop = true;
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<std::string> texts = textsOf(path());
    EXPECT_GE(texts.size(), 2000u);
    EXPECT_EQ(texts.back(), "Logging finished");
}

}  // namespace
}  // namespace druvex
