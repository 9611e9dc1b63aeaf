// What a feature's records become on the target besides its files: its
// registry trees and file types in the target's registry, written when the
// feature is installed and taken away when it is removed.
#pragma once

#include <functional>

#include "text/shared_string.h"

namespace druvex {

class Feature;
class HalAccess;

// Expands the installer variables of a text for the run's target; false
// when it cannot.
using TextExpander = std::function<bool(const SharedString& text, SharedString& out)>;

// The feature's four registry trees: every key made, every value (and key
// default value) set with its expanded data: "String" as REG_SZ, "Expand" as
// REG_EXPAND_SZ, "Dword" as REG_DWORD from a decimal or "0x" hexadecimal
// number. The user-dependent root is the machine's for all users, else the
// current user's. False at the first key or value that cannot be written.
bool writeFeatureRegistry(HalAccess& host, const Feature& feature, bool allUsers, const TextExpander& expand);

// Takes the feature's registry entries away again: in an "Automatic" key the
// values the feature names are deleted, and the key too once nothing is left
// in it; "Persistent" keys stay whole; "SystemReadOnly" keys stay, their
// sub-keys are looked at. What is not there is passed over. False when
// something present could not be deleted.
bool removeFeatureRegistry(HalAccess& host, const Feature& feature, bool allUsers);

// The feature's file types under HKEY_CLASSES_ROOT: each extension names the
// type, which holds its description, icon and the command of each verb.
bool writeFileAssociations(HalAccess& host, const Feature& feature, const TextExpander& expand);
// Deletes the extensions' keys and the types' keys.
bool removeFileAssociations(HalAccess& host, const Feature& feature);

}  // namespace druvex
