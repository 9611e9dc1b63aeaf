// GoogleTest printers for the program's values: shared strings as UTF-8, and
// enumerations by their number, as the log and the stored files show them.
#pragma once

#include <ostream>
#include <type_traits>

#include "text/shared_string.h"

namespace druvex {

void PrintTo(const SharedString& text, std::ostream* os);
void PrintTo(const SharedStringA& text, std::ostream* os);

template <class Enum>
    requires std::is_enum_v<Enum>
std::ostream& operator<<(std::ostream& os, Enum value)
{
    return os << static_cast<long long>(value);
}

template <class Enum>
    requires std::is_enum_v<Enum>
void PrintTo(const Enum& value, std::ostream* os)
{
    *os << value;
}

}  // namespace druvex
