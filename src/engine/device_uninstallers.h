// Installations of the program that the device's own cabinet installer made
// (they leave no installed log), found and removed the device's way. On
// Windows Mobile (target platform 0) the application manager lists such an
// application under HKLM\Software\Apps, and a provisioning document removes
// it; on the other controllers the cabinet installer leaves "<name>.unload"
// in \Windows, which the application remover unload.exe reads. Both run as
// device programs through the target host (on the stand-in device, the
// programs that [Programs] of device.ini names for them).
#pragma once

#include <cstdint>
#include <memory>

#include "controller/earlier_installations.h"
#include "controller/uninstall_launcher.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class RunController;

// The name by which the device knows the application of a cabinet:
// CabProvider, a blank and CabProgramName; CabProgramName alone without a
// provider; empty without a program name.
SharedString deviceApplicationName(const SharedString& cabProvider, const SharedString& cabProgramName);

// The device program that processes provisioning documents; its command line
// is the document's path.
inline constexpr char16_t kProvisioningProgram[] = u"\\Windows\\DMProcessConfigXML.exe";
// The application remover; its command line is the application's name.
inline constexpr char16_t kUnloadProgram[] = u"\\Windows\\unload.exe";

// Removes an application that the application manager lists: writes the
// provisioning document that uninstalls it into the target's temporary
// folder, runs the provisioning program on it and waits, then deletes the
// document.
class AppMgrUninstaller final : public UninstallLauncher {
public:
    AppMgrUninstaller(std::shared_ptr<HalAccess> targetHost, const SharedString& cabProvider, const SharedString& cabProgramName);

    int run(UninstallCancelCallback* cancel) override;

    const SharedString& getApplicationName() const { return applicationName_; }
    // The document: "wap-provisioningdoc" with the "UnInstall" characteristic
    // of the application and its parameter "uninstall" set to 1.
    std::vector<std::uint8_t> buildProvisioningDocument() const;
    // Where the document goes: "DruvexUninstall.xml" in the target's
    // temporary folder.
    SharedString getDocumentPath() const;

private:
    std::shared_ptr<HalAccess> host_;
    SharedString applicationName_;
};

// Removes an application through the application remover and its ".unload" file.
class UnloadUninstaller final : public UninstallLauncher {
public:
    UnloadUninstaller(std::shared_ptr<HalAccess> targetHost, const SharedString& cabProvider, const SharedString& cabProgramName);

    int run(UninstallCancelCallback* cancel) override;

    const SharedString& getApplicationName() const { return applicationName_; }
    // "\Windows\<name>.unload".
    SharedString getUnloadFilePath() const;

private:
    std::shared_ptr<HalAccess> host_;
    SharedString applicationName_;
};

// The finders: true, with the uninstaller in `launcher`, when the device
// holds the application of the installer data's CabProvider and
// CabProgramName: the application manager's entry with a non-zero "Instl",
// or the ".unload" file. The uninstaller is the one chooseUninstallMethod
// makes for the target platform. `flag` (0 while the mode is chosen for an empty
// installed log, 1 when an older installation is to be replaced) only goes
// into the log line.
bool findAppMgrInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                            std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher);
bool findUnloadInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                            std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher);

// The engine's answers to the controller's questions about such installations.
std::shared_ptr<EarlierInstallations> makeDeviceEarlierInstallations();

}  // namespace druvex
