// PayloadArchiveWriter: writes an installer archive (entries whose bytes come
// already coded, then the directory and the trailer) to an output stream. The
// engine uses it to copy entries of the running installer's archive into the
// copy of the installer it leaves in the target folder.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "payload/package_streams.h"
#include "payload/payload_entry.h"

namespace druvex {

class PayloadArchiveWriter {
public:
    // Entries go to `output`, whose first byte lies at `payloadBase` in its file.
    PayloadArchiveWriter(std::shared_ptr<PackageOutputStream> output, std::uint64_t payloadBase);
    ~PayloadArchiveWriter();
    PayloadArchiveWriter(const PayloadArchiveWriter&) = delete;
    PayloadArchiveWriter& operator=(const PayloadArchiveWriter&) = delete;

    // Copies the whole input as one entry's packed bytes. `error` is 0, or 101
    // when the input gave fewer bytes than its size or a write failed; a
    // failed entry is not recorded (its bytes stay in the file, unreferenced).
    bool addEntry(const SharedString& name, std::uint32_t method, PackageInputStream& input,
                  std::uint32_t unpackedSize, int& error);

    // One entry whose packed bytes `produce` writes, piece by piece, to the
    // stream it is given (an entry coded while it is written, never held
    // whole). `error` is 0, or 101 when `produce` gave false or a write
    // failed; a failed entry is not recorded.
    bool addEntryFrom(const SharedString& name, std::uint32_t method, std::uint32_t unpackedSize,
                      const std::function<bool(PackageOutputStream&)>& produce, int& error);

    // Writes the directory and the trailer and closes the output. `error` is
    // 0, or 101 when a write or the close failed, a name is longer than 65,535
    // units, or an earlier write failed (the offsets after a failed write
    // cannot be trusted, so no directory is written over them).
    bool finish(int& error);

    const std::vector<PayloadEntry>& entries() const { return entries_; }

private:
    void writeDirectory();
    void writeOrThrow(const std::uint8_t* bytes, std::size_t size);

    std::shared_ptr<PackageOutputStream> output_;
    std::unique_ptr<ChecksumOutputStream> checksum_;
    std::uint64_t payloadBase_;
    std::vector<PayloadEntry> entries_;
    bool writeFailed_ = false;
};

}  // namespace druvex
