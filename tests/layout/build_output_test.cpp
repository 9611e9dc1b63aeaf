// What the build makes names its source files relative to the source tree:
// neither a log line's source file (__FILE__) nor the debug information of the
// libraries and programs holds the build machine's path to the tree. It links
// no Boost library. And the installer program, which every product carries,
// goes without its debug information, which stays beside it for developers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/elf_sections.h"
#include "support/external_tool.h"

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

// The debug information is most of what the link makes: the program that
// goes to handhelds leaves it in the file its debug link names, where a
// debugger finds it.
TEST(BuildOutput, TheInstallerProgramKeepsItsDebugInformationApart)
{
    ASSERT_TRUE(test::toolInstalled("gdb"));
    const fs::path program = fs::path(DRUVEX_BINARY_DIR) / "src/app/druvex-setup";
    const auto sections = test::elfSections(program);
    ASSERT_TRUE(sections.contains(".text")) << program;
    EXPECT_FALSE(test::hasDebugSections(sections));
    ASSERT_TRUE(sections.contains(".gnu_debuglink"));
    const std::string link = sections.at(".gnu_debuglink").bytes;
    EXPECT_EQ(link.substr(0, link.find('\0')), "druvex-setup.debug");
    EXPECT_TRUE(test::hasDebugSections(test::elfSections(program.parent_path() / "druvex-setup.debug")));

    const test::ToolResult lines =
        test::runTool("gdb -nx -batch -ex 'info line main' '" + program.string() + "' 2>&1");
    const std::string said(lines.output.begin(), lines.output.end());
    EXPECT_NE(said.find("main.cpp"), std::string::npos) << said;
}

}  // namespace
}  // namespace druvex
