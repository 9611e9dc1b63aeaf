#include "engine/journaling_hal.h"

#include <optional>
#include <vector>

#include "engine/rollback_journal.h"
#include "host/shortcut_files.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

constexpr int kMaxKeyDepth = 256;

bool isPredefinedRoot(RegistryKey key)
{
    return key >= kRegistryClassesRoot && key <= kRegistryUsers;
}

SharedString joinKeyPath(const SharedString& base, const SharedString& sub)
{
    if (base.isEmpty())
        return sub;
    if (sub.isEmpty())
        return base;
    return base + u"\\" + sub;
}

std::vector<SharedString> keyParts(const SharedString& path)
{
    std::vector<SharedString> parts;
    const std::u16string_view text = path.view();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'\\')
            continue;
        if (i > start)
            parts.emplace_back(text.substr(start, i - start));
        start = i + 1;
    }
    return parts;
}

std::optional<JournalRegistryValue> readValue(HalAccess& host, RegistryKey key, const SharedString& name)
{
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (!host.regQueryValue(key, name, type, nullptr, size))
        return std::nullopt;
    JournalRegistryValue value{name, type, std::vector<std::uint8_t>(size)};
    if (size > 0 && !host.regQueryValue(key, name, type, value.data.data(), size))
        return std::nullopt;
    value.data.resize(size);
    return value;
}

// The key with everything below it, read through `host`.
bool snapshotKey(HalAccess& host, RegistryKey root, const SharedString& path, JournalRegistryKey& snapshot,
                 int depth)
{
    if (depth > kMaxKeyDepth)
        return false;
    RegistryKey key = 0;
    if (!host.regOpenKey(root, path, kRegistryViewDefault, kRegistryModeRead, key))
        return false;
    SharedString name;
    std::uint32_t type = 0;
    for (std::uint32_t index = 0; host.regEnumValues(key, index, name, type); ++index) {
        if (auto value = readValue(host, key, name))
            snapshot.values.push_back(std::move(*value));
    }
    std::vector<SharedString> subKeys;
    SharedString className;
    for (std::uint32_t index = 0; host.regEnumKeys(key, index, name, className); ++index)
        subKeys.push_back(name);
    host.regCloseKeyAfterUse(key);
    for (const SharedString& sub : subKeys) {
        JournalRegistryKey child;
        child.name = sub;
        if (snapshotKey(host, root, joinKeyPath(path, sub), child, depth + 1))
            snapshot.subKeys.push_back(std::move(child));
    }
    return true;
}

bool writesTo(std::uint32_t flags)
{
    return (flags & (kFileWrite | kFileCreateAlways | kFileTruncateExisting | kFileDeleteOnClose)) != 0;
}

}  // namespace

JournalingHal::JournalingHal(std::shared_ptr<HalAccess> inner, RollbackJournal& journal)
    : inner_(std::move(inner)), journal_(journal)
{
}

bool JournalingHal::copyFile(const SharedString& source, const SharedString& target, bool failIfExists)
{
    // A copy over a file keeps a copy of it first: should the copy fail,
    // the file stays where it is.
    if (!failIfExists && inner_->exists(target, nullptr) && !journal_.keepFile(target, true))
        return false;
    if (!inner_->copyFile(source, target, failIfExists))
        return false;
    journal_.noteFileCreated(target);
    return true;
}

bool JournalingHal::moveFile(const SharedString& source, const SharedString& target)
{
    if (!inner_->moveFile(source, target))
        return false;
    journal_.noteMoved(source, target);
    return true;
}

bool JournalingHal::moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags)
{
    // A move that may replace its target keeps the target first.
    if (inner_->exists(target, nullptr) && !journal_.keepFile(target, false))
        return false;
    if (!inner_->moveFileEx(source, target, flags))
        return false;
    journal_.noteMoved(source, target);
    return true;
}

bool JournalingHal::exists(const SharedString& path, bool* isFolder)
{
    bool folder = false;
    const bool found = inner_->exists(path, &folder);
    if (isFolder)
        *isFolder = folder;
    MutexLock lock(foundMutex_);
    foundFile_ = found && !folder ? path : SharedString();
    return found;
}

bool JournalingHal::takeFoundFile(const SharedString& path)
{
    MutexLock lock(foundMutex_);
    if (foundFile_.isEmpty() || foundFile_ != path)
        return false;
    foundFile_.clear();
    return true;
}

bool JournalingHal::deleteFile(const SharedString& path)
{
    if (!takeFoundFile(path)) {
        bool isFolder = false;
        if (!inner_->exists(path, &isFolder) || isFolder)
            return inner_->deleteFile(path);
    }
    // Kept by a move: the file is gone from its place, as a deletion leaves it.
    return journal_.removeFile(path);
}

bool JournalingHal::getOpenFileSize(FileHandle handle, std::uint64_t& size)
{
    return inner_->getOpenFileSize(handle, size);
}

bool JournalingHal::getFileSize(const SharedString& path, std::uint64_t& size)
{
    return inner_->getFileSize(path, size);
}

bool JournalingHal::getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor,
                                   std::uint16_t& build, std::uint16_t& revision)
{
    return inner_->getFileVersion(path, major, minor, build, revision);
}

bool JournalingHal::getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                                 std::uint64_t* lastWrite)
{
    return inner_->getFileTimes(path, creation, lastAccess, lastWrite);
}

bool JournalingHal::setFileTimes(const SharedString& path, const std::uint64_t* creation,
                                 const std::uint64_t* lastAccess, const std::uint64_t* lastWrite)
{
    if (!journal_.keepFile(path, true))
        return false;
    return inner_->setFileTimes(path, creation, lastAccess, lastWrite);
}

bool JournalingHal::computeFileChecksums(const std::vector<SharedString>& paths, std::vector<FileChecksum>& checksums)
{
    return inner_->computeFileChecksums(paths, checksums);
}

bool JournalingHal::getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes)
{
    return inner_->getLockingProcesses(path, processes);
}

bool JournalingHal::closeLockingProcesses(const std::vector<LockingProcess>& processes, std::uint32_t& closed)
{
    return inner_->closeLockingProcesses(processes, closed);
}

bool JournalingHal::getFileAccessMask(const SharedString& path, std::uint32_t& mask)
{
    return inner_->getFileAccessMask(path, mask);
}

bool JournalingHal::createDirectory(const SharedString& path)
{
    if (!inner_->createDirectory(path))
        return false;
    journal_.noteFolderCreated(path);
    return true;
}

bool JournalingHal::removeDirectory(const SharedString& path)
{
    if (!inner_->removeDirectory(path))
        return false;
    journal_.noteFolderRemoved(path);
    return true;
}

bool JournalingHal::createSymbolicLink(const SharedString& link, const SharedString& target, bool flag)
{
    const bool existed = inner_->exists(link, nullptr);
    if (!inner_->createSymbolicLink(link, target, flag))
        return false;
    if (!existed)
        journal_.noteFileCreated(link);
    return true;
}

FileHandle JournalingHal::openFile(const SharedString& path, std::uint32_t flags, bool* created)
{
    const bool existed = inner_->exists(path, nullptr);
    if (existed && writesTo(flags) && !journal_.keepFile(path, true))
        return kInvalidFileHandle;
    const FileHandle handle = inner_->openFile(path, flags, created);
    if (handle != kInvalidFileHandle && !existed)
        journal_.noteFileCreated(path);
    return handle;
}

FileHandle JournalingHal::openFileForRead(const SharedString& path)
{
    return inner_->openFileForRead(path);
}

FileHandle JournalingHal::createFileForWrite(const SharedString& path)
{
    // The old file is moved aside whole; the new one starts from nothing. A
    // file that an application holds open cannot be moved: a copy is kept
    // and the file is written over where it stands.
    const bool existed = inner_->exists(path, nullptr) && !journal_.covers(path);
    if (existed && !journal_.keepFileToOverwrite(path))
        return kInvalidFileHandle;
    const FileHandle handle = inner_->createFileForWrite(path);
    if (handle != kInvalidFileHandle && !existed)
        journal_.noteFileCreated(path);
    return handle;
}

std::int64_t JournalingHal::readFile(FileHandle handle, void* buffer, std::size_t count)
{
    return inner_->readFile(handle, buffer, count);
}

std::int64_t JournalingHal::writeFile(FileHandle handle, const void* data, std::size_t count)
{
    return inner_->writeFile(handle, data, count);
}

bool JournalingHal::closeFile(FileHandle handle)
{
    return inner_->closeFile(handle);
}

bool JournalingHal::seekFile(FileHandle handle, int origin, std::int64_t offset, std::uint64_t* newPosition)
{
    return inner_->seekFile(handle, origin, offset, newPosition);
}

bool JournalingHal::setFileForEveryone(const SharedString& path)
{
    return inner_->setFileForEveryone(path);
}

bool JournalingHal::createShortcut(const Shortcut& shortcut, const SharedString& target)
{
    return createShortcutForDevice(*this, shortcut, target);
}

bool JournalingHal::removeShortcut(const Shortcut& shortcut)
{
    return removeShortcutForDevice(*this, shortcut);
}

int JournalingHal::enumerateStorageRoots(std::vector<SharedString>& roots)
{
    return inner_->enumerateStorageRoots(roots);
}

bool JournalingHal::createProcess(const SharedString& application, const SharedString& commandLine,
                                  std::uint32_t creationFlags, ProcessInformation& information)
{
    return inner_->createProcess(application, commandLine, creationFlags, information);
}

bool JournalingHal::executeProcess(const SharedString& application, const SharedString& commandLine,
                                   std::uint32_t creationFlags, std::uint32_t& exitCode)
{
    return inner_->executeProcess(application, commandLine, creationFlags, exitCode);
}

bool JournalingHal::checkProcessActive(const SharedString& name, bool& active)
{
    return inner_->checkProcessActive(name, active);
}

bool JournalingHal::getStoreInformation(const SharedString& path, std::uint64_t& totalBytes,
                                        std::uint64_t& freeBytes)
{
    return inner_->getStoreInformation(path, totalBytes, freeBytes);
}

ConnectionState JournalingHal::getDeviceType(DeviceType& type, bool refresh)
{
    return inner_->getDeviceType(type, refresh);
}

bool JournalingHal::getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                                 bool& isServer)
{
    return inner_->getOSVersion(major, minor, servicePack, isServer);
}

bool JournalingHal::getSpecialFolderPath(int csidl, SharedString& path)
{
    return inner_->getSpecialFolderPath(csidl, path);
}

bool JournalingHal::getProgramPath(SharedString& path, const SharedString& storageRoot)
{
    return inner_->getProgramPath(path, storageRoot);
}

bool JournalingHal::getPredefinedInstallPath(SharedString& path, bool flag)
{
    return inner_->getPredefinedInstallPath(path, flag);
}

bool JournalingHal::createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder)
{
    return inner_->createFileFinder(folder, finder);
}

bool JournalingHal::locateKey(RegistryKey key, RegistryKey& root, SharedString& path) const
{
    if (isPredefinedRoot(key)) {
        root = key;
        path.clear();
        return true;
    }
    MutexLock lock(keysMutex_);
    const auto found = keys_.find(key);
    if (found == keys_.end())
        return false;
    root = found->second.first;
    path = found->second.second;
    return true;
}

void JournalingHal::trackKey(RegistryKey key, RegistryKey root, const SharedString& path)
{
    MutexLock lock(keysMutex_);
    keys_[key] = {root, path};
}

bool JournalingHal::regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                 RegistryKey& key)
{
    RegistryKey predefined = 0;
    SharedString base;
    if (!locateKey(root, predefined, base))
        return inner_->regCreateKey(root, subKey, viewFlags, key);
    const SharedString full = joinKeyPath(base, subKey);
    // The first key of the path that is not there yet: removing it undoes
    // the creation of everything below it.
    SharedString created;
    if (!journal_.coversRegistryKey(predefined, full)) {
        SharedString prefix;
        for (const SharedString& part : keyParts(full)) {
            prefix = joinKeyPath(prefix, part);
            RegistryKey probe = 0;
            if (inner_->regOpenKey(predefined, prefix, viewFlags, kRegistryModeRead, probe)) {
                inner_->regCloseKeyAfterUse(probe);
                continue;
            }
            created = prefix;
            break;
        }
    }
    if (!inner_->regCreateKey(root, subKey, viewFlags, key))
        return false;
    if (!created.isEmpty())
        journal_.noteRegistryKeyCreated(predefined, created);
    trackKey(key, predefined, full);
    return true;
}

bool JournalingHal::regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int mode,
                               RegistryKey& key)
{
    if (!inner_->regOpenKey(root, subKey, viewFlags, mode, key))
        return false;
    RegistryKey predefined = 0;
    SharedString base;
    if (locateKey(root, predefined, base))
        trackKey(key, predefined, joinKeyPath(base, subKey));
    return true;
}

bool JournalingHal::regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                  bool& empty)
{
    return inner_->regKeyIsEmpty(root, subKey, viewFlags, empty);
}

bool JournalingHal::regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name, SharedString& className)
{
    return inner_->regEnumKeys(key, index, name, className);
}

bool JournalingHal::regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name, std::uint32_t& type)
{
    return inner_->regEnumValues(key, index, name, type);
}

bool JournalingHal::regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type, void* data,
                                  std::uint32_t& size)
{
    return inner_->regQueryValue(key, valueName, type, data, size);
}

void JournalingHal::noteValueBefore(RegistryKey key, const SharedString& valueName)
{
    RegistryKey root = 0;
    SharedString path;
    if (!locateKey(key, root, path) || journal_.coversRegistryKey(root, path) ||
        journal_.coversRegistryValue(root, path, valueName))
        return;
    journal_.noteRegistryValue(root, path, valueName, readValue(*inner_, key, valueName));
}

bool JournalingHal::regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type, const void* data,
                                std::uint32_t size)
{
    noteValueBefore(key, valueName);
    return inner_->regSetValue(key, valueName, type, data, size);
}

bool JournalingHal::regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags)
{
    RegistryKey predefined = 0;
    SharedString base;
    if (!locateKey(root, predefined, base))
        return inner_->regDeleteKey(root, subKey, viewFlags);
    const SharedString full = joinKeyPath(base, subKey);
    JournalRegistryKey snapshot;
    const bool journaled =
        !journal_.coversRegistryKey(predefined, full) && snapshotKey(*inner_, predefined, full, snapshot, 0);
    if (!inner_->regDeleteKey(root, subKey, viewFlags))
        return false;
    if (journaled)
        journal_.noteRegistryKeyDeleted(predefined, full, std::move(snapshot));
    return true;
}

bool JournalingHal::regDeleteValue(RegistryKey key, const SharedString& valueName)
{
    noteValueBefore(key, valueName);
    return inner_->regDeleteValue(key, valueName);
}

bool JournalingHal::regCloseKey(RegistryKey key)
{
    {
        MutexLock lock(keysMutex_);
        keys_.erase(key);
    }
    return inner_->regCloseKey(key);
}

bool JournalingHal::writeIniKey(const SharedString& file, const SharedString& section, const SharedString& key,
                                const SharedString& value)
{
    const bool existed = inner_->exists(file, nullptr);
    if (existed && !journal_.keepFile(file, true))
        return false;
    if (!inner_->writeIniKey(file, section, key, value))
        return false;
    if (!existed)
        journal_.noteFileCreated(file);
    return true;
}

}  // namespace druvex
