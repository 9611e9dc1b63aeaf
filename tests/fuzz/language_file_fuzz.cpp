// Fuzz target: a language file of the "lng" folder, its content as an
// LZMA-alone stream and its name (the input read as UTF-16LE units).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <string>
#include <vector>

#include "controller/language_file_manager.h"
#include "platform/input_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::vector<std::uint8_t> packed(data, data + size);
    std::vector<std::uint8_t> decoded;
    if (druvex::decodeLanguageFile(packed, decoded) && decoded.size() > druvex::kMaxLanguageFileSize)
        __builtin_trap();

    std::u16string name;
    for (std::size_t at = 0; at + 1 < size; at += 2)
        name.push_back(static_cast<char16_t>(data[at] | data[at + 1] << 8));
    std::uint16_t lcid = 0;
    druvex::SharedString language;
    if (druvex::LanguageFileManager::parseLanguageFileName(name, lcid, language)) {
        // The name lies between the LCID's '_' and the extension.
        if (!name.ends_with(u".lng") || static_cast<std::size_t>(language.length()) + 15 > name.size())
            __builtin_trap();
        // The paths made from the name stay in the "lng" folder.
        if (language.view().find_first_of(u"/\\") != std::u16string_view::npos ||
            language.view().find(u"..") != std::u16string_view::npos)
            __builtin_trap();
    }
    return 0;
}
