#include "payload/package_header.h"

#include "platform/input_limits.h"
#include "payload/payload_entry.h"

namespace druvex {

namespace {

// Reads little-endian fields from the header, never past its end; the first
// read that would leave it fails and every later one fails too.
class HeaderReader {
public:
    explicit HeaderReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool ok() const { return ok_; }

    bool take(std::size_t count, const std::uint8_t*& at)
    {
        if (!ok_ || bytes_.size() - position_ < count) {
            ok_ = false;
            return false;
        }
        at = bytes_.data() + position_;
        position_ += count;
        return true;
    }
    std::uint32_t u32()
    {
        const std::uint8_t* at = nullptr;
        return take(4, at) ? readLe32(at) : 0;
    }
    std::uint64_t u64()
    {
        const std::uint8_t* at = nullptr;
        return take(8, at) ? readLe64(at) : 0;
    }
    // Into `value`, whose room is kept from one text to the next.
    void text(std::u16string& value)
    {
        value.clear();
        const std::uint8_t* at = nullptr;
        if (!take(2, at))
            return;
        const std::size_t units = readLe16(at);
        if (!take(units * 2, at))
            return;
        value.resize(units);
        for (std::size_t i = 0; i < units; ++i)
            value[i] = static_cast<char16_t>(readLe16(at + 2 * i));
    }
    // Extension fields: {u32 tag, u32 length, bytes} until a tag of 0, which
    // has no length. No tag means anything here.
    void skipExtensions()
    {
        while (ok_) {
            if (u32() == 0)
                return;
            const std::uint32_t length = u32();
            const std::uint8_t* at = nullptr;
            take(length, at);
        }
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool ok_ = true;
};

bool isControl(char16_t unit)
{
    return unit < 0x20 || unit == 0x7F;
}

bool isDotName(std::u16string_view name)
{
    return name == u"." || name == u"..";
}

bool addChecked(std::uint64_t& total, std::uint64_t value)
{
    if (total + value < total)
        return false;
    total += value;
    return true;
}

// A folder whose child list is still being read.
struct OpenFolder {
    std::int32_t record;
    std::uint32_t remaining;
};

}  // namespace

std::uint64_t readPackageHeaderSize(const std::uint8_t* first8)
{
    return readLe64(first8);
}

bool isSafePackageName(std::u16string_view name, bool topLevel)
{
    if (name.empty())
        return false;
    for (const char16_t unit : name)
        if (isControl(unit))
            return false;
    if (topLevel) {
        std::size_t start = 0;
        while (start <= name.size()) {
            std::size_t end = name.find_first_of(u"/\\", start);
            if (end == std::u16string_view::npos)
                end = name.size();
            if (isDotName(name.substr(start, end - start)))
                return false;
            start = end + 1;
        }
        return true;
    }
    if (isDotName(name))
        return false;
    return name.find_first_of(u"/\\:*?\"<>|") == std::u16string_view::npos;
}

bool parsePackageHeader(std::span<const std::uint8_t> header, PackageHeader& parsed, std::string& reason,
                        std::int64_t* refusedRecord)
{
    // Counted first, then kept in a list of exactly that size: a record of
    // twelve bytes becomes a PackageRecord four times as large, and a list
    // grown as it goes would hold up to three times that while it moves.
    std::size_t count = 0;
    const auto counting = [&count](PackageRecord&&) {
        ++count;
        return true;
    };
    if (!forEachPackageRecord(header, parsed, reason, counting, refusedRecord, PackageRecordNames::kSkipped))
        return false;
    std::vector<PackageRecord> records;
    records.reserve(count);
    forEachPackageRecord(header, parsed, reason, [&records](PackageRecord&& record) {
        records.push_back(std::move(record));
        return true;
    });
    parsed.records = std::move(records);
    return true;
}

bool forEachPackageRecord(std::span<const std::uint8_t> header, PackageHeader& parsed, std::string& reason,
                          const std::function<bool(PackageRecord&&)>& take, std::int64_t* refusedRecord,
                          PackageRecordNames names)
{
    parsed = PackageHeader{};
    // Until the fixed words are read no record is at fault; after that, the
    // one being read is.
    std::int64_t ignored = -1;
    std::int64_t& refused = refusedRecord ? *refusedRecord : ignored;
    refused = -1;
    HeaderReader reader(header);
    parsed.headerSize = reader.u64();
    parsed.version = reader.u32();
    if (!reader.ok()) {
        reason = "the header is shorter than its size and version words";
        return false;
    }
    if (parsed.headerSize != header.size()) {
        reason = "the header's size word changed";
        return false;
    }
    if (parsed.version > kPackageMaxVersion) {
        reason = "package version " + std::to_string(parsed.version) + " is not supported";
        return false;
    }

    std::vector<OpenFolder> open;
    std::u16string name;
    std::int32_t records = 0;
    while (true) {
        refused = records;
        while (!open.empty() && open.back().remaining == 0)
            open.pop_back();
        const std::uint32_t type = reader.u32();
        if (!reader.ok())
            break;
        if (type == kPackageRecordEnd || type == kPackageRecordEndOfTree) {
            refused = -1;
            return true;
        }
        if (static_cast<std::uint64_t>(records) >= kMaxPackageRecords) {
            reason = "the package holds more than " + std::to_string(kMaxPackageRecords) + " records";
            return false;
        }
        if (!open.empty())
            --open.back().remaining;

        PackageRecord record;
        record.type = type;
        record.parent = open.empty() ? -1 : open.back().record;
        if (type == kPackageRecordFolder || type == kPackageRecordFile) {
            reader.text(name);
            record.flags = reader.u32();
            std::uint32_t children = 0;
            if (type == kPackageRecordFolder) {
                children = reader.u32();
            } else {
                record.dataSize = reader.u64();
                record.timeStamp = reader.u64();
                record.version = reader.u64();
            }
            reader.skipExtensions();
            if (!reader.ok())
                break;
            if (!isSafePackageName(name, open.empty())) {
                reason = "the name \"" + std::string(toUtf8(SharedString(std::u16string_view(name))).c_str()) +
                         "\" may not stand in a package";
                return false;
            }
            if (names == PackageRecordNames::kKept)
                record.name = SharedString(std::u16string_view(name));
            if (type == kPackageRecordFolder && children > 0) {
                if (open.size() >= kMaxFolderNesting) {
                    reason = "folders are nested deeper than " + std::to_string(kMaxFolderNesting);
                    return false;
                }
                open.push_back({records, children});
            }
        } else {
            record.dataSize = reader.u64();
            if (!reader.ok())
                break;
        }
        if (!addChecked(parsed.dataBytes, record.dataSize) ||
            (type == kPackageRecordFile && !addChecked(parsed.fileBytes, record.dataSize))) {
            reason = "the data sizes add up past 2^64";
            return false;
        }
        if (!take(std::move(record))) {
            reason = "the reader refused record " + std::to_string(records);
            return false;
        }
        ++records;
    }
    reason = "a record runs past the end of the header";
    return false;
}

}  // namespace druvex
