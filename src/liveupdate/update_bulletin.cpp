#include "liveupdate/update_bulletin.h"

#include <algorithm>

#include "data/feature.h"

namespace druvex {

void BulletinVersion::sortFeatures()
{
    std::stable_sort(features_.begin(), features_.end(), [](const FeaturePtr& a, const FeaturePtr& b) {
        return a->getNameRef().view() < b->getNameRef().view();
    });
}

bool BulletinVersion::findBestPackage(std::int32_t installerPlatform, std::int32_t installerType,
                                      TargetPlatform targetPlatform, int& index, bool& platformMatched) const
{
    int bestScore = 0;
    for (std::size_t i = 0; i < fullInstallers_.size(); ++i) {
        const FullInstallerEntry& entry = fullInstallers_[i];
        if (!maskHasPlatform(entry.getTargetPlatformMask(), targetPlatform))
            continue;
        const bool samePlatform = entry.getInstallerPlatform() == installerPlatform;
        const bool sameType = entry.getInstallerType() == installerType;
        const int score = samePlatform ? (sameType ? 4 : 3) : (sameType ? 2 : 1);
        if (score == 4) {
            index = static_cast<int>(i);
            platformMatched = true;
            return true;
        }
        if (score > bestScore) {
            bestScore = score;
            index = static_cast<int>(i);
        }
    }
    platformMatched = bestScore == 3;
    return bestScore != 0;
}

bool UpdateBulletin::parse(const void* bytes, std::size_t size, const SharedString& baseUrl, bool sortFeatures,
                           bool acceptOldInstallerVersionName)
{
    // Read into a fresh bulletin and take it over only whole, so that a
    // refused document never leaves part of itself behind.
    UpdateBulletin read;
    const bool complete =
        parseBulletinXml(bytes, size, read, baseUrl, sortFeatures, acceptOldInstallerVersionName);
    *this = complete ? std::move(read) : UpdateBulletin();
    return complete;
}

BulletinVersionPtr UpdateBulletin::getLatestVersion() const
{
    return versions_.empty() ? nullptr : versions_.front();
}

BulletinVersionPtr UpdateBulletin::findVersionWithPackage(std::int32_t installerPlatform, std::int32_t installerType,
                                                          TargetPlatform targetPlatform) const
{
    for (std::size_t i = 1; i < versions_.size(); ++i) {
        int index = 0;
        bool matched = false;
        if (versions_[i]->findBestPackage(installerPlatform, installerType, targetPlatform, index, matched))
            return versions_[i];
    }
    return nullptr;
}

std::shared_ptr<EmptyInstallerEntry> UpdateBulletin::findEmptyInstaller(TargetPlatform platform) const
{
    for (const auto& entry : emptyInstallers_) {
        if (entry->platform == platform)
            return entry;
    }
    return nullptr;
}

std::shared_ptr<InstallerLanguageEntry> UpdateBulletin::findInstallerLanguage(std::uint32_t localeId) const
{
    for (const auto& entry : installerLanguages_) {
        if (entry->localeId == localeId)
            return entry;
    }
    return nullptr;
}

SharedString UpdateBulletin::getInstallerLanguageUrl(std::uint32_t localeId) const
{
    const std::shared_ptr<InstallerLanguageEntry> entry = findInstallerLanguage(localeId);
    return entry ? entry->url : SharedString();
}

}  // namespace druvex
