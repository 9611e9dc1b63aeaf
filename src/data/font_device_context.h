// FontDeviceContext: the stand-in for a device context with a selected font.
// The device's fonts are TrueType and OpenType files (".ttf", ".otf", ".ttc")
// in its Windows folder; a font is selected by its face (family) name, and its
// tables are read from its file through the host, the way the device's
// font-data query hands them out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "text/shared_string.h"
#include "data/font_cmap.h"

namespace druvex {

class HalAccess;

class FontDeviceContext final : public FontDataSource {
public:
    explicit FontDeviceContext(std::shared_ptr<HalAccess> host);

    const std::shared_ptr<HalAccess>& host() const { return host_; }

    // Selects the font whose family name equals `face` (ignoring case) among
    // the font files of the device's Windows folder. False, with the previous
    // font kept, when none has that face.
    bool selectFace(const SharedString& face);
    // Selects the device's system font, the one its windows draw with: the
    // face that the registry names under HKEY_LOCAL_MACHINE
    // "System\GDI\SysFnt" (value "Nm"), else the device's default face,
    // Tahoma. False when the device holds no font of that face.
    bool selectSystemFont();
    // Selects the font at table-directory `offset` of the font file at
    // `path` (0 for a single font; a collection's fonts have their own).
    // False when its table directory cannot be read.
    bool selectFontFile(const SharedString& path, std::uint32_t offset = 0);

    bool hasFont() const { return !path_.isEmpty(); }
    // The selected font's face name; empty when it was selected by file and
    // has no readable family name.
    const SharedString& faceName() const { return face_; }

    std::int64_t getFontData(std::uint32_t tag, std::uint32_t offset, void* buffer, std::size_t size) override;

private:
    struct TableRecord {
        std::uint32_t tag;
        std::uint32_t offset;
        std::uint32_t length;
    };

    bool readAt(const SharedString& path, std::uint64_t position, void* buffer, std::size_t size) const;
    bool readDirectory(const SharedString& path, std::uint32_t offset, std::vector<TableRecord>& tables) const;
    bool readFamilyName(const SharedString& path, const std::vector<TableRecord>& tables, SharedString& name) const;
    // The table-directory offsets of the fonts in a file: one for a single
    // font, each member of a collection.
    bool fontOffsets(const SharedString& path, std::vector<std::uint32_t>& offsets) const;

    std::shared_ptr<HalAccess> host_;
    SharedString path_;
    SharedString face_;
    std::vector<TableRecord> tables_;
};

}  // namespace druvex
