#include "hal/hal_file.h"

#include <utility>

namespace druvex {

HalFile::~HalFile()
{
    letGo();
}

HalFile::HalFile(HalFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kInvalidFileHandle)), host_(std::move(other.host_))
{
}

HalFile& HalFile::operator=(HalFile&& other) noexcept
{
    if (this != &other) {
        letGo();
        handle_ = std::exchange(other.handle_, kInvalidFileHandle);
        host_ = std::move(other.host_);
    }
    return *this;
}

void HalFile::letGo()
{
    (void)close();
}

bool HalFile::adopt(const std::shared_ptr<HalAccess>& host, FileHandle handle)
{
    if (handle == kInvalidFileHandle)
        return false;
    handle_ = handle;
    host_ = host;
    return true;
}

bool HalFile::open(const std::shared_ptr<HalAccess>& host, const SharedString& path, std::uint32_t flags)
{
    letGo();
    if (!host)
        return false;
    return adopt(host, host->openFile(path, flags, nullptr));
}

bool HalFile::openForRead(const std::shared_ptr<HalAccess>& host, const SharedString& path)
{
    letGo();
    if (!host)
        return false;
    return adopt(host, host->openFileForRead(path));
}

bool HalFile::openForWrite(const std::shared_ptr<HalAccess>& host, const SharedString& path)
{
    letGo();
    if (!host)
        return false;
    return adopt(host, host->createFileForWrite(path));
}

std::int64_t HalFile::read(void* buffer, std::size_t count)
{
    if (!isOpen())
        return 0;
    return host_->readFile(handle_, buffer, count);
}

std::int64_t HalFile::readFully(void* buffer, std::size_t count)
{
    if (!isOpen())
        return 0;
    return host_->readFully(handle_, buffer, count);
}

std::int64_t HalFile::write(const void* data, std::size_t count)
{
    if (!isOpen())
        return 0;
    return host_->writeFile(handle_, data, count);
}

bool HalFile::seek(int origin, std::int64_t offset, std::uint64_t* position)
{
    if (!isOpen())
        return false;
    return host_->seekFile(handle_, origin, offset, position);
}

std::uint32_t HalFile::size()
{
    if (!isOpen())
        return 0;
    std::uint64_t size = 0;
    if (!host_->getOpenFileSize(handle_, size))
        return 0;
    return static_cast<std::uint32_t>(size);
}

bool HalFile::close()
{
    if (!isOpen())
        return true;
    const bool closed = host_->closeFile(handle_);
    handle_ = kInvalidFileHandle;
    host_.reset();
    return closed;
}

}  // namespace druvex
