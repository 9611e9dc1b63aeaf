#include "host/pe_version.h"

#include <optional>
#include <string_view>

namespace druvex {

namespace {

constexpr std::uint16_t kDosMagic = 0x5A4D;          // "MZ"
constexpr std::uint32_t kPeSignature = 0x00004550;   // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint32_t kVersionResourceType = 16;   // RT_VERSION
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BDu;
constexpr std::uint64_t kSectionHeaderSize = 40;
constexpr std::uint64_t kFixedInfoOffset = 40;       // behind the header and "VS_VERSION_INFO", aligned
constexpr std::uint64_t kFixedInfoSize = 52;
constexpr std::u16string_view kVersionKey = u"VS_VERSION_INFO";

// Little-endian reads that refuse anything outside the image.
class ImageReader {
public:
    explicit ImageReader(std::span<const std::uint8_t> image) : image_(image) {}

    bool contains(std::uint64_t offset, std::uint64_t size) const
    {
        return offset <= image_.size() && size <= image_.size() - offset;
    }
    std::optional<std::uint16_t> u16(std::uint64_t offset) const
    {
        if (!contains(offset, 2))
            return std::nullopt;
        return static_cast<std::uint16_t>(image_[offset] | (image_[offset + 1] << 8));
    }
    std::optional<std::uint32_t> u32(std::uint64_t offset) const
    {
        if (!contains(offset, 4))
            return std::nullopt;
        return static_cast<std::uint32_t>(image_[offset]) | (static_cast<std::uint32_t>(image_[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(image_[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(image_[offset + 3]) << 24);
    }

private:
    std::span<const std::uint8_t> image_;
};

class PeImage {
public:
    explicit PeImage(std::span<const std::uint8_t> image) : reader_(image) {}

    // Walks the headers to the resource directory; false for anything that is
    // not a well-formed image with resources.
    bool load()
    {
        if (reader_.u16(0) != kDosMagic)
            return false;
        const std::optional<std::uint32_t> peOffset = reader_.u32(0x3C);
        if (!peOffset || reader_.u32(*peOffset) != kPeSignature)
            return false;
        const std::uint64_t coff = std::uint64_t{*peOffset} + 4;
        const std::optional<std::uint16_t> sectionCount = reader_.u16(coff + 2);
        const std::optional<std::uint16_t> optionalSize = reader_.u16(coff + 16);
        if (!sectionCount || !optionalSize)
            return false;
        const std::uint64_t optional = coff + 20;
        const std::optional<std::uint16_t> magic = reader_.u16(optional);
        std::uint64_t rvaCountOffset = 0;
        if (magic == kPe32Magic)
            rvaCountOffset = 92;
        else if (magic == kPe32PlusMagic)
            rvaCountOffset = 108;
        else
            return false;
        const std::optional<std::uint32_t> rvaCount = reader_.u32(optional + rvaCountOffset);
        const std::uint64_t directory = optional + rvaCountOffset + 4 + 8 * std::uint64_t{kResourceDirectoryIndex};
        if (!rvaCount || *rvaCount <= kResourceDirectoryIndex || directory + 8 > optional + *optionalSize)
            return false;
        const std::optional<std::uint32_t> resourceRva = reader_.u32(directory);
        if (!resourceRva || *resourceRva == 0)
            return false;
        resourceRva_ = *resourceRva;
        sectionTable_ = optional + *optionalSize;
        sectionCount_ = *sectionCount;
        return reader_.contains(sectionTable_, sectionCount_ * kSectionHeaderSize);
    }

    // The file offset of `size` bytes at `rva`, when one section's raw data holds them all.
    std::optional<std::uint64_t> offsetOf(std::uint64_t rva, std::uint64_t size) const
    {
        for (std::uint64_t i = 0; i < sectionCount_; ++i) {
            const std::uint64_t header = sectionTable_ + i * kSectionHeaderSize;
            const std::uint64_t virtualAddress = *reader_.u32(header + 12);
            const std::uint64_t rawSize = *reader_.u32(header + 16);
            const std::uint64_t rawOffset = *reader_.u32(header + 20);
            if (rva < virtualAddress || rva - virtualAddress > rawSize || size > rawSize - (rva - virtualAddress))
                continue;
            const std::uint64_t offset = rawOffset + (rva - virtualAddress);
            if (reader_.contains(offset, size))
                return offset;
        }
        return std::nullopt;
    }

    // One resource directory entry: the data field of the entry chosen by
    // `wantedId` (or the first entry when unset), read at a directory that
    // lies `directory` bytes into the resource tree.
    std::optional<std::uint32_t> directoryEntry(std::uint32_t directory, std::optional<std::uint32_t> wantedId) const
    {
        const std::optional<std::uint64_t> header = offsetOf(std::uint64_t{resourceRva_} + directory, 16);
        if (!header)
            return std::nullopt;
        const std::uint64_t count = std::uint64_t{*reader_.u16(*header + 12)} + *reader_.u16(*header + 14);
        // The entries follow their directory within one section; finding that
        // once keeps a hostile count from costing a section search per entry.
        const std::optional<std::uint64_t> table =
            offsetOf(std::uint64_t{resourceRva_} + directory, 16 + 8 * count);
        if (!table)
            return std::nullopt;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t entry = *table + 16 + 8 * i;
            if (!wantedId || *reader_.u32(entry) == *wantedId)
                return *reader_.u32(entry + 4);
        }
        return std::nullopt;
    }

    std::optional<std::uint64_t> versionBlock(std::uint32_t& blockSize) const
    {
        // Type, then the first name, then the first language.
        const std::optional<std::uint32_t> names = directoryEntry(0, kVersionResourceType);
        if (!names || !(*names & kSubdirectoryBit))
            return std::nullopt;
        const std::optional<std::uint32_t> languages = directoryEntry(*names & ~kSubdirectoryBit, std::nullopt);
        if (!languages || !(*languages & kSubdirectoryBit))
            return std::nullopt;
        const std::optional<std::uint32_t> data = directoryEntry(*languages & ~kSubdirectoryBit, std::nullopt);
        if (!data || (*data & kSubdirectoryBit))
            return std::nullopt;
        const std::optional<std::uint64_t> dataEntry = offsetOf(std::uint64_t{resourceRva_} + *data, 16);
        if (!dataEntry)
            return std::nullopt;
        const std::uint32_t blockRva = *reader_.u32(*dataEntry);
        blockSize = *reader_.u32(*dataEntry + 4);
        return offsetOf(blockRva, blockSize);
    }

    const ImageReader& reader() const { return reader_; }

private:
    ImageReader reader_;
    std::uint32_t resourceRva_ = 0;
    std::uint64_t sectionTable_ = 0;
    std::uint64_t sectionCount_ = 0;
};

bool hasVersionKey(const ImageReader& reader, std::uint64_t block)
{
    for (std::size_t i = 0; i <= kVersionKey.size(); ++i) {
        const char16_t expected = i < kVersionKey.size() ? kVersionKey[i] : u'\0';
        if (reader.u16(block + 6 + 2 * i) != expected)
            return false;
    }
    return true;
}

}  // namespace

bool readPeFixedVersion(std::span<const std::uint8_t> image, PeFixedVersion& version)
{
    PeImage pe(image);
    if (!pe.load())
        return false;
    std::uint32_t blockSize = 0;
    const std::optional<std::uint64_t> block = pe.versionBlock(blockSize);
    if (!block || blockSize < kFixedInfoOffset + kFixedInfoSize)
        return false;
    const ImageReader& reader = pe.reader();
    const std::uint16_t length = *reader.u16(*block);
    const std::uint16_t valueLength = *reader.u16(*block + 2);
    if (length < kFixedInfoOffset + kFixedInfoSize || length > blockSize || valueLength < kFixedInfoSize)
        return false;
    if (!hasVersionKey(reader, *block) || reader.u32(*block + kFixedInfoOffset) != kFixedInfoSignature)
        return false;
    version.fileVersionMS = *reader.u32(*block + kFixedInfoOffset + 8);
    version.fileVersionLS = *reader.u32(*block + kFixedInfoOffset + 12);
    version.productVersionMS = *reader.u32(*block + kFixedInfoOffset + 16);
    version.productVersionLS = *reader.u32(*block + kFixedInfoOffset + 20);
    return true;
}

}  // namespace druvex
