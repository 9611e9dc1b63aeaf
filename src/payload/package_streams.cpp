#include "payload/package_streams.h"

#include <algorithm>
#include <cstring>

#include "core/platform_file.h"
#include "hal/hal_access.h"

namespace druvex {
namespace {

constexpr std::uint32_t kOpenExistingForWrite = kFileOpenExisting | kFileWrite;  // 65

}  // namespace

PackageStream::~PackageStream() = default;

bool MemoryInputStream::read(std::uint32_t size, std::uint8_t* buffer, std::uint32_t& count)
{
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - position_);
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    count = static_cast<std::uint32_t>(n);
    return true;
}

bool HalFileOutputStream::openForAppend(const std::shared_ptr<HalAccess>& host, const SharedString& path)
{
    if (!file_.open(host, path, kOpenExistingForWrite))
        return false;
    host_ = host;
    std::uint64_t end = 0;
    if (!file_.seekToEnd(&end)) {
        file_.letGo();
        return false;
    }
    payloadBase_ = end;
    return true;
}

bool HalFileOutputStream::write(std::uint32_t size, const std::uint8_t* bytes)
{
    if (size == 0)
        return file_.isOpen();
    if (file_.write(bytes, size) == static_cast<std::int64_t>(size))
        return true;
    if (host_)
        writeError_ = host_->getLastError();
    return false;
}

bool HalFileOutputStream::close()
{
    return file_.close();
}

bool ChecksumOutputStream::write(std::uint32_t size, const std::uint8_t* bytes)
{
    if (!target_.write(size, bytes))
        return false;
    adler_.update(size, bytes);
    count_ += size;
    return true;
}

}  // namespace druvex
