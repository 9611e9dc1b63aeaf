#include "engine/device_uninstallers.h"

#include "controller/run_controller.h"
#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"

namespace druvex {
namespace {

constexpr char16_t kAppsKey[] = u"Software\\Apps\\";
constexpr char16_t kDocumentName[] = u"DruvexUninstall.xml";

SharedString applicationNameOf(const RunController& controller)
{
    const InstallerSettings& settings = controller.getInstallData().settings();
    return deviceApplicationName(settings.getCabProvider(), settings.getCabProgramName());
}

// The application manager lists an installed application with a non-zero
// "Instl" under its key; a key left behind by a removal has none.
bool isListedByApplicationManager(HalAccess& host, const SharedString& name)
{
    RegistryKey key = 0;
    if (!host.regOpenKey(kRegistryLocalMachine, SharedString(kAppsKey) + name, kRegistryViewDefault,
                         kRegistryModeRead, key))
        return false;
    std::uint32_t type = 0;
    std::uint32_t installed = 0;
    std::uint32_t size = sizeof installed;
    const bool read = host.regQueryValue(key, SharedString(u"Instl"), type, &installed, size);
    host.regCloseKeyAfterUse(key);
    return read && type == kRegDword && size == sizeof installed && installed != 0;
}

// The cabinet installer leaves "<name>.unload" in \Windows for the remover.
SharedString unloadFilePath(const SharedString& applicationName)
{
    return SharedString(u"\\Windows\\") + applicationName + u".unload";
}

void logFound(const char16_t* how, const SharedString& name, std::int32_t flag)
{
    logInfo(SharedString().format(u"Earlier installation without an installed log (%s, %s): %s", how,
                                  flag == 0 ? u"no installed log" : u"older installation", name));
}

class DeviceEarlierInstallations final : public EarlierInstallations {
public:
    bool findAppMgrInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                                std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher) override
    {
        return druvex::findAppMgrInstallation(targetHost, controller, flag, launcher);
    }
    bool findUnloadInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                                std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher) override
    {
        return druvex::findUnloadInstallation(targetHost, controller, flag, launcher);
    }
    std::shared_ptr<UninstallLauncher> makeAppMgrUninstaller(const std::shared_ptr<HalAccess>& targetHost,
                                                             RunController&,
                                                             const SharedString& cabProvider,
                                                             const SharedString& cabProgramName) override
    {
        if (deviceApplicationName(cabProvider, cabProgramName).isEmpty())
            return nullptr;
        return std::make_shared<AppMgrUninstaller>(targetHost, cabProvider, cabProgramName);
    }
    std::shared_ptr<UninstallLauncher> makeUnloadUninstaller(const std::shared_ptr<HalAccess>& targetHost,
                                                             RunController&,
                                                             const SharedString& cabProvider,
                                                             const SharedString& cabProgramName) override
    {
        if (deviceApplicationName(cabProvider, cabProgramName).isEmpty())
            return nullptr;
        return std::make_shared<UnloadUninstaller>(targetHost, cabProvider, cabProgramName);
    }
};

}  // namespace

SharedString deviceApplicationName(const SharedString& cabProvider, const SharedString& cabProgramName)
{
    if (cabProgramName.isEmpty())
        return {};
    if (cabProvider.isEmpty())
        return cabProgramName;
    return cabProvider + u" " + cabProgramName;
}

AppMgrUninstaller::AppMgrUninstaller(std::shared_ptr<HalAccess> targetHost, const SharedString& cabProvider, const SharedString& cabProgramName)
    : host_(std::move(targetHost)),
      applicationName_(deviceApplicationName(cabProvider, cabProgramName))
{
}

std::vector<std::uint8_t> AppMgrUninstaller::buildProvisioningDocument() const
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    XmlWriter writer(stream, false);
    writer.startElement("wap-provisioningdoc");
    writer.startElement("characteristic");
    writer.attribute("type", u"UnInstall");
    writer.startElement("characteristic");
    writer.attribute("type", applicationName_.view());
    writer.startElement("parm");
    writer.attribute("name", u"uninstall");
    writer.attribute("value", u"1");
    writer.endElement("parm");
    writer.endElement("characteristic");
    writer.endElement("characteristic");
    writer.endElement("wap-provisioningdoc");
    writer.flush();
    return bytes;
}

SharedString AppMgrUninstaller::getDocumentPath() const
{
    SharedString temp;
    // Without a temporary folder the document goes to the root, where its
    // writing fails with a line of its own if it must.
    (void)host_->getTempPath(temp);
    return joinPath(temp, SharedString(kDocumentName));
}

int AppMgrUninstaller::run(UninstallCancelCallback* cancel)
{
    const SharedString document = getDocumentPath();
    if (!writeBufferToFile(*host_, buildProvisioningDocument(), document)) {
        logFileCreated(document.view(), false, false);
        return kUninstallNotStarted;
    }
    const int answer = startAndWait(*host_, SharedString(kProvisioningProgram), document, cancel);
    // A program still running may still read the document.
    if (answer != kUninstallAbandoned)
        deleteFileOrLog(*host_, document);
    if (answer == kUninstallEnded && isListedByApplicationManager(*host_, applicationName_))
        logError(SharedString(u"The application manager still lists ") + applicationName_);
    return answer;
}

UnloadUninstaller::UnloadUninstaller(std::shared_ptr<HalAccess> targetHost, const SharedString& cabProvider, const SharedString& cabProgramName)
    : host_(std::move(targetHost)),
      applicationName_(deviceApplicationName(cabProvider, cabProgramName))
{
}

SharedString UnloadUninstaller::getUnloadFilePath() const
{
    return unloadFilePath(applicationName_);
}

int UnloadUninstaller::run(UninstallCancelCallback* cancel)
{
    const int answer = startAndWait(*host_, SharedString(kUnloadProgram), applicationName_, cancel);
    if (answer == kUninstallEnded && host_->exists(getUnloadFilePath(), nullptr))
        logError(SharedString(u"The application remover left ") + getUnloadFilePath());
    return answer;
}

bool findAppMgrInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                            std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher)
{
    launcher.reset();
    const SharedString name = applicationNameOf(controller);
    if (name.isEmpty() || !isListedByApplicationManager(*targetHost, name))
        return false;
    logFound(u"application manager", name, flag);
    return chooseUninstallMethod(targetHost, controller, launcher);
}

bool findUnloadInstallation(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                            std::int32_t flag, std::shared_ptr<UninstallLauncher>& launcher)
{
    launcher.reset();
    const SharedString name = applicationNameOf(controller);
    if (name.isEmpty())
        return false;
    bool isFolder = false;
    if (!targetHost->exists(unloadFilePath(name), &isFolder) || isFolder)
        return false;
    logFound(u"application remover", name, flag);
    return chooseUninstallMethod(targetHost, controller, launcher);
}

std::shared_ptr<EarlierInstallations> makeDeviceEarlierInstallations()
{
    return std::make_shared<DeviceEarlierInstallations>();
}

}  // namespace druvex
