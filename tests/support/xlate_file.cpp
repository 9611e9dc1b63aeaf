#include "support/xlate_file.h"

#include <stdexcept>

#include "support/external_tool.h"

namespace druvex::test {

std::string utf16leFromUtf8(std::string_view utf8)
{
    const ToolResult result = runTool("iconv -f UTF-8 -t UTF-16LE", Bytes(utf8.begin(), utf8.end()));
    if (result.exitCode != 0)
        throw std::runtime_error("iconv failed on a translation file");
    return std::string(result.output.begin(), result.output.end());
}

}  // namespace druvex::test
