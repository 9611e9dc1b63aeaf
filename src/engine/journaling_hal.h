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

    [[nodiscard]] bool copyFile(const SharedString& source, const SharedString& target, bool failIfExists) override;
    [[nodiscard]] bool moveFile(const SharedString& source, const SharedString& target) override;
    [[nodiscard]] bool moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags) override;
    // The file is kept in the journal's store: the removal is its move there.
    [[nodiscard]] bool deleteFile(const SharedString& path) override;
    [[nodiscard]] bool getOpenFileSize(FileHandle handle, std::uint64_t& size) override;
    [[nodiscard]] bool getFileSize(const SharedString& path, std::uint64_t& size) override;
    [[nodiscard]] bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor,
                                      std::uint16_t& build, std::uint16_t& revision) override;
    [[nodiscard]] bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                                    std::uint64_t* lastWrite) override;
    [[nodiscard]] bool setFileTimes(const SharedString& path, const std::uint64_t* creation,
                                    const std::uint64_t* lastAccess, const std::uint64_t* lastWrite) override;
    [[nodiscard]] bool computeFileChecksums(const std::vector<SharedString>& paths,
                                            std::vector<FileChecksum>& checksums) override;
    [[nodiscard]] bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override;
    [[nodiscard]] bool closeLockingProcesses(const std::vector<LockingProcess>& processes,
                                             std::uint32_t& closed) override;
    [[nodiscard]] bool reservedSlot13() override { return inner_->reservedSlot13(); }
    [[nodiscard]] bool reservedSlot14() override { return inner_->reservedSlot14(); }
    [[nodiscard]] bool reservedSlot15() override { return inner_->reservedSlot15(); }
    [[nodiscard]] bool reservedSlot16() override { return inner_->reservedSlot16(); }
    [[nodiscard]] bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) override;
    [[nodiscard]] bool createDirectory(const SharedString& path) override;
    [[nodiscard]] bool removeDirectory(const SharedString& path) override;
    [[nodiscard]] bool createSymbolicLink(const SharedString& link, const SharedString& target, bool flag) override;
    [[nodiscard]] FileHandle openFile(const SharedString& path, std::uint32_t flags, bool* created) override;
    [[nodiscard]] FileHandle openFileForRead(const SharedString& path) override;
    [[nodiscard]] FileHandle createFileForWrite(const SharedString& path) override;
    [[nodiscard]] std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count) override;
    [[nodiscard]] std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count) override;
    [[nodiscard]] bool closeFile(FileHandle handle) override;
    [[nodiscard]] bool seekFile(FileHandle handle, int origin, std::int64_t offset,
                                std::uint64_t* newPosition) override;
    [[nodiscard]] bool setFileForEveryone(const SharedString& path) override;
    // The device's links made and removed through this host, so that their
    // files are journaled too.
    [[nodiscard]] bool createShortcut(const Shortcut& shortcut, const SharedString& target) override;
    [[nodiscard]] bool removeShortcut(const Shortcut& shortcut) override;
    [[nodiscard]] bool reservedSlot31() override { return inner_->reservedSlot31(); }
    [[nodiscard]] bool reservedSlot32() override { return inner_->reservedSlot32(); }
    int enumerateStorageRoots(std::vector<SharedString>& roots) override;
    [[nodiscard]] bool createProcess(const SharedString& application, const SharedString& commandLine,
                                     std::uint32_t creationFlags, ProcessInformation& information) override;
    [[nodiscard]] bool executeProcess(const SharedString& application, const SharedString& commandLine,
                                      std::uint32_t creationFlags, std::uint32_t& exitCode) override;
    [[nodiscard]] bool checkProcessActive(const SharedString& name, bool& active) override;
    [[nodiscard]] bool getStoreInformation(const SharedString& path, std::uint64_t& totalBytes,
                                           std::uint64_t& freeBytes) override;
    [[nodiscard]] ConnectionState getDeviceType(DeviceType& type, bool refresh) override;
    [[nodiscard]] bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                                    bool& isServer) override;
    [[nodiscard]] bool reservedSlot40() override { return inner_->reservedSlot40(); }
    [[nodiscard]] bool is64bitOS() override { return inner_->is64bitOS(); }
    [[nodiscard]] bool getSpecialFolderPath(int csidl, SharedString& path) override;
    [[nodiscard]] bool getTempPath(SharedString& path) override { return inner_->getTempPath(path); }
    [[nodiscard]] bool getProgramPath(SharedString& path, const SharedString& storageRoot) override;
    [[nodiscard]] bool getPredefinedInstallPath(SharedString& path, bool flag) override;
    [[nodiscard]] bool getInstallerPath(SharedString& path) override { return inner_->getInstallerPath(path); }
    [[nodiscard]] std::uint32_t getLastError() override { return inner_->getLastError(); }
    [[nodiscard]] bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) override;
    [[nodiscard]] bool exists(const SharedString& path, bool* isFolder) override;
    [[nodiscard]] bool regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                    RegistryKey& key) override;
    [[nodiscard]] bool regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int mode,
                                  RegistryKey& key) override;
    [[nodiscard]] bool regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                     bool& empty) override;
    [[nodiscard]] bool regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name,
                                   SharedString& className) override;
    [[nodiscard]] bool regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name,
                                     std::uint32_t& type) override;
    [[nodiscard]] bool regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type, void* data,
                                     std::uint32_t& size) override;
    [[nodiscard]] bool regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type, const void* data,
                                   std::uint32_t size) override;
    [[nodiscard]] bool regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags) override;
    [[nodiscard]] bool regDeleteValue(RegistryKey key, const SharedString& valueName) override;
    [[nodiscard]] bool regCloseKey(RegistryKey key) override;
    [[nodiscard]] bool reconnect() override { return inner_->reconnect(); }
    [[nodiscard]] bool reboot() override { return inner_->reboot(); }
    [[nodiscard]] bool needsReconnect(HalReconnectListener* listener) override
    {
        return inner_->needsReconnect(listener);
    }
    [[nodiscard]] bool writeIniKey(const SharedString& file, const SharedString& section, const SharedString& key,
                                   const SharedString& value) override;
    [[nodiscard]] bool reservedSlot64() override { return inner_->reservedSlot64(); }
    [[nodiscard]] bool reservedSlot65() override { return inner_->reservedSlot65(); }

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
