// The registry entries a feature creates, as four trees of keys and values,
// one per registry root, read from and written to the "Registry" XML of the
// install data and of packages. The installation engine walks them to write
// the target's registry.
//
// The classes live in druvex::regmodel: the device registry below already
// names its handle type RegistryKey and its stored value RegistryValue in
// druvex, and these are different things.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "text/name_table.h"
#include "text/shared_string.h"
#include "core/xml_reader.h"

namespace druvex {

class XmlWriter;

namespace regmodel {

class RegistryKey;
class RegistryValue;

// The roots by index and their element names.
constexpr int kRootClasses = 0;    // "HKEY_CLASSES_ROOT"
constexpr int kRootCurrentUser = 1; // "HKEY_CURRENT_USER"
constexpr int kRootLocalMachine = 2; // "HKEY_LOCAL_MACHINE"
constexpr int kRootUserDependent = 3; // "HKEY_USER_DEP": machine or current user at installation time
constexpr int kRootCount = 4;

// Key flags.
constexpr std::int32_t kKeyAutomatic = 0;
constexpr std::int32_t kKeyPersistent = 1;
constexpr std::int32_t kKeySystemReadOnly = 2;

// Value formats.
constexpr std::int32_t kValueString = 0;
constexpr std::int32_t kValueDword = 1;
constexpr std::int32_t kValueExpand = 2;

// Item kinds, and the findChild kind that accepts either.
constexpr int kKindKey = 0;
constexpr int kKindValue = 1;
constexpr int kKindAny = 2;

// A node of a tree. Composite operations that a value does not support throw
// std::logic_error.
class RegistryItem {
public:
    RegistryItem(const RegistryItem&) = delete;
    RegistryItem& operator=(const RegistryItem&) = delete;
    virtual ~RegistryItem() = default;

    virtual int kind() const = 0;
    // The first child whose name equals `name` exactly (case matters) and whose
    // kind is `kind` (kKindAny: either); null when none.
    virtual std::shared_ptr<RegistryItem> findChild(std::u16string_view name, int kind) const;
    virtual bool addChild(std::shared_ptr<RegistryItem> item);
    virtual void removeChild(const RegistryItem* item);
    virtual void clear();
    virtual int childCount() const;
    // Throws std::out_of_range at or past the count.
    virtual std::shared_ptr<RegistryItem> childAt(int index) const;
    virtual std::shared_ptr<RegistryItem> clone(bool deep) const = 0;

    const SharedString& getName() const { return name_; }
    void setName(const SharedString& name) { name_ = name; }
    // The key holding this item; null for a root or a detached item.
    RegistryKey* parent() const { return parent_; }

protected:
    explicit RegistryItem(const SharedString& name) : name_(name) {}

private:
    friend class RegistryKey;
    RegistryKey* parent_ = nullptr;
    SharedString name_;
};

class RegistryValue final : public RegistryItem {
public:
    explicit RegistryValue(const SharedString& name = {}, std::int32_t format = kValueDword,
                           const SharedString& data = {});

    int kind() const override { return kKindValue; }
    // Same name, format and data.
    std::shared_ptr<RegistryItem> clone(bool deep) const override;

    std::int32_t getFormat() const { return format_; }
    void setFormat(std::int32_t format) { format_ = format; }
    const SharedString& getData() const { return data_; }
    void setData(const SharedString& data) { data_ = data; }

private:
    std::int32_t format_;
    SharedString data_;
};

class RegistryKey final : public RegistryItem {
public:
    explicit RegistryKey(const SharedString& name = {}, std::int32_t flag = kKeyAutomatic);
    ~RegistryKey() override;

    int kind() const override { return kKindKey; }
    std::shared_ptr<RegistryItem> findChild(std::u16string_view name, int kind) const override;
    // A SystemReadOnly key refuses values. A key is refused under itself or
    // its own descendants (the tree would become a loop). Otherwise appended.
    bool addChild(std::shared_ptr<RegistryItem> item) override;
    // Removes the child that is this very object, if present.
    void removeChild(const RegistryItem* item) override;
    void clear() override;
    int childCount() const override { return static_cast<int>(children_.size()); }
    std::shared_ptr<RegistryItem> childAt(int index) const override;
    // Same flag and name, and a default value with the same data when this key
    // has one; with `deep`, a deep clone of every child, in order. Neither
    // cloning nor freeing a tree recurses on its depth.
    std::shared_ptr<RegistryItem> clone(bool deep) const override;

    std::int32_t getFlag() const { return flag_; }
    void setFlag(std::int32_t flag) { flag_ = flag; }

    // The default value, made on demand: "(Default)", format String.
    std::shared_ptr<RegistryValue> getDefaultValue();
    bool hasDefaultValue() const { return defaultValue_ != nullptr; }
    bool isDefaultValue(const RegistryValue* value) const { return value && value == defaultValue_.get(); }
    void dropDefaultValue();

    // The names from this key up to its root (not included), outermost first,
    // joined with '\'; empty for a root.
    SharedString path() const;

private:
    std::shared_ptr<RegistryKey> shallowCopy() const;
    // Takes the children out, their parent pointers cleared.
    std::vector<std::shared_ptr<RegistryItem>> detachChildren();
    // Appends without the checks of addChild.
    void appendChild(std::shared_ptr<RegistryItem> item);

    std::int32_t flag_;
    std::vector<std::shared_ptr<RegistryItem>> children_;
    std::shared_ptr<RegistryValue> defaultValue_;
};

// The four root trees of one feature.
class RegistryRootSet {
public:
    RegistryRootSet();
    RegistryRootSet(const RegistryRootSet&) = delete;
    RegistryRootSet& operator=(const RegistryRootSet&) = delete;
    virtual ~RegistryRootSet() = default;

    // Throws std::out_of_range outside 0 to 3.
    const std::shared_ptr<RegistryKey>& getRoot(int index) const;
    // The root has children; false outside 0 to 3.
    bool rootHasContent(int index) const;
    bool hasContent() const;
    // The key at the '\'-separated path below the root; null when a part is
    // missing, names a value, or the path is empty.
    std::shared_ptr<RegistryKey> findKey(int index, std::u16string_view path) const;
    // Each root cleared and given a deep clone of the other's children.
    void assign(const RegistryRootSet& other);
    void clear();

    // Clears the roots and reads a registry fragment into them; false for an
    // empty buffer or a fragment that does not read (the reader's reason then
    // in `error`, when given).
    [[nodiscard]] bool loadXml(const void* data, std::size_t bytes, XmlParseError* error = nullptr);
    // "Registry" with each root that has content, when any has.
    void writeXml(XmlWriter& writer) const;

private:
    std::array<std::shared_ptr<RegistryKey>, kRootCount> roots_;
};

// Reads the registry elements of a document into a RegistryRootSet: the root
// elements, "Key" and "Value". Other element names are accepted and passed
// over, so a reader of a larger document hands every element to it.
class RegistryXmlReader {
public:
    // Without a target the registry elements are refused.
    explicit RegistryXmlReader(RegistryRootSet* target = nullptr) : target_(target) {}
    // A new target closes every open key.
    void setTarget(RegistryRootSet* target);

    // False when the element is refused: a root inside a root, a "Key" with
    // fewer than two attributes or nested deeper than kMaxRegistryKeyDepth
    // below its root, a "Value" without exactly three attributes or in a key
    // that refuses values (a root, a SystemReadOnly key), either with no key
    // open, an end tag with no key open.

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes);
    bool endElement(const XmlNameSpan& name);

private:
    RegistryRootSet* target_;
    std::vector<std::shared_ptr<RegistryKey>> open_;
};

// The element name of a root index; empty outside 0 to 3.
std::string_view registryRootElementName(int index);
// The written forms and their readings (exact compare): flags "Automatic",
// "Persistent", "SystemReadOnly"; formats "String", "Dword", "Expand". Unknown
// texts and values give Automatic and Dword.
extern const NameTable<std::int32_t> kRegistryFlagNames;
extern const NameTable<std::int32_t> kRegistryFormatNames;
SharedString registryFlagText(std::int32_t flag);
std::int32_t registryFlagFromText(std::u16string_view text);
SharedString registryFormatText(std::int32_t format);
std::int32_t registryFormatFromText(std::u16string_view text);

}  // namespace regmodel

// Root index to the predefined handle: 0x80000000 to 0x80000002, the
// user-dependent root the machine's for all users and the current user's
// otherwise; 0 for anything else.
std::uint32_t registryRootToHkey(int index, bool allUsers);
// The predefined handle to the root index: 0, 1, 2; 5 for anything else.
int hkeyToRegistryRoot(std::uint32_t hkey);

}  // namespace druvex
