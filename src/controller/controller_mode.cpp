// The choice of the wizard mode: the installed state checked against this
// installer, the installer data prepared for the target platform, and the
// page list of the mode chosen; also the steps of the installed-log load that
// map the installed features onto the installer data, and the start of an
// uninstallation.
#include "controller/installer_controller.h"

#include "controller/page_feature_selection_logic.h"
#include "controller/redistributables_manager.h"
#include "controller/uninstall_launcher.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "data/previous_settings.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"

namespace druvex {
namespace {

// A file whose Flags have this bit is not expected to stay on the target.
constexpr std::int32_t kUncheckedFileFlag = 2;

// Takes out, from the last child to the first, every sub-feature that serves
// none of the platforms in `mask`, together with what lies below it, and
// looks further into those that stay.
void removeFeaturesNotServing(const FeaturePtr& parent, std::int32_t mask,
                              std::vector<std::pair<FeaturePtr, FeaturePtr>>& removed)
{
    for (int index = parent->subFeatureCount() - 1; index >= 0; --index) {
        const FeaturePtr child = parent->subFeatureAt(index);
        if ((child->getPlatforms() & mask) != 0) {
            removeFeaturesNotServing(child, mask, removed);
            continue;
        }
        parent->removeSubFeature(child.get());
        removed.emplace_back(child, parent);
    }
}

}  // namespace

void InstallerController::prepareForMode(bool apply)
{
    makePackageCache();

    // Every preparation starts from the pristine settings, so the settings of
    // one platform never stay behind for the next.
    InstallerSettings& settings = installData_->settings();
    settings = settings_;
    const int platformIndex = installData_->findPlatformIndex(targetPlatform_);
    if (platformIndex >= 0) {
        InstallerSettings::Iterator entry;
        entry.start(installData_->platformAt(platformIndex)->settings());
        while (entry.next())
            settings.set(entry.key(), entry.value());
    }

    if (installedLog_->getFeatureCount() > 0 && installedVersionComparison_ == 0 && !checkInstalledLogVersion(apply))
        return;

    if (apply) {
        updatePatcher_->applyBulletin(useOnlineFeature_);
        redistributables_->registerDownloads();
    }
    redistributables_->runChecks();
    removeFeaturesNotServingTarget();
    evaluateInstalledFeatures();
    uninstallLaunchers_.clear();
    pageSequence_->buildForMode(chooseMode());
    applyPreviousSettingsData();
}

bool InstallerController::checkInstalledLogVersion(bool apply)
{
    const VersionNumber ours = VersionNumber::fromText(kInstallerVersion);
    const VersionNumber& writer = installedLog_->getInstallerVersion();
    const int writerAgainstOurs = VersionNumber::compare(writer, ours);
    if (writerAgainstOurs > 0) {
        logError(SharedString(u"The installed program was installed by installer version ") + writer.toText() +
                 u", newer than " + kInstallerVersion);
        setResult(kResultFailed);
        pageSequence_->insertAfterCurrent(kPageEndInstall);
        return false;
    }
    installedLogDiffers_ = writerAgainstOurs < 0 || isDailyBuild() != installedLog_->isDailyBuild();

    if (!isDailyBuild() || useOnlineFeature_ || separatePayload_)
        return true;
    const VersionNumber ourRevision = installData_->settings().getRevisionNumber();
    const VersionNumber& installedRevision = installedLog_->getRevisionNumber();
    if (VersionNumber::compare(installedRevision, ourRevision) <= 0 || revertToPreviousRevision_)
        return true;
    if (uiCallback_->reportNewerRevisionInstalled(ourRevision.toText()) != 0) {
        revertToPreviousRevision_ = true;
        return true;
    }
    // Staying on the installed revision: the update server may still offer it.
    if (!apply || !updatePatcher_->hasVersionRecord())
        return true;
    const BulletinVersionPtr latest = updatePatcher_->getBulletin()->getLatestVersion();
    if (latest && latest->getRevNum() == installedRevision)
        useOnlineFeature_ = true;
    return true;
}

void InstallerController::removeFeaturesNotServingTarget()
{
    removedFeatures_.clear();
    // Without any platform known no feature can be judged, and taking them
    // all out would leave nothing to install.
    const std::int32_t mask = getTargetPlatformMask();
    if (mask == 0)
        return;
    removeFeaturesNotServing(installData_->featureRoot(), mask, removedFeatures_);
    for (const auto& [feature, parent] : removedFeatures_)
        logInfo(SharedString(u"Feature not for the target platform: ") + parent->getName() + u"/" +
                feature->getNameRef());
}

WizardMode InstallerController::chooseMode()
{
    if (installedLog_->getFeatureCount() == 0) {
        if (options_.configMode == kConfigModeMake ||
            !findPreviousInstallation(targetHost_, *this, 0, uninstallLaunchers_)) {
            if (foreignInstalledLog_)
                uninstallLaunchers_.push_back(std::make_shared<ProgramUninstallLauncher>(*this));
            return kModeInstall;
        }
        installedVersionComparison_ = -1;
        uninstallCompatibility_ = 1;
        return kModeMaintenanceWithoutLog;
    }

    setLanguage(language_, languageCode_);
    if (options_.createBackup && options_.updateMode != kUpdateModeNewVersion)
        return kModeBackup;
    if (!installationBroken_ && installedVersionComparison_ < 0)
        findPreviousInstallation(targetHost_, *this, 1, uninstallLaunchers_);
    if (options_.updateMode != kUpdateModeNone)
        return kModeUpdate;
    return installationBroken_ ? kModeRepairBroken : kModeMaintenance;
}

namespace {

bool replacesAnotherVersion(WizardMode mode, std::int32_t installedVersionComparison)
{
    return (mode == kModeMaintenance || mode == kModeMaintenanceWithoutLog) && installedVersionComparison != 0;
}

}  // namespace

bool InstallerController::canModifyInstallation(WizardMode mode) const
{
    if (replacesAnotherVersion(mode, installedVersionComparison_))
        return true;
    switch (mode) {
    case kModeUpdate:
    case kModeAddRemove:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
        // Features of another version are not mixed with these: only the
        // same version is modified feature by feature.
        return installedVersionComparison_ == 0 && hasFeatureToInstall();
    case kModeNone:
    case kModeStart:
    case kModeInstall:
    case kModeUninstall:
    case kModeDownload:
    case kModeRepairBroken:
    case kModeRepair:
    case kModeBackup:
        return false;
    }
    return false;
}

WizardMode InstallerController::getModifyMode(WizardMode mode) const
{
    return replacesAnotherVersion(mode, installedVersionComparison_) ? mode : kModeAddRemove;
}

void InstallerController::compareInstalledVersion()
{
    installedVersionComparison_ =
        VersionNumber::compare(installedLog_->getProgramVersion(), installData_->settings().getProgramVersion());

    installedFeatureMap_.clear();
    for (int index = 0; index < installedLog_->getFeatureCount(); ++index) {
        const FeaturePtr& installed = installedLog_->getFeature(index);
        const SharedString path = installed->getName();
        FeaturePtr current = installData_->findItemByPath(path.view());
        if (!current && installedVersionComparison_ == 0) {
            current = makeFeatureForPath(path);
            if (current)
                current->assignFrom(*installed);
        }
        installedFeatureMap_.emplace_back(installed, current);
    }

    selectedFeatures_.clear();
    reselectedFeatureCount_ = 0;
    for (const auto& [installed, current] : installedFeatureMap_) {
        if (!current)
            continue;
        selectFeature(current);
        // An earlier run failed or skipped it: it is offered again.
        if (installed->getFailed())
            ++reselectedFeatureCount_;
    }
    if (language_ != 0)
        setLanguage(language_, languageCode_);
}

void InstallerController::checkInstalledFeatureFiles()
{
    missingFiles_.clear();
    for (int index = 0; index < installedLog_->getFeatureCount(); ++index) {
        const FeaturePtr& feature = installedLog_->getFeature(index);
        if (feature->getFailed())
            continue;
        const std::size_t missingBefore = missingFiles_.size();
        std::vector<std::shared_ptr<ContentItem>> pending;
        for (int item = feature->contentCount() - 1; item >= 0; --item)
            pending.push_back(feature->contentAt(item));
        while (!pending.empty()) {
            const std::shared_ptr<ContentItem> item = std::move(pending.back());
            pending.pop_back();
            if (!item->isFile()) {
                for (int child = item->childCount() - 1; child >= 0; --child)
                    pending.push_back(item->childAt(child));
                continue;
            }
            if ((item->getFlags() & kUncheckedFileFlag) != 0 || targetHost_->exists(item->getName(), nullptr))
                continue;
            logInfo(SharedString(u"Installed file missing: ") + item->getName());
            missingFiles_.push_back(item->getName());
        }
        if (missingFiles_.size() > missingBefore)
            feature->setInstalledCheck(true);
    }
}

void InstallerController::evaluateInstalledFeatures()
{
    installationBroken_ = false;
    canRepair_ = true;
    if (installedVersionComparison_ != 0)
        return;
    bool lastBulletinRead = false;
    for (int index = 0; index < installedLog_->getFeatureCount(); ++index) {
        const Feature& feature = *installedLog_->getFeature(index);
        if (feature.getInstalledCheck())
            installationBroken_ = true;
        // A feature with nothing to unpack is repaired without a package.
        if (!expectsPackage(feature) || packageSources_->contains(feature))
            continue;
        // A version that this installer does not carry came from the update
        // server. The bulletin of that run still names where its package
        // lies, also to a run that asks no server (a silent repair).
        if (!lastBulletinRead) {
            lastBulletinRead = true;
            if (registerLastBulletinPackages() && packageSources_->contains(feature))
                logInfo(SharedString(u"The cached bulletin names the package of ") + feature.getName() + u" " +
                        feature.getVersion());
        }
        if (!packageSources_->contains(feature))
            canRepair_ = false;
    }
}

void InstallerController::startUninstallation()
{
    wipeOldInstallation_ = false;
    selectedFeatures_.clear();
    const WizardPageId first = isDesktopTarget() && !options_.noWelcome ? kPageWelcome : kPageInstallation;
    makePackageCache();
    pageSequence_->reset(first);
    pageSequence_->buildForMode(kModeUninstall);
}

void InstallerController::applyPreviousSettingsData()
{
    const bool useConfig = options_.configMode == kConfigModeUse;
    if (!useConfig && !options_.rebootAsAdmin)
        return;
    // A configuration file holds a whole run; a relaunch only what its
    // wizard had got past.
    const WizardPageId startingPage = options_.rebootAsAdmin && !useConfig ? previousSettings_->getStartingPage()
                                                                           : kPagePrerequisites;
    if (useConfig || startingPage > kPageWelcome) {
        if (!previousSettings_->getTargetDir().isEmpty())
            setDestinationFolder(previousSettings_->getTargetDir());
        wipeOldInstallation_ = previousSettings_->getWipeOldInst();
        forAnyone_ = previousSettings_->getIsForAnyone();
        // The preselection first, as the feature page would make it; a
        // scratch logic, which runs no custom action and makes no other logic.
        PageFeatureSelectionLogic::makeScratch(*this)->evaluateSelection();
        for (const SharedString& name : previousSettings_->getFeaturesToInstall()) {
            const FeaturePtr feature = installData_->findItemByPath(name.view());
            if (feature && feature->getPresel() != FeaturePreselection::Required)
                selectFeature(feature);
        }
        previousSettings_->copyPersistentTo(*installData_);
    }
    if ((useConfig || startingPage > kPageLicense) && hasEulaInPayload())
        eula_ = findEula();
    redistributables_->runChecks();
}

}  // namespace druvex
