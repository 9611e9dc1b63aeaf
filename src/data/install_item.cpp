#include "data/install_item.h"

#include <stdexcept>

#include "data/content_tree.h"
#include "data/variable_expansion.h"
#include "fileutil/file_util.h"

namespace druvex {
namespace {

class FileCounter final : public ContentVisitor {
public:
    void visitFile(ContentFile&) override { ++count; }
    void visitFolder(ContentFolder& folder) override
    {
        for (const auto& child : folder.children())
            child->accept(*this);
    }

    int count = 0;
};

}  // namespace

InstallItem::~InstallItem() = default;

bool InstallItem::setName(const SharedString& name)
{
    name_ = name;
    return true;
}

SharedString InstallItem::getName() const
{
    return name_;
}

SharedString InstallItem::getDisplayName() const
{
    return prompt_.isEmpty() ? name_ : prompt_;
}

void InstallItem::assign(const InstallItem& other)
{
    if (&other == this)
        return;
    setName(other.name_);
    prompt_ = other.prompt_;
    fullInst_ = other.fullInst_;
    platforms_ = other.platforms_;
    reqSpace_ = other.reqSpace_;
    compressedSize_ = other.compressedSize_;
    url_ = other.url_;
    digest_ = other.digest_;
    timestamp_ = other.timestamp_;
    version_ = other.version_;
}

SharedString getArchiveName(const InstallItem& item, bool fullName)
{
    SharedString name;
    switch (item.storageKind()) {
    case kStorageFeature:
        name = fullName ? item.getName() : item.getNameRef();
        break;
    case kStorageRedistributable:
        name = u"ExtraData/Redist/" + item.getNameRef();
        break;
    default:
        name = item.getNameRef();
        break;
    }
    name = name + u"_" + item.getVersion() + u"_" + item.getDigest() + u".lzma";
    name.replaceChar(u'/', u'_');
    return name;
}

SharedString getArchivePath(const SharedString& folder, const InstallItem& item, bool fullName)
{
    return joinPath(folder, getArchiveName(item, fullName));
}

ContentHolder::ContentHolder() : content_(std::make_shared<ContentFolder>(u"Folders"))
{
    content_->addChild(std::make_shared<ContentFolder>(u"<TARGETDIR>"));
}

ContentHolder::~ContentHolder() = default;

bool ContentHolder::hasContent() const
{
    for (const auto& item : content_->children()) {
        if (!isTargetDirToken(item->getName().view()))
            return true;
        if (item->childCount() > 0)
            return true;
    }
    return false;
}

int ContentHolder::contentCount() const
{
    return content_->childCount();
}

std::shared_ptr<ContentItem> ContentHolder::contentAt(int index) const
{
    return content_->childAt(index);
}

bool ContentHolder::addContent(std::shared_ptr<ContentItem> item)
{
    return content_->addChild(std::move(item));
}

void ContentHolder::clearContent()
{
    content_->clear();
}

int ContentHolder::findContent(std::u16string_view name) const
{
    return content_->indexOf(name);
}

int ContentHolder::countFiles() const
{
    FileCounter counter;
    content_->accept(counter);
    return counter.count;
}

const SharedString& ContentHolder::requiredRedistAt(int index) const
{
    if (index < 0 || index >= requiredRedistCount())
        throw std::out_of_range("ContentHolder::requiredRedistAt: index outside the list");
    return requiredRedists_[static_cast<std::size_t>(index)];
}

bool ContentHolder::addRequiredRedist(const SharedString& name)
{
    if (name.isEmpty())
        return false;
    for (const SharedString& present : requiredRedists_) {
        if (present == name)
            return true;
    }
    requiredRedists_.push_back(name);
    return true;
}

void ContentHolder::assign(const ContentHolder& other)
{
    if (&other == this)
        return;
    InstallItem::assign(other);
    content_->clear();
    for (const auto& item : other.content_->children())
        content_->addChild(item->clone());
    requiredRedists_ = other.requiredRedists_;
}

}  // namespace druvex
