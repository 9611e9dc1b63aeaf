// Read-only or writable memory-mapped files: how the ini reader, the
// translation table and the XML input see a whole file at once.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/platform_file.h"

namespace druvex {

class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Maps a device path. The file is opened for reading (and writing when
    // `writable`), others may only read it meanwhile; `create` makes a missing
    // file. A writable mapping first makes the file `size` bytes long when it
    // is shorter; a read-only one cannot reach past the end. Size 0 maps the
    // whole file, and an empty file cannot be mapped. Every failure closes
    // what was opened and returns false.
    bool open(std::u16string_view path, bool create, bool writable, std::uint64_t size = 0);
    // Unmaps the view, closes the file and resets every field.
    void close();

    bool isOpen() const noexcept { return open_; }
    // True when the file did not exist before open.
    bool created() const noexcept { return created_; }
    // The file's size after opening (all 64 bits).
    std::uint64_t fileSize() const noexcept { return fileSize_; }
    // The view and its length (the mapping's size).
    const std::uint8_t* data() const noexcept { return view_; }
    std::uint8_t* data() noexcept { return view_; }
    std::uint64_t viewSize() const noexcept { return viewSize_; }

private:
    FileHandle handle_ = kInvalidFileHandle;
    std::uint8_t* view_ = nullptr;
    std::uint64_t viewSize_ = 0;
    std::uint64_t fileSize_ = 0;
    bool open_ = false;
    bool created_ = false;
};

}  // namespace druvex
