// UpdateBulletin: what the update server publishes for a product, read from
// its XML document: the product's versions (newest first) with their
// features, complete installers, merge projects and installer variables, the
// installers without payload and the installer languages. A bulletin comes
// from the network, so its reader refuses a damaged or hostile document as a
// whole and admits only http and https addresses that stay on the bulletin's
// server when they are relative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "app_base/target_platform.h"
#include "core/time_stamp.h"
#include "data/installer_configuration.h"
#include "data/installer_variable.h"
#include "data/version_number.h"
#include "text/shared_string.h"

namespace druvex {

class Feature;
using FeaturePtr = std::shared_ptr<Feature>;

// BulletinStatus: which of a bulletin's features may be taken.
constexpr std::int32_t kBulletinStatusNormal = 0;
constexpr std::int32_t kBulletinStatusOnlyPlatformIndependent = 1;
constexpr std::int32_t kBulletinStatusRejected = 2;

// A complete installer for the platforms of its configuration.
struct FullInstallerEntry : InstallerConfiguration {
    SharedString url;
    std::uint64_t size = 0;  // from a 32-bit attribute
};

// An installer without payload for one platform.
struct EmptyInstallerEntry {
    std::uint32_t revision = 0;
    TargetPlatform platform = kPlatformUnknown;
    std::uint64_t size = 0;
    SharedString digest;
    TimeStamp timeStamp;
    SharedString url;
    std::uint32_t updateMask = 0;
};

struct InstallerLanguageEntry {
    std::uint32_t localeId = 0;
    SharedString digest;
    SharedString url;
};

struct MergeProject {
    SharedString name;
    std::vector<FeaturePtr> features;
};

class BulletinVersion {
public:
    const VersionNumber& getVer() const { return ver_; }
    void setVer(const VersionNumber& ver) { ver_ = ver; }
    const VersionNumber& getRevNum() const { return revNum_; }
    void setRevNum(const VersionNumber& revNum) { revNum_ = revNum; }
    const SharedString& getReleaseNotes() const { return releaseNotes_; }
    void setReleaseNotes(const SharedString& notes) { releaseNotes_ = notes; }

    // The accessors by index throw std::out_of_range outside their lists.
    int getFeatureCount() const { return static_cast<int>(features_.size()); }
    const FeaturePtr& getFeature(int index) const { return features_.at(static_cast<std::size_t>(index)); }
    void addFeature(FeaturePtr feature) { features_.push_back(std::move(feature)); }
    // Stable, by Name in UTF-16 code-unit order.
    void sortFeatures();

    int getFullInstallerCount() const { return static_cast<int>(fullInstallers_.size()); }
    const FullInstallerEntry& getFullInstaller(int index) const
    {
        return fullInstallers_.at(static_cast<std::size_t>(index));
    }
    void addFullInstaller(FullInstallerEntry entry) { fullInstallers_.push_back(std::move(entry)); }

    int getLocaleIdCount() const { return static_cast<int>(localeIds_.size()); }
    std::uint16_t getLocaleId(int index) const { return localeIds_.at(static_cast<std::size_t>(index)); }
    void addLocaleId(std::uint16_t id) { localeIds_.push_back(id); }

    const VariableSet& getVariables() const { return variables_; }
    VariableSet& getVariables() { return variables_; }

    int getMergeProjectCount() const { return static_cast<int>(mergeProjects_.size()); }
    const std::shared_ptr<MergeProject>& getMergeProject(int index) const
    {
        return mergeProjects_.at(static_cast<std::size_t>(index));
    }
    void addMergeProject(std::shared_ptr<MergeProject> project) { mergeProjects_.push_back(std::move(project)); }

    // Among the complete installers whose target mask holds the platform:
    // score 4 when installer platform and type both equal the wanted ones
    // (taken at once), 3 for the platform only, 2 for the type only, 1 for
    // neither; else the first of the highest score. `platformMatched` is true
    // for a 4 or a 3. False when no installer covers the platform.
    bool findBestPackage(std::int32_t installerPlatform, std::int32_t installerType, TargetPlatform targetPlatform,
                         int& index, bool& platformMatched) const;

private:
    std::vector<FeaturePtr> features_;
    VersionNumber revNum_;
    VersionNumber ver_;
    SharedString releaseNotes_;
    std::vector<FullInstallerEntry> fullInstallers_;
    std::vector<std::uint16_t> localeIds_;
    VariableSet variables_;
    std::vector<std::shared_ptr<MergeProject>> mergeProjects_;
};

using BulletinVersionPtr = std::shared_ptr<BulletinVersion>;

class UpdateBulletin {
public:
    // Reads a document into this bulletin, replacing what it held. `baseUrl`
    // is the bulletin's own address; `sortFeatures` sorts each version's
    // features by Name; `acceptOldInstallerVersionName` also takes
    // "InstallerVer" as the installer version's attribute. True when the
    // document was read whole and holds a version; on false the bulletin is
    // left empty and one log line says why.
    bool parse(const void* bytes, std::size_t size, const SharedString& baseUrl, bool sortFeatures,
               bool acceptOldInstallerVersionName);

    std::int32_t getStatus() const { return status_; }
    void setStatus(std::int32_t status) { status_ = status; }

    // The first version (the latest); null when there is none.
    BulletinVersionPtr getLatestVersion() const;
    int getVersionCount() const { return static_cast<int>(versions_.size()); }
    bool hasSeveralVersions() const { return versions_.size() >= 2; }
    // Throws std::out_of_range outside the list.
    const BulletinVersionPtr& getVersion(int index) const { return versions_.at(static_cast<std::size_t>(index)); }
    void addVersion(BulletinVersionPtr version) { versions_.push_back(std::move(version)); }
    // The first version after the latest for which findBestPackage succeeds;
    // null when none.
    BulletinVersionPtr findVersionWithPackage(std::int32_t installerPlatform, std::int32_t installerType,
                                              TargetPlatform targetPlatform) const;

    int getEmptyInstallerCount() const { return static_cast<int>(emptyInstallers_.size()); }
    const std::shared_ptr<EmptyInstallerEntry>& getEmptyInstaller(int index) const
    {
        return emptyInstallers_.at(static_cast<std::size_t>(index));
    }
    void addEmptyInstaller(std::shared_ptr<EmptyInstallerEntry> entry) { emptyInstallers_.push_back(std::move(entry)); }
    // The first entry for the platform; null when none.
    std::shared_ptr<EmptyInstallerEntry> findEmptyInstaller(TargetPlatform platform) const;

    int getInstallerLanguageCount() const { return static_cast<int>(installerLanguages_.size()); }
    const std::shared_ptr<InstallerLanguageEntry>& getInstallerLanguage(int index) const
    {
        return installerLanguages_.at(static_cast<std::size_t>(index));
    }
    void addInstallerLanguage(std::shared_ptr<InstallerLanguageEntry> entry)
    {
        installerLanguages_.push_back(std::move(entry));
    }
    // The first entry with that id; null when none.
    std::shared_ptr<InstallerLanguageEntry> findInstallerLanguage(std::uint32_t localeId) const;
    // The url of the first entry with that id; empty when none.
    SharedString getInstallerLanguageUrl(std::uint32_t localeId) const;

    const VersionNumber& getInstallerVersion() const { return installerVersion_; }
    void setInstallerVersion(const VersionNumber& version) { installerVersion_ = version; }
    // Empty until an "Installer" element set the version.
    SharedString getInstallerVersionText() const { return installerVersion_.toText(); }

private:
    std::int32_t status_ = kBulletinStatusNormal;
    std::vector<BulletinVersionPtr> versions_;
    std::vector<std::shared_ptr<EmptyInstallerEntry>> emptyInstallers_;
    std::vector<std::shared_ptr<InstallerLanguageEntry>> installerLanguages_;
    VersionNumber installerVersion_;
};

// The bulletin reader: walks the document into `bulletin` (which the caller
// gives empty). True when the walk succeeded and the bulletin has a version;
// false at the first refusal, with one log line naming it.
bool parseBulletinXml(const void* bytes, std::size_t size, UpdateBulletin& bulletin, const SharedString& baseUrl,
                      bool sortFeatures, bool acceptOldInstallerVersionName);

// Whether the text is an address the installer may fetch: "http://" or
// "https://" (ignoring case), a host part without user information, and no
// blank or control character anywhere.
bool isFetchableUrl(std::u16string_view url);

// Makes a bulletin's address absolute: one that begins with "http://" or
// "https://" (ignoring case) is kept; any other is resolved against the
// parent folder of `baseUrl`, with every '\' made '/'. False, with `out`
// empty, when the result is not fetchable, or a relative address names
// another scheme or a drive, or climbs above the base's server. An empty
// address stays empty (and succeeds).
bool resolveBulletinUrl(const SharedString& baseUrl, const SharedString& url, SharedString& out);

// Whether a feature or merge-project Name from a bulletin is safe to use as
// a '/'-separated path: non-empty parts, none "." or "..", and none holding
// '\', ':', '*', '?', '"', '<', '>', '|' or a control character.
bool isSafeBulletinName(std::u16string_view name);

}  // namespace druvex
