// The byte-stream interface that every XmlWriter writes to and some readers
// read raw bytes from, and MemoryStream, its implementation over a byte vector
// (documents are built in memory and then written to their file in one go).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace druvex {

class ByteStream {
public:
    // Copies up to `count` bytes into `buffer`; `total` (may be null) grows by
    // the number copied. False when nothing was copied.
    virtual bool read(void* buffer, std::size_t count, std::size_t* total = nullptr) = 0;
    // Writes `count` bytes; `written` (may be null) grows by the number
    // written, so a caller that wants the count of this call starts it at 0.
    virtual bool write(const void* data, std::size_t count, std::size_t* written = nullptr) = 0;
    virtual bool size(std::uint64_t& bytes) = 0;
    // Back to position 0.
    virtual void rewind() = 0;
    virtual ~ByteStream() = default;
};

// A stream over a caller-owned byte vector, which must outlive it. Writing
// overwrites from the position and appends what goes past the end.
class MemoryStream final : public ByteStream {
public:
    explicit MemoryStream(std::vector<std::uint8_t>& bytes, bool readOnly = false) noexcept
        : bytes_(&bytes), readOnly_(readOnly)
    {
    }

    bool read(void* buffer, std::size_t count, std::size_t* total = nullptr) override;
    // False, with nothing written, on a read-only stream.
    bool write(const void* data, std::size_t count, std::size_t* written = nullptr) override;
    bool size(std::uint64_t& bytes) override;
    void rewind() override { position_ = 0; }

private:
    std::vector<std::uint8_t>* bytes_;
    std::size_t position_ = 0;
    bool readOnly_;
};

}  // namespace druvex
