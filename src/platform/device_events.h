// The device directory's events.log: what the device would show physically
// (a soft reset, say), one line per event, appended and never rewritten.
#pragma once

#include <cstdint>
#include <string_view>

namespace druvex {

// Appends `line` and a line end to events.log in one write. Returns 0 or the
// device error (also the last error); without a device directory there is no
// log, and the answer is kErrorPathNotFound.
std::uint32_t appendDeviceEvent(std::string_view line);

}  // namespace druvex
