// Translation files for tests, encoded by iconv rather than by the program's
// own converters, so that a fault in our codec cannot hide one in the reader.
#pragma once

#include <string>
#include <string_view>

namespace druvex::test {

// `utf8` as UTF-16LE bytes (no byte-order mark is added: put U+FEFF into the
// text for one). Throws when iconv is missing or refuses the text.
std::string utf16leFromUtf8(std::string_view utf8);

}  // namespace druvex::test
