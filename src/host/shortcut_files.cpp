#include "host/shortcut_files.h"

#include <vector>

#include "text/text_convert.h"
#include "data/feature_records.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

constexpr int kCsidlPrograms = 2;
constexpr int kCsidlStartMenu = 11;

constexpr char16_t kLauncherFolder[] = u"/ROMDisk2/INI/";
constexpr char16_t kDesktop[] = u"\\Windows\\Desktop";
// The folders that the models with a cold-boot image copy back at start-up.
constexpr char16_t kColdBootPrograms[] = u"\\SystemCF\\TTStartup\\ColdBootCopy\\Windows\\Programs";
constexpr char16_t kColdBootDesktop[] = u"\\SystemCF\\TTStartup\\ColdBootCopy\\Windows\\Desktop";
constexpr char16_t kBootPrograms[] = u"\\HARDDISK\\Windows\\BOOT\\Programs\\";
constexpr char16_t kBootDesktop[] = u"\\HARDDISK\\Windows\\BOOT\\DESKTOP\\";

// The folders of one shortcut's ".lnk" files, in the order they are made.
struct LinkFolders {
    std::vector<SharedString> folders;
    // The second folder is made, with its parents, before its file.
    bool makeSecond = false;
};

bool usesLauncher(DeviceType type)
{
    return type == DeviceType::TS_ONBOARD || type == DeviceType::TS_QM40 || type == DeviceType::TS_TSORLAN;
}

// A special folder, or the empty text (no file can be made there) when the
// device has none.
SharedString specialFolder(HalAccess& host, int csidl)
{
    SharedString folder;
    if (!host.getSpecialFolderPath(csidl, folder))
        return SharedString();
    return folder;
}

LinkFolders creationFolders(HalAccess& host, DeviceType type, const Shortcut& shortcut)
{
    const bool inMenu = shortcut.linkPos != kLinkDesktop;
    switch (type) {
    case DeviceType::KT_61:
        if (inMenu)
            return {{specialFolder(host, kCsidlStartMenu), kColdBootPrograms}, true};
        return {{kDesktop, kColdBootDesktop}, true};
    case DeviceType::LQ5:
        if (inMenu)
            return {{specialFolder(host, kCsidlStartMenu), joinPath(kBootPrograms, shortcut.folderName)}, true};
        return {{kDesktop, kBootDesktop}, true};
    case DeviceType::LQ1:
        return {{specialFolder(host, kCsidlStartMenu)}};
    default:
        return {{specialFolder(host, kCsidlPrograms)}};
    }
}

// Empty when the folder is: there is no place for the link.
SharedString linkPath(const SharedString& folder, const SharedString& name)
{
    if (folder.isEmpty())
        return SharedString();
    SharedString path = folder;
    if (path[path.length() - 1] != u'\\' && path[path.length() - 1] != u'/')
        path += u'\\';
    path += name;
    path += u".lnk";
    return path;
}

SharedString launcherEntryPath(const SharedString& name)
{
    SharedString fileName = name;
    fileName.replaceChar(u' ', u'_');
    return SharedString(kLauncherFolder) + fileName + u".ini";
}

bool writeAnsiFile(HalAccess& host, const SharedString& path, const SharedString& text)
{
    const SharedStringA bytes = SharedStringA::fromWide(text.c_str(), text.length(), kCodePageAnsi);
    const std::vector<std::uint8_t> buffer(bytes.c_str(), bytes.c_str() + bytes.length());
    return writeBufferToFile(host, buffer, path);
}

// The device shell's link: the target's length plus the two quotes, "#", and
// the target in quotes; no line end.
bool writeLinkFile(HalAccess& host, const SharedString& path, const SharedString& target)
{
    if (path.isEmpty())
        return false;
    SharedString text;
    text.format(u"%d#\"%s\"", target.length() + 2, target);
    return writeAnsiFile(host, path, text);
}

bool writeLauncherEntry(HalAccess& host, const Shortcut& shortcut, const SharedString& target, DeviceType type)
{
    SharedString text;
    text.format(u"[Launcher]\r\nview_name=%s\r\nexe_path=%s\r\nend_notification=%s\r\n"
                u"display_order = 2\r\nfull_screen=ON\r\n",
                shortcut.name, target, type == DeviceType::TS_TSORLAN ? u"ON" : u"OFF");
    return writeAnsiFile(host, launcherEntryPath(shortcut.name), text);
}

bool removeFile(HalAccess& host, const SharedString& path)
{
    if (path.isEmpty() || !host.exists(path, nullptr))
        return false;
    return host.deleteFile(path);
}

}  // namespace

bool createShortcutForDevice(HalAccess& host, const Shortcut& shortcut, const SharedString& target)
{
    // A link without a name could never be removed again.
    if (shortcut.name.isEmpty()) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    const DeviceType type = host.deviceTypeOrNone();
    if (usesLauncher(type))
        return writeLauncherEntry(host, shortcut, target, type);
    const LinkFolders places = creationFolders(host, type, shortcut);
    bool written = true;
    for (std::size_t i = 0; i < places.folders.size(); ++i) {
        if (i == 1 && places.makeSecond)
            createDirectoryRecursive(host, places.folders[i]);
        written = writeLinkFile(host, linkPath(places.folders[i], shortcut.name), target) && written;
    }
    return written;
}

bool removeShortcutForDevice(HalAccess& host, const Shortcut& shortcut)
{
    if (shortcut.name.isEmpty()) {
        setLastError(kErrorInvalidParameter);
        return false;
    }
    const DeviceType type = host.deviceTypeOrNone();
    if (usesLauncher(type))
        return removeFile(host, launcherEntryPath(shortcut.name));
    if (type == DeviceType::LQ1) {
        // Creation writes the Start Menu link only, so the Programs folder
        // usually has none: the link is gone when either removal succeeds.
        const bool fromStartMenu = removeFile(host, linkPath(specialFolder(host, kCsidlStartMenu), shortcut.name));
        const bool fromPrograms = removeFile(host, linkPath(specialFolder(host, kCsidlPrograms), shortcut.name));
        return fromStartMenu || fromPrograms;
    }
    bool removed = true;
    for (const SharedString& folder : creationFolders(host, type, shortcut).folders)
        removed = removeFile(host, linkPath(folder, shortcut.name)) && removed;
    return removed;
}

}  // namespace druvex
