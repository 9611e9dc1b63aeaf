// FileSink: the engine's PayloadSink that writes an archive entry's decoded
// bytes into a file the caller holds open through a HalFile.
#pragma once

#include <cstdint>

#include "payload/payload_sink.h"

namespace druvex {

class HalFile;

class FileSink final : public PayloadSink {
public:
    // `file` must be open for writing and outlive the sink; the caller closes it.
    explicit FileSink(HalFile& file) : file_(file) {}

    void begin(std::uint32_t sizeLow, std::uint32_t sizeHigh) override;
    // False when the host did not take every byte; the extraction stops.
    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
    // True when every piece was written whole and, when the size was
    // announced, exactly that many bytes arrived.
    bool finish() override;

    std::uint64_t bytesWritten() const { return written_; }

private:
    HalFile& file_;
    std::uint64_t announced_ = kPayloadUnknownSize;
    std::uint64_t written_ = 0;
    bool failed_ = false;
};

}  // namespace druvex
