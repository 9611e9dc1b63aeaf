// Files on raw handles: opening from a bit set of open flags with portable error
// codes, reading, writing, seeking, time stamps, and PlatformFile, the handle
// owner that the ini, XML and archive readers use. Paths are device paths
// (DeviceRoot). The device's share modes are kept within this process: a file
// held by one handle refuses another open that the two handles' access and
// deny bits forbid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace druvex {

// Our own handle numbers; -1 (all bits set) is the invalid handle.
using FileHandle = std::intptr_t;
constexpr FileHandle kInvalidFileHandle = -1;

// Open flags. Exactly one of the five dispositions must be given.
constexpr std::uint32_t kFileOpenExisting = 0x1;
constexpr std::uint32_t kFileCreateNew = 0x2;       // fails when the file exists
constexpr std::uint32_t kFileOpenAlways = 0x4;      // creates a missing file
constexpr std::uint32_t kFileCreateAlways = 0x8;    // truncates an existing file
constexpr std::uint32_t kFileTruncateExisting = 0x10;  // requires write access
constexpr std::uint32_t kFileRead = 0x20;
constexpr std::uint32_t kFileWrite = 0x40;
constexpr std::uint32_t kFileDenyWrite = 0x100;     // others may not write while this is open
constexpr std::uint32_t kFileDenyRead = 0x200;      // others may not read while this is open
constexpr std::uint32_t kFileOverlapped = 0x400;
constexpr std::uint32_t kFileTemporary = 0x800;
constexpr std::uint32_t kFileHidden = 0x1000;
constexpr std::uint32_t kFileDeleteOnClose = 0x2000;
constexpr std::uint32_t kFileWriteAttributes = 0x4000;
constexpr std::uint32_t kFileShareDelete = 0x8000;  // others may delete while this is open
constexpr std::uint32_t kFileBackupSemantics = 0x20000;  // needed to open a folder

// openFile's error codes.
constexpr int kOpenSuccess = 0;
constexpr int kOpenFailed = -1;
constexpr int kOpenSharingViolation = -2;
constexpr int kOpenFileExists = -3;
constexpr int kOpenFileNotFound = -4;
constexpr int kOpenAccessDenied = -5;

// What getFileInfo reports; times in seconds since 1970-01-01 UTC.
struct FileInfo {
    std::uint64_t size = 0;
    bool directory = false;
    bool reserved = false;  // always false
    std::uint32_t lastWriteTime = 0;
    std::uint32_t lastAccessTime = 0;
    std::uint32_t creationTime = 0;
};

// Opens a device path. `created` (optional) is true for open-always when the
// file did not exist, and for create-new and create-always whenever a handle
// was obtained. `error` (optional) receives one of the kOpen codes; the
// thread's last error holds the device error. No disposition gives the invalid
// handle at once; more than one is reported and the highest wins.
FileHandle openFile(std::u16string_view path, std::uint32_t flags, bool* created = nullptr, int* error = nullptr);

// Bytes read, 0 at the end of the file, -1 on any other failure.
std::int64_t readFile(FileHandle handle, void* buffer, std::size_t count);
// Bytes written (all of them), or -1.
std::int64_t writeFile(FileHandle handle, const void* data, std::size_t count);
// Moves the file pointer (origin 0 start, 1 current, 2 end) and returns the new
// position; -1 for an invalid handle and for a move that fails (the last error
// tells why), so that a failure never reads as position 0.
std::int64_t seekFile(FileHandle handle, std::int64_t offset, int origin);
bool flushFile(FileHandle handle);
bool closeHandle(FileHandle handle);
// Sets the last-access and last-write times (seconds since 1970); the creation
// time stays.
bool setFileTimes(FileHandle handle, std::uint32_t lastAccessTime, std::uint32_t lastWriteTime);
bool getFileInfo(FileHandle handle, FileInfo& info);
// The size of the first entry a find for `path` gives; -1 for an empty path or
// when nothing is found.
std::int64_t getFileSize(std::u16string_view path);

// One handle, invalid after construction and after close; closed by the
// destructor.
class PlatformFile {
public:
    PlatformFile() = default;
    ~PlatformFile() { close(); }
    PlatformFile(PlatformFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kInvalidFileHandle; }
    PlatformFile& operator=(PlatformFile&& other) noexcept;
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;

    // openFile, keeping the handle; true when it is valid.
    bool open(std::u16string_view path, std::uint32_t flags, bool* created = nullptr, int* error = nullptr);
    // Open existing, read access (flags 33).
    bool openForRead(std::u16string_view path);
    void close();

    // Like readFile; an invalid handle is reported, and a failure other than
    // the end of the file throws std::runtime_error "[<file>:<line>] Read: <error>".
    std::int64_t read(void* buffer, std::size_t count);

    bool isOpen() const noexcept { return handle_ != kInvalidFileHandle; }
    FileHandle handle() const noexcept { return handle_; }

private:
    FileHandle handle_ = kInvalidFileHandle;
};

}  // namespace druvex
