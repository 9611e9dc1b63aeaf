#include "payload/trailer_locator.h"

#include <cstring>

#include "hal/hal_access.h"

namespace druvex {
namespace {

constexpr std::size_t kDosHeaderBytes = 64;
constexpr std::size_t kPeOffsetField = 60;
constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::size_t kFileHeaderBytes = 20;
constexpr std::size_t kOptionalHeaderSizeField = 16;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kCertificateDirectory = 4;
// The trailer is looked for in this many bytes before the certificate table.
constexpr std::size_t kScanBytes = 1024;

bool readAll(HalAccess& host, FileHandle handle, std::uint8_t* buffer, std::size_t count)
{
    return host.readFully(handle, buffer, count) == static_cast<std::int64_t>(count);
}

bool seekTo(HalAccess& host, FileHandle handle, std::int64_t offset)
{
    return offset >= 0 && host.seekFile(handle, 0, offset, nullptr);
}

bool isTrailerAt(const std::uint8_t* window)
{
    return readLe32(window) == kPayloadMagic && readLe32(window + kPayloadTrailerSize - 4) == kPayloadMagic;
}

// The certificate table's file offset and size from the PE headers.
bool findCertificateTable(HalAccess& host, FileHandle handle, std::uint32_t& offset)
{
    std::uint8_t dos[kDosHeaderBytes];
    if (!seekTo(host, handle, 0) || !readAll(host, handle, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
        return false;
    const auto peOffset = static_cast<std::int32_t>(readLe32(dos + kPeOffsetField));
    std::uint8_t signature[4];
    if (!seekTo(host, handle, peOffset) || !readAll(host, handle, signature, sizeof signature) ||
        readLe32(signature) != kPeSignature)
        return false;
    std::uint8_t fileHeader[kFileHeaderBytes];
    if (!readAll(host, handle, fileHeader, sizeof fileHeader) ||
        readLe16(fileHeader + kOptionalHeaderSizeField) == 0)
        return false;
    std::uint8_t optional[240];
    if (!readAll(host, handle, optional, 2))
        return false;
    const std::uint16_t magic = readLe16(optional);
    std::size_t countField = 0;
    std::size_t directoryField = 0;
    std::size_t rest = 0;
    if (magic == kPe32Magic) {
        rest = 222;
        countField = 92;
        directoryField = 96;
    } else if (magic == kPe32PlusMagic) {
        rest = 238;
        countField = 108;
        directoryField = 112;
    } else {
        return false;
    }
    if (!readAll(host, handle, optional + 2, rest))
        return false;
    if (readLe32(optional + countField) <= kCertificateDirectory)
        return false;
    const std::uint8_t* certificate = optional + directoryField + 8 * kCertificateDirectory;
    offset = readLe32(certificate);
    return readLe32(certificate + 4) != 0;
}

bool findBeforeCertificate(HalAccess& host, FileHandle handle, std::uint8_t (&trailer)[kPayloadTrailerSize],
                           std::uint64_t& position)
{
    std::uint32_t certificateOffset = 0;
    if (!findCertificateTable(host, handle, certificateOffset) || certificateOffset < kScanBytes)
        return false;
    const std::uint64_t scanStart = certificateOffset - kScanBytes;
    std::uint8_t scan[kScanBytes];
    if (!seekTo(host, handle, static_cast<std::int64_t>(scanStart)) || !readAll(host, handle, scan, sizeof scan))
        return false;
    // The window that ends at the certificate first: the trailer nearest to it wins.
    for (std::size_t at = kScanBytes - kPayloadTrailerSize + 1; at-- > 0;) {
        if (!isTrailerAt(scan + at))
            continue;
        std::memcpy(trailer, scan + at, kPayloadTrailerSize);
        position = scanStart + at;
        return true;
    }
    return false;
}

}  // namespace

bool locatePayloadTrailer(HalAccess& host, FileHandle handle, std::uint8_t (&trailer)[kPayloadTrailerSize],
                          std::uint64_t& position)
{
    if (findBeforeCertificate(host, handle, trailer, position))
        return true;
    std::uint64_t size = 0;
    if (!host.seekFile(handle, 2, 0, &size) || size < kPayloadTrailerSize)
        return false;
    position = size - kPayloadTrailerSize;
    if (!seekTo(host, handle, static_cast<std::int64_t>(position)) ||
        !readAll(host, handle, trailer, kPayloadTrailerSize))
        return false;
    return isTrailerAt(trailer);
}

}  // namespace druvex
