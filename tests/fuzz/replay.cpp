#include "fuzz/replay.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "support/external_tool.h"

namespace druvex::fuzz {

void replayCorpus(const char* target, FuzzEntry entry)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(DRUVEX_FUZZ_CORPUS_DIR) / target;
    std::vector<fs::path> inputs;
    std::error_code error;
    for (const fs::directory_entry& file : fs::directory_iterator(folder, error)) {
        if (file.is_regular_file())
            inputs.push_back(file.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& input : inputs) {
        SCOPED_TRACE(input.string());
        const test::Bytes bytes = test::readFileBytes(input);
        // The name goes out first: a crash ends the process before any report.
        std::printf("[ replay   ] %s\n", input.filename().c_str());
        std::fflush(stdout);
        // libFuzzer never hands over a null pointer, also for an empty input.
        static const std::uint8_t kNothing = 0;
        EXPECT_EQ(entry(bytes.empty() ? &kNothing : bytes.data(), bytes.size()), 0);
    }
}

}  // namespace druvex::fuzz
