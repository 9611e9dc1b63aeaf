// HalAccessWinCE: the host of the device the installer runs on. Its file
// system is the device folder (DeviceRoot), its stores, special folders and
// identity come from the device profile (DeviceConfig), and its registry is
// the device registry (deviceRegistry()). The application makes one and
// shares it as the installer's source and target host.
#pragma once

#include <unordered_set>

#include "hal/hal_access_base.h"
#include "text/mutex.h"

namespace druvex {

class HalAccessWinCE : public HalAccessBase {
public:
    HalAccessWinCE();
    ~HalAccessWinCE() override;

    [[nodiscard]] bool copyFile(const SharedString& source, const SharedString& target, bool failIfExists) override;
    // Never replaces an existing target (error 183).
    [[nodiscard]] bool moveFile(const SharedString& source, const SharedString& target) override;
    // The flags are ignored: exactly moveFile.
    [[nodiscard]] bool moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags) override;
    // True also when the file or its folder does not exist. A file that
    // another process holds open is neither deleted nor moved (error 32).
    [[nodiscard]] bool deleteFile(const SharedString& path) override;
    [[nodiscard]] bool getOpenFileSize(FileHandle handle, std::uint64_t& size) override;
    [[nodiscard]] bool getFileSize(const SharedString& path, std::uint64_t& size) override;
    [[nodiscard]] bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor,
                                      std::uint16_t& build, std::uint16_t& revision) override;
    [[nodiscard]] bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                                    std::uint64_t* lastWrite) override;
    // The creation time cannot be changed here and is passed over.
    [[nodiscard]] bool setFileTimes(const SharedString& path, const std::uint64_t* creation,
                                    const std::uint64_t* lastAccess, const std::uint64_t* lastWrite) override;

    // One level only.
    [[nodiscard]] bool createDirectory(const SharedString& path) override;
    // An empty folder only.
    [[nodiscard]] bool removeDirectory(const SharedString& path) override;

    // Only handles this host opened are accepted; any other fails with error 6.
    [[nodiscard]] FileHandle openFile(const SharedString& path, std::uint32_t flags, bool* created) override;
    [[nodiscard]] FileHandle openFileForRead(const SharedString& path) override;
    [[nodiscard]] FileHandle createFileForWrite(const SharedString& path) override;
    [[nodiscard]] std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count) override;
    [[nodiscard]] std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count) override;
    [[nodiscard]] bool closeFile(FileHandle handle) override;
    // False only when the move fails: every real position, 0xFFFFFFFF too, is an answer.
    [[nodiscard]] bool seekFile(FileHandle handle, int origin, std::int64_t offset,
                                std::uint64_t* newPosition) override;
    [[nodiscard]] bool setFileForEveryone(const SharedString& path) override;
    // Answered only where the device profile makes the host a desktop (device
    // types 21 to 23); a device answers neither. The processes of this
    // machine, other than this one, that hold the file open:
    [[nodiscard]] bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override;
    // reading always, writing unless the file is read-only (no owner write
    // bit) or lies on a read-only store:
    [[nodiscard]] bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) override;

    // ".lnk" files, or launcher entries on the total stations, in the places
    // of the device model (shortcut_files.h).
    [[nodiscard]] bool createShortcut(const Shortcut& shortcut, const SharedString& target) override;
    [[nodiscard]] bool removeShortcut(const Shortcut& shortcut) override;

    // "/" first (not on device types 5 and 20), then the mounted storage
    // cards at the root, by bare name; device types 15 to 17 have "/ROMDisk" only.
    int enumerateStorageRoots(std::vector<SharedString>& roots) override;

    // A program of the device folder (a bare name is looked for in \Windows,
    // then in \) with the command line as its one argument: a program of this
    // machine runs as itself, any other through the host program that the
    // device profile's [Programs] names for its file name. Error 87 without an
    // application, 2 when it is missing (3 when its folder is), 193 for a file
    // that is neither. The handles are those of platform/process.h; the
    // creation flags change nothing here.
    [[nodiscard]] bool createProcess(const SharedString& application, const SharedString& commandLine,
                                     std::uint32_t creationFlags, ProcessInformation& information) override;
    // createProcess, a wait without limit, the exit code; both handles closed.
    [[nodiscard]] bool executeProcess(const SharedString& application, const SharedString& commandLine,
                                      std::uint32_t creationFlags, std::uint32_t& exitCode) override;
    [[nodiscard]] bool checkProcessActive(const SharedString& name, bool& active) override;

    // The store's Total and Free of the device profile, else the host file
    // system's numbers, in full 64 bits; the path must exist.
    [[nodiscard]] bool getStoreInformation(const SharedString& path, std::uint64_t& totalBytes,
                                           std::uint64_t& freeBytes) override;

    // The profile's OsVersion; service pack 0, never a server.
    [[nodiscard]] bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                                    bool& isServer) override;
    [[nodiscard]] bool is64bitOS() override;

    [[nodiscard]] bool getSpecialFolderPath(int csidl, SharedString& path) override;
    [[nodiscard]] bool getTempPath(SharedString& path) override;
    [[nodiscard]] bool getProgramPath(SharedString& path, const SharedString& storageRoot) override;
    [[nodiscard]] bool getPredefinedInstallPath(SharedString& path, bool flag) override;
    [[nodiscard]] bool getInstallerPath(SharedString& path) override;

    [[nodiscard]] std::uint32_t getLastError() override;

    [[nodiscard]] bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) override;
    [[nodiscard]] bool exists(const SharedString& path, bool* isFolder) override;

    // Sub-keys may separate with '/' as well as '\'.
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
    // Deletes the key with everything below it.
    [[nodiscard]] bool regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags) override;
    [[nodiscard]] bool regDeleteValue(RegistryKey key, const SharedString& valueName) override;
    [[nodiscard]] bool regCloseKey(RegistryKey key) override;

    [[nodiscard]] bool reconnect() override;
    // The soft reset: a line ending in "SOFT_RESET" appended to the device
    // directory's events.log; the host machine is never touched.
    [[nodiscard]] bool reboot() override;

    // Device identification; always connected.
    ConnectionState detectDeviceType(DeviceType& type) override;

    // The access bits a registry view adds; the device has one view.
    virtual std::uint32_t registryViewAccess(std::uint32_t viewFlags, const SharedString& subKey);

private:
    bool isDesktopHost();
    // Whether this host opened the handle; error 6 when not.
    bool ownsHandle(FileHandle handle);
    FileHandle keepHandle(FileHandle handle);

    Mutex handlesMutex_;
    std::unordered_set<FileHandle> handles_ GUARDED_BY(handlesMutex_);
};

}  // namespace druvex
