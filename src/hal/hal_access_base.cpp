#include "hal/hal_access_base.h"

#include <vector>

#include "core/adler32.h"

namespace druvex {

namespace {

constexpr std::size_t kChecksumBufferSize = 64 * 1024;

std::uint64_t packDeviceCache(DeviceType type, ConnectionState state)
{
    return (std::uint64_t{static_cast<std::uint32_t>(state)} << 32) | static_cast<std::uint32_t>(type);
}

}  // namespace

bool computeFileChecksums(HalAccess& host, const std::vector<SharedString>& paths,
                          std::vector<FileChecksum>& checksums)
{
    if (paths.empty())
        return false;
    checksums.assign(paths.size(), FileChecksum{});
    std::vector<unsigned char> buffer(kChecksumBufferSize);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const FileHandle handle = host.openFileForRead(paths[i]);
        if (handle == kInvalidFileHandle)
            return true;
        std::uint64_t size = 0;
        const bool sized = host.getOpenFileSize(handle, size);
        Adler32 sum;
        std::int64_t got = 0;
        while (sized && (got = host.readFile(handle, buffer.data(), buffer.size())) > 0)
            sum.update(static_cast<std::size_t>(got), buffer.data());
        host.closeFileAfterReading(handle);
        // A file that fails half-way (or whose size cannot be had) was not
        // read: its record stays zeroed like those of a file that cannot be
        // opened, never a sum of part of it.
        if (!sized || got < 0)
            return true;
        checksums[i].checksum = sum.final();
        checksums[i].size = static_cast<std::uint32_t>(size);
    }
    return true;
}

bool HalAccessBase::computeFileChecksums(const std::vector<SharedString>& paths,
                                         std::vector<FileChecksum>& checksums)
{
    return druvex::computeFileChecksums(*this, paths, checksums);
}

bool HalAccessBase::getLockingProcesses(const SharedString&, std::vector<LockingProcess>& processes)
{
    processes.clear();
    return false;
}

bool HalAccessBase::closeLockingProcesses(const std::vector<LockingProcess>&, std::uint32_t& closed)
{
    closed = 0;
    return false;
}

bool HalAccessBase::getFileAccessMask(const SharedString&, std::uint32_t& mask)
{
    mask = 0;
    return false;
}

bool HalAccessBase::createSymbolicLink(const SharedString&, const SharedString&, bool)
{
    return false;
}

ConnectionState HalAccessBase::getDeviceType(DeviceType& type, bool refresh)
{
    const std::uint64_t cached = cache_.load(std::memory_order_acquire);
    const auto cachedType = static_cast<std::int32_t>(cached & 0xFFFFFFFFu);
    if (!refresh && cachedType != 0) {
        type = static_cast<DeviceType>(cachedType);
        return static_cast<ConnectionState>(static_cast<std::int32_t>(cached >> 32));
    }
    DeviceType detected{};
    const ConnectionState state = detectDeviceType(detected);
    // Without a connection there is no device: keeping the detected type would
    // hand it out with the failed state at the next call.
    const DeviceType keptType = state == ConnectionState::DEVICE_CONNECTED ? detected : DeviceType::NONE;
    cache_.store(packDeviceCache(keptType, state), std::memory_order_release);
    type = keptType;
    return state;
}

bool HalAccessBase::needsReconnect(HalReconnectListener*)
{
    return false;
}

bool HalAccessBase::writeIniKey(const SharedString&, const SharedString&, const SharedString&, const SharedString&)
{
    return false;
}

}  // namespace druvex
