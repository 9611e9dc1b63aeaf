// InstallerController: the one object that holds the installer's state for a
// whole run. It owns the payload archive, the page sequence and the current
// page's logic, the installer data, the installed log, the web downloader,
// the update patcher, the saved wizard state, the package sources and the UI
// callback, and it keeps the wizard state that pages, scripts and the
// installation engine read and write. It has no window and no thread of its
// own; the installation thread writes only the words it shares (result,
// flags, cancel request), which are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "app_base/installer_options.h"
#include "controller/application_services.h"
#include "controller/feature_selection.h"
#include "controller/earlier_installations.h"
#include "controller/install_result.h"
#include "controller/installed_product_registry.h"
#include "controller/installer_ui_callback.h"
#include "controller/language_file_manager.h"
#include "controller/language_template_map.h"
#include "controller/load_errors.h"
#include "controller/page_sequence.h"
#include "controller/wizard_controller.h"
#include "data/eula_record.h"
#include "data/installer_settings.h"
#include "data/merged_project.h"
#include "data/version_number.h"
#include "host/script_host_services.h"
#include "liveupdate/live_update_context.h"
#include "liveupdate/package_installer.h"
#include "payload/install_destination.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class BuildConfiguration;
class ControllerScriptServices;
class CustomActionHooks;
class FullBackupReader;
class HalAccess;
class InstallationProcessFactory;
class PackageCache;
class PackageFolderUnpacker;
class PageLogic;
class PageLogicFactory;
class PayloadArchive;
class PrerequisiteCheck;
class PreviousSettings;
class RedistributablesManager;
class UninstallLauncher;
class UpdatePatcher;
class WebDownloader;
class WStringMultimap;

// What the administrative-rights check finds in the way of installing.
enum class RightsCheck : std::int32_t {
    kRightsNoObstacle = 0,
    // The program is installed for another user.
    kRightsOtherOwner = 1,
    // Administrator rights are needed and the process has none.
    kRightsAdministratorNeeded = 2,
};
using enum RightsCheck;

class InstallerController final : public PageSequenceController,
                                  public InstalledProductsController,
                                  public DestinationContext,
                                  public LanguageFileController,
                                  public UiCallbackController,
                                  public WizardController {
public:
    // Copies the options; `sourceHost` is the machine that runs the installer,
    // `targetHost` the one being installed (the same object on the device).
    // Makes the work folder "DRUVEXInstaller<pid>" in the source host's
    // temporary folder.
    InstallerController(const InstallerOptions& options, std::shared_ptr<HalAccess> sourceHost,
                        std::shared_ptr<HalAccess> targetHost);
    // Stops the downloader first, so that no download reports into a
    // controller being taken apart; then leaves and destroys the current page
    // logic, drops the translation table and removes the work folder.
    ~InstallerController() override;
    InstallerController(const InstallerController&) = delete;
    InstallerController& operator=(const InstallerController&) = delete;

    // --- Run state and hosts ---------------------------------------------

    const InstallerOptions& getOptions() const override { return options_; }
    // The process runs with administrator rights (the device profile says).
    bool hasAdministratorRights() const override { return administratorRights_; }

    // The hosts by their short names: "in" is the source host, the machine
    // that runs the installer ("InAdmin" the same with administrator rights);
    // "out" is the target host, the machine being installed.
    std::shared_ptr<HalAccess> getHalIn() override { return sourceHost_; }
    std::shared_ptr<HalAccess> getHalIn() const override { return sourceHost_; }
    std::shared_ptr<HalAccess> getHalInAdmin() override { return sourceHostAdmin_; }
    std::shared_ptr<HalAccess> getHalOut() override { return targetHost_; }
    std::shared_ptr<HalAccess> getHalOut() const override { return targetHost_; }
    // The target host used where the target is not writable otherwise.
    std::shared_ptr<HalAccess> getHalOutElevated() const override { return targetHostElevated_; }

    PayloadArchive& getPayloadArchive() override { return *payloadArchive_; }
    PageSequence& getPageSequence() override { return *pageSequence_; }
    const PageSequence& getPageSequence() const override { return *pageSequence_; }
    InstallData& getInstallData() override { return *installData_; }
    const InstallData& getInstallData() const override { return *installData_; }
    BuildConfiguration& getBuildConfiguration() { return *buildConfiguration_; }
    const BuildConfiguration& getBuildConfiguration() const { return *buildConfiguration_; }
    const std::shared_ptr<InstalledLog>& getInstalledLog() const override { return installedLog_; }
    // An installed log of another program found at the destination; null when none.
    const std::shared_ptr<InstalledLog>& getForeignInstalledLog() const { return foreignInstalledLog_; }
    void setForeignInstalledLog(std::shared_ptr<InstalledLog> log) { foreignInstalledLog_ = std::move(log); }
    WebDownloader& getWebDownloader() override { return *webDownloader_; }
    UpdatePatcher& getUpdatePatcher() override { return *updatePatcher_; }
    PreviousSettings& getPreviousSettings() override { return *previousSettings_; }
    WStringMultimap& getPackageSources() override { return *packageSources_; }
    InstalledProductRegistry& getInstalledProducts() { return *installedProducts_; }

    // Where questions and messages go: the log-only answers until the
    // application puts its prompts in place (null restores those), before
    // any worker thread runs.
    const std::shared_ptr<InstallerUiCallback>& getUiCallback() const override { return uiCallback_; }
    void setUiCallback(std::shared_ptr<InstallerUiCallback> callback);

    // The destination record: null until the initialisation makes it.
    InstallDestination* getDestination() override { return destination_.get(); }
    // A new destination record over the target host, with `folder`.
    void makeDestination(const SharedString& folder = SharedString());
    // Empty while there is no destination record.
    SharedString getDestinationFolder() const override;
    // Makes the destination record when there is none.
    void setDestinationFolder(const SharedString& folder) override;

    RedistributablesManager& getRedistributables() override { return *redistributables_; }
    void setRedistributables(std::shared_ptr<RedistributablesManager> manager);
    void setCustomActionHooks(std::shared_ptr<CustomActionHooks> hooks);

    // The installation engine's maker of installation runs; none at first.
    void setInstallationProcessFactory(std::shared_ptr<InstallationProcessFactory> factory)
    {
        processFactory_ = std::move(factory);
    }
    const std::shared_ptr<InstallationProcessFactory>& getInstallationProcessFactory() const override
    {
        return processFactory_;
    }

    // The page logics the wizard's moves make; none at first.
    void setPageLogicFactory(std::shared_ptr<PageLogicFactory> factory) { pageLogicFactory_ = std::move(factory); }
    // The logic of the current page; null before the first move.
    PageLogic* getPageLogic() override { return pageLogic_.get(); }

    // The pristine settings read at load time, which every mode preparation
    // starts from.
    InstallerSettings& getSettings() { return settings_; }

    // An installed program is recorded when the installed log names the
    // program it installed (an InstalledProgramVersion), when the installed
    // log at the destination is another product's, or when the mode selection
    // found an earlier installation that left no log. An installed log that
    // lists features without naming a program version records installed
    // features only: the newer installer's bit 8, not bit 32.
    bool isInstalledProgramRecorded() const;
    std::int32_t getInstalledVersionComparison() const override { return installedVersionComparison_; }
    void setInstalledVersionComparison(std::int32_t comparison) { installedVersionComparison_ = comparison; }
    bool isInstalledLogDifferent() const { return installedLogDiffers_; }
    bool isInstallationBroken() const override { return installationBroken_; }
    bool canRepairInstalledFeatures() const { return canRepair_; }

    const FeatureSelection& getSelectedFeatures() const { return selectedFeatures_; }
    bool isFeatureSelected(const Feature* feature) const override { return selectedFeatures_.contains(feature); }

    TargetPlatform getTargetPlatform() const override { return targetPlatform_; }
    void setTargetPlatform(TargetPlatform platform) { targetPlatform_ = platform; }

    std::vector<std::shared_ptr<UninstallLauncher>>& getUninstallLaunchers() override { return uninstallLaunchers_; }

    std::uint16_t getLanguage() const override { return language_; }
    const SharedString& getLanguageCode() const override { return languageCode_; }
    // Makes the language and its display text current and selects the
    // language features anew (see chooseLanguage below).
    void setLanguage(std::uint16_t lcid, const SharedString& text) override;

    InstallResult getResult() const override { return result_.load(); }
    void setResult(InstallResult result) override { result_.store(result); }
    // Polled by the installation thread between its steps.
    bool isCancelRequested() const override { return cancelRequest_.load() != 0; }
    void setCancelRequested(bool requested) { cancelRequest_.store(requested ? 1 : 0); }

    bool getWipeOldInstallation() const override { return wipeOldInstallation_; }
    void setWipeOldInstallation(bool wipe) override { wipeOldInstallation_ = wipe; }
    std::uint64_t getRequiredSpace() const override { return requiredSpace_; }
    void setRequiredSpace(std::uint64_t bytes) override { requiredSpace_ = bytes; }
    bool isForAnyone() const override { return forAnyone_; }
    void setForAnyone(bool forAnyone) override { forAnyone_ = forAnyone; }
    bool getUseOnlineFeature() const { return useOnlineFeature_; }
    void setUseOnlineFeature(bool use) { useOnlineFeature_ = use; }
    bool isUpdateCheckDone() const { return updateCheckDone_; }
    void setUpdateCheckDone(bool done) { updateCheckDone_ = done; }
    bool isInstalledStateLoaded() const { return installedStateLoaded_; }
    bool isRebootRequired() const override { return rebootRequired_.load(); }
    void setRebootRequired(bool required) override { rebootRequired_.store(required); }
    // Bit 256 of the update mask of the newer installer the bulletin offers;
    // no Part gives it a reader.
    bool hasNewerInstallerFlag256() const { return newerInstallerFlag256_.load(); }
    void setNewerInstallerFlag256(bool set) { newerInstallerFlag256_.store(set); }
    bool isNewInstallerLaunchFailed() const { return newInstallerLaunchFailed_.load(); }
    void setNewInstallerLaunchFailed(bool failed) override { newInstallerLaunchFailed_.store(failed); }
    bool hasMadeChanges() const override { return madeChanges_.load(); }
    void setHasMadeChanges(bool changed) override { madeChanges_.store(changed); }
    bool getSkipFeatureChoice() override { return skipFeatureChoice_.load(); }
    void setSkipFeatureChoice(bool skip) override { skipFeatureChoice_.store(skip); }
    void addSkippedFeature(const SharedString& displayName) override;
    std::vector<SharedString> getSkippedFeatures() const override;
    void setFailureReason(const SharedString& reason) override;
    SharedString getFailureReason() const;
    void clearFailureReason();
    void addRunNotice(const SharedString& text) override;
    std::vector<SharedString> getRunNotices() const;
    bool isTethered() const { return tethered_; }
    void setTethered(bool tethered) { tethered_ = tethered; }
    bool getRevertToPreviousRevision() const { return revertToPreviousRevision_; }
    void setRevertToPreviousRevision(bool revert) { revertToPreviousRevision_ = revert; }
    std::int32_t getReselectedFeatureCount() const override { return reselectedFeatureCount_; }

    // The run's scratch folder: the temporary folder, "DRUVEXInstaller" and
    // the process id. It goes with everything in it when the controller
    // does, except the folders kept.
    SharedString getWorkFolder() const override { return workFolder_; }
    // A program started from `folder` (below the work folder) may outlive
    // this run, such as a newer installer handed over to: the folder stays.
    void keepInWorkFolder(const SharedString& folder);

    bool isRestore() const override { return restore_; }
    void setRestore(bool restore) { restore_ = restore; }
    const SharedString& getBackupPath() const override { return backupPath_; }
    void setBackupPath(const SharedString& path) override { backupPath_ = path; }
    RestoreResult getRestoreResult() const override { return restoreResult_.load(); }
    // A failed restore step: 1, whatever came before.
    void setRestoreFailed() override { restoreResult_.store(kRestoreFailed); }
    // 2, unless a step failed (or it is done already).
    void setRestoreDone() override;

    bool isInstallOnFeatureSelectionEnabled() const override { return installOnFeatureSelection_; }
    void setInstallOnFeatureSelectionEnabled(bool enabled) override { installOnFeatureSelection_ = enabled; }
    std::int32_t getRedistLastError() const override { return redistLastError_.load(); }
    void setRedistLastError(std::int32_t error) { redistLastError_.store(error); }
    void getLaunchProgramOverride(SharedString& program, SharedString& arguments) const override
    {
        program = launchProgramOverride_;
        arguments = launchArgumentsOverride_;
    }
    void setLaunchProgramOverride(const SharedString& program, const SharedString& arguments)
    {
        launchProgramOverride_ = program;
        launchArgumentsOverride_ = arguments;
    }

    std::map<SharedString, std::shared_ptr<PrerequisiteCheck>>& getPrerequisiteChecks() { return prerequisiteChecks_; }
    std::vector<MergedProjectPtr>& getMergedProjects() { return mergedProjects_; }
    std::int32_t getUninstallCompatibility() const { return uninstallCompatibility_; }
    void setUninstallCompatibility(std::int32_t compatibility) { uninstallCompatibility_ = compatibility; }
    bool isForcedTranslation() const override { return forcedTranslation_; }
    const std::set<std::uint16_t>& getLanguageIdsAvailableAsFiles() const override { return languageIdsAsFiles_; }
    bool isSeparatePayload() const { return separatePayload_; }
    void setSeparatePayload(bool separate) { separatePayload_ = separate; }
    std::vector<SharedString>& getMissingFiles() { return missingFiles_; }
    std::vector<std::uint8_t>& getLastBulletinBytes() { return lastBulletinBytes_; }
    LanguageTemplateMap& getLanguageTemplateMap() { return languageTemplateMap_; }

    // --- Derived answers ---------------------------------------------------

    bool isDesktopTarget() const override;
    // The target's bit once a target is chosen; before, the build's target
    // mask and-ed with AvailablePlatforms.
    std::int32_t getTargetPlatformMask() const override;
    // The installer is built for controllers.
    bool isRunningOnDevice() const;
    TargetPlatform getHostPlatform() const override;
    bool isRemoteDeviceTarget() const;
    bool hasFeatureToInstall() const override;
    // The welcome page's modify rule in `mode`. With this very version
    // installed, features can be added or removed when one is left to
    // choose. With another version installed (older, or newer and the
    // downgrade accepted), the maintenance modes put this installer's version
    // in its place, with the features chosen anew: that is how a wizard run
    // reaches what a silent run of the same installer does.
    bool canModifyInstallation(WizardMode mode) const;
    // The mode the welcome page's modify task runs in: the maintenance mode
    // itself where it replaces another installed version, else the add or
    // remove mode.
    WizardMode getModifyMode(WizardMode mode) const;
    bool isDailyBuild() const;
    SharedString getProgramName() const override;
    bool isLiveUpdateAvailable() const;
    bool isProxyConnection() const;
    SharedString getPreviousSettingsPath() const override;
    // The wizard state a relaunch takes back, into the saved settings: the
    // language, tethering, target platform, wipe flag, destination, users,
    // online features, update check, revision choice, full backup, the
    // selected features that are not required, the persistent installer
    // variables, and last the mode and the page after the current one.
    void collectSettings(PreviousSettings& settings) const override;
    // The same into the controller's own saved settings.
    void collectSettings() { collectSettings(*previousSettings_); }
    // "{1} Installer", filled with ProgramShortName when it is preferred, the
    // screen type is 0 and the name is not empty; else with ProgramName.
    SharedString getInstallerTitle(bool preferShortName) const override;

    // --- Variables and hooks -------------------------------------------------

    // The folder text with its variables expanded for the platform of the
    // source or the target host's device type and the destination folder;
    // empty when the expansion fails.
    SharedString solveHalFolder(bool sourceSide, const SharedString& text) const;
    // The text with its variables expanded for the target and the destination
    // folder (or `folder`), with the for-anyone flag; empty when it fails.
    SharedString expandVariables(const SharedString& text) const override;
    SharedString expandVariablesFor(const SharedString& text, const SharedString& folder) const;
    // Runs the custom actions bound to the hook point.
    bool runHook(const SharedString& hook) override;

    // --- Product data folders ----------------------------------------------

    // The host's installer path, then "merge projects" when `merge`, then `name`.
    SharedString getProductDataRoot(HalAccess& host, bool merge, const SharedString& name) const override;
    // The product data root of ProgramUuid on the target host.
    SharedString getProductDataFolder() const override;
    // For a remote device target a folder on the source host (ProgramUuid
    // with "-forMobile"); else the product data folder.
    SharedString getLocalProductDataFolder() const override;
    SharedString getPackagesFolder() const;
    SharedString getRollbackFolder() const override;
    SharedString getLocalRollbackFolder() const;

    // --- Licence -----------------------------------------------------------

    // The licence of the installer data for the current language: the
    // sub-item of "ExtraData/EULA" that serves the language best. Null when
    // there is none.
    EulaRecordPtr findEula() const override;
    // The licence the user accepts; null at first.
    const EulaRecordPtr& getEula() const override { return eula_; }
    void setEula(EulaRecordPtr eula) override { eula_ = std::move(eula); }
    // The licence accepted when the program was installed.
    EulaRecordPtr getInstalledEula() const;
    // Both exist and have the same name, locale id and path.
    static bool isSameEula(const EulaRecordPtr& a, const EulaRecordPtr& b);
    bool hasEulaInPayload() const override;
    bool isEulaAlreadyAccepted() const override;
    // Holds the installer's licence when the installed one is the same.
    void takeInstalledEula();

    // --- Page moves --------------------------------------------------------

    // Asks the current page's logic, then moves; false when it refuses.
    // True at the last page too, where nothing moves.
    bool next();
    bool back();
    // Replaces the current page logic by the logic of page `id`; the old one
    // sees the new id first and goes after the new one is made.
    void createPageLogic(WizardPageId id) override;

    // --- What lower libraries take from the controller ---------------------

    bool hasNewInstallerEntry() const override;
    bool needsRedistributables() override;

    // The package cache, made on first use when no mode preparation made it.
    PackageCache& packageCache() override;
    // A new "No cache" package cache over the packages folder, logged.
    void makePackageCache();
    WizardMode getWizardMode() override { return pageSequence_->getMode(); }
    void getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target) override;

    const InstallerConfiguration& installerConfiguration() const override;
    // The command line's address, else LiveUpdateUrl.
    SharedString liveUpdateUrl() const override;
    // The program file's folder.
    SharedString installerFolder() const override;
    std::shared_ptr<Feature> findLanguageTemplateFeature(const LanguageTemplate& languageTemplate) override;
    void buildPageSequenceForMode(WizardMode mode) override { pageSequence_->buildForMode(mode); }
    void setNewVersionDownload(const SharedString& url, std::uint32_t size, const SharedString& target) override;

    // --- Mode selection, feature changes, uninstall launchers --------------

    // Chooses the wizard mode from the installed state, the options and the
    // update bulletin, and builds its page list: the installer data gets the
    // pristine settings with the target platform's own over them and loses
    // the features that do not serve the target. With `apply` the bulletin
    // is applied and the redistributables' downloads registered. An
    // installed log that a newer installer wrote ends the run instead:
    // result 1 and the end page next.
    void prepareForMode(bool apply);
    // At the installed-log load: the installed program version against
    // ProgramVersion, each installed feature mapped to the installer data's
    // feature of its path (made from the installed record when the data
    // lacks it and the versions are equal), and those selected again.
    void compareInstalledVersion();
    // At the installed-log load: every file of the installed features (those
    // that did not fail) that is missing on the target goes to the missing
    // files, and a feature missing one gets the installed-check mark.
    void checkInstalledFeatureFiles();
    // Broken: an installed feature misses files; repairable: the package
    // source store knows every installed feature, the packages that the
    // cached bulletin names counted. Only for equal versions.
    void evaluateInstalledFeatures();
    // The uninstallation's page list (mode 5), starting on the welcome page
    // of a desktop target unless no_welcome says otherwise, else on the
    // installation page.
    void startUninstallation();
    // One feature remover per action that scripts queued for other installed
    // products, in order.
    void queueInstalledProductActions() override;

    // Each installed feature with the feature of the installer data it
    // stands for, in the installed log's order; a feature the data lacks has
    // none (null).
    const std::vector<std::pair<FeaturePtr, FeaturePtr>>& getInstalledFeatureMap() const
    {
        return installedFeatureMap_;
    }
    // The features the last mode preparation took out of the installer data,
    // each with its former parent.
    const std::vector<std::pair<FeaturePtr, FeaturePtr>>& getRemovedFeatures() const { return removedFeatures_; }

    // The features the run installs and the installed ones it removes (a
    // feature replaced is in both), each set in a stable order.
    void getFeatureChanges(FeatureSelection& toInstall, FeatureSelection& toRemove) override;
    // The bytes the features to install take; `netOfRemovals` subtracts those
    // of the features removed and of the foreign program. Never below 0.
    std::uint64_t computeRequiredSpace(bool netOfRemovals) override;
    // The revision the run installs: RevisionNumber, or a higher installed
    // one (same version, not reverting), or with `considerBulletin` a higher
    // one of the bulletin's latest version when online features are used.
    VersionNumber getEffectiveRevision(bool considerBulletin) const override;
    // Selects the feature and, in turn, the features its ComponentFeatures name.
    void selectFeature(const FeaturePtr& feature) override;
    // Deselects the feature and those of its components that the user cannot
    // see (mode 2 themselves or in a parent); a component another selected
    // feature names stays selected.
    void deselectFeature(const FeaturePtr& feature) override;
    // The feature at the '/'-separated path below the "Feature" root (a
    // leading "Feature" names the root), made with its missing parents.
    FeaturePtr makeFeatureForPath(const SharedString& path);
    // The program to offer after the installation: LaunchApp in the
    // destination folder when it exists there, else the program the
    // installed log names; empty for "<None>".
    SharedString getLaunchAppPath() const override;

    // The engine's finders of earlier installations and its device
    // uninstallers; null restores the one that finds nothing.
    EarlierInstallations& getEarlierInstallations() override { return *earlierInstallations_; }
    void setEarlierInstallations(std::shared_ptr<EarlierInstallations> installations);

    // --- Relaunch, child installers and saved state -------------------------

    // The command line of another installer started for this run: the
    // leading text, then, each after one blank, "empty_installer <handle>
    // "<path>"" (with `emptyInstaller` and a path), the update mode,
    // formobile, uninstall_mode, create_backup with its two texts,
    // override_live_update_url, use_config or make_config with its file,
    // silent_mode, check_for_updates, dont_remove_orig_installer,
    // purge_shared_data, show_message_for_debug, and use_full_installer when
    // the archive is not the program file. Texts that must stay one word are
    // quoted.
    SharedString buildChildCommandLine(bool emptyInstaller, std::uint32_t handle, const SharedString& installerPath,
                                       const SharedString& leadingText) const;
    // The child command line of this run's own empty-installer option and path.
    SharedString buildRelaunchCommandLine(const SharedString& leadingText) const;
    // The child command line of the program file as an empty installer
    // waiting on `handle`; false when the program file is not known.
    bool buildEmptyInstallerCommandLine(std::uint32_t handle, SharedString& commandLine) const;
    // What stands in the way of installing; with kRightsOtherOwner the other
    // user's name goes to `owner`.
    RightsCheck checkAdministrativeRights(SharedString& owner) const;
    // Collects the wizard state and writes "PreviousSettings.xml" into the
    // local product data folder (made as needed), then the last bulletin.
    // False when either cannot be written: the run must not relaunch then.
    bool saveSettingsForRelaunch();
    // In a "use_config" run or one started with "reboot_as_admin": reads the
    // saved state (the relaunch's "PreviousSettings.xml", deleted once read,
    // else the configuration file) and takes its run state back: tethering,
    // online features, update check, revision choice, target platform,
    // language, full backup; after a relaunch also the mode and the page.
    // False only when the configuration file of a "use_config" run cannot be
    // read: that run must not go on without it.
    bool applyPreviousSettings();
    // In a "use_config" run or one started with "reboot_as_admin", after a
    // mode is chosen: the saved destination, wipe and users choices and
    // features (over the preselection), its persistent variables and the
    // licence's acceptance, as far as the saved starting page had got; then
    // the redistributables' checks again.
    void applyPreviousSettingsData();
    // The saved state was read at start-up and is taken back.
    bool hasPreviousSettings() const { return previousSettingsLoaded_; }
    // Writes the last bulletin's bytes to "last_bulletin.xml" in the product
    // data folder; with no bytes nothing is written (a cached bulletin stays).
    bool saveLastBulletin() override;
    // Reads "last_bulletin.xml" into the update patcher; when it parses,
    // keeps its bytes and registers its packages (registerBulletinPackages).
    [[nodiscard]] bool loadLastBulletin();
    // Adds the download of every feature of the update patcher's latest
    // bulletin version that this installer takes from the server to the
    // package sources: a feature the bulletin brings or makes newer has no
    // package anywhere else. For a cached bulletin and a downloaded one alike.
    void registerBulletinPackages();
    // The same for the bulletin in "last_bulletin.xml", which is read
    // without being held or applied; false when there is none that parses.
    bool registerLastBulletinPackages();
    bool deleteLastBulletin() override;
    // The uninstall compatibility at the installed-log load: 1, unless the
    // installed log asks for an installer newer than this one; then 3, or
    // the answer (1 to 3) of the installed "setup.exe" to
    // "query_min_ver_for_uninst 5.1" within 8,000 ms.
    void queryInstalledInstaller();
    // The other side of that query, answered by the installed copy from its
    // installed log: 1 when an installer of `version` may remove this
    // installation (the version is not below the log's MinAuto, or there is
    // no installation), 3 otherwise (also when the version or the log cannot
    // be read). Runs nothing and changes nothing.
    std::uint32_t answerUninstallQuery(const SharedString& version) const;
    // The device's application launcher wants to hear of the run's end: a
    // device installer for a total station of type 17 (platform 2), unless a
    // download run has just started the newer installer.
    bool needsLauncherNotification() const;

    // --- Silent run ------------------------------------------------------------

    // Walks the page list from the current page to the end page, each page
    // logic acting without a user. True when the end page was reached with
    // a completed result (for a download run: and the newer installer was
    // started). False, with a log line, at missing rights, a refusing page
    // logic, a missing page logic and a page list that does not move on.
    bool runUnattended();
    // Why the last silent run failed, for a person: where it stopped and the
    // reason the step that stopped it gave; empty after a run that succeeded.
    const SharedString& getUnattendedFailure() const { return unattendedFailure_; }

    // --- Loading, initialisation and the installer language ----------------

    // Opens the installer archive (`payloadPath`; when empty "setup.dqres"
    // beside the program, else the program file itself), takes the installer
    // data from "data.xml" beside a separate "setup.dqres" when that parses,
    // else from the verified entry "Data", the build configuration from
    // "InstallerInfo", merges the projects and extracts the theme bitmaps.
    // False with `error` kPayloadErrorOpen, ...NoEntry, ...Checksum,
    // ...Format or kLoadErrorInstallerInfo.
    [[nodiscard]] bool loadInstallData(const SharedString& payloadPath, int& error);
    // Every entry "MergeProjectData_<name>" becomes a merged project whose
    // data names that program and carries a ProgramUuid; false at the first
    // that does not.
    bool mergeProjects();
    // Prepares what the wizard needs before its first page: package sources,
    // language files, target platform, languages, banners, the "update" and
    // "custom" folders, the first page, the installed state and the
    // prerequisite checks. False with kLoadErrorNoInstalledLog for a program
    // named "setup" that finds no "InstalledLog.xml" beside it.
    bool initialize(int& error);
    // loadInstalledLog, then the theme that "_config.xml" in the destination
    // folder names.
    [[nodiscard]] bool loadInstalledState();
    // Reads "InstalledLog.xml" from the product data folder. False, with the
    // installed log empty, when there is none, it does not read, lists no
    // feature or belongs to another program (then kept as the foreign log).
    // A file that does not read is left as it is.
    [[nodiscard]] bool loadInstalledLog();
    // The checks of the archive's "ExtraData/ReqInfo" packages, one per folder.
    void loadPrerequisiteChecks();

    // The sub-features of the main language feature that carry a language,
    // in order of their names: the languages the installer offers.
    std::vector<FeaturePtr> getLanguageFeatures() const;
    // The language to start with: the custom language when offered, else the
    // device's user locale or its nearest offered relative, else English,
    // else the first offered; 0 when none is offered.
    std::uint16_t chooseLanguage() const override;
    // Pairs each language template with the feature it names.
    void buildLanguageTemplateMap();
    // Null when the map pairs no template with the feature.
    LanguageTemplatePtr findLanguageTemplate(const Feature* feature) const override;
    // The feature "AdditionalLanguages" with one sub-feature per language of
    // the "UserSelectOthers" features, each naming those features'
    // sub-features for it as its components; nothing for fewer than two
    // languages.
    void buildAdditionalLanguages();
    // "AdditionalLanguages" under the feature root; null when none.
    FeaturePtr findAdditionalLanguagesFeature() const;
    // Makes the installed log's language current, adding it to the main
    // language feature when that lacks it.
    void applyInstalledLanguage();

    // The application's part of the load; null restores the one that
    // extracts nothing.
    void setApplicationServices(std::shared_ptr<ApplicationServices> services);
    // The banner entries the welcome page shows, in the order recorded.
    const std::vector<BannerTableEntry>& getBannerTable() const { return bannerTable_; }
    // Adds the entry unless its name is there already.
    void recordBanner(const SharedString& name, std::int32_t number);

    // --- Scripts, custom actions and redistributables ------------------------

    // The installer state that the installer functions of scripts reach.
    InstallerScriptServices* getInstallerScriptServices() override;
    // The custom-action context (the hook points' actions).
    CustomActionHooks& getCustomActionHooks() override { return *customActionHooks_; }
    // Unpacks the packages of custom actions kept in the archive and of the
    // redistributables; none until the application gives the engine's.
    const std::shared_ptr<PackageFolderUnpacker>& getPackageFolderUnpacker() const { return packageFolderUnpacker_; }
    void setPackageFolderUnpacker(std::shared_ptr<PackageFolderUnpacker> unpacker);

    // --- What the page logics keep in the controller -------------------------

    // The bytes of the installation in the destination folder that a wipe
    // gives back; the destination page's space computation writes it from
    // its own thread.
    std::uint64_t getOldInstallationSize() const override { return oldInstallationSize_.load(); }
    void setOldInstallationSize(std::uint64_t bytes) override { oldInstallationSize_.store(bytes); }
    // What the welcome page's uninstall choice handed over.
    std::int32_t getUninstallChoice() const { return uninstallChoice_; }
    void setUninstallChoice(std::int32_t choice) { uninstallChoice_ = choice; }
    // The lines that describe the chosen full backup.
    std::vector<SharedString>& getBackupDescription() override { return backupDescription_; }
    // Reads a full backup's information for the welcome page; none until the
    // engine gives its restorer (a backup then cannot be opened).
    const std::shared_ptr<FullBackupReader>& getFullBackupReader() const { return fullBackupReader_; }
    void setFullBackupReader(std::shared_ptr<FullBackupReader> reader) { fullBackupReader_ = std::move(reader); }

private:
    std::atomic<std::uint64_t> oldInstallationSize_{0};
    std::int32_t uninstallChoice_ = 0;
    std::vector<SharedString> backupDescription_;
    std::shared_ptr<FullBackupReader> fullBackupReader_;

private:
    std::unique_ptr<ControllerScriptServices> scriptServices_;
    std::shared_ptr<PackageFolderUnpacker> packageFolderUnpacker_;

private:
    void removeWorkFolder();
    // Deletes the folder with its files and sub-folders through the source
    // host, leaving the folders in `kept` (and so their parents) standing.
    // True when the folder is gone.
    bool removeFolderTree(const SharedString& folder, const std::vector<SharedString>& kept);

    // Declared (and so made) in the order of construction; the destructor
    // stops what could call back into them before any is released.
    InstallerOptions options_;
    bool administratorRights_ = true;
    std::shared_ptr<HalAccess> sourceHost_;
    std::shared_ptr<HalAccess> sourceHostAdmin_;
    std::shared_ptr<HalAccess> targetHost_;
    std::shared_ptr<HalAccess> targetHostElevated_;
    SharedString workFolder_;
    Mutex keptMutex_;
    std::vector<SharedString> keptInWorkFolder_ GUARDED_BY(keptMutex_);
    std::unique_ptr<PayloadArchive> payloadArchive_;
    std::unique_ptr<InstallData> installData_;
    std::shared_ptr<InstalledLog> installedLog_;
    std::shared_ptr<InstalledLog> foreignInstalledLog_;
    std::unique_ptr<BuildConfiguration> buildConfiguration_;
    std::unique_ptr<WebDownloader> webDownloader_;
    std::unique_ptr<WStringMultimap> packageSources_;
    std::unique_ptr<PreviousSettings> previousSettings_;
    std::unique_ptr<UpdatePatcher> updatePatcher_;
    std::unique_ptr<PageSequence> pageSequence_;
    std::shared_ptr<InstallerUiCallback> uiCallback_;
    std::shared_ptr<RedistributablesManager> redistributables_;
    std::shared_ptr<CustomActionHooks> customActionHooks_;
    std::unique_ptr<InstalledProductRegistry> installedProducts_;
    std::unique_ptr<InstallDestination> destination_;
    std::unique_ptr<PackageCache> packageCache_;
    std::shared_ptr<InstallationProcessFactory> processFactory_;
    std::shared_ptr<PageLogicFactory> pageLogicFactory_;
    std::unique_ptr<PageLogic> pageLogic_;

    InstallerSettings settings_;
    std::int32_t installedVersionComparison_ = 0;
    bool installedLogDiffers_ = false;
    bool installationBroken_ = false;
    bool canRepair_ = false;
    FeatureSelection selectedFeatures_;
    TargetPlatform targetPlatform_ = kPlatformCount;
    std::vector<std::shared_ptr<UninstallLauncher>> uninstallLaunchers_;
    std::uint16_t language_ = 0;
    SharedString languageCode_;
    std::atomic<InstallResult> result_{kResultCompleted};
    std::atomic<std::int32_t> cancelRequest_{0};
    bool wipeOldInstallation_ = false;
    std::uint64_t requiredSpace_ = 0;
    bool forAnyone_ = true;
    bool useOnlineFeature_ = true;
    bool updateCheckDone_ = false;
    bool installedStateLoaded_ = false;
    std::atomic<bool> rebootRequired_{false};
    std::atomic<bool> newInstallerLaunchFailed_{false};
    std::atomic<bool> newerInstallerFlag256_{false};
    std::atomic<bool> madeChanges_{false};
    std::atomic<bool> skipFeatureChoice_{false};
    bool tethered_ = false;
    bool revertToPreviousRevision_ = false;
    std::int32_t reselectedFeatureCount_ = 0;
    bool restore_ = false;
    SharedString backupPath_;
    std::atomic<RestoreResult> restoreResult_{kRestoreNone};
    bool installOnFeatureSelection_ = true;
    std::atomic<std::int32_t> redistLastError_{0};
    SharedString launchProgramOverride_;
    SharedString launchArgumentsOverride_;
    EulaRecordPtr eula_;

    std::map<SharedString, std::shared_ptr<PrerequisiteCheck>> prerequisiteChecks_;
    std::vector<MergedProjectPtr> mergedProjects_;
    std::int32_t uninstallCompatibility_ = 1;
    bool forcedTranslation_ = false;
    std::set<std::uint16_t> languageIdsAsFiles_;
    bool separatePayload_ = false;
    std::vector<SharedString> missingFiles_;
    std::vector<std::uint8_t> lastBulletinBytes_;
    LanguageTemplateMap languageTemplateMap_;
    // The installer data was read from the archive (until then it is empty).
    bool installDataLoaded_ = false;

    SharedString unattendedFailure_;
    // Written by the installation thread and the pages, read at the run's end.
    mutable Mutex outcomeMutex_;
    std::vector<SharedString> skippedFeatures_ GUARDED_BY(outcomeMutex_);
    SharedString failureReason_ GUARDED_BY(outcomeMutex_);
    std::vector<SharedString> runNotices_ GUARDED_BY(outcomeMutex_);

    // The newer installer chosen for a download run.
    SharedString newVersionUrl_;
    std::uint32_t newVersionSize_ = 0;
    SharedString newVersionTarget_;

    // --- Mode selection, feature changes, uninstall launchers --------------

    // False when a newer installer wrote the installed log (the run then ends).
    bool checkInstalledLogVersion(bool apply);
    void removeFeaturesNotServingTarget();
    WizardMode chooseMode();
    // The installed feature mapped to `current`; null when none is.
    FeaturePtr findInstalledFeatureFor(const Feature* current) const;
    void deselectWithHiddenComponents(const FeaturePtr& feature);

    std::vector<std::pair<FeaturePtr, FeaturePtr>> installedFeatureMap_;
    std::vector<std::pair<FeaturePtr, FeaturePtr>> removedFeatures_;
    std::shared_ptr<EarlierInstallations> earlierInstallations_ = makeNoEarlierInstallations();

    // Loading, initialisation and the installer language.
    void buildPackageSources();
    // For a build that serves several platforms and runs on its target: the
    // platform of the device, when the build serves it.
    void takeTargetPlatformFromDevice();
    void scanProductTranslationFiles();
    std::vector<SharedString> collectAdditionalLanguageNames() const;
    std::shared_ptr<ApplicationServices> applicationServices_ = makeNoApplicationServices();
    std::vector<BannerTableEntry> bannerTable_;

    // Relaunch and saved state.
    bool previousSettingsLoaded_ = false;
};

// Tells the device's application launcher (the top-level window titled
// "Application-Launcher") that the installer is done, with the bytes "#LTc"
// and a line end.
void notifyApplicationLauncher();

}  // namespace druvex
