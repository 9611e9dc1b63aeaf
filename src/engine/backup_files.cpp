#include "engine/backup_files.h"

#include "core/app_log.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "platform/path_components.h"
#include "text/char_class.h"

namespace druvex {

bool isRootedPath(std::u16string_view path)
{
    return !path.empty() && isPathSeparator(path.front());
}

SharedString dataFolderPath(const SharedString& given, const SharedString& destination)
{
    if (isRootedPath(given.view()))
        return given;
    return joinPath(destination, given);
}

std::u16string backupPathKey(std::u16string_view path)
{
    std::u16string key;
    key.reserve(path.size() + 1);
    // A relative device path starts at the root, as one from the root does.
    key.push_back(u'/');
    for (const char16_t ch : path) {
        if (isPathSeparator(ch)) {
            if (key.back() != u'/')
                key.push_back(u'/');
            continue;
        }
        key.push_back(toLowerChar(ch));
    }
    if (key.size() > 1 && key.back() == u'/')
        key.pop_back();
    return key;
}

bool replaceWithTemporary(HalAccess& host, const SharedString& temporary, const SharedString& path)
{
    const auto failed = [&](const char16_t* why) {
        const std::uint32_t error = host.getLastError();
        deleteFileOrLog(host, temporary);
        logPrintf(u"%s cannot take the place of %s: %s (error %u)", temporary, path, why, error);
        return false;
    };
    bool isFolder = false;
    if (!host.exists(path, &isFolder))
        return host.moveFile(temporary, path) || failed(u"the move failed");
    if (isFolder)
        return failed(u"a folder stands there");
    const SharedString aside = path + kAsideSuffix;
    if (host.exists(aside, nullptr))
        return failed(u"another file stands under the name it would step aside to");
    if (!host.moveFile(path, aside))
        return failed(u"the file there cannot step aside");
    if (!host.moveFile(temporary, path)) {
        const bool failedToo = failed(u"the move failed");
        if (!host.moveFile(aside, path))
            logPrintf(u"The previous file remains as %s", aside);
        return failedToo;
    }
    if (!host.deleteFile(aside))
        logPrintf(u"%s cannot be deleted", aside);
    return true;
}

}  // namespace druvex
