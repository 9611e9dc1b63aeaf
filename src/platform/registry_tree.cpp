#include "platform/registry_tree.h"

#include <vector>

#include "platform/input_limits.h"
#include "text/char_class.h"

namespace druvex {

RegistryKeyNode::~RegistryKeyNode()
{
    std::vector<std::shared_ptr<RegistryKeyNode>> pending;
    for (auto& [folded, subKey] : subKeys)
        pending.push_back(std::move(subKey));
    subKeys.clear();
    while (!pending.empty()) {
        std::shared_ptr<RegistryKeyNode> node = std::move(pending.back());
        pending.pop_back();
        // A key an open handle holds keeps its subtree.
        if (node.use_count() != 1)
            continue;
        for (auto& [folded, subKey] : node->subKeys)
            pending.push_back(std::move(subKey));
        node->subKeys.clear();
    }
}

RegistryTree::RegistryTree()
{
    for (auto& root : roots)
        root = std::make_shared<RegistryKeyNode>();
}

std::u16string foldRegistryName(std::u16string_view name)
{
    std::u16string folded(name);
    for (char16_t& unit : folded)
        unit = toLowerChar(unit);
    return folded;
}

bool isValidRegistryValueName(std::u16string_view name)
{
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t unit = name[i];
        if (unit < 0x20 || unit == 0x7F)
            return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return false;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF)
                return false;
            ++i;
        }
    }
    return true;
}

bool isValidRegistryKeyName(std::u16string_view name)
{
    return !name.empty() && name.size() <= kMaxRegistryKeyNameLength && name.find(u'\\') == std::u16string_view::npos &&
           isValidRegistryValueName(name);
}

std::string_view registryRootName(int index)
{
    static constexpr std::string_view kNames[kRegistryRootCount] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                                     "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    return kNames[index];
}

}  // namespace druvex
