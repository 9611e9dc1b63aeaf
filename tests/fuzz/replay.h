// The corpus replay: every input a fuzz target ever found, fed to it again in
// an ordinary test, so that a fault once found stays found.
#pragma once

#include <cstddef>
#include <cstdint>

namespace druvex::fuzz {

using FuzzEntry = int (*)(const std::uint8_t* data, std::size_t size);

// Feeds each file of tests/fuzz/corpus/<target>/ to `entry`, in name order; a
// target without a folder has found nothing yet.
void replayCorpus(const char* target, FuzzEntry entry);

}  // namespace druvex::fuzz
