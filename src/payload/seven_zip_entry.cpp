#include "payload/seven_zip_entry.h"

namespace druvex {

bool isSafeArchiveName(std::u16string_view name)
{
    if (name.empty())
        return false;
    if (name.find_first_of(u"\\:") != std::u16string_view::npos)
        return false;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find(u'/', start);
        const std::u16string_view component =
            name.substr(start, end == std::u16string_view::npos ? std::u16string_view::npos : end - start);
        if (component.empty() || component == u"." || component == u"..")
            return false;
        if (end == std::u16string_view::npos)
            return true;
        start = end + 1;
    }
}

}  // namespace druvex
