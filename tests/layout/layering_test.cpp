// The libraries under src/ form layers: src/CMakeLists.txt lists them lowest
// first, and a file may include headers of its own library and of the
// libraries that its library declares in its CMakeLists.txt, all of them
// below it. A fixture tree with a planted upward include shows that the check
// can fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace druvex {
namespace {

namespace fs = std::filesystem;

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    return std::vector<std::string>(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
}

// The folders of the foreach(dir ...) list in src/CMakeLists.txt, lowest first.
std::vector<std::string> libraryOrder(const fs::path& src)
{
    static const std::regex list(R"(foreach\(dir ([^)]*)\))");
    const std::string text = readText(src / "CMakeLists.txt");
    std::smatch match;
    if (!std::regex_search(text, match, list))
        return {};
    return words(match[1].str());
}

// The druvex_* libraries named after DEPS in a library's CMakeLists.txt, as folder names.
std::set<std::string> declaredLibraries(const fs::path& folder)
{
    static const std::regex call(R"(druvex_library\(\s*druvex_\w+([^)]*)\))");
    const std::string text = readText(folder / "CMakeLists.txt");
    std::smatch match;
    std::set<std::string> declared;
    if (!std::regex_search(text, match, call))
        return declared;
    for (const std::string& word : words(match[1].str())) {
        if (word.rfind("druvex_", 0) == 0)
            declared.insert(word.substr(7));
    }
    return declared;
}

// One line per include or declaration that breaks the layering.
std::vector<std::string> layeringViolations(const fs::path& src)
{
    static const std::regex include(R"(^\s*#\s*include\s*"(\w+)/)");
    const std::vector<std::string> order = libraryOrder(src);
    auto rank = [&](const std::string& name) {
        return static_cast<int>(std::find(order.begin(), order.end(), name) - order.begin());
    };
    std::vector<std::string> violations;
    for (const std::string& library : order) {
        const fs::path folder = src / library;
        if (!fs::exists(folder / "CMakeLists.txt"))
            continue;
        const std::set<std::string> declared = declaredLibraries(folder);
        for (const std::string& used : declared) {
            if (rank(used) < static_cast<int>(order.size()) && rank(used) >= rank(library))
                violations.push_back(library + " declares " + used + ", which is not below it");
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".h" || extension == ".cpp")
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file);
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                std::smatch match;
                if (!std::regex_search(line, match, include))
                    continue;
                const std::string target = match[1].str();
                if (target == library || rank(target) == static_cast<int>(order.size()))
                    continue;
                const std::string where = library + "/" + file.filename().string() + ":" + std::to_string(number);
                if (rank(target) > rank(library))
                    violations.push_back(where + " includes " + target + ", a library above it");
                else if (!declared.count(target))
                    violations.push_back(where + " includes " + target + ", which its library does not declare");
            }
        }
    }
    return violations;
}

TEST(Layering, EveryLibraryIncludesOnlyWhatItDeclaresBelowIt)
{
    const fs::path src = fs::path(DRUVEX_SOURCE_DIR) / "src";
    const std::vector<std::string> order = libraryOrder(src);
    ASSERT_GE(order.size(), 10u);
    EXPECT_EQ(order.front(), "text");
    const std::vector<std::string> violations = layeringViolations(src);
    EXPECT_TRUE(violations.empty()) << [&] {
        std::string all;
        for (const std::string& line : violations)
            all += line + "\n";
        return all;
    }();
}

// The README's layout block names every library folder, in the build's order.
TEST(Layering, TheReadmeListsTheLibrariesInTheirOrder)
{
    const fs::path root = DRUVEX_SOURCE_DIR;
    static const std::regex entry(R"(^src/(\w+)/)");
    std::vector<std::string> listed;
    std::ifstream in(root / "README.md");
    std::string line;
    while (std::getline(in, line)) {
        std::smatch match;
        if (std::regex_search(line, match, entry))
            listed.push_back(match[1].str());
    }
    EXPECT_EQ(listed, libraryOrder(root / "src"));
}

TEST(Layering, APlantedUpwardIncludeIsFound)
{
    const fs::path src = fs::path(DRUVEX_SOURCE_DIR) / "tests/layout/fixture/src";
    EXPECT_EQ(layeringViolations(src), (std::vector<std::string>{
                                           "low/low.h:4 includes high, a library above it",
                                           "high/high.cpp:2 includes other, which its library does not declare",
                                       }));
}

}  // namespace
}  // namespace druvex
