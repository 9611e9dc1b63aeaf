#include "core/file_enumerator.h"

#include "text/diag.h"
#include "platform/device_root.h"
#include "platform/wildcard.h"

namespace druvex {

FileEnumerator::FileEnumerator(const SharedString& folder, bool recursive, std::uint32_t selection,
                               const SharedString& pattern)
    : folder_(folder), pattern_(pattern), selection_(selection), recursive_(recursive)
{
    folder_.replaceChar(u'/', u'\\');
    if (recursive_ && (selection_ & kParentEntry))
        DRUVEX_DBGCHK("FileEnumerator: the parent entry with recursion");
    pendingFolders_.push_back(SharedString());
}

void FileEnumerator::loadNextFolder()
{
    const SharedString relative = pendingFolders_.back();
    pendingFolders_.pop_back();
    entries_.clear();
    position_ = 0;

    SharedString folder = relative.isEmpty() ? folder_ : folder_ + u"\\" + relative;
    DeviceRoot& root = DeviceRoot::instance();
    std::string hostFolder;
    if (root.toHostPath(folder.view(), hostFolder) != 0)
        return;
    std::vector<DeviceFolderEntry> listing;
    if (root.listFolder(hostFolder, listing) != 0)
        return;

    const SharedString prefix = relative.isEmpty() ? SharedString() : relative + u"\\";
    // The device root has no parent entry.
    if ((selection_ & kParentEntry) && !recursive_ && hostFolder != root.rootFolder() &&
        (pattern_.isEmpty() || matchesWildcard(u"..", pattern_.view())))
        entries_.push_back({SharedString(u".."), true});
    std::vector<SharedString> subfolders;
    for (const DeviceFolderEntry& item : listing) {
        if (recursive_ && item.isFolder)
            subfolders.push_back(prefix + item.name);
        if (!pattern_.isEmpty() && !matchesWildcard(item.name.view(), pattern_.view()))
            continue;
        entries_.push_back({prefix + item.name, item.isFolder});
    }
    // The stack pops the first subfolder first.
    pendingFolders_.insert(pendingFolders_.end(), subfolders.rbegin(), subfolders.rend());
}

SharedString FileEnumerator::next()
{
    while (true) {
        while (position_ < entries_.size()) {
            const Entry& entry = entries_[position_++];
            if (entry.isFolder ? (selection_ & kFolders) : (selection_ & kFiles))
                return entry.name;
        }
        if (pendingFolders_.empty())
            return SharedString();
        loadNextFolder();
    }
}

}  // namespace druvex
