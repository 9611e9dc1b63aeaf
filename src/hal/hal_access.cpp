#include "hal/hal_access.h"

#include <algorithm>
#include <initializer_list>
#include <string>

namespace druvex {

namespace {

// Closes the key on every way out of a helper.
class KeyCloser {
public:
    KeyCloser(HalAccess& host, RegistryKey key) : host_(host), key_(key) {}
    ~KeyCloser() { host_.regCloseKeyAfterUse(key_); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

private:
    HalAccess& host_;
    RegistryKey key_;
};

// Reads a whole value of one of `types` into `units`. The value may change
// between the size query and the read: a grown value then fails (more data)
// rather than being cut, and the bytes really read are what counts, so data
// without a terminating zero never reads past what was stored.
bool readValueUnits(HalAccess& host, RegistryKey key, const SharedString& valueName,
                    std::initializer_list<std::uint32_t> types, std::u16string& units)
{
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (!host.regQueryValue(key, valueName, type, nullptr, size))
        return false;
    if (std::find(types.begin(), types.end(), type) == types.end())
        return false;
    std::u16string buffer((size + 1) / 2, u'\0');
    std::uint32_t room = size;
    std::uint32_t readType = 0;
    if (!host.regQueryValue(key, valueName, readType, buffer.data(), room))
        return false;
    if (readType != type)
        return false;
    buffer.resize(std::min<std::size_t>(buffer.size(), room / 2));
    units = std::move(buffer);
    return true;
}

}  // namespace

HalAccess::~HalAccess() = default;

std::int64_t HalAccess::readFully(FileHandle handle, void* buffer, std::size_t count)
{
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    std::size_t total = 0;
    while (total < count) {
        const std::int64_t got = readFile(handle, bytes + total, count - total);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(total);
}

bool HalAccess::writeRegistryDwordValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                        const SharedString& valueName, std::uint32_t value)
{
    RegistryKey key = 0;
    if (!regCreateKey(root, subKey, viewFlags, key))
        return false;
    KeyCloser closer(*this, key);
    return regSetValue(key, valueName, kRegDword, &value, sizeof value);
}

bool HalAccess::writeRegistryStringValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                         const SharedString& valueName, const SharedString& text, bool expand)
{
    RegistryKey key = 0;
    if (!regCreateKey(root, subKey, viewFlags, key))
        return false;
    KeyCloser closer(*this, key);
    const auto bytes = static_cast<std::uint32_t>((text.length() + 1) * sizeof(char16_t));
    return regSetValue(key, valueName, expand ? kRegExpandString : kRegString, text.c_str(), bytes);
}

bool HalAccess::readRegistryStringValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                        const SharedString& valueName, SharedString& text)
{
    RegistryKey key = 0;
    if (!regOpenKey(root, subKey, viewFlags, kRegistryModeRead, key))
        return false;
    KeyCloser closer(*this, key);
    std::u16string units;
    if (!readValueUnits(*this, key, valueName, {kRegString, kRegExpandString}, units))
        return false;
    const std::size_t zero = units.find(u'\0');
    text = SharedString(std::u16string_view(units).substr(0, zero));
    return true;
}

bool HalAccess::readRegistryDwordValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                       const SharedString& valueName, std::uint32_t& value)
{
    value = 0;
    RegistryKey key = 0;
    if (!regOpenKey(root, subKey, viewFlags, kRegistryModeRead, key))
        return false;
    KeyCloser closer(*this, key);
    std::uint32_t type = 0;
    std::uint32_t read = 0;
    std::uint32_t size = sizeof read;
    if (!regQueryValue(key, valueName, type, &read, size) || type != kRegDword || size != sizeof read)
        return false;
    value = read;
    return true;
}

bool HalAccess::readRegistryMultiStringValue(RegistryKey root, const SharedString& subKey,
                                             std::uint32_t viewFlags, const SharedString& valueName,
                                             std::vector<SharedString>& list)
{
    RegistryKey key = 0;
    if (!regOpenKey(root, subKey, viewFlags, kRegistryModeRead, key))
        return false;
    KeyCloser closer(*this, key);
    std::u16string units;
    if (!readValueUnits(*this, key, valueName, {kRegMultiString}, units))
        return false;
    list.clear();
    std::u16string_view rest(units);
    while (!rest.empty()) {
        const std::size_t zero = rest.find(u'\0');
        const std::u16string_view item = rest.substr(0, zero);
        // The list ends at its double zero: an empty text is its end, never an item.
        if (item.empty())
            break;
        list.emplace_back(item);
        if (zero == std::u16string_view::npos)
            break;
        rest.remove_prefix(zero + 1);
    }
    return true;
}

void HalAccess::regCloseKeyAfterUse(RegistryKey key)
{
    (void)regCloseKey(key);
}

void HalAccess::closeFileAfterReading(FileHandle handle)
{
    (void)closeFile(handle);
}

DeviceType HalAccess::deviceTypeOrNone(bool refresh)
{
    DeviceType type = DeviceType::NONE;
    // Without a connection the type is NONE, which is the answer wanted then.
    (void)getDeviceType(type, refresh);
    return type;
}

}  // namespace druvex
