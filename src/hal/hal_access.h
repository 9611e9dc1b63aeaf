// HalAccess: the one door through which the installer touches the machine it
// installs on (files and open handles, folders, processes, free space, device
// type and OS version, special folders, the registry, shortcuts, the reboot),
// and HalFileFinder, the folder enumerator it hands out. Hosts are held by
// std::shared_ptr; no operation throws: failures answer false (or an invalid
// handle, or -1) and leave their reason in getLastError right after the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/platform_file.h"
#include "text/shared_string.h"
#include "hal/device_identity.h"
#include "platform/registry_tree.h"

namespace druvex {

class Shortcut;
class HalReconnectListener;

// Registry open modes (regOpenKey) and views (the `viewFlags` of the registry
// functions); the device has one view, so the view flags travel through and
// change nothing there.
constexpr int kRegistryModeRead = 0;
constexpr int kRegistryModeWrite = 1;
constexpr std::uint32_t kRegistryViewDefault = 0;
constexpr std::uint32_t kRegistryViewForce32 = 1;
constexpr std::uint32_t kRegistryViewForce64 = 2;

// The check word of one file: Adler-32 with the byte sum in the high half, and
// the low 32 bits of the size. Zeroed for a file that could not be read.
struct FileChecksum {
    std::uint32_t checksum = 0;
    std::uint32_t size = 0;

    friend bool operator==(const FileChecksum&, const FileChecksum&) = default;
};

// A process that holds a file open (desktop hosts only; the device reports none).
struct LockingProcess {
    std::uint32_t processId = 0;
    std::uint32_t startTimeLow = 0;
    std::uint32_t startTimeHigh = 0;
    SharedString applicationName;
    SharedString serviceName;
};

// What createProcess hands back: the two handles and the two ids.
struct ProcessInformation {
    std::intptr_t process = -1;
    std::intptr_t thread = -1;
    std::uint32_t processId = 0;
    std::uint32_t threadId = 0;
};

// Walks one folder's entries. A finder from createFileFinder already stands on
// the first entry; next moves on and answers whether there is one.
class HalFileFinder {
public:
    virtual ~HalFileFinder() = default;
    virtual bool next() = 0;
    // The current entry's bare name.
    virtual SharedString name() const = 0;
    virtual std::uint64_t size() const = 0;
    virtual bool isFolder() const = 0;
};

class HalAccess {
public:
    HalAccess() = default;
    HalAccess(const HalAccess&) = delete;
    HalAccess& operator=(const HalAccess&) = delete;

    virtual ~HalAccess();

    // Files by path.
    [[nodiscard]] virtual bool copyFile(const SharedString& source, const SharedString& target, bool failIfExists) = 0;
    [[nodiscard]] virtual bool moveFile(const SharedString& source, const SharedString& target) = 0;
    [[nodiscard]] virtual bool moveFileEx(const SharedString& source, const SharedString& target,
                                          std::uint32_t flags) = 0;
    [[nodiscard]] virtual bool deleteFile(const SharedString& path) = 0;
    [[nodiscard]] virtual bool getOpenFileSize(FileHandle handle, std::uint64_t& size) = 0;
    [[nodiscard]] virtual bool getFileSize(const SharedString& path, std::uint64_t& size) = 0;
    // The product version of the file's version resource; all four are 0
    // first, whatever the answer.
    [[nodiscard]] virtual bool getFileVersion(const SharedString& path, std::uint16_t& major, std::uint16_t& minor,
                                              std::uint16_t& build, std::uint16_t& revision) = 0;
    // File times are 100-ns units since 1601-01-01 UTC; each may be null.
    [[nodiscard]] virtual bool getFileTimes(const SharedString& path, std::uint64_t* creation,
                                            std::uint64_t* lastAccess, std::uint64_t* lastWrite) = 0;
    [[nodiscard]] virtual bool setFileTimes(const SharedString& path, const std::uint64_t* creation,
                                            const std::uint64_t* lastAccess, const std::uint64_t* lastWrite) = 0;
    [[nodiscard]] virtual bool computeFileChecksums(const std::vector<SharedString>& paths,
                                                    std::vector<FileChecksum>& checksums) = 0;
    [[nodiscard]] virtual bool getLockingProcesses(const SharedString& path,
                                                   std::vector<LockingProcess>& processes) = 0;

    // Ends the listed processes; `closed` tells how many went.
    [[nodiscard]] virtual bool closeLockingProcesses(const std::vector<LockingProcess>& processes,
                                                     std::uint32_t& closed) = 0;
    // Reserved: every host answers them with a fixed value.
    [[nodiscard]] virtual bool reservedSlot13() = 0;
    [[nodiscard]] virtual bool reservedSlot14() = 0;
    [[nodiscard]] virtual bool reservedSlot15() = 0;
    [[nodiscard]] virtual bool reservedSlot16() = 0;

    // The caller's effective rights on the file; a mask with bit
    // 0x40000000, or with all bits of 0x120116, means write access.
    [[nodiscard]] virtual bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) = 0;

    // Folders.
    [[nodiscard]] virtual bool createDirectory(const SharedString& path) = 0;
    [[nodiscard]] virtual bool removeDirectory(const SharedString& path) = 0;
    [[nodiscard]] virtual bool createSymbolicLink(const SharedString& link, const SharedString& target, bool flag) = 0;

    // Open handles. Open flags are those of openFile in
    // core/platform_file.h; `created` may be null.
    [[nodiscard]] virtual FileHandle openFile(const SharedString& path, std::uint32_t flags, bool* created) = 0;
    [[nodiscard]] virtual FileHandle openFileForRead(const SharedString& path) = 0;
    [[nodiscard]] virtual FileHandle createFileForWrite(const SharedString& path) = 0;
    // Bytes read, 0 at the end of the file, -1 on error.
    [[nodiscard]] virtual std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count) = 0;
    // readFile until `count` bytes arrived: the bytes read, fewer only when
    // the file ended first, or -1 when a read failed.
    [[nodiscard]] std::int64_t readFully(FileHandle handle, void* buffer, std::size_t count);
    // Bytes written, -1 on error.
    [[nodiscard]] virtual std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count) = 0;
    [[nodiscard]] virtual bool closeFile(FileHandle handle) = 0;
    // Origin 0 begin, 1 current, 2 end; `newPosition` may be null.
    [[nodiscard]] virtual bool seekFile(FileHandle handle, int origin, std::int64_t offset,
                                        std::uint64_t* newPosition) = 0;

    // Grants every user access to the file.
    [[nodiscard]] virtual bool setFileForEveryone(const SharedString& path) = 0;

    // Shortcuts.
    [[nodiscard]] virtual bool createShortcut(const Shortcut& shortcut, const SharedString& target) = 0;
    [[nodiscard]] virtual bool removeShortcut(const Shortcut& shortcut) = 0;

    // Reserved.
    [[nodiscard]] virtual bool reservedSlot31() = 0;
    [[nodiscard]] virtual bool reservedSlot32() = 0;

    // Empties the list, fills it, and answers the count.
    virtual int enumerateStorageRoots(std::vector<SharedString>& roots) = 0;

    // Processes.
    [[nodiscard]] virtual bool createProcess(const SharedString& application, const SharedString& commandLine,
                                             std::uint32_t creationFlags, ProcessInformation& information) = 0;
    [[nodiscard]] virtual bool executeProcess(const SharedString& application, const SharedString& commandLine,
                                              std::uint32_t creationFlags, std::uint32_t& exitCode) = 0;
    [[nodiscard]] virtual bool checkProcessActive(const SharedString& name, bool& active) = 0;

    // The store's size and the bytes free for the caller.
    [[nodiscard]] virtual bool getStoreInformation(const SharedString& path, std::uint64_t& totalBytes,
                                                   std::uint64_t& freeBytes) = 0;

    // The device type, identified once per host unless `refresh`.
    [[nodiscard]] virtual ConnectionState getDeviceType(DeviceType& type, bool refresh) = 0;
    [[nodiscard]] virtual bool getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                                            bool& isServer) = 0;
    // Reserved.
    [[nodiscard]] virtual bool reservedSlot40() = 0;
    [[nodiscard]] virtual bool is64bitOS() = 0;

    // Folders of the system. A special folder is a CSIDL
    // number and always ends with a separator.
    [[nodiscard]] virtual bool getSpecialFolderPath(int csidl, SharedString& path) = 0;
    [[nodiscard]] virtual bool getTempPath(SharedString& path) = 0;
    [[nodiscard]] virtual bool getProgramPath(SharedString& path, const SharedString& storageRoot) = 0;
    [[nodiscard]] virtual bool getPredefinedInstallPath(SharedString& path, bool flag) = 0;
    [[nodiscard]] virtual bool getInstallerPath(SharedString& path) = 0;

    // The calling thread's last system error.
    [[nodiscard]] virtual std::uint32_t getLastError() = 0;

    // False, and no finder, when the folder has no entry.
    [[nodiscard]] virtual bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) = 0;
    // `isFolder` may be null.
    [[nodiscard]] virtual bool exists(const SharedString& path, bool* isFolder) = 0;

    // Registry. Roots are the predefined handles
    // kRegistryClassesRoot to kRegistryUsers; value types are the REG_ numbers.
    [[nodiscard]] virtual bool regCreateKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                            RegistryKey& key) = 0;
    // Mode kRegistryModeWrite opens for writing, any other value for reading.
    [[nodiscard]] virtual bool regOpenKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                          int mode, RegistryKey& key) = 0;
    // Empty: no subkeys and no values.
    [[nodiscard]] virtual bool regKeyIsEmpty(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                             bool& empty) = 0;
    // False past the last entry.
    [[nodiscard]] virtual bool regEnumKeys(RegistryKey key, std::uint32_t index, SharedString& name,
                                           SharedString& className) = 0;
    [[nodiscard]] virtual bool regEnumValues(RegistryKey key, std::uint32_t index, SharedString& name,
                                             std::uint32_t& type) = 0;
    // Without `data` reports the type and the byte size; with it, `size` gives
    // the room and receives the bytes stored.
    [[nodiscard]] virtual bool regQueryValue(RegistryKey key, const SharedString& valueName, std::uint32_t& type,
                                             void* data, std::uint32_t& size) = 0;
    [[nodiscard]] virtual bool regSetValue(RegistryKey key, const SharedString& valueName, std::uint32_t type,
                                           const void* data, std::uint32_t size) = 0;
    [[nodiscard]] virtual bool regDeleteKey(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags) = 0;
    [[nodiscard]] virtual bool regDeleteValue(RegistryKey key, const SharedString& valueName) = 0;
    [[nodiscard]] virtual bool regCloseKey(RegistryKey key) = 0;

    // Reconnection, reboot and ini keys (desktop hosts).
    [[nodiscard]] virtual bool reconnect() = 0;
    [[nodiscard]] virtual bool reboot() = 0;
    [[nodiscard]] virtual bool needsReconnect(HalReconnectListener* listener) = 0;
    [[nodiscard]] virtual bool writeIniKey(const SharedString& file, const SharedString& section,
                                           const SharedString& key, const SharedString& value) = 0;
    [[nodiscard]] virtual bool reservedSlot64() = 0;
    [[nodiscard]] virtual bool reservedSlot65() = 0;

    // Typed registry values through the registry functions above; each opens, works and closes.
    // False when the key cannot be opened (or created) or the value has another type.
    [[nodiscard]] bool writeRegistryDwordValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                               const SharedString& valueName, std::uint32_t value);
    // REG_EXPAND_SZ with `expand`, else REG_SZ; the terminating zero is stored.
    [[nodiscard]] bool writeRegistryStringValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                                const SharedString& valueName, const SharedString& text, bool expand);
    // Types 1 and 2 only; the text is cut at its first zero.
    [[nodiscard]] bool readRegistryStringValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                               const SharedString& valueName, SharedString& text);
    // `value` is 0 unless a type-4 value of four bytes was read.
    [[nodiscard]] bool readRegistryDwordValue(RegistryKey root, const SharedString& subKey, std::uint32_t viewFlags,
                                              const SharedString& valueName, std::uint32_t& value);
    // A type-7 value split at its zeros; the list ends at the first empty text.
    [[nodiscard]] bool readRegistryMultiStringValue(RegistryKey root, const SharedString& subKey,
                                                    std::uint32_t viewFlags, const SharedString& valueName,
                                                    std::vector<SharedString>& list);

    // Closes a key whose work is done. The device stores every change when it
    // is made, so a close that fails loses nothing and is not reported.
    void regCloseKeyAfterUse(RegistryKey key);
    // Closes a file that was only read: a close that fails loses nothing.
    void closeFileAfterReading(FileHandle handle);
    // The device type as getDeviceType identifies it, for callers that need
    // only the type: NONE while no device is connected.
    DeviceType deviceTypeOrNone(bool refresh = false);
};

}  // namespace druvex
