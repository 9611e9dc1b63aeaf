#include "engine/file_sink.h"

#include "hal/hal_file.h"

namespace druvex {

void FileSink::begin(std::uint32_t sizeLow, std::uint32_t sizeHigh)
{
    announced_ = joinPayloadSize(sizeLow, sizeHigh);
    written_ = 0;
    failed_ = false;
}

bool FileSink::write(std::uint32_t size, const std::uint8_t* bytes)
{
    if (failed_)
        return false;
    if (size > 0 && file_.write(bytes, size) != static_cast<std::int64_t>(size)) {
        failed_ = true;
        return false;
    }
    written_ += size;
    return true;
}

bool FileSink::finish()
{
    return !failed_ && (announced_ == kPayloadUnknownSize || written_ == announced_);
}

}  // namespace druvex
