// SevenZipWriter: builds a 7z backup archive from files on the device, read
// and written through the host. The data of every file goes into one LZMA
// stream (level 5, 2 MiB dictionary, one thread) right after the start header;
// a plain header and an encoded header that points to it follow.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "text/shared_string.h"
#include "hal/hal_file.h"
#include "payload/seven_zip_entry.h"

namespace druvex {

class HalAccess;

// Told how far the writer has read its sources while it compresses them.
class SevenZipProgressListener {
public:
    virtual ~SevenZipProgressListener() = default;
    // Percent of the source bytes read, each value once, rising. False stops
    // the writing: the archive is then deleted and close answers false.
    virtual bool onProgress(std::uint32_t percent) = 0;
};

class SevenZipWriter {
public:
    SevenZipWriter() = default;
    // An archive still open is abandoned and deleted: only close finishes one.
    ~SevenZipWriter();
    SevenZipWriter(const SevenZipWriter&) = delete;
    SevenZipWriter& operator=(const SevenZipWriter&) = delete;

    // Finishes an archive still open (as close without a listener), then
    // creates `path` through `host` for writing.
    bool open(const std::shared_ptr<HalAccess>& host, const SharedString& path);

    // Adds the file or folder `sourcePath` under `archiveName` ("/" between
    // folders), after a folder entry for every folder above that name that
    // is not in the archive yet. A folder becomes one entry without its
    // contents. False when no archive is open, the source does not exist, or
    // the name is not a safe archive name.
    bool addPath(const SharedString& sourcePath, const SharedString& archiveName);

    // Compresses the sources into the archive, writes its headers and closes
    // it; true at once when no archive is open. A source that cannot be
    // opened, read or closed, or whose size changed since it was added, is
    // logged and fails the archive, which is then deleted.
    bool close(SevenZipProgressListener* listener);

    const std::vector<std::shared_ptr<SevenZipEntry>>& entries() const { return entries_; }

private:
    bool writeArchive(SevenZipProgressListener* listener);
    bool writeAll(const void* data, std::size_t count);
    // Closes the file, deletes it and forgets the entries.
    void abandon();
    void reset();

    std::shared_ptr<HalAccess> host_;
    SharedString path_;
    std::vector<std::shared_ptr<SevenZipEntry>> entries_;
    std::set<SharedString> folders_;
    HalFile file_;
};

// The CRC-32 of the whole file read through `host`; false when it cannot be
// opened, read or closed (an empty file's CRC is 0, so 0 cannot mean failure).
bool computeFileCrc32(const std::shared_ptr<HalAccess>& host, const SharedString& path, std::uint32_t& crc);

}  // namespace druvex
