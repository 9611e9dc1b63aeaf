// Desktop Windows versions by id, name and version key, for the installer's
// minimum-OS setting and the script functions that compare OS versions.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

class OSVersion {
public:
    static constexpr std::int32_t kUnknown = 0;  // "Unknown Windows version"
    static constexpr std::int32_t kLastId = 31;  // "Windows 10 Server"

    // The id of a name such as "Windows 7 Service Pack 1" (case ignored);
    // kUnknown for any other text.
    static std::int32_t fromName(std::u16string_view name);
    // The name of an id; "Unknown Windows version" for 0 and for any id
    // outside 1 to 31.
    static SharedString toName(std::int32_t id);
    // Major, minor and service pack joined by dots ("6.1.0"); empty for 0 and
    // for an unknown id. Several ids share a key (a server and its desktop
    // twin), so this does not go back to one id.
    static SharedString toVersionKey(std::int32_t id);
};

}  // namespace druvex
