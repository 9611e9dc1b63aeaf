// EulaRecord: one licence agreement of the installer data: its name, the
// language it is written in and where its text lies (an item path or a URL).
// The controller holds the one the user accepts; the installed log keeps the
// one accepted when the program was installed.
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

struct EulaRecord {
    SharedString name;
    std::uint16_t localeId = 0;
    SharedString path;
};

using EulaRecordPtr = std::shared_ptr<EulaRecord>;

}  // namespace druvex
