// The archive writer's byte streams: an input over a byte vector, an output
// that appends to a file through a host, and an output that counts and
// check-sums what passes through it on its way to another.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/adler32.h"
#include "text/shared_string.h"
#include "hal/hal_file.h"

namespace druvex {

class HalAccess;

class PackageStream {
public:
    virtual ~PackageStream();
};

class PackageOutputStream : public PackageStream {
public:
    // True when every byte was taken.
    virtual bool write(std::uint32_t size, const std::uint8_t* bytes) = 0;
    virtual bool close() = 0;
};

class PackageInputStream : public PackageStream {
public:
    virtual std::uint32_t size() = 0;
    // Up to `size` bytes into `buffer`; `count` tells how many came.
    virtual bool read(std::uint32_t size, std::uint8_t* buffer, std::uint32_t& count) = 0;
};

// Reads a caller's vector (not owned) from its start.
class MemoryInputStream final : public PackageInputStream {
public:
    explicit MemoryInputStream(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

    std::uint32_t size() override { return static_cast<std::uint32_t>(bytes_.size()); }
    // Copies what remains up to `size`; always true.
    bool read(std::uint32_t size, std::uint8_t* buffer, std::uint32_t& count) override;

private:
    const std::vector<std::uint8_t>& bytes_;
    std::size_t position_ = 0;
};

// Appends to an existing file through a host; the file's old end is the
// payload base of the archive written after it.
class HalFileOutputStream final : public PackageOutputStream {
public:
    // Opens the existing file for writing and moves to its end.
    bool openForAppend(const std::shared_ptr<HalAccess>& host, const SharedString& path);
    std::uint64_t payloadBase() const { return payloadBase_; }

    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
    // False when the host reports the close failed.
    bool close() override;
    // The host's error of the last write that did not take all its bytes (a
    // full store); 0 while every write did.
    std::uint32_t writeError() const { return writeError_; }

private:
    HalFile file_;
    std::shared_ptr<HalAccess> host_;
    std::uint64_t payloadBase_ = 0;
    std::uint32_t writeError_ = 0;
};

// Forwards to another output (not owned), counting the bytes that passed and
// summing them with Adler-32.
class ChecksumOutputStream final : public PackageOutputStream {
public:
    explicit ChecksumOutputStream(PackageOutputStream& target) : target_(target) {}

    // A failed forward counts nothing.
    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
    bool close() override { return target_.close(); }

    void resetChecksum() { adler_.init(); }
    // The check word of the bytes since the last reset; starts a new sum.
    std::uint32_t finalChecksum() { return adler_.final(); }
    std::uint64_t count() const { return count_; }

private:
    PackageOutputStream& target_;
    Adler32 adler_;
    std::uint64_t count_ = 0;
};

}  // namespace druvex
