#include "controller/package_folder_unpacker.h"

namespace druvex {

SharedString unpackFolderFor(const SharedString& workFolder, const char16_t* kind, const SharedString& name)
{
    std::u16string folder(name.view());
    for (char16_t& unit : folder) {
        if (unit < 0x20 || std::u16string_view(u"\\/:*?\"<>|").find(unit) != std::u16string_view::npos)
            unit = u'_';
    }
    if (folder.empty() || folder == u"." || folder == u"..")
        folder = u"_";
    return workFolder + u"\\" + kind + u"\\" + SharedString(std::u16string_view(folder));
}

}  // namespace druvex
