// PayloadSink, the receiver of an archive entry's decoded bytes (the package
// unpacker, the engine's file writer, the backup restorer, byte vectors), and
// ByteVectorSink, which collects an entry in memory.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/input_limits.h"

namespace druvex {

class PayloadSink {
public:
    virtual ~PayloadSink();
    // The number of bytes that will follow, as two halves; both halves all
    // ones: unknown (an LZMA stream that ends with an end mark).
    virtual void begin(std::uint32_t sizeLow, std::uint32_t sizeHigh) = 0;
    // One piece of decoded data (possibly empty); false stops the extraction.
    virtual bool write(std::uint32_t size, const std::uint8_t* bytes) = 0;
    // Called once after the last piece: whether the sink got all it needs. An
    // extraction succeeds only when the sink agrees, so a stream that ends
    // early is a failure.
    virtual bool finish() = 0;
};

constexpr std::uint64_t kPayloadUnknownSize = ~std::uint64_t{0};

inline std::uint64_t joinPayloadSize(std::uint32_t low, std::uint32_t high)
{
    return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Collects an entry into a caller's vector, which `begin` empties. A piece is
// refused when it would take the bytes received past the bytes announced, and
// `finish` is true exactly when the two are equal, whatever room the vector
// had before. An unknown size lets the vector grow up to `limit`; an announced
// size above `limit` is refused outright.
class ByteVectorSink final : public PayloadSink {
public:
    explicit ByteVectorSink(std::vector<std::uint8_t>& bytes, std::uint64_t limit = kMaxInMemoryExtraction)
        : bytes_(bytes), limit_(limit)
    {
    }

    void begin(std::uint32_t sizeLow, std::uint32_t sizeHigh) override;
    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
    bool finish() override;

private:
    std::vector<std::uint8_t>& bytes_;
    std::uint64_t limit_;
    std::uint64_t announced_ = 0;
    bool unknownSize_ = false;
    bool refused_ = false;
};

}  // namespace druvex
