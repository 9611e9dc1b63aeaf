// Running the external oracles of the tests (xz, 7zz, xmllint, iconv, ...) on
// byte buffers, and making scratch folders that clean up after themselves.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace druvex::test {

using Bytes = std::vector<std::uint8_t>;

struct ToolResult {
    int exitCode = -1;
    Bytes output;  // what the command wrote to standard output
};

// Runs `command` through /bin/sh with `input` on its standard input.
ToolResult runTool(const std::string& command, const Bytes& input = {});

// Whether `program` can be found on PATH. scripts/test installs every tool the
// tests use as an oracle, so a test asserts this and fails without its tool
// rather than silently drop its check.
::testing::AssertionResult toolInstalled(const std::string& program);

Bytes readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const Bytes& bytes);

// A fresh folder under the system's temporary folder, removed with its content
// when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace druvex::test
