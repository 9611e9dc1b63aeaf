// The installer's colour themes by name and id, as settings, "_config.xml" and
// the theme bitmaps name them.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/name_table.h"
#include "text/shared_string.h"

namespace druvex {

constexpr std::int32_t kThemeNone = -1;  // "NoTheme"
constexpr std::int32_t kThemeDark = 0;   // the id of every name not in the table

extern const NameTable<std::int32_t> kThemeNames;

// "Yellow" 1, "Blue" 2, "Gray" 3, "Green" 4, "NoTheme" -1, "Tillora" 5,
// "Tillora 2nd Skin" 6, "Kemrin" 7, ignoring case; any other text 0.
std::int32_t themeFromName(std::u16string_view name);
// The names above; any other id (0 included) "Dark".
SharedString themeName(std::int32_t id);

}  // namespace druvex
