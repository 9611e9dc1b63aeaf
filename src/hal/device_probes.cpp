#include "hal/device_probes.h"

#include <sys/stat.h>

#include <string>

#include "core/file_functions.h"
#include "platform/device_root.h"
#include "platform/registry.h"
#include "platform/win_error.h"

namespace druvex::device_probes {

namespace {

enum class EntryKind { kMissing, kFile, kFolder };

EntryKind entryKind(const SharedString& path)
{
    std::string host;
    if (DeviceRoot::instance().toHostPath(path.view(), host) != kErrorSuccess)
        return EntryKind::kMissing;
    struct stat status {};
    if (::stat(host.c_str(), &status) != 0)
        return EntryKind::kMissing;
    return S_ISDIR(status.st_mode) ? EntryKind::kFolder : EntryKind::kFile;
}

}  // namespace

bool fileTest(const SharedString& path)
{
    return entryKind(path) == EntryKind::kFile;
}

bool folderTest(const SharedString& path)
{
    return entryKind(path) == EntryKind::kFolder;
}

bool entryTest(const SharedString& path)
{
    return entryKind(path) != EntryKind::kMissing;
}

bool searchTest(const SharedString& path)
{
    return fileExists(path);
}

SharedString registryText(const char16_t* subKey, const char16_t* valueName)
{
    SharedString text;
    if (!readRegistryString(kRegistryLocalMachine, subKey, valueName, text))
        return SharedString();
    return text;
}

bool registryKeyOpens(const char16_t* subKey)
{
    DeviceRegistry& registry = deviceRegistry();
    RegistryKey key = 0;
    if (registry.openKey(kRegistryLocalMachine, subKey, key) != kErrorSuccess)
        return false;
    registry.closeKey(key);
    return true;
}

}  // namespace druvex::device_probes
