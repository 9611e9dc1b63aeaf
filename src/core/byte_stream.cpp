#include "core/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace druvex {

bool MemoryStream::read(void* buffer, std::size_t count, std::size_t* total)
{
    const std::size_t available = bytes_->size() > position_ ? bytes_->size() - position_ : 0;
    count = std::min(count, available);
    if (total)
        *total += count;
    if (count == 0)
        return false;
    std::memcpy(buffer, bytes_->data() + position_, count);
    position_ += count;
    return true;
}

bool MemoryStream::write(const void* data, std::size_t count, std::size_t* written)
{
    if (readOnly_)
        return false;
    // A position beyond the end (the vector shrank behind the stream's back)
    // writes at the end rather than leaving a hole of undefined bytes.
    position_ = std::min(position_, bytes_->size());
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t overwritten = std::min(count, bytes_->size() - position_);
    std::copy_n(bytes, overwritten, bytes_->begin() + static_cast<std::ptrdiff_t>(position_));
    bytes_->insert(bytes_->end(), bytes + overwritten, bytes + count);
    position_ += count;
    if (written)
        *written += count;
    return true;
}

bool MemoryStream::size(std::uint64_t& bytes)
{
    bytes = bytes_->size();
    return true;
}

}  // namespace druvex
