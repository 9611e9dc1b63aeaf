#include "payload/payload_sink.h"

#include <new>

namespace druvex {

PayloadSink::~PayloadSink() = default;

void ByteVectorSink::begin(std::uint32_t sizeLow, std::uint32_t sizeHigh)
{
    bytes_.clear();
    announced_ = joinPayloadSize(sizeLow, sizeHigh);
    unknownSize_ = announced_ == kPayloadUnknownSize;
    refused_ = false;
    if (unknownSize_)
        return;
    if (announced_ > limit_) {
        refused_ = true;
        return;
    }
    try {
        bytes_.reserve(static_cast<std::size_t>(announced_));
    } catch (const std::bad_alloc&) {
        refused_ = true;
    }
}

bool ByteVectorSink::write(std::uint32_t size, const std::uint8_t* bytes)
{
    if (refused_)
        return false;
    const std::uint64_t room = unknownSize_ ? limit_ : announced_;
    if (bytes_.size() > room || size > room - bytes_.size())
        return false;
    if (size == 0)
        return true;
    try {
        bytes_.insert(bytes_.end(), bytes, bytes + size);
    } catch (const std::bad_alloc&) {
        refused_ = true;
        return false;
    }
    return true;
}

bool ByteVectorSink::finish()
{
    if (refused_)
        return false;
    return unknownSize_ || bytes_.size() == announced_;
}

}  // namespace druvex
