#include "support/fault_injecting_hal.h"

#include "host/hal/hal_access_base.h"

#include <algorithm>
#include <utility>

namespace druvex::test {

FaultInjectingHal::FaultInjectingHal(std::shared_ptr<HalAccess> inner, HalFaultPlan plan)
    : inner_(std::move(inner)), plan_(std::move(plan))
{
}

void FaultInjectingHal::setPlan(HalFaultPlan plan)
{
    std::lock_guard lock(mutex_);
    plan_ = std::move(plan);
}

bool FaultInjectingHal::refuseOpen(const SharedString& path)
{
    ++opens_;
    std::lock_guard lock(mutex_);
    const bool refused = plan_.failEveryOpen || (!plan_.failOpenContaining.empty() &&
                                                 path.view().find(plan_.failOpenContaining) != std::u16string_view::npos);
    if (!refused)
        return false;
    setLastError(plan_.error);
    return true;
}

FileHandle FaultInjectingHal::track(FileHandle handle)
{
    if (handle != kInvalidFileHandle) {
        std::lock_guard lock(mutex_);
        positions_[handle] = 0;
    }
    return handle;
}

FileHandle FaultInjectingHal::openFile(const SharedString& path, std::uint32_t flags, bool* created)
{
    if (refuseOpen(path))
        return kInvalidFileHandle;
    return track(inner_->openFile(path, flags, created));
}

FileHandle FaultInjectingHal::openFileForRead(const SharedString& path)
{
    if (refuseOpen(path))
        return kInvalidFileHandle;
    return track(inner_->openFileForRead(path));
}

FileHandle FaultInjectingHal::createFileForWrite(const SharedString& path)
{
    if (refuseOpen(path))
        return kInvalidFileHandle;
    return track(inner_->createFileForWrite(path));
}

std::int64_t FaultInjectingHal::readFile(FileHandle handle, void* buffer, std::size_t count)
{
    ++reads_;
    std::size_t allowed = count;
    {
        std::lock_guard lock(mutex_);
        const std::uint64_t position = positions_[handle];
        if (plan_.failReadAtOffset && *plan_.failReadAtOffset >= position &&
            *plan_.failReadAtOffset - position < count) {
            allowed = static_cast<std::size_t>(*plan_.failReadAtOffset - position);
            if (allowed == 0) {
                setLastError(plan_.error);
                return -1;
            }
        }
    }
    const std::int64_t got = inner_->readFile(handle, buffer, allowed);
    if (got > 0) {
        std::lock_guard lock(mutex_);
        positions_[handle] += static_cast<std::uint64_t>(got);
    }
    return got;
}

std::int64_t FaultInjectingHal::writeFile(FileHandle handle, const void* data, std::size_t count)
{
    const int number = ++writes_;
    std::size_t passed = count;
    {
        std::lock_guard lock(mutex_);
        if (number == plan_.failWriteNumber) {
            setLastError(plan_.error);
            return -1;
        }
        if (number == plan_.shortWriteNumber)
            passed = count / 2;
    }
    const std::int64_t written = inner_->writeFile(handle, data, passed);
    if (written > 0) {
        std::lock_guard lock(mutex_);
        positions_[handle] += static_cast<std::uint64_t>(written);
    }
    return written;
}

bool FaultInjectingHal::closeFile(FileHandle handle)
{
    ++closes_;
    const bool closed = inner_->closeFile(handle);
    std::lock_guard lock(mutex_);
    positions_.erase(handle);
    if (plan_.failClose) {
        setLastError(plan_.error);
        return false;
    }
    return closed;
}

bool FaultInjectingHal::seekFile(FileHandle handle, int origin, std::int64_t offset, std::uint64_t* newPosition)
{
    std::uint64_t position = 0;
    if (!inner_->seekFile(handle, origin, offset, &position))
        return false;
    {
        std::lock_guard lock(mutex_);
        positions_[handle] = position;
    }
    if (newPosition)
        *newPosition = position;
    return true;
}

// Everything else goes straight to the wrapped host.

bool FaultInjectingHal::copyFile(const SharedString& source, const SharedString& target, bool failIfExists)
{
    return inner_->copyFile(source, target, failIfExists);
}

bool FaultInjectingHal::moveFile(const SharedString& source, const SharedString& target)
{
    return inner_->moveFile(source, target);
}

bool FaultInjectingHal::moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags)
{
    return inner_->moveFileEx(source, target, flags);
}

bool FaultInjectingHal::deleteFile(const SharedString& path)
{
    return inner_->deleteFile(path);
}

bool FaultInjectingHal::getOpenFileSize(FileHandle handle, std::uint64_t& size)
{
    return inner_->getOpenFileSize(handle, size);
}

bool FaultInjectingHal::getFileSize(const SharedString& path, std::uint64_t& size)
{
    return inner_->getFileSize(path, size);
}

bool FaultInjectingHal::getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor,
                                       std::uint16_t& build, std::uint16_t& revision)
{
    return inner_->getFileVersion(path, major, minor, build, revision);
}

bool FaultInjectingHal::getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                                     std::uint64_t* lastWrite)
{
    return inner_->getFileTimes(path, creation, lastAccess, lastWrite);
}

bool FaultInjectingHal::setFileTimes(const SharedString& path, const std::uint64_t* creation,
                                     const std::uint64_t* lastAccess, const std::uint64_t* lastWrite)
{
    return inner_->setFileTimes(path, creation, lastAccess, lastWrite);
}

bool FaultInjectingHal::computeFileChecksums(const std::vector<SharedString>& paths,
                                             std::vector<FileChecksum>& checksums)
{
    // Summed through this decorator, so that its faults reach the reads.
    return druvex::computeFileChecksums(*this, paths, checksums);
}

bool FaultInjectingHal::getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes)
{
    return inner_->getLockingProcesses(path, processes);
}

bool FaultInjectingHal::closeLockingProcesses(const std::vector<LockingProcess>& processes, std::uint32_t& closed)
{
    return inner_->closeLockingProcesses(processes, closed);
}

bool FaultInjectingHal::getFileAccessMask(const SharedString& path, std::uint32_t& mask)
{
    return inner_->getFileAccessMask(path, mask);
}

bool FaultInjectingHal::createDirectory(const SharedString& path)
{
    return inner_->createDirectory(path);
}

bool FaultInjectingHal::removeDirectory(const SharedString& path)
{
    return inner_->removeDirectory(path);
}

bool FaultInjectingHal::createSymbolicLink(const SharedString& link, const SharedString& target, bool flag)
{
    return inner_->createSymbolicLink(link, target, flag);
}

bool FaultInjectingHal::setFileForEveryone(const SharedString& path)
{
    return inner_->setFileForEveryone(path);
}

bool FaultInjectingHal::createShortcut(const Shortcut& shortcut, const SharedString& target)
{
    return inner_->createShortcut(shortcut, target);
}

bool FaultInjectingHal::removeShortcut(const Shortcut& shortcut)
{
    return inner_->removeShortcut(shortcut);
}

int FaultInjectingHal::enumerateStorageRoots(std::vector<SharedString>& roots)
{
    return inner_->enumerateStorageRoots(roots);
}

bool FaultInjectingHal::createProcess(const SharedString& application, const SharedString& commandLine,
                                      std::uint32_t creationFlags, ProcessInformation& information)
{
    return inner_->createProcess(application, commandLine, creationFlags, information);
}

bool FaultInjectingHal::executeProcess(const SharedString& application, const SharedString& commandLine,
                                       std::uint32_t creationFlags, std::uint32_t& exitCode)
{
    return inner_->executeProcess(application, commandLine, creationFlags, exitCode);
}

bool FaultInjectingHal::checkProcessActive(const SharedString& name, bool& active)
{
    return inner_->checkProcessActive(name, active);
}

bool FaultInjectingHal::getStoreInformation(const SharedString& path, std::uint64_t& totalBytes,
                                            std::uint64_t& freeBytes)
{
    return inner_->getStoreInformation(path, totalBytes, freeBytes);
}

ConnectionState FaultInjectingHal::getDeviceType(DeviceType& type, bool refresh)
{
    return inner_->getDeviceType(type, refresh);
}

bool FaultInjectingHal::getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                                     bool& isServer)
{
    return inner_->getOSVersion(major, minor, servicePack, isServer);
}

bool FaultInjectingHal::getSpecialFolderPath(int csidl, SharedString& path)
{
    return inner_->getSpecialFolderPath(csidl, path);
}

bool FaultInjectingHal::getTempPath(SharedString& path)
{
    return inner_->getTempPath(path);
}

bool FaultInjectingHal::getProgramPath(SharedString& path, const SharedString& storageRoot)
{
    return inner_->getProgramPath(path, storageRoot);
}

bool FaultInjectingHal::getPredefinedInstallPath(SharedString& path, bool flag)
{
    return inner_->getPredefinedInstallPath(path, flag);
}

bool FaultInjectingHal::getInstallerPath(SharedString& path)
{
    return inner_->getInstallerPath(path);
}

bool FaultInjectingHal::createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder)
{
    return inner_->createFileFinder(folder, finder);
}

bool FaultInjectingHal::exists(const SharedString& path, bool* isFolder)
{
    return inner_->exists(path, isFolder);
}

bool FaultInjectingHal::regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                     RegistryKey& key)
{
    return inner_->regCreateKey(root, subKey, viewFlags, key);
}

bool FaultInjectingHal::regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int mode,
                                   RegistryKey& key)
{
    return inner_->regOpenKey(root, subKey, viewFlags, mode, key);
}

bool FaultInjectingHal::regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                      bool& empty)
{
    return inner_->regKeyIsEmpty(root, subKey, viewFlags, empty);
}

bool FaultInjectingHal::regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name,
                                    SharedString& className)
{
    return inner_->regEnumKeys(key, index, name, className);
}

bool FaultInjectingHal::regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name,
                                      std::uint32_t& type)
{
    return inner_->regEnumValues(key, index, name, type);
}

bool FaultInjectingHal::regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type,
                                      void* data, std::uint32_t& size)
{
    return inner_->regQueryValue(key, valueName, type, data, size);
}

bool FaultInjectingHal::regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type,
                                    const void* data, std::uint32_t size)
{
    return inner_->regSetValue(key, valueName, type, data, size);
}

bool FaultInjectingHal::regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags)
{
    return inner_->regDeleteKey(root, subKey, viewFlags);
}

bool FaultInjectingHal::regDeleteValue(RegistryKey key, const SharedString& valueName)
{
    return inner_->regDeleteValue(key, valueName);
}

bool FaultInjectingHal::regCloseKey(RegistryKey key)
{
    return inner_->regCloseKey(key);
}

bool FaultInjectingHal::writeIniKey(const SharedString& file, const SharedString& section, const SharedString& key,
                                    const SharedString& value)
{
    return inner_->writeIniKey(file, section, key, value);
}

}  // namespace druvex::test
