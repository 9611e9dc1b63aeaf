#include "engine/rollback_journal.h"

#include <utility>

#include "core/path_text.h"
#include "engine/install_plan.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "text/mutex.h"

namespace druvex {

namespace {

bool isFile(HalAccess& host, const SharedString& path)
{
    bool isFolder = false;
    return host.exists(path, &isFolder) && !isFolder;
}

bool isFolder(HalAccess& host, const SharedString& path)
{
    bool folder = false;
    return host.exists(path, &folder) && folder;
}

SharedString numbered(const SharedString& folder, std::uint32_t number)
{
    SharedString name;
    name.format(u"%u", number);
    return joinPath(folder, name);
}

// Moves, or copies and deletes where the move cannot (another store).
bool moveOrCopy(HalAccess& host, const SharedString& from, const SharedString& to)
{
    if (host.moveFile(from, to))
        return true;
    if (!host.copyFile(from, to, true))
        return false;
    if (host.deleteFile(from))
        return true;
    // One copy is kept, not two.
    deleteFileOrLog(host, to);
    return false;
}

bool writeValue(HalAccess& host, RegistryKey root, const SharedString& keyPath, const JournalRegistryValue& value)
{
    RegistryKey key = 0;
    if (!host.regCreateKey(root, keyPath, kRegistryViewDefault, key))
        return false;
    const bool written = host.regSetValue(key, value.name, value.type, value.data.data(),
                                          static_cast<std::uint32_t>(value.data.size()));
    host.regCloseKeyAfterUse(key);
    return written;
}

bool deleteValue(HalAccess& host, RegistryKey root, const SharedString& keyPath, const SharedString& name)
{
    RegistryKey key = 0;
    if (!host.regOpenKey(root, keyPath, kRegistryViewDefault, kRegistryModeWrite, key))
        return true;  // the key went with a key the run had made
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    const bool present = host.regQueryValue(key, name, type, nullptr, size);
    const bool deleted = !present || host.regDeleteValue(key, name);
    host.regCloseKeyAfterUse(key);
    return deleted;
}

bool restoreKey(HalAccess& host, RegistryKey root, const SharedString& path, const JournalRegistryKey& snapshot)
{
    RegistryKey key = 0;
    if (!host.regCreateKey(root, path, kRegistryViewDefault, key))
        return false;
    bool restored = true;
    for (const JournalRegistryValue& value : snapshot.values) {
        restored = host.regSetValue(key, value.name, value.type, value.data.data(),
                                    static_cast<std::uint32_t>(value.data.size())) &&
                   restored;
    }
    host.regCloseKeyAfterUse(key);
    for (const JournalRegistryKey& sub : snapshot.subKeys)
        restored = restoreKey(host, root, path + u"\\" + sub.name, sub) && restored;
    return restored;
}

}  // namespace

RollbackJournal::RollbackJournal(std::shared_ptr<HalAccess> host, SharedString storeFolder)
    : host_(std::move(host)), storeFolder_(std::move(storeFolder))
{
}

std::u16string RollbackJournal::registryKeyOf(RegistryKey root, const SharedString& path)
{
    SharedString text;
    text.format(u"%08x\\", root);
    std::u16string key = foldRegistryName((text + path).view());
    while (!key.empty() && key.back() == u'\\')
        key.pop_back();
    return key;
}

void RollbackJournal::noteFolderCreated(const SharedString& path)
{
    MutexLock lock(mutex_);
    entries_.emplace_back(Kind::FolderCreated, path);
}

void RollbackJournal::noteFileCreated(const SharedString& path)
{
    MutexLock lock(mutex_);
    entries_.emplace_back(Kind::FileCreated, path);
    covered_.insert(installPathKey(path.view()));
}

bool RollbackJournal::covers(const SharedString& path) const
{
    MutexLock lock(mutex_);
    return covered_.contains(installPathKey(path.view()));
}

bool RollbackJournal::ensureStore()
{
    if (storeReady_)
        return true;
    // The parents the store needs are noted so that they go with it.
    std::vector<SharedString> missing;
    for (SharedString folder = storeFolder_; !folder.isEmpty() && !isFolder(*host_, folder);) {
        missing.insert(missing.begin(), folder);
        const SharedString parent = getParentFolder(folder);
        if (parent.isEmpty() || parent == folder)
            break;
        folder = parent;
    }
    if (!createDirectoryRecursive(*host_, storeFolder_)) {
        logError((u"Cannot create the rollback folder " + storeFolder_).view());
        return false;
    }
    storeMadeNow_ = !missing.empty() && missing.back() == storeFolder_;
    storeMade_ = std::move(missing);
    storeReady_ = true;
    return true;
}

bool RollbackJournal::keepFile(const SharedString& path, bool copy)
{
    return keep(path, copy ? Keeping::Copy : Keeping::Move);
}

bool RollbackJournal::keepFileToOverwrite(const SharedString& path)
{
    return keep(path, Keeping::MoveElseCopy);
}

bool RollbackJournal::removeFile(const SharedString& path)
{
    MutexLock lock(mutex_);
    const std::u16string key = installPathKey(path.view());
    if (covered_.contains(key))
        return host_->deleteFile(path);
    return keepInStore(key, path, Keeping::Move);
}

bool RollbackJournal::keep(const SharedString& path, Keeping way)
{
    MutexLock lock(mutex_);
    const std::u16string key = installPathKey(path.view());
    if (covered_.contains(key) || !isFile(*host_, path))
        return true;
    return keepInStore(key, path, way);
}

bool RollbackJournal::keepInStore(const std::u16string& key, const SharedString& path, Keeping way)
{
    if (!ensureStore())
        return false;
    SharedString kept = numbered(storeFolder_, nextKept_++);
    // A store left by a run that ended without cleaning up keeps its files.
    while (!storeMadeNow_ && host_->exists(kept, nullptr))
        kept = numbered(storeFolder_, nextKept_++);
    bool done = false;
    switch (way) {
    case Keeping::Move:
        done = moveOrCopy(*host_, path, kept);
        break;
    case Keeping::Copy:
        done = host_->copyFile(path, kept, true);
        break;
    case Keeping::MoveElseCopy:
        done = host_->moveFile(path, kept) || host_->copyFile(path, kept, true);
        break;
    }
    if (!done) {
        // A file that went meanwhile needs no keeping.
        if (way == Keeping::Move && !host_->exists(path, nullptr))
            return true;
        logError((u"Cannot keep " + path + u" for a rollback").view());
        return false;
    }
    entries_.emplace_back(Kind::Kept, path, kept);
    covered_.insert(key);
    return true;
}

void RollbackJournal::noteMoved(const SharedString& from, const SharedString& to)
{
    MutexLock lock(mutex_);
    entries_.emplace_back(Kind::Moved, from, to);
}

void RollbackJournal::noteFolderRemoved(const SharedString& path)
{
    MutexLock lock(mutex_);
    entries_.emplace_back(Kind::FolderRemoved, path);
}

void RollbackJournal::noteRegistryKeyCreated(RegistryKey root, const SharedString& path)
{
    MutexLock lock(mutex_);
    entries_.emplace_back(Kind::KeyCreated, path, SharedString(), root);
    createdKeys_.insert(registryKeyOf(root, path));
}

void RollbackJournal::noteRegistryValue(RegistryKey root, const SharedString& keyPath, const SharedString& name,
                                        std::optional<JournalRegistryValue> before)
{
    MutexLock lock(mutex_);
    if (!knownValues_.insert(registryKeyOf(root, keyPath) + u'|' + foldRegistryName(name.view())).second)
        return;
    Entry entry(Kind::Value, keyPath, name, root);
    entry.value = std::move(before);
    entries_.push_back(std::move(entry));
}

void RollbackJournal::noteRegistryKeyDeleted(RegistryKey root, const SharedString& path, JournalRegistryKey before)
{
    MutexLock lock(mutex_);
    Entry entry(Kind::KeyDeleted, path, SharedString(), root);
    entry.key = std::make_shared<JournalRegistryKey>(std::move(before));
    entries_.push_back(std::move(entry));
}

bool RollbackJournal::coversRegistryKey(RegistryKey root, const SharedString& path) const
{
    MutexLock lock(mutex_);
    std::u16string key = registryKeyOf(root, path);
    for (;;) {
        if (createdKeys_.contains(key))
            return true;
        const std::size_t cut = key.rfind(u'\\');
        // The root alone ("80000002") is never one the run created.
        if (cut == std::u16string::npos || key.find(u'\\') == cut)
            return false;
        key.resize(cut);
    }
}

bool RollbackJournal::coversRegistryValue(RegistryKey root, const SharedString& keyPath,
                                          const SharedString& name) const
{
    MutexLock lock(mutex_);
    return knownValues_.contains(registryKeyOf(root, keyPath) + u'|' + foldRegistryName(name.view()));
}

bool RollbackJournal::hasChanges() const
{
    MutexLock lock(mutex_);
    return !entries_.empty();
}

std::size_t RollbackJournal::changeCount() const
{
    MutexLock lock(mutex_);
    return entries_.size();
}

bool RollbackJournal::undoEntry(const Entry& entry, std::vector<SharedString>& foldersLeft)
{
    HalAccess& host = *host_;
    switch (entry.kind) {
    case Kind::FolderCreated:
        // A folder that still holds something (the store, say) is tried
        // again at the end.
        if (isFolder(host, entry.path) && !host.removeDirectory(entry.path))
            foldersLeft.push_back(entry.path);
        return true;
    case Kind::FileCreated:
        return !isFile(host, entry.path) || host.deleteFile(entry.path);
    case Kind::Kept:
        if (host.exists(entry.path, nullptr) && !host.deleteFile(entry.path)) {
            // A file that an application holds open stays where it is: the
            // kept content is written back over it in place.
            if (!host.copyFile(entry.other, entry.path, false))
                return false;
            // The content is back in place; the kept copy is only left over.
            deleteFileOrLog(host, entry.other);
            return true;
        }
        return moveOrCopy(host, entry.other, entry.path);
    case Kind::Moved:
        if (!host.exists(entry.other, nullptr) || host.exists(entry.path, nullptr))
            return false;
        return host.moveFile(entry.other, entry.path);
    case Kind::FolderRemoved:
        return isFolder(host, entry.path) || host.createDirectory(entry.path);
    case Kind::KeyCreated: {
        RegistryKey key = 0;
        if (!host.regOpenKey(entry.root, entry.path, kRegistryViewDefault, kRegistryModeRead, key))
            return true;
        host.regCloseKeyAfterUse(key);
        return host.regDeleteKey(entry.root, entry.path, kRegistryViewDefault);
    }
    case Kind::Value:
        if (entry.value)
            return writeValue(host, entry.root, entry.path, *entry.value);
        return deleteValue(host, entry.root, entry.path, entry.other);
    case Kind::KeyDeleted:
        return restoreKey(host, entry.root, entry.path, *entry.key);
    }
    return false;
}

bool RollbackJournal::undo()
{
    MutexLock lock(mutex_);
    bool complete = true;
    std::vector<SharedString> foldersLeft;
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
        if (undoEntry(*entry, foldersLeft))
            continue;
        complete = false;
        logError((u"Rollback: cannot restore " + entry->path).view());
    }
    removeStore();
    for (const SharedString& folder : foldersLeft) {
        if (isFolder(*host_, folder) && !host_->removeDirectory(folder)) {
            complete = false;
            logError((u"Rollback: cannot remove the folder " + folder).view());
        }
    }
    entries_.clear();
    covered_.clear();
    createdKeys_.clear();
    knownValues_.clear();
    return complete;
}

void RollbackJournal::commit()
{
    MutexLock lock(mutex_);
    for (const Entry& entry : entries_) {
        if (entry.kind == Kind::Kept)
            deleteFileOrLog(*host_, entry.other);
    }
    removeStore();
    entries_.clear();
    covered_.clear();
    createdKeys_.clear();
    knownValues_.clear();
}

void RollbackJournal::removeStore()
{
    if (!storeReady_)
        return;
    // The store and the parents it made, innermost first; a folder that holds
    // something else now stays, and so does a store an earlier run left.
    for (auto folder = storeMade_.rbegin(); folder != storeMade_.rend(); ++folder)
        (void)host_->removeDirectory(*folder);
    storeMade_.clear();
    storeReady_ = false;
    storeMadeNow_ = false;
}

}  // namespace druvex
