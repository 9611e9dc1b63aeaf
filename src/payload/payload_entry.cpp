#include "payload/payload_entry.h"

namespace druvex {

PayloadTrailer parsePayloadTrailer(const std::uint8_t* bytes)
{
    PayloadTrailer trailer;
    trailer.recordCount = readLe32(bytes + 4);
    trailer.payloadBase = readLe64(bytes + 8);
    trailer.directoryRelativeOffset = readLe64(bytes + 16);
    trailer.directoryOffset = readLe64(bytes + 24);
    trailer.directorySize = readLe64(bytes + 32);
    trailer.checksum = readLe32(bytes + 40);
    return trailer;
}

void writePayloadTrailerHead(std::uint8_t* bytes, const PayloadTrailer& trailer)
{
    writeLe32(bytes, kPayloadMagic);
    writeLe32(bytes + 4, trailer.recordCount);
    writeLe64(bytes + 8, trailer.payloadBase);
    writeLe64(bytes + 16, trailer.directoryRelativeOffset);
    writeLe64(bytes + 24, trailer.directoryOffset);
    writeLe64(bytes + 32, trailer.directorySize);
}

}  // namespace druvex
