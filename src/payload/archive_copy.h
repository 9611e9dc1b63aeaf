// Copying entries of one installer archive into another as they are stored,
// never decoded and never held whole: the engine's copy of the running
// installer into the product data folder.
#pragma once

#include "payload/payload_entry.h"

namespace druvex {

class PayloadArchive;
class PayloadArchiveWriter;

enum class EntryCopy {
    Copied,
    // Its packed or unpacked size is 4 GiB or more: the writer's record keeps
    // 32 bits of each, so the entry is not written at all.
    TooLarge,
    // The source's bytes could not be read whole, did not match their check
    // word, or the writer failed (`error` tells which of its codes).
    Failed,
};

// Appends `entry` of `source` to `writer` under the same name and method.
EntryCopy copyArchiveEntry(PayloadArchive& source, const PayloadEntry& entry, PayloadArchiveWriter& writer,
                           int& error);

}  // namespace druvex
