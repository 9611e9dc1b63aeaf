#include "payload/payload_archive.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "core/app_paths.h"
#include "core/split_path.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "payload/entry_decoder.h"
#include "payload/trailer_locator.h"
#include "platform/input_limits.h"
#include "text/mutex.h"

namespace druvex {
namespace {

constexpr std::uint64_t kMaxFileOffset = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

// The directory, read in pieces from the handle and never beyond its size.
class DirectoryReader {
public:
    DirectoryReader(HalAccess& host, FileHandle handle, std::uint64_t size)
        : input_(host, handle, size), left_(size)
    {
    }

    // `count` bytes of the directory; false when fewer are left or the read fails.
    bool take(void* out, std::size_t count)
    {
        if (count > left_)
            return false;
        auto* target = static_cast<std::uint8_t*>(out);
        while (count > 0) {
            if (position_ == length_ && !refill())
                return false;
            const std::size_t n = std::min(count, length_ - position_);
            std::memcpy(target, buffer_ + position_, n);
            position_ += n;
            target += n;
            count -= n;
            left_ -= n;
        }
        return true;
    }

    std::uint64_t left() const { return left_; }

private:
    bool refill()
    {
        const std::int64_t got = input_.read(buffer_, sizeof buffer_);
        if (got <= 0)
            return false;
        position_ = 0;
        length_ = static_cast<std::size_t>(got);
        return true;
    }

    HostFileInput input_;
    std::uint64_t left_;
    std::uint8_t buffer_[65536];
    std::size_t position_ = 0;
    std::size_t length_ = 0;
};

bool readRecord(DirectoryReader& reader, PayloadEntry& entry)
{
    std::uint8_t lengthBytes[2];
    if (!reader.take(lengthBytes, sizeof lengthBytes))
        return false;
    const std::uint16_t nameLength = readLe16(lengthBytes);
    // A record must fit in what is left of the directory before its name is read.
    if (reader.left() < 2ull * nameLength + (kPayloadRecordFixedSize - 2))
        return false;
    std::u16string name(nameLength, u'\0');
    if (!reader.take(name.data(), 2ull * nameLength))
        return false;
    // Little-endian UTF-16 read in place (SharedString asserts the byte order).
    name.resize(std::min(name.size(), name.find(u'\0')));
    std::uint8_t fields[kPayloadRecordFixedSize - 2];
    if (!reader.take(fields, sizeof fields))
        return false;
    entry.name = SharedString(std::u16string_view(name));
    entry.method = readLe32(fields);
    entry.offset = readLe64(fields + 4);
    entry.packedSize = readLe64(fields + 12);
    entry.unpackedSize = readLe64(fields + 20);
    entry.checksum = readLe32(fields + 28);
    return true;
}

}  // namespace

PayloadArchive::PayloadArchive(HalAccess& host) : host_(host) {}

PayloadArchive::~PayloadArchive()
{
    close();
}

bool PayloadArchive::open(const SharedString& path, int& error)
{
    MutexLock lock(mutex_);
    if (handle_ != kInvalidFileHandle)
        return true;
    path_ = path;
    handle_ = host_.openFileForRead(path);
    if (handle_ == kInvalidFileHandle) {
        error = kPayloadErrorOpen;
        return false;
    }
    const int code = load();
    if (code != kPayloadErrorNone) {
        error = code;
        close();
        return false;
    }
    loaded_ = true;
    return true;
}

bool PayloadArchive::openDefault(int& error)
{
    const SharedString& programFile = AppPaths::instance().getModulePath();
    if (open(replaceFileName(programFile, SharedString(u"setup.dqres")), error))
        return true;
    return open(programFile, error);
}

int PayloadArchive::load()
{
    std::uint64_t trailerPosition = 0;
    if (!locatePayloadTrailer(host_, handle_, trailerBytes_, trailerPosition))
        return kPayloadErrorFormat;
    trailer_ = parsePayloadTrailer(trailerBytes_);

    // The check word first: whatever else is wrong with a damaged directory or
    // trailer, it reports as a check word mismatch. A range that cannot be read
    // whole is a mismatch too.
    const std::uint64_t start = trailer_.directoryOffset;
    const std::uint64_t size = trailer_.directorySize;
    if (start > kMaxFileOffset - kPayloadTrailerCheckedSize ||
        size > kMaxFileOffset - kPayloadTrailerCheckedSize - start)
        return kPayloadErrorChecksum;
    const std::optional<std::uint32_t> checksum =
        computeFileRangeAdler32(host_, handle_, start, size + kPayloadTrailerCheckedSize);
    if (!checksum || *checksum != trailer_.checksum)
        return kPayloadErrorChecksum;

    // Then the shape, before anything is allocated by it: the trailer follows
    // the directory, and every record takes at least its fixed part.
    if (start + size != trailerPosition || trailer_.recordCount > size / kPayloadRecordFixedSize ||
        size > kMaxArchiveDirectorySize)
        return kPayloadErrorFormat;
    if (!host_.seekFile(handle_, 0, static_cast<std::int64_t>(start), nullptr))
        return kPayloadErrorFormat;
    entries_.clear();
    entryIndex_.clear();
    try {
        DirectoryReader reader(host_, handle_, size);
        entries_.reserve(trailer_.recordCount);
        for (std::uint32_t i = 0; i < trailer_.recordCount; ++i) {
            PayloadEntry entry;
            if (!readRecord(reader, entry)) {
                entries_.clear();
                entryIndex_.clear();
                return kPayloadErrorFormat;
            }
            // The first entry of a name is the one found.
            entryIndex_.try_emplace(std::u16string(entry.name.view()), static_cast<std::int32_t>(i));
            entries_.push_back(std::move(entry));
        }
        if (reader.left() != 0) {
            entries_.clear();
            return kPayloadErrorFormat;
        }
    } catch (const std::bad_alloc&) {
        entries_.clear();
        return kPayloadErrorFormat;
    }
    return kPayloadErrorNone;
}

void PayloadArchive::close()
{
    if (handle_ != kInvalidFileHandle)
        host_.closeFileAfterReading(handle_);
    handle_ = kInvalidFileHandle;
    entries_.clear();
    entryIndex_.clear();
    loaded_ = false;
}

std::uint64_t PayloadArchive::payloadBase() const
{
    return loaded_ ? std::min(trailer_.payloadBase, trailer_.directoryOffset) : 0;
}

std::int32_t PayloadArchive::findEntry(const SharedString& name) const
{
    if (!loaded_)
        return -1;
    const auto found = entryIndex_.find(std::u16string(name.view()));
    return found == entryIndex_.end() ? -1 : found->second;
}

const PayloadEntry& PayloadArchive::entryAt(std::int32_t index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size())
        throw std::out_of_range("vector");
    return entries_[static_cast<std::size_t>(index)];
}

const PayloadEntry* PayloadArchive::find(const SharedString& name) const
{
    const std::int32_t index = findEntry(name);
    return index < 0 ? nullptr : &entries_[static_cast<std::size_t>(index)];
}

std::optional<std::uint64_t> PayloadArchive::entryPosition(const PayloadEntry& entry) const
{
    const std::uint64_t base = trailer_.payloadBase;
    const std::uint64_t end = trailer_.directoryOffset;
    if (base > end || entry.offset > end - base || entry.packedSize > end - base - entry.offset)
        return std::nullopt;
    return base + entry.offset;
}

bool PayloadArchive::seekToEntry(const PayloadEntry& entry)
{
    const std::optional<std::uint64_t> position = entryPosition(entry);
    return position && host_.seekFile(handle_, 0, static_cast<std::int64_t>(*position), nullptr);
}

EntryInputOpener PayloadArchive::lzmaEntryOpener(const SharedString& name)
{
    MutexLock lock(mutex_);
    const PayloadEntry* entry = find(name);
    if (!entry || entry->method != kPayloadMethodLzma)
        return {};
    const std::optional<std::uint64_t> position = entryPosition(*entry);
    if (!position)
        return {};
    return [&host = host_, path = path_, position = *position, size = entry->packedSize]() -> std::unique_ptr<EntryInput> {
        const FileHandle handle = host.openFileForRead(path);
        if (handle == kInvalidFileHandle)
            return nullptr;
        auto input = std::make_unique<OwnedHostFileInput>(host, handle, size);
        if (!host.seekFile(handle, 0, static_cast<std::int64_t>(position), nullptr))
            return nullptr;
        return input;
    };
}

bool PayloadArchive::extract(const SharedString& name, PayloadSink& sink)
{
    MutexLock lock(mutex_);
    const PayloadEntry* entry = find(name);
    if (!entry || !seekToEntry(*entry))
        return false;
    HostFileInput input(host_, handle_, entry->packedSize);
    switch (entry->method) {
    case kPayloadMethodLzma:
        return decodeLzmaEntry(input, sink);
    case kPayloadMethodZlib:
        return decodeZlibEntry(input, entry->unpackedSize, sink);
    default:
        return decodeStoredEntry(input, entry->packedSize, sink);
    }
}

bool PayloadArchive::extractTo(const SharedString& name, std::vector<std::uint8_t>& bytes)
{
    ByteVectorSink sink(bytes);
    return extract(name, sink);
}

bool PayloadArchive::verifyEntry(const SharedString& name, int& error)
{
    MutexLock lock(mutex_);
    const PayloadEntry* entry = find(name);
    if (!entry) {
        error = kPayloadErrorNoEntry;
        return false;
    }
    std::optional<std::uint32_t> checksum;
    if (seekToEntry(*entry))
        checksum = computeFileRangeAdler32(host_, handle_, trailer_.payloadBase + entry->offset, entry->packedSize);
    if (!checksum || *checksum != entry->checksum) {
        error = kPayloadErrorChecksum;
        return false;
    }
    return true;
}

bool PayloadArchive::extractRaw(const SharedString& name, PayloadSink& sink, std::uint64_t& unpackedSize,
                                std::uint32_t& method)
{
    MutexLock lock(mutex_);
    const PayloadEntry* entry = find(name);
    if (!entry)
        return false;
    unpackedSize = entry->unpackedSize;
    method = entry->method;
    if (!seekToEntry(*entry))
        return false;
    HostFileInput input(host_, handle_, entry->packedSize);
    return decodeStoredEntry(input, entry->packedSize, sink, entry->checksum);
}

bool PayloadArchive::extractRawTo(const SharedString& name, std::vector<std::uint8_t>& bytes,
                                  std::uint64_t& unpackedSize, std::uint32_t& method)
{
    ByteVectorSink sink(bytes);
    return extractRaw(name, sink, unpackedSize, method);
}

}  // namespace druvex
