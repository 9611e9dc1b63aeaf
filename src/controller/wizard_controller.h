// WizardController: what the wizard's pages, their logic and their windows,
// ask of the installer controller beyond what a run asks: the page list and
// the current page's logic, the destination and the wipe choice, the feature
// selection, the licence, the language, the installation run's maker and
// what the end page offers. The controller implements it; a page that needs
// no more includes this header instead of the controller's.
#pragma once

#include <cstdint>
#include <memory>

#include "controller/run_controller.h"
#include "data/feature.h"
#include "liveupdate/live_update_context.h"

namespace druvex {

class CustomActionHooks;
class InstallationProcessFactory;
class PageLogic;
class PageSequence;
class PayloadArchive;

// The new-version pages reach the live update services with it.
class WizardController : public RunController, public LiveUpdateContext {
public:
    // Named by more than one of the interfaces above; one answer serves all.
    InstallData& getInstallData() override = 0;
    const InstallData& getInstallData() const override = 0;
    WStringMultimap& getPackageSources() override = 0;
    std::shared_ptr<HalAccess> getHalIn() override = 0;
    TargetPlatform getTargetPlatform() const override = 0;
    void getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target) override = 0;

    // --- The page list ---------------------------------------------------------

    virtual PageSequence& getPageSequence() = 0;
    virtual const PageSequence& getPageSequence() const = 0;
    // The logic of the current page; null before the first move.
    virtual PageLogic* getPageLogic() = 0;
    // "{1} Installer" with the program's short or full name.
    virtual SharedString getInstallerTitle(bool preferShortName) const = 0;

    // --- What the pages read ---------------------------------------------------

    virtual PayloadArchive& getPayloadArchive() = 0;
    // The target's bit once a target is chosen; before, the build's mask.
    virtual std::int32_t getTargetPlatformMask() const = 0;
    // The run's scratch folder.
    virtual SharedString getWorkFolder() const = 0;
    // The text with its variables expanded for the target and the
    // destination folder; empty when it fails.
    virtual SharedString expandVariables(const SharedString& text) const = 0;
    virtual bool isInstallationBroken() const = 0;
    virtual std::int32_t getRedistLastError() const = 0;
    // The installation engine's maker of installation runs; none at first.
    virtual const std::shared_ptr<InstallationProcessFactory>& getInstallationProcessFactory() const = 0;

    // --- Destination and users -------------------------------------------------

    // Makes the destination record when there is none.
    virtual void setDestinationFolder(const SharedString& folder) = 0;
    virtual void setWipeOldInstallation(bool wipe) = 0;
    // The bytes that a wipe of the installation in the destination folder
    // gives back.
    virtual std::uint64_t getOldInstallationSize() const = 0;
    virtual void setOldInstallationSize(std::uint64_t bytes) = 0;
    virtual void setForAnyone(bool forAnyone) = 0;

    // --- Features --------------------------------------------------------------

    virtual bool hasFeatureToInstall() const = 0;
    virtual bool isFeatureSelected(const Feature* feature) const = 0;
    // Selects the feature and the features its components name.
    virtual void selectFeature(const FeaturePtr& feature) = 0;
    // Deselects the feature and its components the user cannot see.
    virtual void deselectFeature(const FeaturePtr& feature) = 0;
    // The bytes the features to install take; `netOfRemovals` subtracts
    // those of the features removed.
    virtual std::uint64_t computeRequiredSpace(bool netOfRemovals) = 0;
    virtual std::int32_t getReselectedFeatureCount() const = 0;
    virtual bool isInstallOnFeatureSelectionEnabled() const = 0;
    virtual void setInstallOnFeatureSelectionEnabled(bool enabled) = 0;

    // --- Licence and language --------------------------------------------------

    // The licence of the installer data for the current language; null when
    // there is none.
    virtual EulaRecordPtr findEula() const = 0;
    virtual void setEula(EulaRecordPtr eula) = 0;
    // The language to start with; 0 when none is offered.
    virtual std::uint16_t chooseLanguage() const = 0;
    // Makes the language and its display text current.
    virtual void setLanguage(std::uint16_t lcid, const SharedString& text) = 0;

    // --- The end page ------------------------------------------------------------

    virtual SharedString getProgramName() const = 0;
    // kRestoreNone, kRestoreFailed or kRestoreDone.
    virtual RestoreResult getRestoreResult() const = 0;
    // The program to offer after the installation; empty for none.
    virtual SharedString getLaunchAppPath() const = 0;
    // What scripts put in its place; empty when they did not.
    virtual void getLaunchProgramOverride(SharedString& program, SharedString& arguments) const = 0;
    virtual SharedString getLocalProductDataFolder() const = 0;
    virtual CustomActionHooks& getCustomActionHooks() = 0;

    // --- What the person who started the run is told besides ----------------

    // A line about what the run was asked and did not act on, logged now and
    // told on standard error when the run ends (a silent run has no page to
    // show it on). It changes nothing in the run.
    virtual void addRunNotice(const SharedString& text) = 0;
};

}  // namespace druvex
