#include "data/registry_model.h"

#include <stdexcept>
#include <string>
#include <utility>

namespace druvex {
namespace regmodel {
namespace {

constexpr std::string_view kRootElementNames[kRootCount] = {
    "HKEY_CLASSES_ROOT",
    "HKEY_CURRENT_USER",
    "HKEY_LOCAL_MACHINE",
    "HKEY_USER_DEP",
};

[[noreturn]] void unsupported(const char* operation)
{
    throw std::logic_error(std::string("registry value: no ") + operation);
}

}  // namespace

std::shared_ptr<RegistryItem> RegistryItem::findChild(std::u16string_view, int) const
{
    unsupported("children to find");
}

bool RegistryItem::addChild(std::shared_ptr<RegistryItem>)
{
    unsupported("children to add");
}

void RegistryItem::removeChild(const RegistryItem*)
{
    unsupported("children to remove");
}

void RegistryItem::clear()
{
    unsupported("children to clear");
}

int RegistryItem::childCount() const
{
    unsupported("children to count");
}

std::shared_ptr<RegistryItem> RegistryItem::childAt(int) const
{
    unsupported("children to index");
}

RegistryValue::RegistryValue(const SharedString& name, std::int32_t format, const SharedString& data)
    : RegistryItem(name), format_(format), data_(data)
{
}

std::shared_ptr<RegistryItem> RegistryValue::clone(bool) const
{
    return std::make_shared<RegistryValue>(getName(), format_, data_);
}

RegistryKey::RegistryKey(const SharedString& name, std::int32_t flag) : RegistryItem(name), flag_(flag) {}

RegistryKey::~RegistryKey()
{
    // A deep tree is taken apart here level by level rather than by each
    // key's destructor calling its children's: the depth of a tree built in
    // code has no limit, and the stack would run out. Children held elsewhere
    // keep their own subtrees, without a pointer to a key that is gone.
    std::vector<std::shared_ptr<RegistryItem>> pending = detachChildren();
    dropDefaultValue();
    while (!pending.empty()) {
        std::shared_ptr<RegistryItem> item = std::move(pending.back());
        pending.pop_back();
        if (item->kind() != kKindKey || item.use_count() != 1)
            continue;
        for (std::shared_ptr<RegistryItem>& child : static_cast<RegistryKey&>(*item).detachChildren())
            pending.push_back(std::move(child));
    }
}

std::vector<std::shared_ptr<RegistryItem>> RegistryKey::detachChildren()
{
    for (const auto& child : children_) {
        if (child->parent_ == this)
            child->parent_ = nullptr;
    }
    return std::exchange(children_, {});
}

void RegistryKey::appendChild(std::shared_ptr<RegistryItem> item)
{
    item->parent_ = this;
    children_.push_back(std::move(item));
}

std::shared_ptr<RegistryItem> RegistryKey::findChild(std::u16string_view name, int kind) const
{
    for (const auto& child : children_) {
        if (child->getName().view() == name && (kind == kKindAny || child->kind() == kind))
            return child;
    }
    return nullptr;
}

bool RegistryKey::addChild(std::shared_ptr<RegistryItem> item)
{
    if (!item)
        return false;
    if (item->kind() == kKindValue && flag_ == kKeySystemReadOnly)
        return false;
    if (item.get() == this)
        return false;
    // Only a key with children can be one of this key's ancestors: the walk
    // up is left out for the leaves that readers add one after another.
    if (item->kind() == kKindKey && item->childCount() > 0) {
        for (const RegistryItem* ancestor = parent_; ancestor; ancestor = ancestor->parent_) {
            if (ancestor == item.get())
                return false;
        }
    }
    appendChild(std::move(item));
    return true;
}

void RegistryKey::removeChild(const RegistryItem* item)
{
    for (auto it = children_.begin(); it != children_.end(); ++it) {
        if (it->get() != item)
            continue;
        if ((*it)->parent_ == this)
            (*it)->parent_ = nullptr;
        children_.erase(it);
        return;
    }
}

void RegistryKey::clear()
{
    // Through a key of its own, which frees a deep subtree without recursion.
    RegistryKey holder;
    for (std::shared_ptr<RegistryItem>& child : detachChildren())
        holder.children_.push_back(std::move(child));
}

std::shared_ptr<RegistryItem> RegistryKey::childAt(int index) const
{
    if (index < 0 || index >= childCount())
        throw std::out_of_range("registry key: child index outside the children");
    return children_[static_cast<std::size_t>(index)];
}

std::shared_ptr<RegistryKey> RegistryKey::shallowCopy() const
{
    auto copy = std::make_shared<RegistryKey>(getName(), flag_);
    if (defaultValue_)
        copy->getDefaultValue()->setData(defaultValue_->getData());
    return copy;
}

std::shared_ptr<RegistryItem> RegistryKey::clone(bool deep) const
{
    std::shared_ptr<RegistryKey> copy = shallowCopy();
    if (!deep)
        return copy;
    // The keys whose children are still to be copied, with their copies; a
    // list rather than recursion, however deep the tree.
    std::vector<std::pair<const RegistryKey*, RegistryKey*>> pending{{this, copy.get()}};
    while (!pending.empty()) {
        const auto [source, target] = pending.back();
        pending.pop_back();
        for (const auto& child : source->children_) {
            if (child->kind() == kKindValue) {
                target->addChild(child->clone(false));
                continue;
            }
            const auto& key = static_cast<const RegistryKey&>(*child);
            std::shared_ptr<RegistryKey> keyCopy = key.shallowCopy();
            pending.emplace_back(&key, keyCopy.get());
            target->appendChild(std::move(keyCopy));
        }
    }
    return copy;
}

std::shared_ptr<RegistryValue> RegistryKey::getDefaultValue()
{
    if (!defaultValue_) {
        defaultValue_ = std::make_shared<RegistryValue>(SharedString(u"(Default)"), kValueString);
        defaultValue_->parent_ = this;
    }
    return defaultValue_;
}

void RegistryKey::dropDefaultValue()
{
    if (defaultValue_ && defaultValue_->parent_ == this)
        defaultValue_->parent_ = nullptr;
    defaultValue_.reset();
}

SharedString RegistryKey::path() const
{
    std::vector<const RegistryKey*> keys;
    for (const RegistryKey* key = this; key->parent(); key = key->parent())
        keys.push_back(key);
    std::u16string text;
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
        if (!text.empty())
            text += u'\\';
        text += (*key)->getName().view();
    }
    return SharedString(std::u16string_view(text));
}

RegistryRootSet::RegistryRootSet()
{
    for (int index = 0; index < kRootCount; ++index) {
        const std::string_view name = kRootElementNames[index];
        roots_[static_cast<std::size_t>(index)] = std::make_shared<RegistryKey>(
            SharedString::fromCodePage(name.data(), static_cast<int>(name.size()), 65001), kKeySystemReadOnly);
    }
}

const std::shared_ptr<RegistryKey>& RegistryRootSet::getRoot(int index) const
{
    if (index < 0 || index >= kRootCount)
        throw std::out_of_range("registry roots: index outside 0 to 3");
    return roots_[static_cast<std::size_t>(index)];
}

bool RegistryRootSet::rootHasContent(int index) const
{
    if (index < 0 || index >= kRootCount)
        return false;
    return roots_[static_cast<std::size_t>(index)]->childCount() > 0;
}

bool RegistryRootSet::hasContent() const
{
    for (int index = 0; index < kRootCount; ++index) {
        if (rootHasContent(index))
            return true;
    }
    return false;
}

std::shared_ptr<RegistryKey> RegistryRootSet::findKey(int index, std::u16string_view path) const
{
    if (index < 0 || index >= kRootCount || path.empty())
        return nullptr;
    std::shared_ptr<RegistryKey> key = roots_[static_cast<std::size_t>(index)];
    std::size_t start = 0;
    while (true) {
        const std::size_t separator = path.find(u'\\', start);
        const std::u16string_view part =
            path.substr(start, separator == std::u16string_view::npos ? std::u16string_view::npos : separator - start);
        // A part that names a value ends the walk: only keys are answered, and
        // a value has no children to look further in.
        const std::shared_ptr<RegistryItem> child = key->findChild(part, kKindAny);
        if (!child || child->kind() != kKindKey)
            return nullptr;
        key = std::static_pointer_cast<RegistryKey>(child);
        if (separator == std::u16string_view::npos)
            return key;
        start = separator + 1;
    }
}

void RegistryRootSet::assign(const RegistryRootSet& other)
{
    if (&other == this)
        return;
    for (int index = 0; index < kRootCount; ++index) {
        RegistryKey& root = *roots_[static_cast<std::size_t>(index)];
        const RegistryKey& source = *other.roots_[static_cast<std::size_t>(index)];
        root.clear();
        for (int child = 0; child < source.childCount(); ++child)
            root.addChild(source.childAt(child)->clone(true));
    }
}

void RegistryRootSet::clear()
{
    for (const auto& root : roots_)
        root->clear();
}

std::string_view registryRootElementName(int index)
{
    if (index < 0 || index >= kRootCount)
        return {};
    return kRootElementNames[index];
}

namespace {

constexpr NamedValue<std::int32_t> kRegistryFlags[] = {
    {kKeyAutomatic, u"Automatic"},
    {kKeyPersistent, u"Persistent"},
    {kKeySystemReadOnly, u"SystemReadOnly"},
};

constexpr NamedValue<std::int32_t> kRegistryFormats[] = {
    {kValueString, u"String"},
    {kValueDword, u"Dword"},
    {kValueExpand, u"Expand"},
};

}  // namespace

const NameTable<std::int32_t> kRegistryFlagNames{kRegistryFlags, NameCase::kExact};
const NameTable<std::int32_t> kRegistryFormatNames{kRegistryFormats, NameCase::kExact};

SharedString registryFlagText(std::int32_t flag)
{
    return SharedString(kRegistryFlagNames.nameOf(flag, u"Automatic"));
}

std::int32_t registryFlagFromText(std::u16string_view text)
{
    return kRegistryFlagNames.valueOf(text, kKeyAutomatic);
}

SharedString registryFormatText(std::int32_t format)
{
    return SharedString(kRegistryFormatNames.nameOf(format, u"Dword"));
}

std::int32_t registryFormatFromText(std::u16string_view text)
{
    return kRegistryFormatNames.valueOf(text, kValueDword);
}

}  // namespace regmodel

std::uint32_t registryRootToHkey(int index, bool allUsers)
{
    switch (index) {
    case regmodel::kRootClasses:
        return 0x80000000;
    case regmodel::kRootCurrentUser:
        return 0x80000001;
    case regmodel::kRootLocalMachine:
        return 0x80000002;
    case regmodel::kRootUserDependent:
        return allUsers ? 0x80000002 : 0x80000001;
    default:
        return 0;
    }
}

int hkeyToRegistryRoot(std::uint32_t hkey)
{
    switch (hkey) {
    case 0x80000000:
        return regmodel::kRootClasses;
    case 0x80000001:
        return regmodel::kRootCurrentUser;
    case 0x80000002:
        return regmodel::kRootLocalMachine;
    default:
        return 5;
    }
}

}  // namespace druvex
