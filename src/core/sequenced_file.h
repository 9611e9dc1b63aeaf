// Names that rotate over a fixed count of numbered files ("<base>1<ext>" to
// "<base><count><ext>"), the number written last kept in "<base>.seq.ini"
// beside them: how the last runs' logs stay on the device.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

struct SequencedFileName {
    SharedString folder;     // without a trailing separator
    SharedString baseName;
    SharedString extension;  // with its dot, e.g. ".log.txt"
    std::uint32_t count = 10;
};

// folder "/" baseName ".seq.ini".
SharedString sequenceFilePath(const SequencedFileName& name);

// The next path of the rotation: the number stored in the sequence file plus
// one, or 1 when the stored number is count or more (a missing or unreadable
// file counts as 0). The new number replaces the file's content when the file
// can be written; the path is "<folder>/<baseName><number><extension>".
SharedString nextSequencedPath(const SequencedFileName& name);

}  // namespace druvex
