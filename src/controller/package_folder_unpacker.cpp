#include "controller/package_folder_unpacker.h"

#include <string_view>

namespace druvex {

SharedString unpackFolderFor(const SharedString& workFolder, const char16_t* kind, const SharedString& name)
{
    constexpr std::u16string_view kNotInNames = u"\\/:*?\"<>|";
    SharedString folder;
    for (const char16_t unit : name.view())
        folder += unit < 0x20 || kNotInNames.find(unit) != std::u16string_view::npos ? u'_' : unit;
    if (folder.isEmpty() || folder == u"." || folder == u"..")
        folder = u"_";
    return workFolder + u"\\" + kind + u"\\" + folder;
}

}  // namespace druvex
