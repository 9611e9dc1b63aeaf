#include "app_base/theme_names.h"

namespace druvex {
namespace {

constexpr NamedValue<std::int32_t> kThemes[] = {
    {1, u"Yellow"},
    {2, u"Blue"},
    {3, u"Gray"},
    {4, u"Green"},
    {kThemeNone, u"NoTheme"},
    {5, u"Tillora"},
    {6, u"Tillora 2nd Skin"},
    {7, u"Kemrin"},
};

}  // namespace

const NameTable<std::int32_t> kThemeNames{kThemes, NameCase::kIgnoreCase};

std::int32_t themeFromName(std::u16string_view name)
{
    return kThemeNames.valueOf(name, kThemeDark);
}

SharedString themeName(std::int32_t id)
{
    return SharedString(kThemeNames.nameOf(id, u"Dark"));
}

}  // namespace druvex
