// A program that logs, run eleven times in an empty folder: ten numbered log
// files, the sequence file naming the one written last, each file a complete
// log from its first line to "Logging finished".
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path)
{
    const test::Bytes bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// `text` has the shape: '9' stands for a decimal digit, 'x' for a lower-case
// hexadecimal one, anything else for itself.
bool hasShape(std::string_view text, std::string_view shape)
{
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (shape[i] == '9' ? !digit : shape[i] == 'x' ? !(digit || (c >= 'a' && c <= 'f')) : c != shape[i])
            return false;
    }
    return true;
}

constexpr std::string_view kPrefixShape = "T99:99:99.999Z ; xxxxxxxx ; ";

TEST(AppLogRuns, ElevenRunsLeaveTenNumberedLogs)
{
    test::ScratchDir scratch;
    const fs::path program = scratch.path() / "LogRun";
    fs::copy_file(DRUVEX_LOG_RUNS_PROGRAM, program);
    for (int run = 1; run <= 11; ++run) {
        // Runs 3 and 7 leave a thread logging while the program exits.
        const std::string command = "env -u DRUVEX_DEVICE -u DRUVEX_MODULE_PATH '" + program.string() + "' " +
                                    std::to_string(run) + (run == 3 || run == 7 ? " busy" : "") + " 2>/dev/null";
        ASSERT_EQ(test::runTool(command).exitCode, 0) << "run " << run;
    }

    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.path()))
        names.insert(entry.path().filename().string());
    std::set<std::string> expected{"LogRun", "LogRun.seq.ini"};
    for (int n = 1; n <= 10; ++n)
        expected.insert("LogRun" + std::to_string(n) + ".log.txt");
    EXPECT_EQ(names, expected);
    EXPECT_EQ(fileText(scratch.path() / "LogRun.seq.ini"), "1");

    const std::string started = "Program " + program.string() + " started on ";
    for (int n = 1; n <= 10; ++n) {
        const std::string text = fileText(scratch.path() / ("LogRun" + std::to_string(n) + ".log.txt"));
        ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF")) << n;
        ASSERT_TRUE(text.ends_with("\r\n")) << n;
        const std::string first = text.substr(3, text.find("\r\n") - 3);
        EXPECT_TRUE(hasShape(first.substr(0, 28), kPrefixShape) && first.substr(28, started.size()) == started &&
                    hasShape(first.substr(28 + started.size()), "9999/99/99 99:99:99.999 UTC"))
            << first;
        const std::size_t lastStart = text.rfind("\r\n", text.size() - 3) + 2;
        const std::string last = text.substr(lastStart, text.size() - lastStart - 2);
        EXPECT_TRUE(hasShape(last.substr(0, 28), kPrefixShape) && last.substr(28) == "Logging finished") << last;
        // File 1 was written again by the eleventh run.
        const std::string run = n == 1 ? "11" : std::to_string(n);
        EXPECT_NE(text.find(" ; run " + run + "\r\n"), std::string::npos) << n;
        EXPECT_NE(text.find(" ; done\r\n"), std::string::npos) << n;
    }
}

}  // namespace
}  // namespace druvex
