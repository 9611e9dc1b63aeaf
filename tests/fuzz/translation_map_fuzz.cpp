// Fuzz target: the installer archive's "TranslationMap" entry, read record by
// record with every count and length checked against the bytes there, and
// every name kept fit to stand in a file name of the "lng" folder.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "controller/translation_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::vector<druvex::TranslationMapRecord> records;
    druvex::parseTranslationMap(bytes, records);
    // Every record takes at least its LCID and its length, and a name is
    // never longer than the units the entry holds, nor holds a zero unit.
    if (size < 4 ? !records.empty() : records.size() > (size - 4) / 6)
        __builtin_trap();
    for (const druvex::TranslationMapRecord& record : records) {
        if (static_cast<std::size_t>(record.name.length()) > size / 2 || record.name.find(u'\0') >= 0)
            __builtin_trap();
        // A name goes into a file name of the "lng" folder: no separator, no "..".
        if (record.name.view().find_first_of(u"/\\") != std::u16string_view::npos ||
            record.name.view().find(u"..") != std::u16string_view::npos)
            __builtin_trap();
    }
    return 0;
}
