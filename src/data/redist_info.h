// The redistributables list ("RedistInfo"): the redistributable packages that
// features and custom actions may require, each with its package's item
// fields (name, version, digest, size, download address), the names it
// depends on and supersedes, and the Lua text of its check script. The
// element layout is written down in docs/formats.md.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "data/scriptable.h"

namespace druvex {

using RedistributablePtr = std::shared_ptr<Redistributable>;

// Reads the list into `out` (emptied first), in document order. False for an
// empty buffer, a document that does not parse, a Redistributable without a
// Name or named like one before it (ignoring case), and a Dependency,
// Supersede or Check outside a Redistributable; what was read before the
// refused element stays in `out`.
bool parseRedistInfo(const void* data, std::size_t bytes, std::vector<RedistributablePtr>& out);

}  // namespace druvex
