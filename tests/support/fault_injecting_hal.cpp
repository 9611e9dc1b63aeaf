#include "support/fault_injecting_hal.h"

#include "hal/hal_access_base.h"

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

bool FaultInjectingHal::deleteFile(const SharedString& path)
{
    {
        std::lock_guard lock(mutex_);
        if (!plan_.failDeleteContaining.empty() &&
            path.view().find(plan_.failDeleteContaining) != std::u16string_view::npos) {
            setLastError(plan_.error);
            return false;
        }
    }
    return inner_->deleteFile(path);
}

bool FaultInjectingHal::setFileTimes(const SharedString& path, const std::uint64_t* creation,
                                     const std::uint64_t* lastAccess, const std::uint64_t* lastWrite)
{
    {
        std::lock_guard lock(mutex_);
        if (plan_.failSetFileTimes) {
            setLastError(plan_.error);
            return false;
        }
    }
    return inner_->setFileTimes(path, creation, lastAccess, lastWrite);
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
        if (plan_.shortReadBytes > 0)
            allowed = std::min(allowed, plan_.shortReadBytes);
        if (plan_.failReadAtOffset && *plan_.failReadAtOffset >= position &&
            *plan_.failReadAtOffset - position < allowed) {
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

bool FaultInjectingHal::computeFileChecksums(const std::vector<SharedString>& paths,
                                             std::vector<FileChecksum>& checksums)
{
    // Summed through this decorator, so that its faults reach the reads.
    return druvex::computeFileChecksums(*this, paths, checksums);
}

}  // namespace druvex::test
