// The installation engine sees the installer controller only through the
// run's interface (controller/run_controller.h), and the controller's own
// header is included by source files alone, never by another header, so that
// a change to the controller reaches only the files that name it. A fixture
// tree with a planted header shows that both checks can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace druvex {
namespace {

namespace fs = std::filesystem;

const std::string kWholeController = "controller/installer_controller.h";

// The project headers a file includes, as paths below src/.
std::vector<std::string> includesOf(const fs::path& file)
{
    static const std::regex include(R"(^\s*#\s*include\s*"(\w+/[\w.]+)\")");
    std::vector<std::string> found;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (std::regex_search(line, match, include))
            found.push_back(match[1].str());
    }
    return found;
}

// The chain of headers through which `file` (below src/) includes `target`,
// the target last; empty when it does not. Headers missing from the tree
// (the fixture's) end their branch.
std::vector<std::string> includeChain(const fs::path& src, const std::string& file, const std::string& target)
{
    std::map<std::string, std::string> parent{{file, std::string()}};
    std::deque<std::string> pending{file};
    while (!pending.empty()) {
        const std::string current = pending.front();
        pending.pop_front();
        if (!fs::exists(src / current))
            continue;
        for (const std::string& header : includesOf(src / current)) {
            if (!parent.emplace(header, current).second)
                continue;
            if (header == target) {
                std::vector<std::string> chain;
                for (std::string step = header; step != file; step = parent[step])
                    chain.push_back(step);
                std::reverse(chain.begin(), chain.end());
                return chain;
            }
            pending.push_back(header);
        }
    }
    return {};
}

std::vector<std::string> filesOf(const fs::path& src, const std::string& library)
{
    std::vector<std::string> files;
    if (!fs::exists(src / library))
        return files;
    for (const auto& entry : fs::directory_iterator(src / library)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".h" || extension == ".cpp")
            files.push_back(library + "/" + entry.path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// One line per breach of the seam.
std::vector<std::string> seamBreaches(const fs::path& src)
{
    std::vector<std::string> breaches;
    for (const auto& entry : fs::directory_iterator(src)) {
        if (!entry.is_directory())
            continue;
        for (const std::string& file : filesOf(src, entry.path().filename().string())) {
            const std::vector<std::string> included = includesOf(src / file);
            if (file.ends_with(".h") && file != kWholeController &&
                std::find(included.begin(), included.end(), kWholeController) != included.end())
                breaches.push_back(file + " includes " + kWholeController);
        }
    }
    std::vector<std::string> seeOnlyTheRun = filesOf(src, "engine");
    seeOnlyTheRun.push_back("controller/run_controller.h");
    seeOnlyTheRun.push_back("controller/wizard_controller.h");
    for (const std::string& file : seeOnlyTheRun) {
        const std::vector<std::string> chain = includeChain(src, file, kWholeController);
        if (chain.empty())
            continue;
        std::string line = file + " reaches " + kWholeController;
        if (chain.size() > 1) {
            line += " through";
            for (std::size_t step = 0; step + 1 < chain.size(); ++step)
                line += (step == 0 ? " " : ", ") + chain[step];
        }
        breaches.push_back(line);
    }
    std::sort(breaches.begin(), breaches.end());
    return breaches;
}

TEST(ControllerSeam, TheEngineSeesTheControllerOnlyThroughTheRunInterface)
{
    const fs::path src = fs::path(DRUVEX_SOURCE_DIR) / "src";
    ASSERT_TRUE(fs::exists(src / "controller/run_controller.h"));
    ASSERT_GE(filesOf(src, "engine").size(), 10u);
    const std::vector<std::string> breaches = seamBreaches(src);
    EXPECT_TRUE(breaches.empty()) << [&] {
        std::string all;
        for (const std::string& line : breaches)
            all += line + "\n";
        return all;
    }();
}

TEST(ControllerSeam, APlantedHeaderThatTakesTheWholeControllerIsFound)
{
    const fs::path src = fs::path(DRUVEX_SOURCE_DIR) / "tests/layout/seam_fixture/src";
    EXPECT_EQ(seamBreaches(src), (std::vector<std::string>{
                                     "controller/page_window.h includes controller/installer_controller.h",
                                     "engine/process.cpp reaches controller/installer_controller.h through "
                                     "controller/page_window.h",
                                 }));
}

}  // namespace
}  // namespace druvex
