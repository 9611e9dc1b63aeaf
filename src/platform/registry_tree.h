// The device registry's data: a tree of keys under the four predefined roots,
// each key with named values of raw bytes and a type. Names are matched
// without regard to case (toLowerChar) and keep the spelling they were made
// with. Shared by the registry store and its file format.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace druvex {

// The predefined root keys; their handles are the device's numbers.
using RegistryKey = std::uint32_t;
constexpr RegistryKey kRegistryClassesRoot = 0x80000000;
constexpr RegistryKey kRegistryCurrentUser = 0x80000001;
constexpr RegistryKey kRegistryLocalMachine = 0x80000002;
constexpr RegistryKey kRegistryUsers = 0x80000003;
constexpr int kRegistryRootCount = 4;

// Value types, as the device numbers them. The store keeps any type number;
// these are the ones the program reads and writes.
constexpr std::uint32_t kRegString = 1;
constexpr std::uint32_t kRegExpandString = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiString = 7;

struct RegistryValue {
    std::u16string name;  // as spelt when created; empty for the default value
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

struct RegistryKeyNode {
    RegistryKeyNode() = default;
    // Takes a deep tree apart level by level: freeing it must not recurse
    // on its depth.
    ~RegistryKeyNode();
    RegistryKeyNode(const RegistryKeyNode&) = delete;
    RegistryKeyNode& operator=(const RegistryKeyNode&) = delete;

    std::u16string name;  // as spelt when created; empty for a root
    // Both maps are keyed by the folded name (foldRegistryName), so they list
    // in the order the file and the enumerations use.
    std::map<std::u16string, std::shared_ptr<RegistryKeyNode>> subKeys;
    std::map<std::u16string, RegistryValue> values;
    // Keys above this one up to its root (0 for a root, 1 for its subkeys);
    // no key lies deeper than kMaxRegistryKeyDepth.
    std::uint32_t depth = 0;
    // Set when the key was deleted; handles still open on it then fail.
    bool deleted = false;
};

struct RegistryTree {
    RegistryTree();
    // Index 0 to 3 for kRegistryClassesRoot to kRegistryUsers.
    std::array<std::shared_ptr<RegistryKeyNode>, kRegistryRootCount> roots;
};

// The name in the form lookups compare: every unit through toLowerChar.
std::u16string foldRegistryName(std::u16string_view name);

// Whether a key name component or a value name can be stored: no control
// characters (they could not be written to the file's lines) and no unpaired
// surrogates. A key name must also be non-empty, hold no backslash and be no
// longer than kMaxRegistryKeyNameLength.
bool isValidRegistryKeyName(std::u16string_view name);
bool isValidRegistryValueName(std::u16string_view name);

// The name the file gives a root ("HKEY_LOCAL_MACHINE"), by index 0 to 3.
std::string_view registryRootName(int index);

}  // namespace druvex
