// The content tree of an installable item: the folders and files its package
// puts on the target, each with its flags word, and for folders the rule by
// which the build takes a folder's files from a source folder.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class ContentFile;
class ContentFolder;

// Flag bits that other parts of the installer test.
constexpr std::int32_t kContentFlagManagedFolder = 4;   // bit 2
constexpr std::int32_t kContentFlagFolderFile = 8;      // bit 3: Feature::hasFolderFiles
constexpr std::int32_t kContentFlagForEveryone = 16;    // bit 4

// Both operations do nothing unless overridden; accept calls the one for the
// node's kind and the visitor decides whether to descend.
class ContentVisitor {
public:
    virtual ~ContentVisitor() = default;
    virtual void visitFile(ContentFile& file);
    virtual void visitFolder(ContentFolder& folder);
};

class ContentItem {
public:
    ContentItem(const ContentItem&) = delete;
    ContentItem& operator=(const ContentItem&) = delete;
    virtual ~ContentItem() = default;

    virtual bool isFile() const = 0;
    virtual void accept(ContentVisitor& visitor) = 0;
    // A deep copy without a parent.
    virtual std::shared_ptr<ContentItem> clone() const = 0;
    // The composite operations; a file has no children: -1, false, nothing, 0.
    // The index of the first child whose Name equals `name` exactly.
    virtual int indexOf(std::u16string_view name) const;
    virtual bool addChild(std::shared_ptr<ContentItem> item);
    virtual void removeChild(const ContentItem* item);
    virtual void clear();
    virtual int childCount() const;
    // Throws std::out_of_range at or past the count.
    virtual std::shared_ptr<ContentItem> childAt(int index) const;
    virtual void sort();

    // The folder holding this item; null for a tree's root or a detached item.
    ContentFolder* parent() const { return parent_; }
    const SharedString& getName() const { return name_; }
    void setName(const SharedString& name) { name_ = name; }
    std::int32_t getFlags() const { return flags_; }
    void setFlags(std::int32_t flags) { flags_ = flags; }
    void setFlagBit0(bool on) { flags_ = on ? (flags_ | 1) : (flags_ & ~1); }
    // The time stamp the package unpacker records for the node.
    std::uint64_t getTimeValue() const { return timeValue_; }
    void setTimeValue(std::uint64_t value) { timeValue_ = value; }

    // The names from this item up to its tree's root (not included), outermost
    // first, joined with '/'.
    SharedString pathFromRoot() const;
    // Without a parent: "<TARGETDIR>" and empty; a child of the root: its Name
    // and empty; deeper: the ancestor right below the root and the names below
    // it down to this item, joined with '/'.
    void splitTopFolder(SharedString& top, SharedString& rest) const;

protected:
    explicit ContentItem(const SharedString& name) : name_(name) {}
    void copyFieldsTo(ContentItem& copy) const;

private:
    friend class ContentFolder;
    ContentFolder* parent_ = nullptr;
    SharedString name_;
    std::int32_t flags_ = 0;
    std::uint64_t timeValue_ = 0;
};

// A folder that takes its files from a source folder when the installer is built.
struct DynamicFileLink {
    SharedString sourceFolder;
    bool includeSubFolders = true;
    bool selfRegister = false;
    bool includeAllFiles = true;
    // Used only when not all files are included.
    SharedString filterInclude;
    SharedString filterExclude;
};

class ContentFolder final : public ContentItem {
public:
    explicit ContentFolder(const SharedString& name = {}) : ContentItem(name) {}
    ~ContentFolder() override;

    bool isFile() const override { return false; }
    void accept(ContentVisitor& visitor) override { visitor.visitFolder(*this); }
    // Same Name, Flags, time value and dynamic link; the children cloned in order.
    std::shared_ptr<ContentItem> clone() const override;
    int indexOf(std::u16string_view name) const override;
    // Appends and becomes the item's parent. False for null and for a folder
    // that is this one or one of its ancestors (the tree would become a loop).
    bool addChild(std::shared_ptr<ContentItem> item) override;
    // Removes the child that is this very object, if present.
    void removeChild(const ContentItem* item) override;
    void clear() override;
    int childCount() const override { return static_cast<int>(children_.size()); }
    std::shared_ptr<ContentItem> childAt(int index) const override;
    // Folders before files, each kind by Name ignoring case (equal names keep
    // their order), then every child folder in turn.
    void sort() override;

    const std::vector<std::shared_ptr<ContentItem>>& children() const { return children_; }

    // With `create`, the link (a new one with the defaults when there is none);
    // without, the link is dropped and null returned.
    DynamicFileLink* dynamicLink(bool create);
    // Null when the folder has no link.
    const DynamicFileLink* findDynamicLink() const { return link_ ? &*link_ : nullptr; }

private:
    std::vector<std::shared_ptr<ContentItem>> children_;
    std::optional<DynamicFileLink> link_;
};

class ContentFile final : public ContentItem {
public:
    explicit ContentFile(const SharedString& name = {}) : ContentItem(name) {}

    bool isFile() const override { return true; }
    void accept(ContentVisitor& visitor) override { visitor.visitFile(*this); }
    std::shared_ptr<ContentItem> clone() const override;

    // Where the file was when the installer was built.
    const SharedString& getOrigPath() const { return origPath_; }
    void setOrigPath(const SharedString& path) { origPath_ = path; }
    std::uint64_t getSize() const { return size_; }
    void setSize(std::uint64_t size) { size_ = size; }
    // The file's version as the package records it.
    std::uint64_t getVersionValue() const { return versionValue_; }
    void setVersionValue(std::uint64_t value) { versionValue_ = value; }

private:
    SharedString origPath_;
    std::uint64_t size_ = 0;
    std::uint64_t versionValue_ = 0;
};

// The order of ContentFolder::sort: folders before files, each kind by Name
// ignoring case.
bool contentSortsBefore(const ContentItem& a, const ContentItem& b);

}  // namespace druvex
