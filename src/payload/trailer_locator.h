// Finding the installer archive's 48-byte trailer in an open file: just
// before the certificate table of a signed program file (the certificate must
// stay last for the signature to hold), else in the file's last 48 bytes.
#pragma once

#include <cstdint>

#include "core/platform_file.h"
#include "payload/payload_entry.h"

namespace druvex {

class HalAccess;

// True with the trailer's bytes and its file offset when a window with the
// magic word at both ends was found.
bool locatePayloadTrailer(HalAccess& host, FileHandle handle, std::uint8_t (&trailer)[kPayloadTrailerSize],
                          std::uint64_t& position);

}  // namespace druvex
