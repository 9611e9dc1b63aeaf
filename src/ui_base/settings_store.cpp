#include "ui_base/settings_store.h"

#include "platform/registry.h"

namespace druvex {

SettingsStore::SettingsStore(const SharedString& path) : path_(path) {}

bool SettingsStore::load()
{
    std::uint32_t encoding = 0;
    if (!ini_.load(path_, &encoding)) {
        ini_.clear();
        return false;
    }
    encoding_ = encoding;
    return true;
}

bool SettingsStore::save() const
{
    return ini_.save(path_, encoding_);
}

SharedString SettingsStore::getValue(const SharedString& section, const SharedString& key,
                                     const SharedString& fallback) const
{
    SharedString value;
    return ini_.getValue(section, key, value) ? value : fallback;
}

int SettingsStore::getInt(const SharedString& section, const SharedString& key, int fallback) const
{
    return ini_.getInt(section, key, fallback);
}

void SettingsStore::setValue(const SharedString& section, const SharedString& key, const SharedString& value)
{
    ini_.setValue(section, key, value);
}

void SettingsStore::setInt(const SharedString& section, const SharedString& key, int value)
{
    ini_.setInt(section, key, value);
}

bool SettingsStore::readRegistryString(RegistryKey root, const char16_t* subKey, const char16_t* valueName,
                                       SharedString& text)
{
    return druvex::readRegistryString(root, subKey, valueName, text);
}

}  // namespace druvex
