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

    bool copyFile(const SharedString& source, const SharedString& target, bool failIfExists) override;
    // Never replaces an existing target (error 183).
    bool moveFile(const SharedString& source, const SharedString& target) override;
    // The flags are ignored: exactly moveFile.
    bool moveFileEx(const SharedString& source, const SharedString& target, std::uint32_t flags) override;
    // True also when the file or its folder does not exist. A file that
    // another process holds open is neither deleted nor moved (error 32).
    bool deleteFile(const SharedString& path) override;
    bool getOpenFileSize(FileHandle handle, std::uint64_t& size) override;
    bool getFileSize(const SharedString& path, std::uint64_t& size) override;
    bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor, std::uint16_t& build,
                        std::uint16_t& revision) override;
    bool getFileTimes(const SharedString& path, std::uint64_t* creation, std::uint64_t* lastAccess,
                      std::uint64_t* lastWrite) override;
    // The creation time cannot be changed here and is passed over.
    bool setFileTimes(const SharedString& path, const std::uint64_t* creation, const std::uint64_t* lastAccess,
                      const std::uint64_t* lastWrite) override;

    // One level only.
    bool createDirectory(const SharedString& path) override;
    // An empty folder only.
    bool removeDirectory(const SharedString& path) override;

    // Only handles this host opened are accepted; any other fails with error 6.
    FileHandle openFile(const SharedString& path, std::uint32_t flags, bool* created) override;
    FileHandle openFileForRead(const SharedString& path) override;
    FileHandle createFileForWrite(const SharedString& path) override;
    std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count) override;
    std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count) override;
    bool closeFile(FileHandle handle) override;
    // False only when the move fails: every real position, 0xFFFFFFFF too, is an answer.
    bool seekFile(FileHandle handle, int origin, std::int64_t offset, std::uint64_t* newPosition) override;
    bool setFileForEveryone(const SharedString& path) override;
    // Answered only where the device profile makes the host a desktop (device
    // types 21 to 23); a device answers neither. The processes of this
    // machine, other than this one, that hold the file open:
    bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override;
    // reading always, writing unless the file is read-only (no owner write
    // bit) or lies on a read-only store:
    bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) override;

    // ".lnk" files, or launcher entries on the total stations, in the places
    // of the device model (shortcut_files.h).
    bool createShortcut(const Shortcut& shortcut, const SharedString& target) override;
    bool removeShortcut(const Shortcut& shortcut) override;

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
    bool createProcess(const SharedString& application, const SharedString& commandLine, std::uint32_t creationFlags,
                       ProcessInformation& information) override;
    // createProcess, a wait without limit, the exit code; both handles closed.
    bool executeProcess(const SharedString& application, const SharedString& commandLine,
                        std::uint32_t creationFlags, std::uint32_t& exitCode) override;
    bool checkProcessActive(const SharedString& name, bool& active) override;

    // The store's Total and Free of the device profile, else the host file
    // system's numbers, in full 64 bits; the path must exist.
    bool getStoreInformation(const SharedString& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes) override;

    // The profile's OsVersion; service pack 0, never a server.
    bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack, bool& isServer) override;
    bool is64bitOS() override;

    bool getSpecialFolderPath(int csidl, SharedString& path) override;
    bool getTempPath(SharedString& path) override;
    bool getProgramPath(SharedString& path, const SharedString& storageRoot) override;
    bool getPredefinedInstallPath(SharedString& path, bool flag) override;
    bool getInstallerPath(SharedString& path) override;

    std::uint32_t getLastError() override;

    bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) override;
    bool exists(const SharedString& path, bool* isFolder) override;

    // Sub-keys may separate with '/' as well as '\'.
    bool regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, RegistryKey& key) override;
    bool regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, int mode,
                    RegistryKey& key) override;
    bool regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags, bool& empty) override;
    bool regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name, SharedString& className) override;
    bool regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name, std::uint32_t& type) override;
    bool regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type, void* data,
                       std::uint32_t& size) override;
    bool regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type, const void* data,
                     std::uint32_t size) override;
    // Deletes the key with everything below it.
    bool regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags) override;
    bool regDeleteValue(RegistryKey key, const SharedString& valueName) override;
    bool regCloseKey(RegistryKey key) override;

    bool reconnect() override;
    // The soft reset: a line ending in "SOFT_RESET" appended to the device
    // directory's events.log; the host machine is never touched.
    bool reboot() override;

    // Device identification; always connected.
    ConnectionState detectDeviceType(DeviceType& type) override;

    // The access bits a registry view adds; the device has one view.
    virtual std::uint32_t registryViewAccess(std::uint32_t viewFlags, const SharedString& subKey);

private:
    bool isDesktopHost();
    // Whether this host opened the handle; error 6 when not.
    bool ownsHandle(FileHandle handle);
    FileHandle keepHandle(FileHandle handle);
    // The device type for the path rules, identified once per host.
    DeviceType deviceType();

    Mutex handlesMutex_;
    std::unordered_set<FileHandle> handles_ GUARDED_BY(handlesMutex_);
};

}  // namespace druvex
