#include "controller/page_welcome_logic.h"

#include <algorithm>

#include "controller/full_backup_reader.h"
#include "controller/installer_controller.h"
#include "data/install_data.h"
#include "data/installed_log.h"

namespace druvex {

PageWelcomeLogic::PageWelcomeLogic(InstallerController& controller, WizardMode mode)
    : controller_(controller), mode_(mode)
{
}

bool PageWelcomeLogic::onNext()
{
    return !controller_.isRestore() || !controller_.getBackupPath().isEmpty();
}

bool PageWelcomeLogic::onBack()
{
    return mode_ != kModeUninstall;
}

void PageWelcomeLogic::initChoice()
{
    if (mode_ == kModeNone)
        mode_ = controller_.getPageSequence().getMode();
}

void PageWelcomeLogic::chooseMode(WizardMode mode)
{
    controller_.getPageSequence().buildForMode(mode);
    mode_ = mode;
}

void PageWelcomeLogic::chooseUninstall(std::int32_t value)
{
    controller_.getPageSequence().buildForMode(kModeUninstall);
    controller_.setUninstallChoice(value);
    mode_ = kModeUninstall;
}

int PageWelcomeLogic::getChoiceIndex() const
{
    switch (mode_) {
    case kModeUpdate:
    case kModeAddRemove:
        return 3;
    case kModeUninstall:
    case kModeMaintenance:
    case kModeRepair:
        return 1;
    case kModeMaintenanceWithoutLog:
        return 2;
    case kModeRepairBroken:
        return 4;
    case kModeNone:
    case kModeStart:
    case kModeInstall:
    case kModeDownload:
    case kModeBackup:
        return 0;
    }
    return 0;
}

bool PageWelcomeLogic::canModify() const
{
    if (mode_ == kModeUninstall || controller_.getOptions().uninstallMode)
        return false;
    if (!controller_.isInstalledProgramRecorded())
        return true;
    return controller_.canModifyInstallation(mode_);
}

WizardMode PageWelcomeLogic::getModifyMode() const
{
    return controller_.getModifyMode(mode_);
}

void PageWelcomeLogic::chooseModify()
{
    chooseMode(getModifyMode());
}

bool PageWelcomeLogic::isNewerVersionInstalled() const
{
    return controller_.getInstalledVersionComparison() > 0;
}

bool PageWelcomeLogic::canWipe() const
{
    if (controller_.isRunningOnDevice())
        return false;
    return controller_.getInstalledVersionComparison() == 0 && !controller_.isInstalledLogDifferent();
}

bool PageWelcomeLogic::canRepairOrModify() const
{
    const bool known = controller_.canRepairInstalledFeatures() && !controller_.isInstalledLogDifferent();
    if (mode_ == kModeRepairBroken)
        return controller_.isInstallationBroken() && known;
    return known;
}

bool PageWelcomeLogic::isWipeAllowed() const
{
    return controller_.getInstallData().settings().getAllowWipe();
}

bool PageWelcomeLogic::isRestoreFromBackupAllowed() const
{
    return controller_.getInstallData().settings().getAllowRestoreFromBackup();
}

bool PageWelcomeLogic::isRestore() const
{
    return controller_.isRestore();
}

void PageWelcomeLogic::setRestore(bool restore)
{
    controller_.setRestore(restore);
}

SharedString PageWelcomeLogic::getBackupPath() const
{
    return controller_.getBackupPath();
}

void PageWelcomeLogic::setBackupPath(const SharedString& path)
{
    controller_.setBackupPath(path);
}

SharedString PageWelcomeLogic::getBackupDescription() const
{
    const std::vector<SharedString>& lines = controller_.getBackupDescription();
    const std::size_t count = std::min<std::size_t>(lines.size(), kBackupDescriptionMaxLines);
    SharedString text;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0)
            text += u"\r\n";
        text += lines[i];
    }
    return text;
}

bool PageWelcomeLogic::validateBackup()
{
    if (!controller_.isRestore())
        return true;
    const std::shared_ptr<FullBackupReader>& reader = controller_.getFullBackupReader();
    const BackupCheck code = reader ? reader->readBackupInfo(controller_.getBackupPath()) : kBackupNotValid;
    InstallerUiCallback& ui = *controller_.getUiCallback();
    switch (code) {
    case kBackupValid:
        return true;
    case kBackupMissingFiles:
        ui.backupMissingFilesMessage();
        return false;
    case kBackupInvalidFiles:
        ui.backupInvalidFilesMessage();
        return false;
    case kBackupIncompatible:
        ui.backupIncompatibleMessage();
        return false;
    case kBackupFutureVersion:
        ui.backupFutureVersionMessage();
        return false;
    default:
        ui.backupInvalidMessage();
        return false;
    }
}

std::int32_t PageWelcomeLogic::getBackgroundTheme() const
{
    return controller_.getInstallData().settings().getBackgroundTheme();
}

}  // namespace druvex
