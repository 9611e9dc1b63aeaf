// What a run changes: the features it installs and the installed ones it
// removes, the space that takes, the revision it installs, the selection
// with its component features, and the program offered at the end.
#include "controller/installer_controller.h"

#include <limits>

#include "data/install_data.h"
#include "hal/hal_access.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "text/char_class.h"

namespace druvex {
namespace {

// How bulletinFeatureDiffers judges an installed feature: the same version
// installed, another version installed, or going back to this installer's
// revision.
constexpr std::int32_t kUpdateSameVersion = 1;
constexpr std::int32_t kUpdateOtherVersion = 2;
constexpr std::int32_t kUpdateRevert = 3;

// Sizes come from installer data and installed logs: a negative one counts
// as nothing, and the sum stops at the largest count rather than wrapping.
std::uint64_t addSize(std::uint64_t total, std::int64_t size)
{
    if (size <= 0)
        return total;
    const auto bytes = static_cast<std::uint64_t>(size);
    return bytes > std::numeric_limits<std::uint64_t>::max() - total ? std::numeric_limits<std::uint64_t>::max()
                                                                     : total + bytes;
}

std::uint64_t totalSize(const FeatureSelection& features)
{
    std::uint64_t total = 0;
    for (const FeaturePtr& feature : features)
        total = addSize(total, feature->getReqSpace());
    return total;
}

// Mode 2 on the feature or on one of its parents below the fixed roots: the
// user never sees it, so it cannot have been chosen on its own. The fixed
// roots themselves are hidden and would make every feature count.
bool isHiddenFromUser(const Feature& feature)
{
    for (const Feature* node = &feature; node && node->hasNamedParent(); node = node->parent()) {
        if (node->getMode() == FeatureMode::NotVisible)
            return true;
    }
    return false;
}

}  // namespace

FeaturePtr InstallerController::findInstalledFeatureFor(const Feature* current) const
{
    for (const auto& [installed, mapped] : installedFeatureMap_) {
        if (mapped.get() == current)
            return installed;
    }
    return nullptr;
}

void InstallerController::getFeatureChanges(FeatureSelection& toInstall, FeatureSelection& toRemove)
{
    toInstall.clear();
    toRemove.clear();

    const WizardMode mode = pageSequence_->getMode();
    if (mode == kModeRepairBroken || mode == kModeRepair) {
        for (int index = 0; index < installedLog_->getFeatureCount(); ++index) {
            const FeaturePtr& installed = installedLog_->getFeature(index);
            const SharedString path = installed->getName();
            FeaturePtr current = installData_->findItemByPath(path.view());
            if (!current)
                current = makeFeatureForPath(path);
            // A wiped installation goes whole, so the whole of it comes back.
            if (!current || (mode == kModeRepairBroken && !installed->getInstalledCheck() && !wipeOldInstallation_))
                continue;
            // The repair puts back exactly what was installed.
            current->assignFrom(*installed);
            toRemove.insert(installed);
            toInstall.insert(current);
        }
        return;
    }

    if (options_.uninstallFeature.isEmpty()) {
        std::int32_t kind = installedVersionComparison_ == 0 ? kUpdateSameVersion : kUpdateOtherVersion;
        if (revertToPreviousRevision_)
            kind = kUpdateRevert;
        for (const FeaturePtr& selected : selectedFeatures_) {
            const FeaturePtr installed = findInstalledFeatureFor(selected.get());
            if (!installed) {
                toInstall.insert(selected);
                continue;
            }
            // An earlier installation removed first, or the installation
            // wiped, takes this one's files with it: everything selected is
            // installed again.
            if (bulletinFeatureDiffers(kind, *installed, *selected) || !uninstallLaunchers_.empty() ||
                wipeOldInstallation_) {
                toInstall.insert(selected);
                toRemove.insert(installed);
            }
        }
    }

    for (const auto& [installed, current] : installedFeatureMap_) {
        if (current && !isFeatureSelected(current.get()))
            toRemove.insert(installed);
    }
    if (installedVersionComparison_ == 0)
        return;
    for (int index = 0; index < installedLog_->getFeatureCount(); ++index) {
        const FeaturePtr& installed = installedLog_->getFeature(index);
        bool hasCounterpart = false;
        for (const auto& [mappedInstalled, current] : installedFeatureMap_) {
            if (mappedInstalled == installed && current) {
                hasCounterpart = true;
                break;
            }
        }
        if (!hasCounterpart)
            toRemove.insert(installed);
    }
}

std::uint64_t InstallerController::computeRequiredSpace(bool netOfRemovals)
{
    FeatureSelection toInstall;
    FeatureSelection toRemove;
    getFeatureChanges(toInstall, toRemove);
    const std::uint64_t needed = totalSize(toInstall);
    if (!netOfRemovals)
        return needed;
    std::uint64_t freed = totalSize(toRemove);
    if (foreignInstalledLog_) {
        for (int index = 0; index < foreignInstalledLog_->getFeatureCount(); ++index)
            freed = addSize(freed, foreignInstalledLog_->getFeature(index)->getReqSpace());
    }
    return freed >= needed ? 0 : needed - freed;
}

VersionNumber InstallerController::getEffectiveRevision(bool considerBulletin) const
{
    VersionNumber revision = installData_->settings().getRevisionNumber();
    if (installedVersionComparison_ == 0 && !revertToPreviousRevision_ &&
        VersionNumber::compare(installedLog_->getRevisionNumber(), revision) > 0)
        revision = installedLog_->getRevisionNumber();
    if (!considerBulletin || !useOnlineFeature_)
        return revision;
    const std::shared_ptr<UpdateBulletin>& bulletin = updatePatcher_->getBulletin();
    const BulletinVersionPtr latest = bulletin ? bulletin->getLatestVersion() : nullptr;
    if (latest && VersionNumber::compare(latest->getRevNum(), revision) > 0)
        revision = latest->getRevNum();
    return revision;
}

void InstallerController::selectFeature(const FeaturePtr& feature)
{
    if (!feature)
        return;
    // In the set before its components are looked at, so that features that
    // name each other end the walk.
    selectedFeatures_.insert(feature);
    for (const SharedString& name : feature->componentFeatures()) {
        const FeaturePtr component = installData_->findItemByPath(name.view());
        if (component && !isFeatureSelected(component.get()))
            selectFeature(component);
    }
}

void InstallerController::deselectFeature(const FeaturePtr& feature)
{
    if (!feature)
        return;
    deselectWithHiddenComponents(feature);
    const std::vector<FeaturePtr> stillSelected = selectedFeatures_.features();
    for (const FeaturePtr& selected : stillSelected)
        selectFeature(selected);
}

void InstallerController::deselectWithHiddenComponents(const FeaturePtr& feature)
{
    selectedFeatures_.erase(feature.get());
    for (const SharedString& name : feature->componentFeatures()) {
        const FeaturePtr component = installData_->findItemByPath(name.view());
        if (component && isFeatureSelected(component.get()) && isHiddenFromUser(*component))
            deselectWithHiddenComponents(component);
    }
}

FeaturePtr InstallerController::makeFeatureForPath(const SharedString& path)
{
    const FeaturePtr root = installData_->featureRoot();
    FeaturePtr node = root;
    std::u16string_view rest = path.view();
    bool first = true;
    while (!rest.empty()) {
        const std::size_t slash = rest.find(u'/');
        const std::u16string_view part = rest.substr(0, slash);
        rest = slash == std::u16string_view::npos ? std::u16string_view() : rest.substr(slash + 1);
        if (part.empty())
            continue;
        // Installed features are named by their whole path, which starts
        // with the root's own name.
        if (first && equalsNoCase(part, root->getNameRef().view())) {
            first = false;
            continue;
        }
        first = false;
        FeaturePtr child = node->findSubFeatureByName(part);
        if (!child) {
            child = makeFeaturePtr();
            if (!child->setName(SharedString(part)) || !node->addSubFeature(child))
                return nullptr;
        }
        node = std::move(child);
    }
    // The root itself is no feature to install.
    return node == root ? nullptr : node;
}

SharedString InstallerController::getLaunchAppPath() const
{
    const SharedString launchApp = installData_->settings().getLaunchApp();
    if (launchApp == u"<None>")
        return {};
    if (!launchApp.isEmpty() && destination_) {
        const SharedString path = destination_->resolveHostPath(destination_->getFolder(), launchApp);
        if (!path.isEmpty() && targetHost_->exists(path, nullptr))
            return path;
    }
    return installedLog_->getProgramName();
}

}  // namespace druvex
