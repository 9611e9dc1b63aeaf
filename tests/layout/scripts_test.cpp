// The setup scripts: no package mirror is written into them; the source list
// that the Lua sources are fetched through comes from the machine's own apt
// configuration, one-line and deb822 entries alike, whichever name of the
// release they use; the build refuses LZMA sources older than it expects.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "support/external_tool.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

std::string contents(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// An address in a script other than this machine's own.
bool namesARemoteAddress(const std::string& text)
{
    for (std::size_t at = text.find("://"); at != std::string::npos; at = text.find("://", at + 3)) {
        const std::string host = text.substr(at + 3, 9);
        if (!host.starts_with("127.0.0.1") && !host.starts_with("localhost"))
            return true;
    }
    return false;
}

TEST(SetupScripts, NameNoRemoteAddress)
{
    const fs::path source = DRUVEX_SOURCE_DIR;
    for (const fs::path& folder : {source / "scripts", source / ".ci"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            EXPECT_FALSE(namesARemoteAddress(contents(entry.path()))) << entry.path();
    }
}

TEST(SetupScripts, SourceListsComeFromTheAptConfiguration)
{
    test::ScratchDir scratch;
    const fs::path etc = scratch.path() / "apt";
    writeText(etc / "sources.list",
              "# a comment\n"
              "deb [signed-by=/k.gpg arch=amd64] http://one.invalid/debian bookworm main contrib # note\n"
              "deb http://one.invalid/debian bookworm-updates main\n"
              "deb-src http://one.invalid/debian bookworm main\n"
              "deb http://two.invalid/debian bookworm main\n");
    writeText(etc / "sources.list.d" / "other.list", "deb http://three.invalid/x nodistro main\n");
    writeText(etc / "sources.list.d" / "archive.sources",
              "Types: deb\n"
              "# a comment\n"
              "URIs: http://four.invalid/debian\n"
              "Suites: bookworm bookworm-updates\n"
              "Components: main\n"
              "Signed-By: /usr/share/keyrings/archive.gpg\n"
              "\n"
              "Types: deb\n"
              "URIs: http://five.invalid/security\n"
              "Suites: bookworm-security\n"
              "Components: main\n"
              "\n"
              "Types: deb deb-src\n"
              "URIs: http://six.invalid/debian\n"
              "Suites: bookworm\n"
              "Components: main\n"
              "Enabled: no\n"
              "Signed-By:\n"
              " -----BEGIN PGP PUBLIC KEY BLOCK-----\n"
              " .\n");
    writeText(etc / "sources.list.d" / "vendor.sources.disabled", "Types: deb\nURIs: http://seven.invalid\n");
    const fs::path out = scratch.path() / "out";
    const std::string command = "'" + std::string(DRUVEX_SOURCE_DIR) + "/scripts/setup' --source-lists bookworm '" +
                                etc.string() + "' '" + out.string() + "'";
    ASSERT_EQ(test::runTool(command).exitCode, 0);
    EXPECT_EQ(contents(out / "sources.list"),
              "deb-src [signed-by=/k.gpg arch=amd64] http://one.invalid/debian bookworm main contrib\n"
              "deb-src http://two.invalid/debian bookworm main\n");
    EXPECT_EQ(contents(out / "sources.list.d" / "machine.sources"),
              "Types: deb-src\n"
              "Suites: bookworm\n"
              "URIs: http://four.invalid/debian\n"
              "Components: main\n"
              "Signed-By: /usr/share/keyrings/archive.gpg\n"
              "\n");

    // Without an entry for the release there is nothing to fetch from.
    const fs::path empty = scratch.path() / "empty";
    writeText(empty / "sources.list", "deb http://one.invalid/debian trixie main\n");
    EXPECT_NE(test::runTool("'" + std::string(DRUVEX_SOURCE_DIR) + "/scripts/setup' --source-lists bookworm '" +
                            empty.string() + "' '" + out.string() + "' 2>/dev/null")
                  .exitCode,
              0);
}

// The source lists derived from one apt configuration (files by their path
// under the apt folder); the exit status of the derivation.
struct DerivedLists {
    int status = -1;
    std::string oneLine;
    std::string deb822;
    std::string errors;
};

DerivedLists deriveSourceLists(const std::vector<std::pair<std::string, std::string>>& files)
{
    test::ScratchDir scratch;
    const fs::path etc = scratch.path() / "apt";
    fs::create_directories(etc / "sources.list.d");
    for (const auto& [name, text] : files)
        writeText(etc / name, text);
    const fs::path out = scratch.path() / "out";
    const std::string command = "'" + std::string(DRUVEX_SOURCE_DIR) + "/scripts/setup' --source-lists bookworm '" +
                                etc.string() + "' '" + out.string() + "' 2>'" + (scratch.path() / "err").string() +
                                "'";
    DerivedLists lists;
    lists.status = test::runTool(command).exitCode;
    lists.oneLine = contents(out / "sources.list");
    lists.deb822 = contents(out / "sources.list.d" / "machine.sources");
    lists.errors = contents(scratch.path() / "err");
    return lists;
}

// Every way a Debian 12 machine names its release: the code name or the
// aliases "stable" and "oldstable", alone or as "-updates" and the like; the
// source entry always asks for the code name, of the archive that holds it.
TEST(SetupScripts, SourceListsFollowEveryNameOfTheRelease)
{
    const struct {
        const char* what;
        std::vector<std::pair<std::string, std::string>> files;
        std::string oneLine;
        std::string deb822;
    } cases[] = {
        {"one-line, stable",
         {{"sources.list", "deb http://m.invalid/debian stable main\n"
                           "deb http://s.invalid/debian-security stable-security main\n"
                           "deb http://m.invalid/debian stable-updates main\n"}},
         "deb-src http://m.invalid/debian bookworm main\n",
         ""},
        {"one-line, only the updates suite, with options",
         {{"sources.list.d/debian.list", "  deb [ arch=amd64 ] http://m.invalid/debian/ bookworm-updates main contrib\n"}},
         "deb-src [ arch=amd64 ] http://m.invalid/debian/ bookworm main contrib\n",
         ""},
        {"one-line, oldstable with its backports",
         {{"sources.list", "deb http://m.invalid/debian oldstable-backports main\n"}},
         "deb-src http://m.invalid/debian bookworm main\n",
         ""},
        {"deb822, stable and its updates",
         {{"sources.list.d/debian.sources", "Types: deb\nURIs: http://m.invalid/debian\n"
                                            "Suites: stable stable-updates\nComponents: main\n"
                                            "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n"}},
         "",
         "Types: deb-src\nSuites: bookworm\nURIs: http://m.invalid/debian\nComponents: main\n"
         "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg\n\n"},
        {"deb822, only the updates suite, field names in lower case",
         {{"sources.list.d/debian.sources", "types: deb\nuris: http://m.invalid/debian\n"
                                            "suites: bookworm-updates\ncomponents: main\n\n"
                                            "types: deb\nuris: http://s.invalid/debian-security\n"
                                            "suites: bookworm-security\ncomponents: main\n"}},
         "",
         "Types: deb-src\nSuites: bookworm\nuris: http://m.invalid/debian\ncomponents: main\n\n"},
        {"one archive named in both forms gives one entry",
         {{"sources.list", "deb http://m.invalid/debian bookworm main\n"},
          {"sources.list.d/debian.sources", "Types: deb\nURIs: http://m.invalid/debian/\nSuites: stable\n"
                                            "Components: main\n"}},
         "deb-src http://m.invalid/debian bookworm main\n",
         ""},
    };
    for (const auto& c : cases) {
        const DerivedLists lists = deriveSourceLists(c.files);
        EXPECT_EQ(lists.status, 0) << c.what << ": " << lists.errors;
        EXPECT_EQ(lists.oneLine, c.oneLine) << c.what;
        EXPECT_EQ(lists.deb822, c.deb822) << c.what;
    }
}

// No archive of the release: the security archive alone, another
// distribution, a later release. The message names what was found.
TEST(SetupScripts, SourceListsWithoutAnArchiveOfTheReleaseFailWithWhatWasFound)
{
    const DerivedLists lists = deriveSourceLists(
        {{"sources.list", "deb http://s.invalid/debian-security bookworm-security main\n"
                          "deb http://m.invalid/debian trixie main\n"},
         {"sources.list.d/vendor.sources", "Types: deb\nURIs: http://v.invalid/x\nSuites: nodistro\n"
                                           "Components: main\n"}});
    EXPECT_NE(lists.status, 0);
    EXPECT_NE(lists.errors.find("no Debian archive for \"bookworm\""), std::string::npos) << lists.errors;
    EXPECT_NE(lists.errors.find("bookworm-security trixie nodistro"), std::string::npos) << lists.errors;
}

// The LZMA code is built single-threaded with Z7_ST, which only 23.01 and
// later know: older sources are refused when the build is configured.
TEST(SetupScripts, LzmaSourcesOlderThanTheBuildExpectsAreRefused)
{
    const struct {
        const char* header;  // 7zVersion.h; null: none
        bool accepted;
        const char* said;
    } cases[] = {
        {"#define MY_VER_MAJOR 26\n#define MY_VERSION_NUMBERS \"26.01\"\n", true, "7zip 26.01"},
        {"#define MY_VERSION_NUMBERS \"23.01\"\n", true, "7zip 23.01"},
        {"#define MY_VER_MAJOR 22\n#define MY_VERSION_NUMBERS \"22.01\"\n", false, "are version 22.01"},
        {"#define MY_VERSION_NUMBERS \"9.20\"\n", false, "are version 9.20"},
        {nullptr, false, "name no version"},
    };
    for (const auto& c : cases) {
        test::ScratchDir scratch;
        if (c.header)
            writeText(scratch.path() / "7zVersion.h", c.header);
        const test::ToolResult result =
            test::runTool("cmake -DDRUVEX_LZMA_SDK_DIR='" + scratch.path().string() + "' -P '" +
                          std::string(DRUVEX_SOURCE_DIR) + "/cmake/LzmaSdkVersion.cmake' 2>&1");
        const std::string output(result.output.begin(), result.output.end());
        EXPECT_EQ(result.exitCode == 0, c.accepted) << output;
        // CMake wraps and indents its messages: words are compared with one
        // blank between them.
        std::string flat;
        for (const char ch : output) {
            if (ch != ' ' && ch != '\n')
                flat += ch;
            else if (!flat.empty() && flat.back() != ' ')
                flat += ' ';
        }
        EXPECT_NE(flat.find(c.said), std::string::npos) << output;
        if (!c.accepted && c.header) {
            EXPECT_NE(flat.find("Z7_ST"), std::string::npos) << output;
        }
    }
}

}  // namespace
}  // namespace druvex
