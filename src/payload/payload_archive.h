// PayloadArchive: the reader of the installer archive that carries the whole
// payload (installer data, feature packages, translations, themes), found in
// "setup.dqres" beside the program or at the end of the program file itself,
// before a code-signing certificate when there is one. It checks the
// directory's check word, keeps the directory in memory and decodes one entry
// at a time into a PayloadSink. Every file access goes through the HalAccess.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/platform_file.h"
#include "text/mutex.h"
#include "text/shared_string.h"
#include "payload/entry_decoder.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"

namespace druvex {

class HalAccess;

class PayloadArchive {
public:
    // A closed reader over `host`, which must outlive it.
    explicit PayloadArchive(HalAccess& host);
    ~PayloadArchive();
    PayloadArchive(const PayloadArchive&) = delete;
    PayloadArchive& operator=(const PayloadArchive&) = delete;

    // Opens the archive file and reads its directory. A reader that holds an
    // open file answers true at once and changes nothing. On failure `error`
    // gets 100 (cannot open), 201 (directory check word) or 202 (no trailer,
    // directory unreadable or larger than kMaxArchiveDirectorySize) and the
    // reader stays closed, without entries.
    bool open(const SharedString& path, int& error);
    // Opens "setup.dqres" in the program's folder, and when that fails for any
    // reason the program file itself. Each failed attempt writes its code, so
    // after a fallback that succeeds the first attempt's code is still there.
    bool openDefault(int& error);

    // The file the reader opened last (or tried to).
    const SharedString& filePath() const { return path_; }
    // Where the archive begins in its file, never beyond its directory: the
    // length of the program it is appended to, 0 for an archive file of its
    // own or when nothing is loaded.
    std::uint64_t payloadBase() const;

    std::uint32_t entryCount() const { return static_cast<std::uint32_t>(entries_.size()); }
    // The index of the first entry named exactly `name` (case counts); -1
    // when there is none or nothing is loaded.
    std::int32_t findEntry(const SharedString& name) const;
    // Throws std::out_of_range ("vector") for an index outside the directory.
    const PayloadEntry& entryAt(std::int32_t index) const;

    // Decodes the named entry into the sink by its method. False for an
    // unknown name, a failed decode or a sink that is not satisfied at the end.
    bool extract(const SharedString& name, PayloadSink& sink);
    // extract into `bytes` through a ByteVectorSink.
    bool extractTo(const SharedString& name, std::vector<std::uint8_t>& bytes);

    // For an LZMA-coded entry whose bytes lie within the archive: what opens
    // them on a handle of its own, so that another thread may decode the
    // entry while this reader serves others. Empty for any other entry (its
    // extraction then goes through extract). The reader must outlive it.
    EntryInputOpener lzmaEntryOpener(const SharedString& name);

    // Compares the Adler-32 of the entry's packed bytes with the directory's:
    // 200 for an unknown name, 201 when they differ or cannot be read whole.
    bool verifyEntry(const SharedString& name, int& error);

    // Hands the entry's packed bytes to the sink as they are stored, and
    // reports its unpacked size and method, for copying a coded entry without
    // decoding it. Bytes whose Adler-32 does not match the directory fail the
    // copy (before `finish`), so that a copy never passes damage on as sound.
    bool extractRaw(const SharedString& name, PayloadSink& sink, std::uint64_t& unpackedSize,
                    std::uint32_t& method);
    bool extractRawTo(const SharedString& name, std::vector<std::uint8_t>& bytes, std::uint64_t& unpackedSize,
                      std::uint32_t& method);

private:
    // 0, or the error code of a failed load.
    int load();
    void close();
    const PayloadEntry* find(const SharedString& name) const;
    // Where the entry's bytes begin in the file, when they lie between the
    // payload base and the directory.
    std::optional<std::uint64_t> entryPosition(const PayloadEntry& entry) const;
    // The same, seeking the reader's file there.
    bool seekToEntry(const PayloadEntry& entry);

    HalAccess& host_;
    SharedString path_;
    FileHandle handle_ = kInvalidFileHandle;
    std::uint8_t trailerBytes_[kPayloadTrailerSize] = {};
    PayloadTrailer trailer_;
    std::vector<PayloadEntry> entries_;
    // Each name's first entry: a lookup costs the same however many there are.
    std::unordered_map<std::u16string, std::int32_t> entryIndex_;
    bool loaded_ = false;
    // One file position serves every extraction: a seek and the reads after
    // it must not interleave with another thread's. No sink may call back
    // into the same reader.
    Mutex mutex_;
};

}  // namespace druvex
