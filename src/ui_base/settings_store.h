// SettingsStore: the field application's settings, an ini file of sections
// and keys read and written whole, and the registry strings the application
// keeps beside it.
#pragma once

#include <cstdint>

#include "core/ini_file.h"
#include "platform/registry_tree.h"
#include "text/shared_string.h"

namespace druvex {

class SettingsStore {
public:
    // The settings file at the device path `path`; nothing is read yet.
    explicit SettingsStore(const SharedString& path);

    const SharedString& getPath() const { return path_; }

    // Reads the file. False, with no settings held, when it cannot be read or
    // a line is refused.
    [[nodiscard]] bool load();
    // Writes the file in the encoding it was read in (UTF-16 for a new one).
    bool save() const;

    // `fallback` when the key is not set.
    SharedString getValue(const SharedString& section, const SharedString& key, const SharedString& fallback) const;
    int getInt(const SharedString& section, const SharedString& key, int fallback) const;
    void setValue(const SharedString& section, const SharedString& key, const SharedString& value);
    void setInt(const SharedString& section, const SharedString& key, int value);

    // A string value of the device registry (see readRegistryString): false
    // when the key or value cannot be read.
    static bool readRegistryString(RegistryKey root, const char16_t* subKey, const char16_t* valueName,
                                   SharedString& text);

private:
    SharedString path_;
    IniFile ini_;
    std::uint32_t encoding_ = 2;
};

}  // namespace druvex
