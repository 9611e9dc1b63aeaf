// Numbers to text and back with the device's scan and print conventions, the
// same in every locale. Scans accept leading white space and ignore what
// follows the number ("12abc" is 12); a null or empty text, or one without a
// number, gives false and 0. A value outside the target type's range also
// gives false and 0 (C leaves that undefined; we never wrap silently).
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

bool parseInt(const char16_t* text, int& out);
// "%u" accepts a sign like its C counterpart: "-1" gives 4294967295.
bool parseUInt(const char16_t* text, unsigned& out);
bool parseInt64(const char16_t* text, std::int64_t& out);
// The whole text (trailing white space aside) must be one decimal number:
// [sign] digits [. digits] [e|E [sign] digits], at least one digit; the first
// ',' counts as the decimal point. No "inf", "nan" or hexadecimal forms.
bool parseDouble(const char16_t* text, double& out);

SharedString intToText(int value);              // "%d"
SharedString uintToText(unsigned value);        // "%u"
SharedString int64ToText(std::int64_t value);   // "%I64d"
// "%.12lf" without trailing zeros (nor a bare '.'): 1.5 gives "1.5", 2.0 "2".
// The largest finite double means "no value set" and gives an empty text.
SharedString doubleToText(double value);

}  // namespace druvex
