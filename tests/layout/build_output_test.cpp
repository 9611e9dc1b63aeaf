// What the build makes names its source files relative to the source tree:
// neither a log line's source file (__FILE__) nor the debug information of the
// libraries and programs holds the build machine's path to the tree. And it
// links no Boost library.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace druvex {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The libraries of src/ and the third-party code, and the tools.
std::vector<fs::path> shippedFiles()
{
    std::vector<fs::path> files;
    const fs::path build = DRUVEX_BINARY_DIR;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(build)) {
        const std::string name = entry.path().filename().string();
        const bool library = name.starts_with("libdruvex_") && name.ends_with(".a") &&
                             !entry.path().string().starts_with((build / "tests").string());
        if (entry.is_regular_file() && (library || name == "payload_tool"))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(BuildOutput, NamesSourceFilesRelativeToTheTree)
{
#ifdef DRUVEX_SANITIZED
    // The sanitizers' own records of globals and checks keep the compiler's
    // spelling of each source; those builds are not shipped.
    GTEST_SKIP() << "an instrumented build";
#endif
    const std::vector<fs::path> files = shippedFiles();
    ASSERT_GE(files.size(), 10u);
    const std::string tree = DRUVEX_SOURCE_DIR;
    for (const fs::path& file : files) {
        const std::string bytes = contents(file);
        EXPECT_EQ(bytes.find(tree), std::string::npos) << file;
        // Compiled through ccache, sources are named relative to the build folder.
        EXPECT_EQ(bytes.find("../src/"), std::string::npos) << file;
    }
    // The library that holds the ini reader names its source the way a log line shows it.
    const auto core = std::find_if(files.begin(), files.end(),
                                   [](const fs::path& file) { return file.filename() == "libdruvex_core.a"; });
    ASSERT_NE(core, files.end());
    EXPECT_NE(contents(*core).find(std::string("src/core/ini_file.cpp") + '\0'), std::string::npos);
}

// Boost is used for its headers alone: a library linked that no code calls
// is a package more to install and a link more to make.
TEST(BuildOutput, LinksNoBoostLibrary)
{
    const std::string rules = contents(fs::path(DRUVEX_BINARY_DIR) / "build.ninja");
    ASSERT_NE(rules.find("druvex-setup"), std::string::npos) << "no Ninja build rules";
    const std::size_t at = rules.find("libboost_");
    EXPECT_EQ(at, std::string::npos) << rules.substr(at == std::string::npos ? 0 : at, 60);
}

}  // namespace
}  // namespace druvex
