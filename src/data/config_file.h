// ConfigFile: the installer configuration "_config.xml" that an installation
// leaves beside the installed program, holding the language and the colour
// theme it ran with, so that the installer started there again opens with the
// same choices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace druvex {

class ConfigFile {
public:
    ConfigFile() = default;

    // A language id; 0 means none.
    std::uint32_t getLanguage() const { return language_; }
    void setLanguage(std::uint32_t language) { language_ = language; }
    // A colour theme id (theme_names.h).
    std::int32_t getTheme() const { return theme_; }
    void setTheme(std::int32_t theme) { theme_ = theme; }

    // Replaces `out` with the document: the root "data" with "Lang" (the
    // language's culture name, "custm" for the custom language) and "Theme"
    // (the theme's name). False, with `out` untouched, when there is no
    // language, the theme is "NoTheme" or the language has no culture name.
    bool write(std::vector<std::uint8_t>& out) const;

    // Reads a document: "Lang" by culture name (or "custm"), "Theme" by theme
    // name; other elements are passed over. False for an empty buffer, a
    // document that does not parse or holds no element, a culture name that
    // names no language and the theme "NoTheme"; what was read before the
    // refusal stays.
    bool parse(const void* data, std::size_t bytes);
    bool parse(const std::vector<std::uint8_t>& buffer) { return parse(buffer.data(), buffer.size()); }

private:
    std::uint32_t language_ = 0;
    std::int32_t theme_ = 0;
};

}  // namespace druvex
