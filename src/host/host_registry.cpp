// The device host's registry operations on the device registry. Sub-keys
// written with '/' name the same keys as with '\'; value names stay as given.
#include "host/wince_hal_access.h"
#include "host/host_paths.h"
#include "platform/registry.h"

namespace druvex {

namespace {

SharedString keyPath(const SharedString& subKey)
{
    SharedString path = subKey;
    path.replaceChar(u'/', u'\\');
    return path;
}

bool succeeded(std::uint32_t error)
{
    return error == 0 || host_paths::fail(error);
}

}  // namespace

bool HalAccessWinCE::regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                  RegistryKey& key)
{
    registryViewAccess(viewFlags, subKey);
    RegistryKey opened = 0;
    if (!succeeded(deviceRegistry().createKey(root, keyPath(subKey).view(), opened)))
        return false;
    key = opened;
    return true;
}

bool HalAccessWinCE::regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int,
                                RegistryKey& key)
{
    registryViewAccess(viewFlags, subKey);
    RegistryKey opened = 0;
    if (!succeeded(deviceRegistry().openKey(root, keyPath(subKey).view(), opened)))
        return false;
    key = opened;
    return true;
}

bool HalAccessWinCE::regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                   bool& empty)
{
    RegistryKey key = 0;
    if (!regOpenKey(root, subKey, viewFlags, kRegistryModeRead, key))
        return false;
    std::uint32_t subKeys = 0;
    std::uint32_t values = 0;
    const std::uint32_t error = deviceRegistry().queryInfoKey(key, &subKeys, &values);
    regCloseKeyAfterUse(key);
    if (!succeeded(error))
        return false;
    empty = subKeys == 0 && values == 0;
    return true;
}

bool HalAccessWinCE::regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name, SharedString& className)
{
    SharedString found;
    if (!succeeded(deviceRegistry().enumKey(key, index, found)))
        return false;
    name = found;
    className.clear();
    return true;
}

bool HalAccessWinCE::regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name, std::uint32_t& type)
{
    SharedString found;
    std::uint32_t foundType = 0;
    if (!succeeded(deviceRegistry().enumValue(key, index, found, &foundType)))
        return false;
    name = found;
    type = foundType;
    return true;
}

bool HalAccessWinCE::regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type, void* data,
                                   std::uint32_t& size)
{
    return succeeded(deviceRegistry().queryValue(key, valueName.view(), &type, data, &size));
}

bool HalAccessWinCE::regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type,
                                 const void* data, std::uint32_t size)
{
    return succeeded(deviceRegistry().setValue(key, valueName.view(), type, data, size));
}

bool HalAccessWinCE::regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t)
{
    return succeeded(deviceRegistry().deleteKey(root, keyPath(subKey).view()));
}

bool HalAccessWinCE::regDeleteValue(RegistryKey key, const SharedString& valueName)
{
    return succeeded(deviceRegistry().deleteValue(key, valueName.view()));
}

bool HalAccessWinCE::regCloseKey(RegistryKey key)
{
    return succeeded(deviceRegistry().closeKey(key));
}

}  // namespace druvex
