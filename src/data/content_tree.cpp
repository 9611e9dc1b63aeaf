#include "data/content_tree.h"

#include <algorithm>
#include <stdexcept>

namespace druvex {

void ContentVisitor::visitFile(ContentFile&) {}
void ContentVisitor::visitFolder(ContentFolder&) {}

int ContentItem::indexOf(std::u16string_view) const
{
    return -1;
}

bool ContentItem::addChild(std::shared_ptr<ContentItem>)
{
    return false;
}

void ContentItem::removeChild(const ContentItem*) {}

void ContentItem::clear() {}

int ContentItem::childCount() const
{
    return 0;
}

std::shared_ptr<ContentItem> ContentItem::childAt(int) const
{
    throw std::out_of_range("ContentItem::childAt: a file has no children");
}

void ContentItem::sort() {}

void ContentItem::copyFieldsTo(ContentItem& copy) const
{
    copy.name_ = name_;
    copy.flags_ = flags_;
    copy.timeValue_ = timeValue_;
}

SharedString ContentItem::pathFromRoot() const
{
    if (!parent_)
        return {};
    SharedString path = name_;
    for (const ContentItem* item = parent_; item->parent_; item = item->parent_)
        path = item->name_ + u"/" + path;
    return path;
}

void ContentItem::splitTopFolder(SharedString& top, SharedString& rest) const
{
    rest.clear();
    if (!parent_) {
        top = u"<TARGETDIR>";
        return;
    }
    const ContentItem* item = this;
    while (item->parent_->parent_) {
        rest = rest.isEmpty() ? item->name_ : item->name_ + u"/" + rest;
        item = item->parent_;
    }
    top = item->name_;
}

ContentFolder::~ContentFolder()
{
    // Children shared elsewhere must not keep pointing at a freed folder.
    for (const auto& child : children_)
        child->parent_ = nullptr;
}

std::shared_ptr<ContentItem> ContentFolder::clone() const
{
    auto copy = std::make_shared<ContentFolder>();
    copyFieldsTo(*copy);
    copy->link_ = link_;
    copy->children_.reserve(children_.size());
    for (const auto& child : children_)
        copy->addChild(child->clone());
    return copy;
}

int ContentFolder::indexOf(std::u16string_view name) const
{
    for (std::size_t i = 0; i < children_.size(); ++i) {
        if (children_[i]->getName().view() == name)
            return static_cast<int>(i);
    }
    return -1;
}

bool ContentFolder::addChild(std::shared_ptr<ContentItem> item)
{
    if (!item || item.get() == this)
        return false;
    // Only a folder with children can be one of this folder's ancestors: the
    // walk up is left out for the files a reader adds one after another.
    if (item->childCount() > 0) {
        for (const ContentItem* ancestor = parent_; ancestor; ancestor = ancestor->parent_) {
            if (ancestor == item.get())
                return false;
        }
    }
    item->parent_ = this;
    children_.push_back(std::move(item));
    return true;
}

void ContentFolder::removeChild(const ContentItem* item)
{
    const auto found = std::find_if(children_.begin(), children_.end(),
                                    [item](const std::shared_ptr<ContentItem>& child) { return child.get() == item; });
    if (found == children_.end())
        return;
    (*found)->parent_ = nullptr;
    children_.erase(found);
}

void ContentFolder::clear()
{
    for (const auto& child : children_)
        child->parent_ = nullptr;
    children_.clear();
}

std::shared_ptr<ContentItem> ContentFolder::childAt(int index) const
{
    if (index < 0 || index >= childCount())
        throw std::out_of_range("ContentFolder::childAt: index outside the children");
    return children_[static_cast<std::size_t>(index)];
}

void ContentFolder::sort()
{
    std::stable_sort(children_.begin(), children_.end(),
                     [](const std::shared_ptr<ContentItem>& a, const std::shared_ptr<ContentItem>& b) {
                         return contentSortsBefore(*a, *b);
                     });
    for (const auto& child : children_)
        child->sort();
}

DynamicFileLink* ContentFolder::dynamicLink(bool create)
{
    if (!create) {
        link_.reset();
        return nullptr;
    }
    if (!link_)
        link_.emplace();
    return &*link_;
}

bool contentSortsBefore(const ContentItem& a, const ContentItem& b)
{
    if (a.isFile() != b.isFile())
        return !a.isFile();
    return compareNoCase(a.getName().c_str(), b.getName().c_str()) < 0;
}

std::shared_ptr<ContentItem> ContentFile::clone() const
{
    auto copy = std::make_shared<ContentFile>();
    copyFieldsTo(*copy);
    copy->origPath_ = origPath_;
    copy->size_ = size_;
    copy->versionValue_ = versionValue_;
    return copy;
}

}  // namespace druvex
