// A HalAccess decorator for tests: it forwards every operation to a wrapped
// host and injects the faults of its plan into the file operations (a failed
// open, the Nth write failing or writing short, short reads, a read failing
// at an offset, a failed close, a failed delete or setting of file times),
// counting the calls it sees. Link the test with druvex_hal.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "hal/hal_access.h"
#include "platform/win_error.h"

namespace druvex::test {

struct HalFaultPlan {
    // Opens (openFile, openFileForRead, createFileForWrite) of a path containing this text fail; empty: none.
    std::u16string failOpenContaining;
    // Every open fails.
    bool failEveryOpen = false;
    // The Nth write (counted from 1 over all handles) fails with -1; 0: none.
    int failWriteNumber = 0;
    // The Nth write passes only half of its bytes on and reports that; 0: none.
    int shortWriteNumber = 0;
    // Reads deliver the bytes before this file offset, then fail with -1.
    std::optional<std::uint64_t> failReadAtOffset;
    // Each read delivers at most this many bytes; 0: as many as asked.
    std::size_t shortReadBytes = 0;
    // Closes close the wrapped handle but answer false.
    bool failClose = false;
    // Deletes of a path containing this text fail and delete nothing; empty: none.
    std::u16string failDeleteContaining;
    // Every setFileTimes changes nothing and fails.
    bool failSetFileTimes = false;
    // The last error of every injected failure.
    std::uint32_t error = kErrorGenFailure;
};

class FaultInjectingHal final : public HalAccess {
public:
    explicit FaultInjectingHal(std::shared_ptr<HalAccess> inner, HalFaultPlan plan = {});

    void setPlan(HalFaultPlan plan);
    HalAccess& inner() { return *inner_; }

    int openCount() const { return opens_.load(); }
    int readCount() const { return reads_.load(); }
    int writeCount() const { return writes_.load(); }
    int closeCount() const { return closes_.load(); }

    bool copyFile(const SharedString& a, const SharedString& b, bool c) override { return inner_->copyFile(a, b, c); }
    bool moveFile(const SharedString& a, const SharedString& b) override { return inner_->moveFile(a, b); }
    bool moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags) override
    {
        return inner_->moveFileEx(source, target, flags);
    }
    bool deleteFile(const SharedString& path) override;
    bool getOpenFileSize(FileHandle a, std::uint64_t& b) override { return inner_->getOpenFileSize(a, b); }
    bool getFileSize(const SharedString& path, std::uint64_t& size) override { return inner_->getFileSize(path, size); }
    bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor, std::uint16_t& build,
                        std::uint16_t& revision) override
    {
        return inner_->getFileVersion(path, major, minor, build, revision);
    }
    bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                      std::uint64_t* lastWrite) override
    {
        return inner_->getFileTimes(path, creation, lastAccess, lastWrite);
    }
    bool setFileTimes(const SharedString& path, const std::uint64_t* creation, const std::uint64_t* lastAccess,
                      const std::uint64_t* lastWrite) override;
    bool computeFileChecksums(const std::vector<SharedString>& paths, std::vector<FileChecksum>& checksums) override;
    bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override
    {
        return inner_->getLockingProcesses(path, processes);
    }
    bool closeLockingProcesses(const std::vector<LockingProcess>& processes, std::uint32_t& closed) override
    {
        return inner_->closeLockingProcesses(processes, closed);
    }
    bool reservedSlot13() override { return inner_->reservedSlot13(); }
    bool reservedSlot14() override { return inner_->reservedSlot14(); }
    bool reservedSlot15() override { return inner_->reservedSlot15(); }
    bool reservedSlot16() override { return inner_->reservedSlot16(); }
    bool getFileAccessMask(const SharedString& a, std::uint32_t& b) override { return inner_->getFileAccessMask(a, b); }
    bool createDirectory(const SharedString& path) override { return inner_->createDirectory(path); }
    bool removeDirectory(const SharedString& path) override { return inner_->removeDirectory(path); }
    bool createSymbolicLink(const SharedString& link, const SharedString& target, bool flag) override
    {
        return inner_->createSymbolicLink(link, target, flag);
    }
    FileHandle openFile(const SharedString& path, std::uint32_t flags, bool* created) override;
    FileHandle openFileForRead(const SharedString& path) override;
    FileHandle createFileForWrite(const SharedString& path) override;
    std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count) override;
    std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count) override;
    bool closeFile(FileHandle handle) override;
    bool seekFile(FileHandle handle, int origin, std::int64_t offset, std::uint64_t* newPosition) override;
    bool setFileForEveryone(const SharedString& path) override { return inner_->setFileForEveryone(path); }
    bool createShortcut(const Shortcut& a, const SharedString& b) override { return inner_->createShortcut(a, b); }
    bool removeShortcut(const Shortcut& shortcut) override { return inner_->removeShortcut(shortcut); }
    bool reservedSlot31() override { return inner_->reservedSlot31(); }
    bool reservedSlot32() override { return inner_->reservedSlot32(); }
    int enumerateStorageRoots(std::vector<SharedString>& a) override { return inner_->enumerateStorageRoots(a); }
    bool createProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t creationFlags,
                       ProcessInformation& information) override
    {
        return inner_->createProcess(application, commandLine, creationFlags, information);
    }
    bool executeProcess(const SharedString& application, const SharedString& commandLine,
                        std::uint32_t creationFlags, std::uint32_t& exitCode) override
    {
        return inner_->executeProcess(application, commandLine, creationFlags, exitCode);
    }
    bool checkProcessActive(const SharedString& a, bool& b) override { return inner_->checkProcessActive(a, b); }
    bool getStoreInformation(const SharedString& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes) override
    {
        return inner_->getStoreInformation(path, totalBytes, freeBytes);
    }
    ConnectionState getDeviceType(DeviceType& a, bool b) override { return inner_->getDeviceType(a, b); }
    bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack, bool& isServer) override
    {
        return inner_->getOSVersion(major, minor, servicePack, isServer);
    }
    bool reservedSlot40() override { return inner_->reservedSlot40(); }
    bool is64bitOS() override { return inner_->is64bitOS(); }
    bool getSpecialFolderPath(int a, SharedString& b) override { return inner_->getSpecialFolderPath(a, b); }
    bool getTempPath(SharedString& path) override { return inner_->getTempPath(path); }
    bool getProgramPath(SharedString& a, const SharedString& b) override { return inner_->getProgramPath(a, b); }
    bool getPredefinedInstallPath(SharedString& a, bool b) override { return inner_->getPredefinedInstallPath(a, b); }
    bool getInstallerPath(SharedString& path) override { return inner_->getInstallerPath(path); }
    std::uint32_t getLastError() override { return inner_->getLastError(); }
    bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) override
    {
        return inner_->createFileFinder(folder, finder);
    }
    bool exists(const SharedString& path, bool* isFolder) override { return inner_->exists(path, isFolder); }
    bool regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, RegistryKey& key) override
    {
        return inner_->regCreateKey(root, subKey, viewFlags, key);
    }
    bool regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int mode,
                    RegistryKey& key) override
    {
        return inner_->regOpenKey(root, subKey, viewFlags, mode, key);
    }
    bool regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, bool& empty) override
    {
        return inner_->regKeyIsEmpty(root, subKey, viewFlags, empty);
    }
    bool regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name, SharedString& className) override
    {
        return inner_->regEnumKeys(key, index, name, className);
    }
    bool regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name, std::uint32_t& type) override
    {
        return inner_->regEnumValues(key, index, name, type);
    }
    bool regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type, void* data,
                       std::uint32_t& size) override
    {
        return inner_->regQueryValue(key, valueName, type, data, size);
    }
    bool regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type, const void* data,
                     std::uint32_t size) override
    {
        return inner_->regSetValue(key, valueName, type, data, size);
    }
    bool regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags) override
    {
        return inner_->regDeleteKey(root, subKey, viewFlags);
    }
    bool regDeleteValue(RegistryKey a, const SharedString& b) override { return inner_->regDeleteValue(a, b); }
    bool regCloseKey(RegistryKey key) override { return inner_->regCloseKey(key); }
    bool reconnect() override { return inner_->reconnect(); }
    bool reboot() override { return inner_->reboot(); }
    bool needsReconnect(HalReconnectListener* listener) override { return inner_->needsReconnect(listener); }
    bool writeIniKey(const SharedString& file, const SharedString& section, const SharedString& key,
                     const SharedString& value) override
    {
        return inner_->writeIniKey(file, section, key, value);
    }
    bool reservedSlot64() override { return inner_->reservedSlot64(); }
    bool reservedSlot65() override { return inner_->reservedSlot65(); }

private:
    // Counts an open; true (with the plan's error) when the plan refuses it.
    bool refuseOpen(const SharedString& path);
    FileHandle track(FileHandle handle);

    std::shared_ptr<HalAccess> inner_;
    std::mutex mutex_;
    HalFaultPlan plan_;
    std::unordered_map<FileHandle, std::uint64_t> positions_;
    std::atomic<int> opens_{0};
    std::atomic<int> reads_{0};
    std::atomic<int> writes_{0};
    std::atomic<int> closes_{0};
};

}  // namespace druvex::test
