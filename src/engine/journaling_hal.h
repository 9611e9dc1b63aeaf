// JournalingHal: the target host as an installation run sees it. Every
// operation goes to the host it wraps; before a change goes ahead the host
// notes in the run's RollbackJournal what it would take to undo it (a file
// about to be replaced or removed is kept in the journal's store first), so
// the run can be rolled back whatever part of it wrote: the package unpacker,
// the managed-folder clean-up, shortcuts, registry trees, the product files.
#pragma once

#include <map>
#include <memory>
#include <utility>

#include "hal/hal_access.h"
#include "text/mutex.h"

namespace druvex {

class RollbackJournal;

class JournalingHal final : public HalAccess {
public:
    // Both must outlive the host.
    JournalingHal(std::shared_ptr<HalAccess> inner, RollbackJournal& journal);

    HalAccess& inner() { return *inner_; }

    bool copyFile(const SharedString& source, const SharedString& target, bool failIfExists) override;
    bool moveFile(const SharedString& source, const SharedString& target) override;
    bool moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags) override;
    // The file is kept in the journal's store: the removal is its move there.
    bool deleteFile(const SharedString& path) override;
    bool getOpenFileSize(FileHandle handle, std::uint64_t& size) override;
    bool getFileSize(const SharedString& path, std::uint64_t& size) override;
    bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor, std::uint16_t& build,
                        std::uint16_t& revision) override;
    bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                      std::uint64_t* lastWrite) override;
    bool setFileTimes(const SharedString& path, const std::uint64_t* creation, const std::uint64_t* lastAccess,
                      const std::uint64_t* lastWrite) override;
    bool computeFileChecksums(const std::vector<SharedString>& paths, std::vector<FileChecksum>& checksums) override;
    bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override;
    bool closeLockingProcesses(const std::vector<LockingProcess>& processes, std::uint32_t& closed) override;
    bool reservedSlot13() override { return inner_->reservedSlot13(); }
    bool reservedSlot14() override { return inner_->reservedSlot14(); }
    bool reservedSlot15() override { return inner_->reservedSlot15(); }
    bool reservedSlot16() override { return inner_->reservedSlot16(); }
    bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) override;
    bool createDirectory(const SharedString& path) override;
    bool removeDirectory(const SharedString& path) override;
    bool createSymbolicLink(const SharedString& link, const SharedString& target, bool flag) override;
    FileHandle openFile(const SharedString& path, std::uint32_t flags, bool* created) override;
    FileHandle openFileForRead(const SharedString& path) override;
    FileHandle createFileForWrite(const SharedString& path) override;
    std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count) override;
    std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count) override;
    bool closeFile(FileHandle handle) override;
    bool seekFile(FileHandle handle, int origin, std::int64_t offset, std::uint64_t* newPosition) override;
    bool setFileForEveryone(const SharedString& path) override;
    // The device's links made and removed through this host, so that their
    // files are journaled too.
    bool createShortcut(const Shortcut& shortcut, const SharedString& target) override;
    bool removeShortcut(const Shortcut& shortcut) override;
    bool reservedSlot31() override { return inner_->reservedSlot31(); }
    bool reservedSlot32() override { return inner_->reservedSlot32(); }
    int enumerateStorageRoots(std::vector<SharedString>& roots) override;
    bool createProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t creationFlags,
                       ProcessInformation& information) override;
    bool executeProcess(const SharedString& application, const SharedString& commandLine,
                        std::uint32_t creationFlags, std::uint32_t& exitCode) override;
    bool checkProcessActive(const SharedString& name, bool& active) override;
    bool getStoreInformation(const SharedString& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes) override;
    ConnectionState getDeviceType(DeviceType& type, bool refresh) override;
    bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                      bool& isServer) override;
    bool reservedSlot40() override { return inner_->reservedSlot40(); }
    bool is64bitOS() override { return inner_->is64bitOS(); }
    bool getSpecialFolderPath(int csidl, SharedString& path) override;
    bool getTempPath(SharedString& path) override { return inner_->getTempPath(path); }
    bool getProgramPath(SharedString& path, const SharedString& storageRoot) override;
    bool getPredefinedInstallPath(SharedString& path, bool flag) override;
    bool getInstallerPath(SharedString& path) override { return inner_->getInstallerPath(path); }
    std::uint32_t getLastError() override { return inner_->getLastError(); }
    bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) override;
    bool exists(const SharedString& path, bool* isFolder) override;
    bool regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                      RegistryKey& key) override;
    bool regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int mode,
                    RegistryKey& key) override;
    bool regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, bool& empty) override;
    bool regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name, SharedString& className) override;
    bool regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name, std::uint32_t& type) override;
    bool regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type, void* data,
                       std::uint32_t& size) override;
    bool regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type, const void* data,
                     std::uint32_t size) override;
    bool regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags) override;
    bool regDeleteValue(RegistryKey key, const SharedString& valueName) override;
    bool regCloseKey(RegistryKey key) override;
    bool reconnect() override { return inner_->reconnect(); }
    bool reboot() override { return inner_->reboot(); }
    bool needsReconnect(HalReconnectListener* listener) override { return inner_->needsReconnect(listener); }
    bool writeIniKey(const SharedString& file, const SharedString& section, const SharedString& key,
                     const SharedString& value) override;
    bool reservedSlot64() override { return inner_->reservedSlot64(); }
    bool reservedSlot65() override { return inner_->reservedSlot65(); }

private:
    // The predefined root and the path below it of a root or an open key;
    // false for a handle this host did not hand out.
    bool locateKey(RegistryKey key, RegistryKey& root, SharedString& path) const;
    void trackKey(RegistryKey key, RegistryKey root, const SharedString& path);
    // Notes the value's state before its first change.
    void noteValueBefore(RegistryKey key, const SharedString& valueName);
    void noteNewFolders(const SharedString& path, bool existedBefore);

    // Takes the last answer of exists when it found `path` to be a file.
    bool takeFoundFile(const SharedString& path);

    std::shared_ptr<HalAccess> inner_;
    RollbackJournal& journal_;
    // A removal most often follows the question whether the file is there:
    // the answer is used once, so that the removal does not ask again.
    Mutex foundMutex_;
    SharedString foundFile_ GUARDED_BY(foundMutex_);
    mutable Mutex keysMutex_;
    std::map<RegistryKey, std::pair<RegistryKey, SharedString>> keys_ GUARDED_BY(keysMutex_);
};

}  // namespace druvex
