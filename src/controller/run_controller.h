// RunController: what one installation run asks of the installer controller,
// and all the installation engine sees of it: the features to install and to
// remove, the cancel request, the result and the flags the run sets from its
// own thread, the saved state it writes, the uninstall launchers, the hosts
// and the data its steps read (the downloader, the package cache and sources,
// the mode and the skip choice come with the two contexts it extends). The
// controller implements it; the engine holds nothing wider, so a change to
// the rest of the controller does not reach it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app_base/target_platform.h"
#include "controller/install_result.h"
#include "controller/wizard_pages.h"
#include "data/eula_record.h"
#include "host/script_host_services.h"
#include "liveupdate/package_installer.h"
#include "text/shared_string.h"

namespace druvex {

class EarlierInstallations;
class Feature;
class FeatureSelection;
class HalAccess;
class InstallData;
class InstallDestination;
class InstalledLog;
class InstallerUiCallback;
struct LanguageTemplate;
class PreviousSettings;
class RedistributablesManager;
class UninstallLauncher;
class VersionNumber;
class WStringMultimap;
struct InstallerOptions;

// The installer's own version, against which installed logs are compared.
inline constexpr char16_t kInstallerVersion[] = u"5.1";
// The bulletin of the last run that had one, in the product data folder.
inline constexpr char16_t kLastBulletinName[] = u"last_bulletin.xml";

// A run downloads packages and runs the features' scripts with the controller
// as their context.
class RunController : public ScriptHostServices, public PackageInstallerContext {
public:
    ~RunController() override = default;

    // --- What the run installs, and where ------------------------------------

    // The features the run installs and the installed ones it removes (a
    // feature replaced is in both), each set in a stable order.
    virtual void getFeatureChanges(FeatureSelection& toInstall, FeatureSelection& toRemove) = 0;
    virtual const InstallerOptions& getOptions() const = 0;
    virtual bool hasAdministratorRights() const = 0;
    // The target host, which both contexts name.
    std::shared_ptr<HalAccess> getHalOut() override = 0;
    // The target host used where the target is not writable otherwise.
    virtual std::shared_ptr<HalAccess> getHalOutElevated() const = 0;
    virtual TargetPlatform getTargetPlatform() const = 0;
    virtual bool isDesktopTarget() const = 0;
    virtual InstallData& getInstallData() = 0;
    virtual const InstallData& getInstallData() const = 0;
    virtual const std::shared_ptr<InstalledLog>& getInstalledLog() const = 0;
    // The installed program's version against this installer's: 0 the same,
    // below 0 older, above 0 newer.
    virtual std::int32_t getInstalledVersionComparison() const = 0;
    // Where questions and messages go.
    virtual const std::shared_ptr<InstallerUiCallback>& getUiCallback() const = 0;
    // The destination record: null until the initialisation makes it.
    virtual InstallDestination* getDestination() = 0;
    // Empty while there is no destination record.
    virtual SharedString getDestinationFolder() const = 0;
    WStringMultimap& getPackageSources() override = 0;
    virtual RedistributablesManager& getRedistributables() = 0;
    // Run in list order before the installation.
    virtual std::vector<std::shared_ptr<UninstallLauncher>>& getUninstallLaunchers() = 0;
    virtual std::uint16_t getLanguage() const = 0;
    virtual const SharedString& getLanguageCode() const = 0;
    // Null when no language template is paired with the feature.
    virtual std::shared_ptr<LanguageTemplate> findLanguageTemplate(const Feature* feature) const = 0;
    // The licence the user accepts; null at first.
    virtual const EulaRecordPtr& getEula() const = 0;
    virtual bool isForAnyone() const = 0;
    virtual bool getWipeOldInstallation() const = 0;
    virtual std::uint64_t getRequiredSpace() const = 0;
    virtual void setRequiredSpace(std::uint64_t bytes) = 0;
    // The revision the run installs (see the controller).
    virtual VersionNumber getEffectiveRevision(bool considerBulletin) const = 0;
    virtual SharedString getProductDataFolder() const = 0;
    virtual SharedString getRollbackFolder() const = 0;
    // Runs the custom actions bound to the hook point.
    virtual bool runHook(const SharedString& hook) = 0;
    // One feature remover per action that scripts queued for other installed
    // products, in order.
    virtual void queueInstalledProductActions() = 0;
    // The engine's finders of installations that left no installed log, and
    // their uninstallers.
    virtual EarlierInstallations& getEarlierInstallations() = 0;

    // --- What the run sets from its own thread --------------------------------

    virtual InstallResult getResult() const = 0;
    virtual void setResult(InstallResult result) = 0;
    // Polled by the installation thread between its steps.
    virtual bool isCancelRequested() const = 0;
    virtual bool hasMadeChanges() const = 0;
    virtual void setHasMadeChanges(bool changed) = 0;
    virtual bool isRebootRequired() const = 0;
    virtual void setRebootRequired(bool required) = 0;
    // A feature the run left out: its installation failed and the person
    // chose to go on without it, or its download was skipped. The end page
    // and the exit status name them: such a run did not do all it was asked.
    virtual void addSkippedFeature(const SharedString& displayName) = 0;
    virtual std::vector<SharedString> getSkippedFeatures() const = 0;
    // Why the run stops, as the step that stops it words it; a silent run
    // tells it on standard error. The first reason since the last clear
    // holds: what a rollback or a clean-up logs after it is no reason.
    virtual void setFailureReason(const SharedString& reason) = 0;

    // --- Saved state, full backup and restore ---------------------------------

    // The wizard state a relaunch takes back, into `settings`.
    virtual void collectSettings(PreviousSettings& settings) const = 0;
    virtual PreviousSettings& getPreviousSettings() = 0;
    virtual SharedString getPreviousSettingsPath() const = 0;
    virtual bool saveLastBulletin() = 0;
    virtual bool deleteLastBulletin() = 0;
    virtual bool isRestore() const = 0;
    virtual const SharedString& getBackupPath() const = 0;
    virtual void setBackupPath(const SharedString& path) = 0;
    // A failed restore step: failed, whatever came before.
    virtual void setRestoreFailed() = 0;
    // Done, unless a step failed (or it is done already).
    virtual void setRestoreDone() = 0;
    // The lines that describe the chosen full backup.
    virtual std::vector<SharedString>& getBackupDescription() = 0;
};

// Logs `reason` as an error line and hands it to the run's end as the reason
// it stops; false, for the caller to return.
bool failRun(RunController& controller, const SharedString& reason);

}  // namespace druvex
