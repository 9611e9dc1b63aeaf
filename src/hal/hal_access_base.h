// HalAccessBase: the answers every host shares (the file check words, the
// cached device identification, and the fixed answers of the operations a
// device does not offer). A host derives from it and supplies the rest, with
// detectDeviceType for the identification it caches.
#pragma once

#include <atomic>

#include "hal/hal_access.h"

namespace druvex {

// The check words of files read through `host` (openFileForRead,
// getOpenFileSize, readFile and closeFile). An empty list answers false;
// otherwise true, with one record per path and the records from the first file
// that cannot be opened or read onward zeroed.
bool computeFileChecksums(HalAccess& host, const std::vector<SharedString>& paths,
                          std::vector<FileChecksum>& checksums);

class HalAccessBase : public HalAccess {
public:
    // The free computeFileChecksums through this host.
    [[nodiscard]] bool computeFileChecksums(const std::vector<SharedString>& paths,
                                            std::vector<FileChecksum>& checksums) override;
    // Empties the list; false.
    [[nodiscard]] bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override;
    // Writes 0; false.
    [[nodiscard]] bool closeLockingProcesses(const std::vector<LockingProcess>& processes,
                                             std::uint32_t& closed) override;
    [[nodiscard]] bool reservedSlot13() override { return false; }
    [[nodiscard]] bool reservedSlot14() override { return false; }
    [[nodiscard]] bool reservedSlot15() override { return false; }
    [[nodiscard]] bool reservedSlot16() override { return false; }
    // Writes 0; false.
    [[nodiscard]] bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) override;
    [[nodiscard]] bool createSymbolicLink(const SharedString& link, const SharedString& target, bool flag) override;
    [[nodiscard]] bool reservedSlot31() override { return true; }
    [[nodiscard]] bool reservedSlot32() override { return true; }
    // Identifies the device on the first call, or when `refresh` is asked,
    // and keeps the answer. A state other than DEVICE_CONNECTED gives type 0.
    [[nodiscard]] ConnectionState getDeviceType(DeviceType& type, bool refresh) override;
    [[nodiscard]] bool reservedSlot40() override { return true; }
    [[nodiscard]] bool needsReconnect(HalReconnectListener* listener) override;
    [[nodiscard]] bool writeIniKey(const SharedString& file, const SharedString& section, const SharedString& key,
                                   const SharedString& value) override;
    [[nodiscard]] bool reservedSlot64() override { return false; }
    [[nodiscard]] bool reservedSlot65() override { return false; }

    // Identifies the device behind this host.
    virtual ConnectionState detectDeviceType(DeviceType& type) = 0;

private:
    // The connection state in the high half, the device type in the low one
    // (0: not identified yet), in one word: a script may ask for a refresh from
    // the installation thread, and a reader must never pair a new type with an
    // old state.
    std::atomic<std::uint64_t> cache_{std::uint64_t{static_cast<std::uint32_t>(ConnectionState::DEVICE_NOT_FOUND)} << 32};
};

}  // namespace druvex
