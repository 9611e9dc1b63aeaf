#include "support/external_tool.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace druvex::test {

namespace fs = std::filesystem;

Bytes readFileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    // One read of the whole file: byte-wise iteration takes seconds on the
    // programs the end-to-end tests copy, in an unoptimised build.
    Bytes bytes(static_cast<std::size_t>(fs::file_size(path)));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (in.gcount() != static_cast<std::streamsize>(bytes.size()))
        throw std::runtime_error("cannot read " + path.string());
    return bytes;
}

void writeFileBytes(const fs::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ToolResult runTool(const std::string& command, const Bytes& input)
{
    ScratchDir scratch;
    const fs::path in = scratch.path() / "in";
    const fs::path out = scratch.path() / "out";
    writeFileBytes(in, input);
    const std::string line = "(" + command + ") < '" + in.string() + "' > '" + out.string() + "'";
    const int status = std::system(line.c_str());
    ToolResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (fs::exists(out))
        result.output = readFileBytes(out);
    return result;
}

::testing::AssertionResult toolInstalled(const std::string& program)
{
    const std::string line = "command -v '" + program + "' >/dev/null 2>&1";
    if (std::system(line.c_str()) == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << program << " is not installed (scripts/test installs it)";
}

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "druvex-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    fs::remove_all(path_, ec);
}

}  // namespace druvex::test
