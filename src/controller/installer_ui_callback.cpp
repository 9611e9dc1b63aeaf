#include "controller/installer_ui_callback.h"

#include "controller/wizard_pages.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"

namespace druvex {
namespace {

// The product word of the installer's title when no controller names one.
constexpr char16_t kProductWord[] = u"Druvex";

// The templates are translation keys: spelling slips included, they must stay
// byte for byte as the translation files know them. Every message is filled,
// those without placeholders too, so that a translation's braces read alike in
// every message.
constexpr char kMustUninstallProgram[] = "You must uninstall the program before continuing.";
constexpr char kNoUpdateServer[] =
    "Failed estabilishing a connection to the update server.\nThe installation cannot continue.";
constexpr char kBackupInvalid[] = "The selected full backup is not valid.";
constexpr char kBackupMissingFiles[] =
    "The selected full backup doesn't contain required configuration files.\nPlease regenerate the backup.";
constexpr char kBackupInvalidFiles[] =
    "The selected full backup contains invalid configuration files.\nPlease regenerate the backup.";
constexpr char kBackupIncompatible[] =
    "The selected full backup is not compatible with this installer version.\nPlease regenerate the backup.";
constexpr char kBackupFutureVersion[] =
    "The selected full backup is made for a future program version. It cannot be used for this program version.";
constexpr char kPostInstallError[] = "Error executing post installation routines.";
constexpr char kCustomActionError[] = "An error occurred while executing {1}.\n\nError ({2}): {3}";
constexpr char kUninstallError[] = "An error occurred while uninstalling {1}.\nThe installation cannot continue.";
constexpr char kMustUninstall[] = "You must uninstall {1} before continuing.";
constexpr char kInstallError[] =
    "An error occurred while installing {1}.\nThe installation cannot continue\n\n\nThe error reported was {2}";
constexpr char kInstallNoWriteRights[] =
    "An error occurred while installing {1}.\nYou have no write rights to complete the installation. Try to "
    "install the program as an administrator.";
constexpr char kRegistrationError[] =
    "An error occured while registering {1}.\n\nThe program may not work properly without registering it.";
constexpr char kUnregistrationError[] = "An error occured while unregistering {1}.";
constexpr char kNotEnoughSpace[] = "Cannot install {1}. There is not enough free disk space.\n\n";
constexpr char kFreeSpaceNeeded[] = "Please free at least an additional {1} of disk space on {2} to continue.";
constexpr char kProgram[] = "Program";
constexpr char kInstallerTitle[] = "{1} Installer";

SharedString decimal(std::int32_t value)
{
    SharedString text;
    text.format(u"%d", value);
    return text;
}

}  // namespace

InstallerUiCallback::~InstallerUiCallback() = default;

void InstallerUiCallback::showMessage(const SharedString& text, MessageSeverity severity, int)
{
    if (severity == kMessageError)
        logError(text.view());
    else
        logInfo(text.view());
}

const char* InstallerUiCallback::failedRunKey() const
{
    switch (controller_ ? controller_->getWizardMode() : kModeNone) {
    case kModeInstall:
        return "An error occurred while installing the program.";
    case kModeUninstall:
        return "An error occurred while uninstalling the program.";
    case kModeRepair:
    case kModeRepairBroken:
        return "An error occurred while repairing the program.";
    case kModeNone:
    case kModeStart:
    case kModeUpdate:
    case kModeAddRemove:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
    case kModeDownload:
    case kModeBackup:
        break;
    }
    return "An error occurred while upgrading the program.";
}

SharedString InstallerUiCallback::getProgramName() const
{
    if (controller_ == nullptr)
        return translateText(kProgram);
    return controller_->getProgramName();
}

SharedString InstallerUiCallback::installerTitle() const
{
    if (controller_ == nullptr)
        return formatTranslated(kInstallerTitle, {kProductWord});
    return controller_->getInstallerTitle(true);
}

void InstallerUiCallback::showError(const SharedString& text)
{
    showMessage(text, kMessageError, 1);
}

void InstallerUiCallback::mustUninstallProgramMessage()
{
    showMessage(formatTranslated(kMustUninstallProgram, {}), kMessageInformation, 1);
}

void InstallerUiCallback::noUpdateServerMessage()
{
    showMessage(formatTranslated(kNoUpdateServer, {}), kMessageError, 1);
}

void InstallerUiCallback::backupInvalidMessage()
{
    showMessage(formatTranslated(kBackupInvalid, {}), kMessageError, 1);
}

void InstallerUiCallback::backupMissingFilesMessage()
{
    showMessage(formatTranslated(kBackupMissingFiles, {}), kMessageError, 1);
}

void InstallerUiCallback::backupInvalidFilesMessage()
{
    showMessage(formatTranslated(kBackupInvalidFiles, {}), kMessageError, 1);
}

void InstallerUiCallback::backupIncompatibleMessage()
{
    showMessage(formatTranslated(kBackupIncompatible, {}), kMessageError, 1);
}

void InstallerUiCallback::backupFutureVersionMessage()
{
    showMessage(formatTranslated(kBackupFutureVersion, {}), kMessageError, 1);
}

void InstallerUiCallback::postInstallErrorMessage()
{
    showMessage(formatTranslated(kPostInstallError, {}), kMessageError, 1);
}

void InstallerUiCallback::customActionErrorMessage(const SharedString& actionName, std::int32_t errorNumber,
                                                   const SharedString& errorText)
{
    showMessage(formatTranslated(kCustomActionError, {actionName, decimal(errorNumber), errorText}), kMessageError, 1);
}

void InstallerUiCallback::uninstallErrorMessage(const SharedString& name)
{
    showMessage(formatTranslated(kUninstallError, {name}), kMessageError, 1);
}

void InstallerUiCallback::mustUninstallMessage(const SharedString& name)
{
    showMessage(formatTranslated(kMustUninstall, {name}), kMessageInformation, 1);
}

void InstallerUiCallback::installErrorMessage(const SharedString& name, const SharedString& errorText)
{
    showMessage(formatTranslated(kInstallError, {name, errorText}), kMessageError, 1);
}

void InstallerUiCallback::installNoWriteRightsMessage()
{
    showMessage(formatTranslated(kInstallNoWriteRights, {getProgramName()}), kMessageError, 1);
}

void InstallerUiCallback::registrationErrorMessage(const SharedString& name, bool registering)
{
    if (!registering) {
        logInfo(formatTranslated(kUnregistrationError, {name}).view());
        return;
    }
    showMessage(formatTranslated(kRegistrationError, {name}), kMessageWarning, 1);
}

void InstallerUiCallback::notEnoughSpaceMessage(std::uint64_t size, const SharedString& storage)
{
    // Two templates, each filled on its own: both use "{1}", and a template
    // that names a placeholder without an argument would empty the whole text.
    // The storage is named as the device writes paths to people ("\\", not "/").
    const SharedString text =
        formatTranslated(kNotEnoughSpace, {getProgramName()}) +
        formatTranslated(kFreeSpaceNeeded, {formatByteSize(size, 1, false), toBackslashes(storage)});
    showMessage(text, kMessageError, 1);
}

}  // namespace druvex
