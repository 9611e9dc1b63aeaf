#include "controller/installer_controller.h"

#include <unistd.h>

#include <algorithm>

#include "controller/controller_script_services.h"
#include "controller/custom_action_context.h"
#include "controller/custom_action_hooks.h"
#include "controller/log_only_ui_callback.h"
#include "controller/package_folder_unpacker.h"
#include "controller/page_logic.h"
#include "controller/redistributable_installer.h"
#include "controller/redistributables_manager.h"
#include "core/app_paths.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/package_sources.h"
#include "data/previous_settings.h"
#include "data/variable_expansion.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/new_installer.h"
#include "liveupdate/package_cache.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "liveupdate/web_downloader.h"
#include "payload/payload_archive.h"
#include "platform/device_config.h"
#include "platform/network_state.h"
#include "platform/win_error.h"
#include "text/mutex.h"
#include "ui_base/screen_type.h"

namespace druvex {

InstallerController::InstallerController(const InstallerOptions& options, std::shared_ptr<HalAccess> sourceHost,
                                         std::shared_ptr<HalAccess> targetHost)
    : options_(options),
      administratorRights_(activeDeviceConfig()->administrator),
      sourceHost_(std::move(sourceHost)),
      sourceHostAdmin_(sourceHost_),
      targetHost_(std::move(targetHost)),
      targetHostElevated_(targetHost_)
{
    SharedString temp;
    if (!sourceHost_->getTempPath(temp))
        logHostFailure(*sourceHost_, u"Finding the temporary folder for", SharedString(u"DRUVEXInstaller"));
    workFolder_ = joinPath(temp, SharedString(u"DRUVEXInstaller")) +
                  SharedString().format(u"%u", static_cast<unsigned>(::getpid()));
    // Without a work folder only the steps that put files there fail, each
    // with its own message; the run itself can go on.
    if (!sourceHost_->createDirectory(workFolder_) && sourceHost_->getLastError() != kErrorAlreadyExists)
        logHostFailure(*sourceHost_, u"Creating the work folder", workFolder_);

    payloadArchive_ = std::make_unique<PayloadArchive>(*sourceHost_);
    installData_ = std::make_unique<InstallData>();
    installedLog_ = std::make_shared<InstalledLog>();
    buildConfiguration_ = std::make_unique<BuildConfiguration>();
    webDownloader_ = std::make_unique<WebDownloader>();
    packageSources_ = std::make_unique<WStringMultimap>();
    previousSettings_ = std::make_unique<PreviousSettings>(*sourceHost_);
    updatePatcher_ = std::make_unique<UpdatePatcher>(*this);
    pageSequence_ = std::make_unique<PageSequence>(*this);
    uiCallback_ = std::make_shared<LogOnlyUiCallback>(this);
    redistributables_ = std::make_shared<RedistributableInstaller>(*this, *payloadArchive_);
    customActionHooks_ = std::make_shared<CustomActionContext>(*this, *payloadArchive_);
    scriptServices_ = std::make_unique<ControllerScriptServices>(*this);
    installedProducts_ = std::make_unique<InstalledProductRegistry>(*this);
}

InstallerController::~InstallerController()
{
    // The downloader's worker reports to listeners that may be page logics or
    // may reach any member of this controller: it is stopped and joined
    // before anything it could call back into goes.
    webDownloader_->shutdown();
    if (pageLogic_) {
        pageLogic_->onLeave(kPageNone);
        // Page logics hold threads and requests that use the members below;
        // they go while every member still stands.
        pageLogic_.reset();
    }
    clearTranslationTable();
    removeWorkFolder();
}

void InstallerController::keepInWorkFolder(const SharedString& folder)
{
    MutexLock lock(keptMutex_);
    keptInWorkFolder_.push_back(folder);
}

void InstallerController::removeWorkFolder()
{
    std::vector<SharedString> kept;
    {
        MutexLock lock(keptMutex_);
        kept = keptInWorkFolder_;
    }
    removeFolderTree(workFolder_, kept);
}

bool InstallerController::removeFolderTree(const SharedString& folder, const std::vector<SharedString>& kept)
{
    std::unique_ptr<HalFileFinder> finder;
    std::vector<SharedString> files;
    std::vector<SharedString> folders;
    if (sourceHost_->createFileFinder(folder, finder)) {
        do {
            (finder->isFolder() ? folders : files).push_back(joinPath(folder, finder->name()));
        } while (finder->next());
    }
    finder.reset();
    for (const SharedString& file : files)
        deleteFileOrLog(*sourceHost_, file);
    bool somethingStays = false;
    for (const SharedString& inner : folders) {
        const bool keep = std::any_of(kept.begin(), kept.end(), [&](const SharedString& path) {
            return samePath(withoutTrailingSeparator(path).view(), withoutTrailingSeparator(inner).view());
        });
        if (keep || !removeFolderTree(inner, kept))
            somethingStays = true;
    }
    // A folder that holds what is kept stays: its removal fails, and that is no fault to log.
    if (somethingStays)
        return false;
    return removeDirectoryOrLog(*sourceHost_, folder);
}

void InstallerController::makeDestination(const SharedString& folder)
{
    destination_ = std::make_unique<InstallDestination>(*this, targetHost_, folder);
}

SharedString InstallerController::getDestinationFolder() const
{
    return destination_ ? destination_->getFolder() : SharedString();
}

void InstallerController::setDestinationFolder(const SharedString& folder)
{
    if (!destination_) {
        makeDestination(folder);
        return;
    }
    destination_->setFolder(folder);
}

void InstallerController::setUiCallback(std::shared_ptr<InstallerUiCallback> callback)
{
    uiCallback_ = callback ? std::move(callback) : std::make_shared<LogOnlyUiCallback>(this);
}

void InstallerController::setRedistributables(std::shared_ptr<RedistributablesManager> manager)
{
    redistributables_ = manager ? std::move(manager) : makeNoRedistributables();
}

void InstallerController::setCustomActionHooks(std::shared_ptr<CustomActionHooks> hooks)
{
    customActionHooks_ = hooks ? std::move(hooks) : makeNoCustomActionHooks();
}

void InstallerController::setRestoreDone()
{
    RestoreResult expected = kRestoreNone;
    restoreResult_.compare_exchange_strong(expected, kRestoreDone);
}

bool InstallerController::isDesktopTarget() const
{
    return targetPlatform_ == kPlatformWin32 || targetPlatform_ == kPlatformWin64;
}

std::int32_t InstallerController::getTargetPlatformMask() const
{
    if (targetPlatform_ >= 0 && targetPlatform_ < kPlatformCount)
        return platformMask(targetPlatform_);
    return buildConfiguration_->getTargetPlatformMask() & installData_->settings().getAvailablePlatforms();
}

bool InstallerController::isInstalledProgramRecorded() const
{
    if (foreignInstalledLog_)
        return true;
    if (installedLog_->getFeatureCount() > 0)
        return installedLog_->getProgramVersion().isNonZero();
    // No log, yet an earlier installation was found (comparison -1).
    return installedVersionComparison_ != 0;
}

bool InstallerController::isRunningOnDevice() const
{
    return buildConfiguration_->getInstallerPlatform() == kInstallerPlatformController;
}

TargetPlatform InstallerController::getHostPlatform() const
{
    if (!isRunningOnDevice())
        return kPlatformWin32;
    DeviceType type = DeviceType::NONE;
    if (sourceHost_->getDeviceType(type, false) != ConnectionState::DEVICE_CONNECTED)
        return kPlatformUnknown;
    return platformFromDeviceType(static_cast<std::int32_t>(type));
}

bool InstallerController::isRemoteDeviceTarget() const
{
    if (options_.forMobile)
        return true;
    return !isRunningOnDevice() && !isDesktopTarget();
}

bool InstallerController::hasFeatureToInstall() const
{
    const FeaturePtr root = installData_->featureRoot();
    if (!root)
        return false;
    for (int i = 0; i < root->subFeatureCount(); ++i) {
        const Feature& feature = *root->subFeatureAt(i);
        if (feature.getPresel() != FeaturePreselection::Required && feature.getMode() != FeatureMode::NotVisible)
            return true;
    }
    return false;
}

bool InstallerController::isDailyBuild() const
{
    return installData_->settings().getDailyBuild();
}

SharedString InstallerController::getProgramName() const
{
    return installData_->settings().getProgramName();
}

bool InstallerController::isLiveUpdateAvailable() const
{
    if (!options_.updatesAllowed || installData_->settings().getLiveUpdateUrl().isEmpty())
        return false;
    return !(options_.configMode == kConfigModeUse && previousSettings_->getUpdateCheckDone());
}

bool InstallerController::isProxyConnection() const
{
    if (!isLiveUpdateAvailable())
        return false;
    std::uint32_t flags = 0;
    return internetGetConnectedState(flags) && (flags & kInternetConnectionProxy) != 0;
}

SharedString InstallerController::getInstallerTitle(bool preferShortName) const
{
    SharedString name;
    if (preferShortName && getScreenType() == kScreenTypeVga)
        name = installData_->settings().getProgramShortName();
    if (name.isEmpty())
        name = installData_->settings().getProgramName();
    return formatTranslated("{1} Installer", name);
}

SharedString InstallerController::solveHalFolder(bool sourceSide, const SharedString& text) const
{
    HalAccess& host = sourceSide ? *sourceHost_ : *targetHost_;
    SharedString out;
    if (!expandVariablesForDevice(text, *installData_, forAnyone_, host, getDestinationFolder(), out))
        return {};
    return out;
}

SharedString InstallerController::expandVariables(const SharedString& text) const
{
    return expandVariablesFor(text, getDestinationFolder());
}

SharedString InstallerController::expandVariablesFor(const SharedString& text, const SharedString& folder) const
{
    SharedString out;
    if (!expandVariablesForDevice(text, *installData_, forAnyone_, *targetHost_, folder, out))
        return {};
    return out;
}

bool InstallerController::runHook(const SharedString& hook)
{
    return customActionHooks_->runHook(hook);
}

bool InstallerController::hasNewInstallerEntry() const
{
    // The lookup reads the bulletin only; the context it takes is not const.
    auto& context = const_cast<InstallerController&>(*this);
    std::shared_ptr<BulletinVersion> version;
    int index = 0;
    bool platformMatched = false;
    return getNewInstallerEntry(context, version, index, platformMatched);
}

bool InstallerController::needsRedistributables()
{
    redistributables_->evaluateRequired();
    return redistributables_->needsInstall();
}

PackageCache& InstallerController::packageCache()
{
    if (!packageCache_)
        makePackageCache();
    return *packageCache_;
}

void InstallerController::makePackageCache()
{
    const SharedString folder = getPackagesFolder();
    packageCache_ = std::make_unique<NoPackageCache>(targetHost_, folder);
    logInfo(SharedString(u"Cache type: ") + kNoPackageCacheType);
    logInfo(SharedString(u"Cache download folder: ") + folder);
}

void InstallerController::getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target)
{
    url = newVersionUrl_;
    size = newVersionSize_;
    target = newVersionTarget_;
}

void InstallerController::setNewVersionDownload(const SharedString& url, std::uint32_t size,
                                                const SharedString& target)
{
    newVersionUrl_ = url;
    newVersionSize_ = size;
    newVersionTarget_ = target;
}

const InstallerConfiguration& InstallerController::installerConfiguration() const
{
    return *buildConfiguration_;
}

SharedString InstallerController::liveUpdateUrl() const
{
    if (!options_.liveUpdateUrl.isEmpty())
        return options_.liveUpdateUrl;
    return installData_->settings().getLiveUpdateUrl();
}

SharedString InstallerController::installerFolder() const
{
    return AppPaths::instance().getProgramFolder();
}

std::shared_ptr<Feature> InstallerController::findLanguageTemplateFeature(const LanguageTemplate& languageTemplate)
{
    return languageTemplateMap_.findFeature(&languageTemplate);
}

}  // namespace druvex
