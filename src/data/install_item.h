// InstallItem, the base of every record of the installer data that can be
// packed, selected or installed (features, custom actions, prerequisite checks,
// redistributables), and ContentHolder, the items that own a content tree of
// folders and files and name the redistributables they need. Also the names of
// the items' packed entries in the installer archive.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class ContentFolder;
class ContentItem;

// What storageKind answers: where the item's package lives.
constexpr int kStorageFeature = 0;
constexpr int kStorageRedistributable = 1;
constexpr int kStoragePrerequisiteCheck = 2;
constexpr int kStorageCustomAction = 3;

class InstallItem : public std::enable_shared_from_this<InstallItem> {
public:
    InstallItem(const InstallItem&) = delete;
    InstallItem& operator=(const InstallItem&) = delete;
    virtual ~InstallItem();

    virtual int storageKind() const = 0;
    // Base: replaces Name and succeeds.
    virtual bool setName(const SharedString& name);
    // Base: Name.
    virtual SharedString getName() const;

    // The Name field itself (a feature's getName is its full path).
    const SharedString& getNameRef() const { return name_; }
    // Prompt when it is not empty, else Name.
    SharedString getDisplayName() const;

    const SharedString& getPrompt() const { return prompt_; }
    void setPrompt(const SharedString& prompt) { prompt_ = prompt; }
    bool isFullInst() const { return fullInst_; }
    void setFullInst(bool fullInst) { fullInst_ = fullInst; }
    // A TargetPlatform mask; -1 for every platform.
    std::int32_t getPlatforms() const { return platforms_; }
    void setPlatforms(std::int32_t mask) { platforms_ = mask; }
    std::int64_t getReqSpace() const { return reqSpace_; }
    void setReqSpace(std::int64_t bytes) { reqSpace_ = bytes; }
    std::int64_t getCompressedSize() const { return compressedSize_; }
    void setCompressedSize(std::int64_t bytes) { compressedSize_ = bytes; }
    const SharedString& getUrl() const { return url_; }
    void setUrl(const SharedString& url) { url_ = url; }
    const SharedString& getDigest() const { return digest_; }
    void setDigest(const SharedString& digest) { digest_ = digest; }
    std::int64_t getTimestamp() const { return timestamp_; }
    void setTimestamp(std::int64_t timestamp) { timestamp_ = timestamp; }
    const SharedString& getVersion() const { return version_; }
    void setVersion(const SharedString& version) { version_ = version; }

    // Every field of this base, Name through the virtual setName.
    void assign(const InstallItem& other);

protected:
    InstallItem() = default;

private:
    SharedString name_;
    SharedString prompt_;
    bool fullInst_ = true;
    std::int32_t platforms_ = -1;
    std::int64_t reqSpace_ = 0;
    std::int64_t compressedSize_ = 0;
    SharedString url_;
    SharedString digest_;
    std::int64_t timestamp_ = 0;
    SharedString version_;
};

using InstallItemPtr = std::shared_ptr<InstallItem>;

// A new item behind a shared pointer, its self-reference set.
template <class T, class... Args>
std::shared_ptr<T> makeItemPtr(Args&&... args)
{
    return std::make_shared<T>(std::forward<Args>(args)...);
}

// Replaces what the pointer holds with a newly made item of its type.
template <class T>
void resetItemPtr(std::shared_ptr<T>& pointer)
{
    pointer = makeItemPtr<T>();
}

// The item's entry name in the archive: the base name (with `fullName` a
// feature's full path, for a redistributable "ExtraData/Redist/" and its Name,
// else its Name), '_', Version, '_', Digest, ".lzma", every '/' made '_'.
SharedString getArchiveName(const InstallItem& item, bool fullName);
// The folder and that name, joined.
SharedString getArchivePath(const SharedString& folder, const InstallItem& item, bool fullName);

class ContentHolder : public InstallItem {
public:
    ~ContentHolder() override;

    // True when a top-level item is not a target folder ("TARGETDIR",
    // "INSTALLDIR", "<TARGETDIR>", "<INSTALLDIR>" ignoring case), or a target
    // folder has children.
    virtual bool hasContent() const;

    // The root folder ("Folders"); the top-level items are its children.
    const std::shared_ptr<ContentFolder>& contentFolder() const { return content_; }
    int contentCount() const;
    // Throws std::out_of_range at or past the count.
    std::shared_ptr<ContentItem> contentAt(int index) const;
    bool addContent(std::shared_ptr<ContentItem> item);
    void clearContent();
    // The top-level item whose Name equals `name` exactly; -1 when none.
    int findContent(std::u16string_view name) const;
    // The files of the whole tree.
    int countFiles() const;

    int requiredRedistCount() const { return static_cast<int>(requiredRedists_.size()); }
    // Throws std::out_of_range outside the list.
    const SharedString& requiredRedistAt(int index) const;
    // False for an empty name; a name already listed is not added again.
    bool addRequiredRedist(const SharedString& name);
    void clearRequiredRedists() { requiredRedists_.clear(); }

    // The base fields, a clone of every content item, the required names.
    void assign(const ContentHolder& other);

protected:
    // The root "Folders" holding one empty "<TARGETDIR>".
    ContentHolder();

private:
    std::shared_ptr<ContentFolder> content_;
    std::vector<SharedString> requiredRedists_;
};

}  // namespace druvex
