// SevenZipReader: opens a 7z backup archive that SevenZipWriter wrote, lists
// its entries and decodes them into a SevenZipSink through the host. It
// accepts only that one layout, checks every header against its CRC and the
// input limits before it allocates, and refuses entry names that would lead
// out of the folder they are extracted into.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "text/shared_string.h"
#include "hal/hal_file.h"
#include "payload/seven_zip_entry.h"

namespace druvex {

class HalAccess;

// What beginFile answers.
constexpr int kSevenZipReceive = 0;
constexpr int kSevenZipSkip = 1;
constexpr int kSevenZipStop = 2;

// Receives an extraction. Entries arrive in archive order: first a
// createFolder for every folder, then beginFile for every file, followed,
// when the sink receives it, by its data and endFile. An empty file is a
// beginFile of size 0 and, when received, its endFile.
class SevenZipSink {
public:
    virtual ~SevenZipSink();
    // kSevenZipReceive, kSevenZipSkip or kSevenZipStop (any other value stops too).
    virtual int beginFile(const SharedString& name, std::uint64_t size) = 0;
    // 0 to go on; anything else stops.
    virtual int write(const std::uint8_t* data, std::uint32_t count) = 0;
    // Every received file ends here, also when its data could not all be
    // decoded (then `crcMatched` is false), unless write stopped it. 0 to go
    // on; anything else stops. A file whose CRC did not match ends the
    // extraction after this call.
    virtual int endFile(const SevenZipReaderEntry& entry, bool crcMatched) = 0;
    virtual void createFolder(const SharedString& name, const SevenZipReaderEntry& entry);
    // Percent of the data decoded, whenever the whole value changes.
    virtual void progress(std::uint32_t percent);
};

class SevenZipReader {
public:
    SevenZipReader() = default;
    ~SevenZipReader();
    SevenZipReader(const SevenZipReader&) = delete;
    SevenZipReader& operator=(const SevenZipReader&) = delete;

    // Closes an archive still open, then opens `path` through `host` and
    // reads and checks its headers. False, and closed, for anything but an
    // archive of the writer's layout whose CRCs all match.
    bool open(const std::shared_ptr<HalAccess>& host, const SharedString& path);
    void close();
    bool isOpen() const { return file_.isOpen(); }

    // The entries in archive order.
    void listFiles(std::vector<std::shared_ptr<const SevenZipReaderEntry>>& list) const;

    // Decodes the packed stream into the sink. True when every entry was
    // delivered with a matching CRC and no sink operation stopped it; a CRC
    // that does not match, even of a skipped entry, ends it with false, since
    // nothing decoded after damage can be trusted.
    bool extract(SevenZipSink& sink);

    // The bytes of the first entry named exactly `name` (case counts); the
    // decoding stops right after it. True when that entry's CRC matched and
    // it is not empty. An entry larger than the in-memory limit is refused.
    bool extractTo(const SharedString& name, std::vector<std::uint8_t>& bytes);

    std::uint64_t packedSize() const { return packedSize_; }
    std::uint64_t unpackedSize() const { return unpackedSize_; }

private:
    [[nodiscard]] bool load();
    bool readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count);

    std::shared_ptr<HalAccess> host_;
    SharedString path_;
    HalFile file_;
    std::uint64_t fileSize_ = 0;
    std::array<std::uint8_t, 5> lzmaProperties_{};
    std::uint64_t packedSize_ = 0;
    std::uint64_t unpackedSize_ = 0;
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries_;
};

}  // namespace druvex
