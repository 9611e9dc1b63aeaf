// The files kept beside the data tests: golden documents and hand-written fixtures.
#pragma once

#include <filesystem>
#include <string>

#include "support/external_tool.h"

namespace druvex::test {

inline std::filesystem::path testDataPath(const std::string& relative)
{
    return std::filesystem::path(DRUVEX_TEST_DATA_DIR) / relative;
}

// The whole file as bytes in a string; a missing file throws.
inline std::string testDataText(const std::string& relative)
{
    const Bytes bytes = readFileBytes(testDataPath(relative));
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace druvex::test
