#include "liveupdate/update_patcher.h"

#include "core/app_log.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "liveupdate/live_update_context.h"
#include "liveupdate/update_bulletin.h"
#include "text/assertion_sites.h"
#include "text/diag.h"

namespace druvex {

namespace {

bool statusAdmits(std::int32_t status, const Feature& feature)
{
    if (status == kBulletinStatusNormal)
        return true;
    return status == kBulletinStatusOnlyPlatformIndependent && feature.getPlatforms() == kPlatformMaskAll;
}

// Where a feature that the installer data lacks goes: the item at the
// Name's part before its last '/'; without one, the "Feature" root for
// "Feature" itself and the "ExtraData" root for any other.
FeaturePtr parentFor(const InstallData& data, std::u16string_view name, std::u16string_view& leafName)
{
    const std::size_t slash = name.rfind(u'/');
    if (slash == std::u16string_view::npos) {
        leafName = name;
        return name == u"Feature" ? data.featureRoot() : data.extraDataRoot();
    }
    leafName = name.substr(slash + 1);
    return data.findItemByPath(name.substr(0, slash));
}

void addMissingFeature(InstallData& data, const Feature& bulletinFeature)
{
    std::u16string_view leafName;
    const FeaturePtr parent = parentFor(data, bulletinFeature.getNameRef().view(), leafName);
    if (!parent) {
        logPrintf(u"The bulletin's feature %s is left out: the installer data has no item for its parent",
                  bulletinFeature.getNameRef());
        reportDbgChk(kCheckBulletinFeatureWithoutParent);
        return;
    }
    FeaturePtr copy = Feature::clone(bulletinFeature, true);
    copy->setName(SharedString(leafName));
    copy->setUpdateState(kFeatureAddedByUpdate);
    if (!parent->addSubFeature(copy))
        logPrintf(u"The bulletin's feature %s could not be added", bulletinFeature.getNameRef());
}

}  // namespace

UpdatePatcher::UpdatePatcher(LiveUpdateContext& context) : context_(context) {}

UpdatePatcher::~UpdatePatcher() = default;

bool UpdatePatcher::loadBulletin(const void* bytes, std::size_t size)
{
    bulletin_ = std::make_shared<UpdateBulletin>();
    return bulletin_->parse(bytes, size, context_.liveUpdateUrl(), true, false);
}

bool UpdatePatcher::hasVersionRecord() const
{
    return bulletin_ && bulletin_->getLatestVersion();
}

bool UpdatePatcher::applyBulletin(bool apply)
{
    const BulletinVersionPtr version = bulletin_ ? bulletin_->getLatestVersion() : nullptr;
    if (!version)
        return false;
    InstallData& data = context_.getInstallData();
    const std::int32_t status = bulletin_->getStatus();
    for (int i = 0; i < version->getFeatureCount(); ++i) {
        const Feature& bulletinFeature = *version->getFeature(i);
        if (!statusAdmits(status, bulletinFeature))
            continue;
        const FeaturePtr installed = data.findItemByPath(bulletinFeature.getNameRef().view());
        if (!installed) {
            addMissingFeature(data, bulletinFeature);
            continue;
        }
        if (apply && bulletinFeatureDiffers(0, *installed, bulletinFeature)) {
            installed->assignFrom(bulletinFeature);
            installed->setUpdateState(kFeatureReplacedByUpdate);
        }
    }
    // A rejected bulletin changes nothing, its variables included.
    if (!apply || status == kBulletinStatusRejected)
        return true;
    // Copies, so that a script that changes an installer variable does not
    // change the held bulletin under a later application.
    const VariableSet& variables = version->getVariables();
    for (int i = 0; i < variables.count(); ++i)
        data.addOrReplace(variables.at(i)->clone());
    return true;
}

bool bulletinFeatureDiffers(std::int32_t mode, const Feature& installed, const Feature& bulletinFeature)
{
    if (installed.getFailed())
        return true;
    if (installed.getVersion() == bulletinFeature.getVersion()) {
        if (bulletinFeature.getInstalledCheck() || installed.getDigest() == bulletinFeature.getDigest())
            return false;
        if (mode == 3)
            return true;
        return installed.getTimestamp() < bulletinFeature.getTimestamp();
    }
    return !bulletinFeature.getVersion().isEmpty();
}

bool acceptsItemForInstallerType(std::int32_t installerType, const Feature& bulletinFeature)
{
    if (!isFetchableUrl(bulletinFeature.getUrl().view()))
        return false;
    if (installerType == kInstallerTypeWeb)
        return true;
    return !bulletinFeature.isFullInst() || !bulletinFeature.getVersion().isEmpty();
}

}  // namespace druvex
