// The setup scripts: no package mirror is written into them; the source list
// that the Lua sources are fetched through comes from the machine's own apt
// configuration, one-line and deb822 entries alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

}  // namespace
}  // namespace druvex
