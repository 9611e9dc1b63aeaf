// HalFile: one open file of a host, closed when the object goes. It keeps the
// host alive while the handle is open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "hal/hal_access.h"

namespace druvex {

class HalFile {
public:
    HalFile() = default;
    ~HalFile();
    HalFile(HalFile&& other) noexcept;
    HalFile& operator=(HalFile&& other) noexcept;
    HalFile(const HalFile&) = delete;
    HalFile& operator=(const HalFile&) = delete;

    // Each closes an open handle first, then opens through `host` (openFile
    // with the flags, openFileForRead, createFileForWrite); true when the
    // handle is valid.
    bool open(const std::shared_ptr<HalAccess>& host, const SharedString& path, std::uint32_t flags);
    bool openForRead(const std::shared_ptr<HalAccess>& host, const SharedString& path);
    bool openForWrite(const std::shared_ptr<HalAccess>& host, const SharedString& path);

    // The host's answers; 0 when closed.
    std::int64_t read(void* buffer, std::size_t count);
    // HalAccess::readFully on this file; 0 when closed.
    std::int64_t readFully(void* buffer, std::size_t count);
    [[nodiscard]] std::int64_t write(const void* data, std::size_t count);
    // Origin 0 begin, 1 current, 2 end; `position` may be null. False when closed.
    bool seek(int origin, std::int64_t offset, std::uint64_t* position = nullptr);
    bool seekToBegin() { return seek(0, 0); }
    // Gives the size as the position.
    bool seekToEnd(std::uint64_t* size = nullptr) { return seek(2, 0, size); }
    // The low 32 bits of the open file's size; 0 when closed or unknown.
    std::uint32_t size();
    // Closes the handle and lets go of the host; a closed file answers true
    // without asking the host.
    [[nodiscard]] bool close();
    // Closes a file whose content its owner no longer relies on: one that was
    // only read, or one given up after a failure (and the object going, or
    // taking another file). Whoever needs to know that what it wrote reached
    // the file calls close() and hears the answer.
    void letGo();

    bool isOpen() const noexcept { return handle_ != kInvalidFileHandle; }
    FileHandle handle() const noexcept { return handle_; }

private:
    bool adopt(const std::shared_ptr<HalAccess>& host, FileHandle handle);

    FileHandle handle_ = kInvalidFileHandle;
    std::shared_ptr<HalAccess> host_;
};

}  // namespace druvex
