#include "core/sequenced_file.h"

#include "core/platform_file.h"
#include "text/numbers.h"

namespace druvex {
namespace {

// The stored number, read like "%u": leading blanks and what follows the
// digits do not matter, and anything else reads as 0.
std::uint32_t readStoredNumber(const SharedString& path)
{
    PlatformFile file;
    if (!file.open(path.view(), kFileOpenExisting | kFileRead))
        return 0;
    char bytes[32];
    const std::int64_t read = readFile(file.handle(), bytes, sizeof bytes - 1);
    if (read <= 0)
        return 0;
    char16_t text[32];
    for (std::int64_t i = 0; i < read; ++i)
        text[i] = static_cast<unsigned char>(bytes[i]);
    text[read] = 0;
    unsigned number = 0;
    parseUInt(text, number);
    return number;
}

void storeNumber(const SharedString& path, std::uint32_t number)
{
    PlatformFile file;
    if (!file.open(path.view(), kFileCreateAlways | kFileWrite))
        return;
    const SharedStringA digits = toUtf8(uintToText(number));
    writeFile(file.handle(), digits.c_str(), static_cast<std::size_t>(digits.length()));
}

}  // namespace

SharedString sequenceFilePath(const SequencedFileName& name)
{
    return name.folder + u"/" + name.baseName + u".seq.ini";
}

SharedString nextSequencedPath(const SequencedFileName& name)
{
    const SharedString sequencePath = sequenceFilePath(name);
    const std::uint32_t previous = readStoredNumber(sequencePath);
    const std::uint32_t next = previous < name.count ? previous + 1 : 1;
    storeNumber(sequencePath, next);
    SharedString path;
    path.format(u"%ls/%ls%u%ls", name.folder, name.baseName, next, name.extension);
    return path;
}

}  // namespace druvex
