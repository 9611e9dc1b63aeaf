#include "controller/translation_map.h"

#include "core/byte_stream.h"
#include "payload/payload_entry.h"

namespace druvex {
namespace {

// The smallest record: its LCID and a name length of 0.
constexpr std::uint64_t kMinRecordBytes = 2 + 4;

}  // namespace

BoundedStreamReader::BoundedStreamReader(ByteStream& stream) : stream_(stream)
{
    if (!stream_.size(size_))
        size_ = 0;
}

bool BoundedStreamReader::readExact(void* buffer, std::size_t count)
{
    if (count == 0)
        return true;
    std::size_t got = 0;
    stream_.read(buffer, count, &got);
    position_ += got;
    return got == count;
}

bool readLengthPrefixedWString(BoundedStreamReader& reader, SharedString& text)
{
    std::uint8_t countBytes[4];
    if (!reader.readExact(countBytes, sizeof countBytes))
        return false;
    const std::uint32_t units = readLe32(countBytes);
    if (units == 0)
        return true;
    // The count comes from the file: never make room for more than is there.
    if (units > reader.remaining() / 2 || units > static_cast<std::uint32_t>(INT32_MAX))
        return false;
    char16_t* buffer = text.allocBeforeWrite(static_cast<int>(units));
    const bool read = reader.readExact(buffer, std::size_t{units} * 2);
    text.releaseBuffer(static_cast<int>(units));
    // A zero unit ends the name.
    const int zero = text.find(u'\0');
    if (zero >= 0)
        text = text.left(zero);
    return read;
}

bool isSafeLanguageName(std::u16string_view name)
{
    return name.find_first_of(u"/\\") == std::u16string_view::npos && name.find(u"..") == std::u16string_view::npos;
}

bool parseTranslationMap(const std::vector<std::uint8_t>& bytes, std::vector<TranslationMapRecord>& records)
{
    records.clear();
    std::vector<std::uint8_t> copy = bytes;
    MemoryStream stream(copy, true);
    BoundedStreamReader reader(stream);
    std::uint8_t countBytes[4];
    if (!reader.readExact(countBytes, sizeof countBytes))
        return false;
    const std::uint32_t count = readLe32(countBytes);
    if (count > reader.remaining() / kMinRecordBytes)
        return false;
    records.reserve(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        std::uint8_t lcidBytes[2];
        if (!reader.readExact(lcidBytes, sizeof lcidBytes))
            return false;
        TranslationMapRecord record;
        record.lcid = readLe16(lcidBytes);
        // A fresh name per record: a length of 0 leaves the text as it was.
        if (!readLengthPrefixedWString(reader, record.name) || !isSafeLanguageName(record.name.view()))
            return false;
        records.push_back(std::move(record));
    }
    return true;
}

}  // namespace druvex
