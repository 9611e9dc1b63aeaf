#include <string>

#include "platform/registry.h"
#include "platform/win_error.h"

namespace druvex {

bool readRegistryString(DeviceRegistry& registry, RegistryKey root, const char16_t* subKey,
                        const char16_t* valueName, SharedString& text)
{
    text.clear();
    if (subKey == nullptr || *subKey == 0)
        return false;
    RegistryKey key = 0;
    if (registry.openKey(root, subKey, key) != kErrorSuccess)
        return false;
    const std::u16string_view name = valueName ? std::u16string_view(valueName) : std::u16string_view();
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    bool result = registry.queryValue(key, name, &type, nullptr, &size) == kErrorSuccess;
    if (result && (type == kRegString || type == kRegExpandString)) {
        // Room for every byte; an odd last byte is no whole character.
        std::u16string buffer((size + 1) / 2, u'\0');
        result = registry.queryValue(key, name, &type, buffer.data(), &size) == kErrorSuccess;
        if (result) {
            buffer.resize(size / 2);
            text = SharedString(std::u16string_view(buffer).substr(0, buffer.find(u'\0')));
        }
    }
    registry.closeKey(key);
    return result;
}

bool readRegistryString(RegistryKey root, const char16_t* subKey, const char16_t* valueName, SharedString& text)
{
    return readRegistryString(deviceRegistry(), root, subKey, valueName, text);
}

}  // namespace druvex
