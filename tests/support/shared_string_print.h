// GoogleTest printers for shared strings: failures show the text as UTF-8.
#pragma once

#include <iosfwd>

#include "text/shared_string.h"

namespace druvex {

void PrintTo(const SharedString& text, std::ostream* os);
void PrintTo(const SharedStringA& text, std::ostream* os);

}  // namespace druvex
