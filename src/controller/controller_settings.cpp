// The wizard state that a relaunched run takes back: what the controller
// puts into the saved settings.
#include "controller/installer_controller.h"

#include "data/install_data.h"
#include "data/previous_settings.h"

namespace druvex {

void InstallerController::collectSettings(PreviousSettings& settings) const
{
    settings.setLanguage(language_);
    settings.setIsTethered(tethered_);
    settings.setTargetPlatform(targetPlatform_);
    settings.setWipeOldInst(wipeOldInstallation_);
    settings.setTargetDir(getDestinationFolder());
    settings.setIsForAnyone(forAnyone_);
    settings.setUseOnlineFeature(useOnlineFeature_);
    settings.setUpdateCheckDone(updateCheckDone_);
    settings.setRevertToPreviousRevision(revertToPreviousRevision_);
    settings.setFullBackup(restore_, backupPath_);
    // Required features are selected again by the data itself.
    settings.clearFeaturesToInstall();
    for (const FeaturePtr& feature : selectedFeatures_) {
        if (feature->getPresel() != FeaturePreselection::Required)
            settings.addFeatureToInstall(feature->getName());
    }
    installData_->copyPersistentTo(settings);
    settings.setWizardMode(pageSequence_->getMode());
    settings.setStartingPage(pageSequence_->getNextPageId());
}

}  // namespace druvex
