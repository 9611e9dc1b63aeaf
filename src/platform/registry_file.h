// The text form of the device registry, the file "registry.reg" in the device
// directory (the format is described in docs/formats.md). Formatting only: the
// store reads and writes the file. The writer's output is canonical: reading
// it and writing again gives the same bytes.
#pragma once

#include <string>
#include <string_view>

#include "platform/registry_tree.h"

namespace druvex {

// The first line of every registry file.
constexpr std::string_view kRegistryFileHeader = "DRUVEX-REGISTRY 1";

// Where and why a registry text was refused.
struct RegistryTextError {
    int line = 0;            // 1-based
    const char* reason = "";  // a fixed English text
};

std::string writeRegistryText(const RegistryTree& tree);

// Parses `text` into `tree` (which should be empty). False at the first line
// it refuses, with `error` saying which and why; `tree` then holds what came
// before. An empty text is an empty registry. A text longer than
// kMaxRegistryFileSize is refused at the line where it passes that limit, and
// a value of more than kMaxRegistryValueSize bytes at its own line.
bool readRegistryText(std::string_view text, RegistryTree& tree, RegistryTextError& error);

}  // namespace druvex
