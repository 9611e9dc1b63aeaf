#include "payload/seven_zip_header.h"

#include <string>

#include "payload/seven_zip_number.h"

namespace druvex {
namespace {

constexpr std::uint8_t kSignature[6] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};
constexpr std::uint8_t kVersionMajor = 0;
constexpr std::uint8_t kVersionMinor = 4;

// Property ids of the 7z header.
constexpr std::uint8_t kEnd = 0x00;
constexpr std::uint8_t kHeader = 0x01;
constexpr std::uint8_t kMainStreamsInfo = 0x04;
constexpr std::uint8_t kFilesInfo = 0x05;
constexpr std::uint8_t kPackInfo = 0x06;
constexpr std::uint8_t kUnpackInfo = 0x07;
constexpr std::uint8_t kSubStreamsInfo = 0x08;
constexpr std::uint8_t kSize = 0x09;
constexpr std::uint8_t kCrc = 0x0A;
constexpr std::uint8_t kFolder = 0x0B;
constexpr std::uint8_t kCodersUnpackSize = 0x0C;
constexpr std::uint8_t kNumUnpackStream = 0x0D;
constexpr std::uint8_t kEmptyStream = 0x0E;
constexpr std::uint8_t kEmptyFile = 0x0F;
constexpr std::uint8_t kName = 0x11;
constexpr std::uint8_t kModificationTime = 0x14;
constexpr std::uint8_t kAttributes = 0x15;
constexpr std::uint8_t kEncodedHeader = 0x17;

// Coder flags: the low nibble is the id's length, 0x20 says properties follow.
constexpr std::uint8_t kLzmaCoderFlags = 0x23;
constexpr std::uint8_t kLzmaCoderId[3] = {0x03, 0x01, 0x01};
constexpr std::uint8_t kCopyCoderFlags = 0x21;
constexpr std::uint8_t kCopyCoderId = 0x00;

// Every entry costs at least this many header bytes (a name's terminating
// zero, its time and its attributes), which bounds a count read from the input.
constexpr std::size_t kMinimumBytesPerEntry = 2 + 8 + 4;

std::size_t bitVectorBytes(std::size_t bits)
{
    return (bits + 7) / 8;
}

void appendBitVector(std::vector<std::uint8_t>& out, const std::vector<bool>& bits)
{
    std::vector<std::uint8_t> bytes(bitVectorBytes(bits.size()), 0);
    for (std::size_t i = 0; i < bits.size(); ++i)
        if (bits[i])
            bytes[i / 8] |= static_cast<std::uint8_t>(0x80u >> (i % 8));
    appendSevenZipNumber(out, bytes.size());
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// Reads a bit vector of `count` bits whose byte count comes first.
bool readBitVector(SevenZipCursor& cursor, std::size_t count, std::vector<bool>& bits)
{
    if (!cursor.expectNumber(bitVectorBytes(count)))
        return false;
    const auto bytes = cursor.readBytes(bitVectorBytes(count));
    if (cursor.failed())
        return false;
    bits.assign(count, false);
    for (std::size_t i = 0; i < count; ++i)
        bits[i] = (bytes[i / 8] & (0x80u >> (i % 8))) != 0;
    return true;
}

// The "all defined" and "not external" bytes that open the time and
// attribute records, after a size of `itemBytes` per entry.
bool readDefinedRecordStart(SevenZipCursor& cursor, std::uint8_t id, std::size_t count, std::size_t itemBytes)
{
    return cursor.expectByte(id) && cursor.expectNumber(itemBytes * count + 2) && cursor.expectByte(1) &&
           cursor.expectByte(0);
}

bool readNames(SevenZipCursor& cursor, std::size_t count, std::vector<std::u16string>& names)
{
    if (!cursor.expectByte(kName))
        return false;
    const std::uint64_t size = cursor.readNumber();
    if (cursor.failed() || size == 0 || size > cursor.remaining() || (size - 1) % 2 != 0)
        return false;
    if (!cursor.expectByte(0))
        return false;
    const auto bytes = cursor.readBytes(size - 1);
    if (cursor.failed())
        return false;
    std::u16string name;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit != 0) {
            name.push_back(unit);
            continue;
        }
        if (names.size() == count)
            return false;
        names.push_back(std::move(name));
        name.clear();
    }
    return name.empty() && names.size() == count;
}

}  // namespace

std::array<std::uint8_t, kSevenZipStartHeaderSize> buildSevenZipStartHeader(const SevenZipStartHeader& header)
{
    std::array<std::uint8_t, kSevenZipStartHeaderSize> bytes{};
    std::copy(std::begin(kSignature), std::end(kSignature), bytes.begin());
    bytes[6] = kVersionMajor;
    bytes[7] = kVersionMinor;
    storeLittleEndian64(bytes.data() + 12, header.nextHeaderOffset);
    storeLittleEndian64(bytes.data() + 20, header.nextHeaderSize);
    storeLittleEndian32(bytes.data() + 28, header.nextHeaderCrc);
    storeLittleEndian32(bytes.data() + 8, sevenZipCrc(std::span(bytes).subspan(12)));
    return bytes;
}

bool parseSevenZipStartHeader(std::span<const std::uint8_t> bytes, SevenZipStartHeader& header)
{
    if (bytes.size() < kSevenZipStartHeaderSize)
        return false;
    if (!std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin()))
        return false;
    if (bytes[6] != kVersionMajor || bytes[7] != kVersionMinor)
        return false;
    if (loadLittleEndian32(bytes.data() + 8) != sevenZipCrc(bytes.subspan(12, 20)))
        return false;
    header.nextHeaderOffset = loadLittleEndian64(bytes.data() + 12);
    header.nextHeaderSize = loadLittleEndian64(bytes.data() + 20);
    header.nextHeaderCrc = loadLittleEndian32(bytes.data() + 28);
    return true;
}

std::vector<std::uint8_t> buildSevenZipEncodedHeader(const SevenZipEncodedHeader& header)
{
    std::vector<std::uint8_t> out{kEncodedHeader, kPackInfo};
    appendSevenZipNumber(out, header.headerPosition);
    out.insert(out.end(), {1, kSize});
    appendSevenZipNumber(out, header.headerSize);
    out.insert(out.end(), {kEnd, kUnpackInfo, kFolder, 1, 0, 1, kCopyCoderFlags, kCopyCoderId, 0, kCodersUnpackSize});
    appendSevenZipNumber(out, header.headerSize);
    out.insert(out.end(), {kCrc, 1});
    appendLittleEndian32(out, header.headerCrc);
    out.insert(out.end(), {kEnd, kEnd});
    return out;
}

bool parseSevenZipEncodedHeader(std::span<const std::uint8_t> bytes, SevenZipEncodedHeader& header)
{
    SevenZipCursor cursor(bytes);
    cursor.expectByte(kEncodedHeader);
    cursor.expectByte(kPackInfo);
    header.headerPosition = cursor.readNumber();
    cursor.expectNumber(1);
    cursor.expectByte(kSize);
    const std::uint64_t packedSize = cursor.readNumber();
    cursor.expectByte(kEnd);
    cursor.expectByte(kUnpackInfo);
    cursor.expectByte(kFolder);
    cursor.expectNumber(1);
    cursor.expectByte(0);
    cursor.expectNumber(1);
    cursor.expectByte(kCopyCoderFlags);
    cursor.expectByte(kCopyCoderId);
    cursor.readBytes(cursor.readNumber());
    cursor.expectByte(kCodersUnpackSize);
    header.headerSize = cursor.readNumber();
    cursor.expectByte(kCrc);
    cursor.expectByte(1);
    header.headerCrc = cursor.readUInt32();
    cursor.expectByte(kEnd);
    cursor.expectByte(kEnd);
    // A copy coder gives out what it takes in.
    return !cursor.failed() && cursor.atEnd() && packedSize == header.headerSize;
}

std::vector<std::uint8_t> buildSevenZipHeader(const SevenZipStreamInfo& stream,
                                              const std::vector<std::shared_ptr<SevenZipEntry>>& entries)
{
    std::vector<const SevenZipEntry*> withData;
    std::vector<bool> emptyStream;
    std::vector<bool> emptyFile;
    std::size_t nameUnits = 0;
    for (const auto& entry : entries) {
        nameUnits += static_cast<std::size_t>(entry->name.length());
        emptyStream.push_back(!entry->hasData());
        if (entry->hasData())
            withData.push_back(entry.get());
        else
            emptyFile.push_back(!entry->isDirectory);
    }

    std::vector<std::uint8_t> out{kHeader, kMainStreamsInfo, kPackInfo, 0, 1, kSize};
    appendSevenZipNumber(out, stream.packedSize);
    out.insert(out.end(), {kEnd, kUnpackInfo, kFolder, 1, 0, 1, kLzmaCoderFlags});
    out.insert(out.end(), std::begin(kLzmaCoderId), std::end(kLzmaCoderId));
    appendSevenZipNumber(out, kSevenZipLzmaPropertySize);
    out.insert(out.end(), stream.lzmaProperties.begin(), stream.lzmaProperties.end());
    out.push_back(kCodersUnpackSize);
    appendSevenZipNumber(out, stream.unpackedSize);
    out.insert(out.end(), {kEnd, kSubStreamsInfo, kNumUnpackStream});
    appendSevenZipNumber(out, withData.size());
    out.push_back(kSize);
    for (std::size_t i = 0; i + 1 < withData.size(); ++i)
        appendSevenZipNumber(out, withData[i]->size);
    out.insert(out.end(), {kCrc, 1});
    for (const SevenZipEntry* entry : withData)
        appendLittleEndian32(out, entry->crc);
    out.insert(out.end(), {kEnd, kEnd});

    out.push_back(kFilesInfo);
    appendSevenZipNumber(out, entries.size());
    out.push_back(kEmptyStream);
    appendBitVector(out, emptyStream);
    out.push_back(kEmptyFile);
    appendBitVector(out, emptyFile);

    out.push_back(kName);
    appendSevenZipNumber(out, 2 * (nameUnits + entries.size()) + 1);
    out.push_back(0);
    for (const auto& entry : entries) {
        for (const char16_t unit : entry->name.view()) {
            out.push_back(static_cast<std::uint8_t>(unit));
            out.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        out.insert(out.end(), {0, 0});
    }

    out.push_back(kModificationTime);
    appendSevenZipNumber(out, 8 * entries.size() + 2);
    out.insert(out.end(), {1, 0});
    for (const auto& entry : entries) {
        appendLittleEndian32(out, static_cast<std::uint32_t>(entry->modificationTime));
        appendLittleEndian32(out, static_cast<std::uint32_t>(entry->modificationTime >> 32));
    }

    out.push_back(kAttributes);
    appendSevenZipNumber(out, 4 * entries.size() + 2);
    out.insert(out.end(), {1, 0});
    for (const auto& entry : entries)
        appendLittleEndian32(out, entry->isDirectory ? kSevenZipDirectoryAttribute : kSevenZipFileAttribute);

    out.insert(out.end(), {kEnd, kEnd});
    return out;
}

bool parseSevenZipHeader(std::span<const std::uint8_t> bytes, SevenZipStreamInfo& stream,
                         std::vector<std::shared_ptr<const SevenZipReaderEntry>>& entries)
{
    entries.clear();
    SevenZipCursor cursor(bytes);
    cursor.expectByte(kHeader);
    cursor.expectByte(kMainStreamsInfo);

    cursor.expectByte(kPackInfo);
    cursor.expectNumber(0);
    cursor.expectNumber(1);
    cursor.expectByte(kSize);
    stream.packedSize = cursor.readNumber();
    cursor.expectByte(kEnd);

    cursor.expectByte(kUnpackInfo);
    cursor.expectByte(kFolder);
    cursor.expectNumber(1);
    cursor.expectByte(0);
    cursor.expectNumber(1);
    cursor.expectByte(kLzmaCoderFlags);
    for (const std::uint8_t idByte : kLzmaCoderId)
        cursor.expectByte(idByte);
    cursor.expectNumber(kSevenZipLzmaPropertySize);
    const auto properties = cursor.readBytes(kSevenZipLzmaPropertySize);
    cursor.expectByte(kCodersUnpackSize);
    stream.unpackedSize = cursor.readNumber();
    cursor.expectByte(kEnd);
    if (cursor.failed())
        return false;
    std::copy(properties.begin(), properties.end(), stream.lzmaProperties.begin());

    cursor.expectByte(kSubStreamsInfo);
    cursor.expectByte(kNumUnpackStream);
    const std::uint64_t dataCount = cursor.readNumber();
    // Each entry with data has a four-byte CRC below.
    if (cursor.failed() || dataCount > cursor.remaining() / 4)
        return false;
    std::vector<std::uint64_t> sizes;
    std::uint64_t sizeSum = 0;
    cursor.expectByte(kSize);
    for (std::uint64_t i = 0; i + 1 < dataCount && !cursor.failed(); ++i) {
        const std::uint64_t size = cursor.readNumber();
        if (size > stream.unpackedSize - sizeSum)
            return false;
        sizeSum += size;
        sizes.push_back(size);
    }
    if (dataCount == 0 && stream.unpackedSize != 0)
        return false;
    if (dataCount != 0)
        sizes.push_back(stream.unpackedSize - sizeSum);
    cursor.expectByte(kCrc);
    cursor.expectByte(1);
    std::vector<std::uint32_t> crcs;
    for (std::uint64_t i = 0; i < dataCount && !cursor.failed(); ++i)
        crcs.push_back(cursor.readUInt32());
    cursor.expectByte(kEnd);
    cursor.expectByte(kEnd);

    cursor.expectByte(kFilesInfo);
    const std::uint64_t count = cursor.readNumber();
    if (cursor.failed() || count > cursor.remaining() / kMinimumBytesPerEntry || count < dataCount)
        return false;
    const auto entryCount = static_cast<std::size_t>(count);
    std::vector<bool> emptyStream;
    std::vector<bool> emptyFile;
    if (!cursor.expectByte(kEmptyStream) || !readBitVector(cursor, entryCount, emptyStream))
        return false;
    std::size_t emptyCount = 0;
    for (const bool empty : emptyStream)
        emptyCount += empty ? 1 : 0;
    if (entryCount - emptyCount != dataCount)
        return false;
    if (!cursor.expectByte(kEmptyFile) || !readBitVector(cursor, emptyCount, emptyFile))
        return false;
    std::vector<std::u16string> names;
    if (!readNames(cursor, entryCount, names))
        return false;
    if (!readDefinedRecordStart(cursor, kModificationTime, entryCount, 8))
        return false;
    const auto times = cursor.readBytes(8 * count);
    if (!readDefinedRecordStart(cursor, kAttributes, entryCount, 4))
        return false;
    cursor.readBytes(4 * count);
    cursor.expectByte(kEnd);
    cursor.expectByte(kEnd);
    if (cursor.failed() || !cursor.atEnd())
        return false;

    std::size_t dataIndex = 0;
    std::size_t emptyIndex = 0;
    for (std::size_t i = 0; i < entryCount; ++i) {
        if (!isSafeArchiveName(names[i])) {
            entries.clear();
            return false;
        }
        auto entry = std::make_shared<SevenZipReaderEntry>();
        entry->name = SharedString(std::u16string_view(names[i]));
        entry->modificationTime = loadLittleEndian64(times.data() + 8 * i);
        if (emptyStream[i]) {
            entry->hasNoData = true;
            entry->isDirectory = !emptyFile[emptyIndex++];
        } else {
            entry->size = sizes[dataIndex];
            entry->crc = crcs[dataIndex];
            ++dataIndex;
        }
        entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace druvex
