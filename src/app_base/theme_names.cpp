#include "app_base/theme_names.h"

#include "text/char_class.h"

namespace druvex {
namespace {

struct Theme {
    const char16_t* name;
    std::int32_t id;
};

constexpr Theme kThemes[] = {
    {u"Yellow", 1},
    {u"Blue", 2},
    {u"Gray", 3},
    {u"Green", 4},
    {u"NoTheme", kThemeNone},
    {u"Tillora", 5},
    {u"Tillora 2nd Skin", 6},
    {u"Kemrin", 7},
};

}  // namespace

std::int32_t themeFromName(std::u16string_view name)
{
    for (const Theme& theme : kThemes) {
        if (equalsNoCase(name, theme.name))
            return theme.id;
    }
    return kThemeDark;
}

SharedString themeName(std::int32_t id)
{
    for (const Theme& theme : kThemes) {
        if (theme.id == id)
            return SharedString(theme.name);
    }
    return SharedString(u"Dark");
}

}  // namespace druvex
