// Fuzz target: an update bulletin as the server might send it, through the
// bulletin reader. A document that is taken holds a version, only fetchable
// addresses and only safe feature names; one that is refused leaves the
// bulletin empty.
#include <cstddef>
#include <cstdint>

#include "data/feature.h"
#include "liveupdate/update_bulletin.h"

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkAddress(const druvex::SharedString& url)
{
    require(url.isEmpty() || druvex::isFetchableUrl(url.view()));
}

void checkFeatures(const std::vector<druvex::FeaturePtr>& features)
{
    for (const druvex::FeaturePtr& feature : features) {
        require(druvex::isSafeBulletinName(feature->getNameRef().view()));
        checkAddress(feature->getUrl());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    druvex::UpdateBulletin bulletin;
    const bool taken = bulletin.parse(data, size, druvex::SharedString(u"http://127.0.0.1:8080/p/bulletin.xml"),
                                      true, (size & 1) != 0);
    if (!taken) {
        require(bulletin.getVersionCount() == 0 && bulletin.getEmptyInstallerCount() == 0 &&
                bulletin.getInstallerLanguageCount() == 0 && bulletin.getInstallerVersionText().isEmpty());
        return 0;
    }
    require(bulletin.getLatestVersion() != nullptr);
    for (int i = 0; i < bulletin.getEmptyInstallerCount(); ++i)
        checkAddress(bulletin.getEmptyInstaller(i)->url);
    for (int i = 0; i < bulletin.getInstallerLanguageCount(); ++i)
        checkAddress(bulletin.getInstallerLanguage(i)->url);
    for (int v = 0; v < bulletin.getVersionCount(); ++v) {
        const druvex::BulletinVersion& version = *bulletin.getVersion(v);
        std::vector<druvex::FeaturePtr> features;
        for (int i = 0; i < version.getFeatureCount(); ++i)
            features.push_back(version.getFeature(i));
        checkFeatures(features);
        for (int i = 0; i < version.getMergeProjectCount(); ++i)
            checkFeatures(version.getMergeProject(i)->features);
        for (int i = 0; i < version.getFullInstallerCount(); ++i)
            checkAddress(version.getFullInstaller(i).url);
        // The version's features come sorted by Name.
        for (int i = 1; i < version.getFeatureCount(); ++i)
            require(!(version.getFeature(i)->getNameRef().view() < version.getFeature(i - 1)->getNameRef().view()));
    }
    return 0;
}
