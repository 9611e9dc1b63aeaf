#include "engine/feature_records_writer.h"

#include <cstdint>
#include <vector>

#include "data/feature.h"
#include "data/registry_model.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "platform/input_limits.h"
#include "text/numbers.h"

namespace druvex {

namespace {

using regmodel::RegistryItem;
using regmodel::RegistryValue;
using KeyNode = regmodel::RegistryKey;

std::vector<std::uint8_t> stringBytes(const SharedString& text)
{
    const auto* first = reinterpret_cast<const std::uint8_t*>(text.c_str());
    const std::size_t bytes = (static_cast<std::size_t>(text.length()) + 1) * sizeof(char16_t);
    return std::vector<std::uint8_t>(first, first + bytes);
}

bool parseDword(const SharedString& text, std::uint32_t& value)
{
    const std::u16string_view view = text.view();
    if (view.size() > 2 && view[0] == u'0' && (view[1] == u'x' || view[1] == u'X')) {
        std::uint64_t number = 0;
        for (char16_t unit : view.substr(2)) {
            int digit = -1;
            if (unit >= u'0' && unit <= u'9')
                digit = unit - u'0';
            else if (unit >= u'a' && unit <= u'f')
                digit = unit - u'a' + 10;
            else if (unit >= u'A' && unit <= u'F')
                digit = unit - u'A' + 10;
            if (digit < 0 || number > 0xFFFFFFFu)
                return false;
            number = number * 16 + static_cast<std::uint64_t>(digit);
        }
        value = static_cast<std::uint32_t>(number);
        return true;
    }
    unsigned number = 0;
    if (!parseUInt(text.c_str(), number))
        return false;
    value = number;
    return true;
}

SharedString keyPath(const SharedString& parent, const SharedString& name)
{
    return parent.isEmpty() ? name : parent + u"\\" + name;
}

bool setValue(HalAccess& host, RegistryKey key, const SharedString& name, const RegistryValue& value,
              const TextExpander& expand, const SharedString& where)
{
    SharedString data;
    if (!expand(value.getData(), data)) {
        logError((u"Cannot expand the registry value " + where + u"\\" + name).view());
        return false;
    }
    bool written = false;
    switch (value.getFormat()) {
    case regmodel::kValueString:
    case regmodel::kValueExpand: {
        const std::vector<std::uint8_t> bytes = stringBytes(data);
        const std::uint32_t type = value.getFormat() == regmodel::kValueExpand ? kRegExpandString : kRegString;
        written = host.regSetValue(key, name, type, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        break;
    }
    default: {
        std::uint32_t number = 0;
        if (!parseDword(data, number)) {
            logError((u"The registry value " + where + u"\\" + name + u" is not a number: " + data).view());
            return false;
        }
        written = host.regSetValue(key, name, kRegDword, &number, sizeof number);
        break;
    }
    }
    if (!written)
        logError((u"Cannot write the registry value " + where + u"\\" + name).view());
    return written;
}

bool writeKey(HalAccess& host, RegistryKey root, const SharedString& parentPath, const KeyNode& node,
              const TextExpander& expand, std::uint32_t depth)
{
    if (depth > kMaxRegistryKeyDepth)
        return false;
    const SharedString path = keyPath(parentPath, node.getName());
    RegistryKey key = 0;
    if (!host.regCreateKey(root, path, kRegistryViewDefault, key)) {
        logError((u"Cannot create the registry key " + path).view());
        return false;
    }
    bool written = true;
    if (node.hasDefaultValue()) {
        auto& mutableNode = const_cast<KeyNode&>(node);
        written = setValue(host, key, SharedString(), *mutableNode.getDefaultValue(), expand, path);
    }
    std::vector<const KeyNode*> subKeys;
    for (int index = 0; written && index < node.childCount(); ++index) {
        const std::shared_ptr<RegistryItem> child = node.childAt(index);
        if (child->kind() == regmodel::kKindKey)
            subKeys.push_back(static_cast<const KeyNode*>(child.get()));
        else
            written = setValue(host, key, child->getName(), static_cast<const RegistryValue&>(*child), expand, path);
    }
    host.regCloseKeyAfterUse(key);
    for (const KeyNode* sub : subKeys) {
        if (!written)
            break;
        written = writeKey(host, root, path, *sub, expand, depth + 1);
    }
    return written;
}

bool keyExists(HalAccess& host, RegistryKey root, const SharedString& path, RegistryKey& key)
{
    return host.regOpenKey(root, path, kRegistryViewDefault, kRegistryModeWrite, key);
}

bool removeKey(HalAccess& host, RegistryKey root, const SharedString& parentPath, const KeyNode& node,
               std::uint32_t depth)
{
    if (depth > kMaxRegistryKeyDepth || node.getFlag() == regmodel::kKeyPersistent)
        return true;
    const SharedString path = keyPath(parentPath, node.getName());
    RegistryKey key = 0;
    if (!keyExists(host, root, path, key))
        return true;
    bool removed = true;
    const bool ownsValues = node.getFlag() == regmodel::kKeyAutomatic;
    std::vector<const KeyNode*> subKeys;
    for (int index = 0; index < node.childCount(); ++index) {
        const std::shared_ptr<RegistryItem> child = node.childAt(index);
        if (child->kind() == regmodel::kKindKey) {
            subKeys.push_back(static_cast<const KeyNode*>(child.get()));
            continue;
        }
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (ownsValues && host.regQueryValue(key, child->getName(), type, nullptr, size))
            removed = host.regDeleteValue(key, child->getName()) && removed;
    }
    if (ownsValues && node.hasDefaultValue()) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        if (host.regQueryValue(key, SharedString(), type, nullptr, size))
            removed = host.regDeleteValue(key, SharedString()) && removed;
    }
    host.regCloseKeyAfterUse(key);
    for (const KeyNode* sub : subKeys)
        removed = removeKey(host, root, path, *sub, depth + 1) && removed;
    bool empty = false;
    if (ownsValues && host.regKeyIsEmpty(root, path, kRegistryViewDefault, empty) && empty)
        removed = host.regDeleteKey(root, path, kRegistryViewDefault) && removed;
    return removed;
}

std::vector<const KeyNode*> rootKeys(const regmodel::RegistryRootSet& registry, int index)
{
    std::vector<const KeyNode*> keys;
    const std::shared_ptr<KeyNode>& root = registry.getRoot(index);
    for (int child = 0; child < root->childCount(); ++child) {
        const std::shared_ptr<RegistryItem> item = root->childAt(child);
        if (item->kind() == regmodel::kKindKey)
            keys.push_back(static_cast<const KeyNode*>(item.get()));
    }
    return keys;
}

bool writeDefault(HalAccess& host, const SharedString& path, const SharedString& text)
{
    return host.writeRegistryStringValue(kRegistryClassesRoot, path, kRegistryViewDefault, SharedString(), text,
                                         false);
}

}  // namespace

bool writeFeatureRegistry(HalAccess& host, const Feature& feature, bool allUsers, const TextExpander& expand)
{
    const regmodel::RegistryRootSet& registry = feature.getRegistry();
    for (int index = 0; index < regmodel::kRootCount; ++index) {
        const auto root = static_cast<RegistryKey>(registryRootToHkey(index, allUsers));
        for (const KeyNode* key : rootKeys(registry, index)) {
            if (!writeKey(host, root, SharedString(), *key, expand, 0))
                return false;
        }
    }
    return true;
}

bool removeFeatureRegistry(HalAccess& host, const Feature& feature, bool allUsers)
{
    const regmodel::RegistryRootSet& registry = feature.getRegistry();
    bool removed = true;
    for (int index = 0; index < regmodel::kRootCount; ++index) {
        const auto root = static_cast<RegistryKey>(registryRootToHkey(index, allUsers));
        for (const KeyNode* key : rootKeys(registry, index))
            removed = removeKey(host, root, SharedString(), *key, 0) && removed;
    }
    return removed;
}

bool writeFileAssociations(HalAccess& host, const Feature& feature, const TextExpander& expand)
{
    for (int index = 0; index < feature.fileAssociationCount(); ++index) {
        const FileAssociation& association = *feature.fileAssociationAt(index);
        if (association.progId.isEmpty())
            continue;
        SharedString icon;
        if (!writeDefault(host, association.progId, association.description))
            return false;
        if (!association.iconPath.isEmpty() && expand(association.iconPath, icon)) {
            if (association.iconIndex >= 0)
                icon += SharedString().format(u",%d", association.iconIndex);
            if (!writeDefault(host, association.progId + u"\\DefaultIcon", icon))
                return false;
        }
        for (int e = 0; e < association.extensionCount(); ++e) {
            const FileExtension& extension = *association.extensionAt(e);
            if (extension.name.isEmpty())
                continue;
            const SharedString name = extension.name.view().starts_with(u".") ? extension.name : u"." + extension.name;
            if (!writeDefault(host, name, association.progId))
                return false;
            for (int verb = 0; verb < kVerbCount; ++verb) {
                const SharedString arguments = extension.actionArguments(verb);
                if (arguments.isEmpty())
                    continue;
                SharedString command;
                if (!expand(extension.command.isEmpty() ? arguments : extension.command + u" " + arguments, command))
                    return false;
                if (!writeDefault(host, association.progId + u"\\shell\\" + verbName(verb) + u"\\command", command))
                    return false;
            }
        }
    }
    return true;
}

bool removeFileAssociations(HalAccess& host, const Feature& feature)
{
    bool removed = true;
    const auto removeIfThere = [&](const SharedString& path) {
        RegistryKey key = 0;
        if (!host.regOpenKey(kRegistryClassesRoot, path, kRegistryViewDefault, kRegistryModeRead, key))
            return;
        host.regCloseKeyAfterUse(key);
        removed = host.regDeleteKey(kRegistryClassesRoot, path, kRegistryViewDefault) && removed;
    };
    for (int index = 0; index < feature.fileAssociationCount(); ++index) {
        const FileAssociation& association = *feature.fileAssociationAt(index);
        for (int e = 0; e < association.extensionCount(); ++e) {
            const SharedString& name = association.extensionAt(e)->name;
            if (!name.isEmpty())
                removeIfThere(name.view().starts_with(u".") ? name : u"." + name);
        }
        if (!association.progId.isEmpty())
            removeIfThere(association.progId);
    }
    return removed;
}

}  // namespace druvex
