#include "data/font_device_context.h"

#include <algorithm>
#include <utility>

#include "text/char_class.h"
#include "core/path_text.h"
#include "hal/hal_access.h"
#include "hal/hal_file.h"

namespace druvex {
namespace {

constexpr int kCsidlWindows = 36;
constexpr char16_t kSystemFontKey[] = u"System\\GDI\\SysFnt";
constexpr char16_t kSystemFontValue[] = u"Nm";
constexpr char16_t kDefaultSystemFace[] = u"Tahoma";
constexpr std::uint32_t kCollectionTag = fontTableTag('t', 't', 'c', 'f');
constexpr std::uint32_t kNameTableTag = fontTableTag('n', 'a', 'm', 'e');
// Far above what real fonts hold; a larger count marks a damaged file.
constexpr std::uint32_t kMaxTables = 4096;
constexpr std::uint32_t kMaxCollectionFonts = 1024;
constexpr std::uint32_t kMaxNameTableBytes = 1 << 20;
constexpr std::uint16_t kFamilyNameId = 1;

std::uint16_t readBigEndian16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t readBigEndian32(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

bool isFontFileName(const SharedString& name)
{
    const SharedString extension = getExtension(name);
    return equalsNoCase(extension.view(), u"ttf") || equalsNoCase(extension.view(), u"otf") ||
           equalsNoCase(extension.view(), u"ttc");
}

// The family names of a name table: platform 3 as UTF-16BE, platform 1 as
// single bytes (Mac Roman, whose lower half is ASCII). Windows names first.
std::vector<SharedString> familyNames(const std::vector<unsigned char>& table)
{
    std::vector<SharedString> windowsNames;
    std::vector<SharedString> macNames;
    if (table.size() < 6)
        return windowsNames;
    const std::size_t count = readBigEndian16(&table[2]);
    const std::size_t storage = readBigEndian16(&table[4]);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t record = 6 + 12 * i;
        if (record + 12 > table.size())
            break;
        const std::uint16_t platform = readBigEndian16(&table[record]);
        const std::uint16_t nameId = readBigEndian16(&table[record + 6]);
        const std::size_t length = readBigEndian16(&table[record + 8]);
        const std::size_t offset = storage + readBigEndian16(&table[record + 10]);
        if (nameId != kFamilyNameId || offset + length > table.size())
            continue;
        std::u16string text;
        if (platform == 3) {
            for (std::size_t at = 0; at + 1 < length; at += 2)
                text += static_cast<char16_t>(readBigEndian16(&table[offset + at]));
            windowsNames.emplace_back(std::u16string_view(text));
        } else if (platform == 1) {
            for (std::size_t at = 0; at < length; ++at)
                text += static_cast<char16_t>(table[offset + at]);
            macNames.emplace_back(std::u16string_view(text));
        }
    }
    for (SharedString& name : macNames)
        windowsNames.push_back(std::move(name));
    return windowsNames;
}

}  // namespace

FontDeviceContext::FontDeviceContext(std::shared_ptr<HalAccess> host) : host_(std::move(host)) {}

bool FontDeviceContext::readAt(const SharedString& path, std::uint64_t position, void* buffer,
                               std::size_t size) const
{
    HalFile file;
    if (!file.openForRead(host_, path))
        return false;
    if (!file.seek(0, static_cast<std::int64_t>(position)))
        return false;
    return file.readFully(buffer, size) == static_cast<std::int64_t>(size);
}

bool FontDeviceContext::fontOffsets(const SharedString& path, std::vector<std::uint32_t>& offsets) const
{
    offsets.clear();
    unsigned char header[12];
    if (!readAt(path, 0, header, sizeof header))
        return false;
    if (readBigEndian32(header) != kCollectionTag) {
        offsets.push_back(0);
        return true;
    }
    const std::uint32_t count = readBigEndian32(header + 8);
    if (count == 0 || count > kMaxCollectionFonts)
        return false;
    std::vector<unsigned char> table(std::size_t{count} * 4);
    if (!readAt(path, 12, table.data(), table.size()))
        return false;
    for (std::uint32_t i = 0; i < count; ++i)
        offsets.push_back(readBigEndian32(&table[4 * i]));
    return true;
}

bool FontDeviceContext::readDirectory(const SharedString& path, std::uint32_t offset,
                                      std::vector<TableRecord>& tables) const
{
    tables.clear();
    unsigned char header[12];
    if (!readAt(path, offset, header, sizeof header))
        return false;
    const std::uint32_t count = readBigEndian16(header + 4);
    if (count > kMaxTables)
        return false;
    std::vector<unsigned char> records(std::size_t{count} * 16);
    if (!readAt(path, std::uint64_t{offset} + 12, records.data(), records.size()))
        return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned char* record = &records[16 * i];
        tables.push_back({readBigEndian32(record), readBigEndian32(record + 8), readBigEndian32(record + 12)});
    }
    return true;
}

bool FontDeviceContext::readFamilyName(const SharedString& path, const std::vector<TableRecord>& tables,
                                       SharedString& name) const
{
    for (const TableRecord& table : tables) {
        if (table.tag != kNameTableTag || table.length > kMaxNameTableBytes)
            continue;
        std::vector<unsigned char> bytes(table.length);
        if (!readAt(path, table.offset, bytes.data(), bytes.size()))
            return false;
        const std::vector<SharedString> names = familyNames(bytes);
        if (names.empty())
            return false;
        name = names.front();
        return true;
    }
    return false;
}

bool FontDeviceContext::selectFontFile(const SharedString& path, std::uint32_t offset)
{
    std::vector<TableRecord> tables;
    if (!readDirectory(path, offset, tables))
        return false;
    SharedString face;
    readFamilyName(path, tables, face);
    path_ = path;
    face_ = face;
    tables_ = std::move(tables);
    return true;
}

bool FontDeviceContext::selectSystemFont()
{
    if (!host_)
        return false;
    SharedString face;
    if (!host_->readRegistryStringValue(kRegistryLocalMachine, SharedString(kSystemFontKey), kRegistryViewDefault,
                                        SharedString(kSystemFontValue), face) ||
        face.isEmpty())
        face = SharedString(kDefaultSystemFace);
    return selectFace(face);
}

bool FontDeviceContext::selectFace(const SharedString& face)
{
    SharedString folder;
    if (!host_ || face.isEmpty() || !host_->getSpecialFolderPath(kCsidlWindows, folder))
        return false;
    std::unique_ptr<HalFileFinder> finder;
    if (!host_->createFileFinder(folder, finder) || !finder)
        return false;
    do {
        if (finder->isFolder() || !isFontFileName(finder->name()))
            continue;
        const SharedString path = withTrailingBackslash(folder) + finder->name();
        std::vector<std::uint32_t> offsets;
        if (!fontOffsets(path, offsets))
            continue;
        for (const std::uint32_t offset : offsets) {
            std::vector<TableRecord> tables;
            if (!readDirectory(path, offset, tables))
                continue;
            for (const TableRecord& table : tables) {
                if (table.tag != kNameTableTag || table.length > kMaxNameTableBytes)
                    continue;
                std::vector<unsigned char> bytes(table.length);
                if (!readAt(path, table.offset, bytes.data(), bytes.size()))
                    break;
                for (const SharedString& name : familyNames(bytes)) {
                    if (!equalsNoCase(name.view(), face.view()))
                        continue;
                    path_ = path;
                    face_ = face;
                    tables_ = std::move(tables);
                    return true;
                }
                break;
            }
        }
    } while (finder->next());
    return false;
}

std::int64_t FontDeviceContext::getFontData(std::uint32_t tag, std::uint32_t offset, void* buffer, std::size_t size)
{
    if (path_.isEmpty())
        return -1;
    for (const TableRecord& table : tables_) {
        if (table.tag != tag)
            continue;
        if (offset > table.length)
            return -1;
        const std::size_t count = std::min<std::size_t>(size, table.length - offset);
        if (count > 0 && !readAt(path_, std::uint64_t{table.offset} + offset, buffer, count))
            return -1;
        return static_cast<std::int64_t>(count);
    }
    return -1;
}

}  // namespace druvex
