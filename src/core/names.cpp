#include "core/names.h"

#include "text/diag.h"
#include "text/text_convert.h"

namespace druvex {

SharedString invalidNameCharacters(int kind)
{
    switch (kind) {
    case 1:
        return SharedString(u",?%*@$^&'\"\\/|~;[]{}()<>`\t\r\n=");
    case 2: case 3: case 4: case 5: case 6: case 7: case 8: case 9: case 10: case 11: case 12:
    case 14: case 15: case 16: case 19:
        return SharedString(u",|{}\t\r\n");
    case 13:
        return SharedString(u"!,?%*@#$^&'\"\\/|~;[]{}<>`\t\r\n+=");
    // The two file-system sets are narrow texts of the ANSI code page.
    case 17:
        return SharedString::fromCodePage("<>\"?*:\\/|\t\r\n", kCodePageAnsi);
    case 18:
        return SharedString::fromCodePage("<>\"?*|\t\r\n", kCodePageAnsi);
    default:
        DRUVEX_DBGCHK("orv_formats: unknown name kind");
        return invalidNameCharacters(13);
    }
}

bool isValidName(const SharedString& text, int maxLength, int kind)
{
    if (text.isEmpty() || text.length() > maxLength)
        return false;
    const SharedString forbidden = invalidNameCharacters(kind);
    return text.view().find_first_of(forbidden.view()) == std::u16string_view::npos;
}

}  // namespace druvex
