// Loading the installer data at start-up and preparing the run before the
// wizard's first page: the archive, the installer data and the build, merged
// projects, package sources, language files, target platform, the first page
// and the installed state.
#include "controller/installer_controller.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "controller/redistributables_manager.h"
#include "core/app_log.h"
#include "core/app_paths.h"
#include "core/path_text.h"
#include "core/split_path.h"
#include "core/translate_text.h"
#include "core/xml_reader.h"
#include "data/config_file.h"
#include "data/content_tree.h"
#include "data/install_data_xml.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/package_sources.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/update_folders.h"
#include "payload/payload_archive.h"
#include "text/char_class.h"
#include "text/assertion_sites.h"
#include "text/diag.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

constexpr std::u16string_view kMergeProjectPrefix = u"MergeProjectData_";
constexpr char16_t kInstalledLogName[] = u"InstalledLog.xml";
constexpr char16_t kForcedTranslationName[] = u"DRUVEX_Installer-Force.lng";
constexpr char16_t kProductTranslationPattern[] = u"DRUVEX_Installer-%5.lng";
// Every device platform: 0, 1, 2, 3, 6, 7 and 8.
constexpr std::int32_t kDevicePlatformsMask = 0x1CF;
// The desktop platforms Win32 and Win64.
constexpr std::int32_t kDesktopPlatformsMask = 0x30;

bool containsNoCase(std::u16string_view text, std::u16string_view part)
{
    if (part.size() > text.size())
        return false;
    for (std::size_t at = 0; at + part.size() <= text.size(); ++at) {
        if (equalsNoCase(text.substr(at, part.size()), part))
            return true;
    }
    return false;
}

// Parses the bytes into a data of their own and throws it away: only whether
// they parse counts.
bool installDataParses(const std::vector<std::uint8_t>& bytes)
{
    InstallData scratch;
    return readInstallDataXml(scratch, bytes.data(), bytes.size());
}

// Calls `visit` for every item below the root, parents before children.
template <class Visit>
void forEachItemBelow(const Feature& root, Visit& visit)
{
    for (int i = 0; i < root.subFeatureCount(); ++i) {
        const FeaturePtr& item = root.subFeatureAt(i);
        visit(*item);
        forEachItemBelow(*item, visit);
    }
}

// A "data.xml" beside the archive that an installation wrote for its
// installed copy lists no files of its custom actions, and an action without
// files is not unpacked before it runs: those lists come from the archive's
// own installer data, for each action the file gives without files.
void takeCustomActionFiles(PayloadArchive& archive, InstallData& data)
{
    std::vector<CustomActionPtr> bare;
    for (int index = 0; index < data.customActionCount(); ++index) {
        if (!data.customActionAt(index)->hasContent())
            bare.push_back(data.customActionAt(index));
    }
    if (bare.empty())
        return;
    const SharedString entry(u"Data");
    std::vector<std::uint8_t> bytes;
    InstallData archived;
    int error = 0;
    if (!archive.verifyEntry(entry, error) || !archive.extractTo(entry, bytes) ||
        !readInstallDataXml(archived, bytes.data(), bytes.size())) {
        logPrintf(u"The installer data of the archive cannot be read (error %d): the custom actions keep the files "
                  u"data.xml lists",
                  error);
        return;
    }
    for (const CustomActionPtr& action : bare) {
        const CustomActionPtr source = archived.findCustomAction(action->getNameRef().view());
        if (!source || !source->hasContent())
            continue;
        action->clearContent();
        for (const auto& item : source->contentFolder()->children())
            action->addContent(item->clone());
        logPrintf(u"The files of custom action %s are those of the archive's installer data", action->getNameRef());
    }
}

}  // namespace

bool InstallerController::loadInstallData(const SharedString& payloadPath, int& error)
{
    error = 0;
    const bool opened =
        payloadPath.isEmpty() ? payloadArchive_->openDefault(error) : payloadArchive_->open(payloadPath, error);
    if (!opened) {
        logPrintf(u"The installer archive %s cannot be opened (error %d)", payloadArchive_->filePath(), error);
        return false;
    }
    // A default archive found in the program file after "setup.dqres" failed
    // leaves that failure's code behind; the load itself has none.
    error = 0;
    if (payloadArchive_->entryCount() == 0)
        reportDbgChk(kCheckEmptyInstallerArchive);

    std::vector<std::uint8_t> bytes;
    const SharedString archivePath = payloadArchive_->filePath();
    if (containsNoCase(archivePath.view(), u"setup.dqres")) {
        separatePayload_ = true;
        const SharedString dataPath = replaceFileName(archivePath, SharedString(u"data.xml"));
        if (sourceHost_->exists(dataPath, nullptr) && readFileToBuffer(*sourceHost_, bytes, dataPath)) {
            if (installDataParses(bytes)) {
                logPrintf(u"Installer data taken from %s", dataPath);
            } else {
                logPrintf(u"%s does not parse; the installer data of the archive is used", dataPath);
                bytes.clear();
            }
        }
    }

    const bool fromDataFile = !bytes.empty();
    const SharedString dataEntry(u"Data");
    if (bytes.empty()) {
        if (!payloadArchive_->verifyEntry(dataEntry, error)) {
            logPrintf(u"The archive entry \"Data\" fails its check (error %d)", error);
            return false;
        }
        if (!payloadArchive_->extractTo(dataEntry, bytes)) {
            error = kPayloadErrorNoEntry;
            logInfo(u"The archive entry \"Data\" cannot be extracted");
            return false;
        }
    }

    InstallDataRefusal refusal;
    std::vector<SharedString> unknownElements;
    const bool read = readInstallDataXml(*installData_, bytes.data(), bytes.size(), nullptr, &refusal, &unknownElements);
    for (const SharedString& note : unknownElements)
        logPrintf(u"%s", note);
    if (!read) {
        error = kPayloadErrorFormat;
        logPrintf(u"The installer data does not parse: %s", describeInstallDataRefusal(refusal));
        return false;
    }
    if (!installData_->settings().namesProgramUuid()) {
        error = kLoadErrorNoProgramUuid;
        logPrintf(u"The installer data names no ProgramUuid: the product would have no data folder of its own");
        return false;
    }
    if (fromDataFile)
        takeCustomActionFiles(*payloadArchive_, *installData_);
    installDataLoaded_ = true;

    std::vector<std::uint8_t> info;
    if (!payloadArchive_->extractTo(SharedString(u"InstallerInfo"), info)) {
        error = kPayloadErrorNoEntry;
        logInfo(u"The archive entry \"InstallerInfo\" cannot be extracted");
        return false;
    }
    if (!buildConfiguration_->load(info.data(), info.size())) {
        error = kLoadErrorInstallerInfo;
        logInfo(u"The installer information does not load");
        return false;
    }

    if (!mergeProjects()) {
        error = kPayloadErrorFormat;
        return false;
    }

    if (installData_->settings().getTreatLq5AsQm40())
        setTreatLq5AsQm40();

    settings_.clear();
    InstallerSettings::Iterator setting;
    setting.start(installData_->settings());
    while (setting.next())
        settings_.set(setting.key(), setting.value());

    applicationServices_->extractThemeBitmaps(*this);
    return true;
}

bool InstallerController::mergeProjects()
{
    for (std::uint32_t i = 0; i < payloadArchive_->entryCount(); ++i) {
        const SharedString entry = payloadArchive_->entryAt(static_cast<std::int32_t>(i)).name;
        const std::u16string_view name = entry.view();
        if (name.size() <= kMergeProjectPrefix.size() || !name.starts_with(kMergeProjectPrefix))
            continue;
        auto project = std::make_shared<MergedProject>(SharedString(name.substr(kMergeProjectPrefix.size())));
        int error = 0;
        std::vector<std::uint8_t> bytes;
        if (!payloadArchive_->verifyEntry(entry, error) || !payloadArchive_->extractTo(entry, bytes)) {
            logPrintf(u"The merged project %s cannot be read (error %d)", entry, error);
            return false;
        }
        InstallData& data = project->getInstallData();
        InstallDataRefusal refusal;
        std::vector<SharedString> unknownElements;
        const bool read = readInstallDataXml(data, bytes.data(), bytes.size(), nullptr, &refusal, &unknownElements);
        for (const SharedString& note : unknownElements)
            logPrintf(u"The merged project %s: %s", entry, note);
        if (!read) {
            logPrintf(u"The merged project %s does not parse: %s", entry, describeInstallDataRefusal(refusal));
            return false;
        }
        if (!equalsNoCase(data.settings().getProgramName().view(), project->getName().view()) ||
            !data.settings().namesProgramUuid()) {
            logPrintf(u"The merged project %s names another program or has no ProgramUuid", entry);
            return false;
        }
        mergedProjects_.push_back(std::move(project));
    }
    return true;
}

bool InstallerController::initialize(int& error)
{
    error = 0;
    if (!options_.liveUpdateUrl.isEmpty())
        installData_->settings().setLiveUpdateUrl(options_.liveUpdateUrl);

    buildPackageSources();
    scanProductTranslationFiles();
    applicationServices_->collectWelcomeBanners(*this);

    // An installer for controllers, or for desktops only, runs on its target.
    const auto runsOnTarget = [this] {
        return buildConfiguration_->getInstallerPlatform() == kInstallerPlatformController ||
               (buildConfiguration_->getTargetPlatformMask() & ~kDesktopPlatformsMask) == 0;
    };
    if (options_.rebootAsAdmin) {
        targetPlatform_ = options_.platform;
        buildConfiguration_->setTargetPlatformMask(platformMask(options_.platform));
    } else {
        TargetPlatform platform = kPlatformUnknown;
        if (platformFromMask(buildConfiguration_->getTargetPlatformMask(), true, platform))
            targetPlatform_ = platform;
        else if (runsOnTarget() && isMultiPlatformMask(buildConfiguration_->getTargetPlatformMask(), false))
            takeTargetPlatformFromDevice();
    }
    const std::int32_t buildMask = buildConfiguration_->getTargetPlatformMask();
    tethered_ =
        !options_.useHalWin && (buildMask & installData_->settings().getAvailablePlatforms() & kDevicePlatformsMask) != 0;

    makeDestination();
    redistributables_->loadDefinitions();
    if (options_.forMobile)
        return true;

    const SharedString& programFile = AppPaths::instance().getModulePath();
    if (equalsNoCase(getFileTitle(programFile).view(), u"setup") &&
        !sourceHost_->exists(replaceFileName(programFile, SharedString(kInstalledLogName)), nullptr)) {
        error = kLoadErrorNoInstalledLog;
        logPrintf(u"%s finds no %s beside it", programFile, kInstalledLogName);
        return false;
    }

    buildLanguageTemplateMap();
    buildAdditionalLanguages();
    applicationServices_->extractBanners(*this);
    processUpdateFolder(*this, installerFolder());
    processCustomFolder(*this);

    if (!options_.uninstallMode && (!options_.createBackup || options_.updateMode == kUpdateModeNewVersion))
        pageSequence_->reset(kPagePrerequisites);

    // The installed state depends on the platform: a build for several
    // platforms reads it once the device has named its own.
    if (runsOnTarget() && (!isMultiPlatformMask(buildMask, false) || targetPlatform_ < kPlatformCount)) {
        // Without an installed log the run is a new installation; a log that
        // is there but does not read has said so in the log.
        (void)loadInstalledState();
        installedStateLoaded_ = true;
        if (options_.uninstallMode)
            startUninstallation();
        if (options_.createBackup && options_.updateMode != kUpdateModeNewVersion) {
            makePackageCache();
            pageSequence_->reset(kPageInstallation);
            pageSequence_->buildForMode(kModeBackup);
        }
    }

    loadPrerequisiteChecks();
    return true;
}

void InstallerController::takeTargetPlatformFromDevice()
{
    DeviceType type = DeviceType::NONE;
    if (targetHost_->getDeviceType(type, true) != ConnectionState::DEVICE_CONNECTED) {
        logInfo(u"The device does not name its type: the target platform is found later");
        return;
    }
    const TargetPlatform platform = platformFromDeviceType(static_cast<std::int32_t>(type));
    if (platform < 0 || platform >= kPlatformCount ||
        !maskHasPlatform(buildConfiguration_->getTargetPlatformMask(), platform)) {
        logPrintf(u"The device (type %d) is of no platform this installer serves (%s)", static_cast<int>(type),
                  platformListText(buildConfiguration_->getTargetPlatformMask()));
        return;
    }
    targetPlatform_ = platform;
    logPrintf(u"The target platform is %s, the device's", platformName(platform, false));
}

void InstallerController::buildPackageSources()
{
    std::map<std::u16string, std::int32_t, std::less<>> positions;
    for (std::uint32_t i = 0; i < payloadArchive_->entryCount(); ++i) {
        const auto index = static_cast<std::int32_t>(i);
        positions.emplace(std::u16string(payloadArchive_->entryAt(index).name.view()), index);
    }
    auto add = [&](const Feature& item) {
        const SharedString name = getArchiveName(item, true);
        const auto found = positions.find(name.view());
        if (found != positions.end()) {
            const std::uint64_t size = payloadArchive_->entryAt(found->second).packedSize;
            packageSources_->addIfAbsent(item, kSourceArchiveEntry, name, static_cast<std::uint32_t>(size),
                                         static_cast<std::uint32_t>(size >> 32));
            return;
        }
        if (item.getCompressedSize() == 0)
            packageSources_->addIfAbsent(item, kSourceArchiveEntry, name, 0, 0);
    };
    if (const FeaturePtr root = installData_->featureRoot())
        forEachItemBelow(*root, add);
    if (const FeaturePtr root = installData_->extraDataRoot())
        forEachItemBelow(*root, add);
}

void InstallerController::scanProductTranslationFiles()
{
    const SharedString& folder = AppPaths::instance().getProgramFolder();
    std::unique_ptr<HalFileFinder> finder;
    if (folder.isEmpty() || !sourceHost_->createFileFinder(folder, finder))
        return;
    do {
        if (finder->isFolder())
            continue;
        const SharedString name = finder->name();
        if (!equalsNoCase(getExtension(name).view(), u"lng"))
            continue;
        if (equalsNoCase(name.view(), kForcedTranslationName)) {
            forcedTranslation_ = true;
            selectTranslationFile(joinPath(folder, name).view());
            continue;
        }
        std::uint16_t lcid = 0;
        if (wildcardMatch(name.view(), kProductTranslationPattern, lcid))
            languageIdsAsFiles_.insert(lcid);
    } while (finder->next());
}

bool InstallerController::loadInstalledState()
{
    if (!loadInstalledLog())
        return false;
    const SharedString folder = getDestinationFolder();
    std::vector<std::uint8_t> bytes;
    ConfigFile config;
    if (!readFileToBuffer(*targetHost_, bytes, joinPath(folder, SharedString(u"_config.xml"))) ||
        !config.parse(bytes))
        return true;
    if (!installData_->settings().getBkGndThemeOverride())
        return true;
    const std::int32_t theme = config.getTheme();
    if (theme == installData_->settings().getBackgroundTheme())
        return true;
    const SharedString images = joinPath(folder, SharedString(u"orvdata\\images"));
    bool isFolder = false;
    if (!targetHost_->exists(images, &isFolder) || !isFolder)
        return true;
    setImagesFolder(images);
    installData_->settings().setBackgroundTheme(theme);
    // Each mode preparation starts from the pristine settings again; the
    // theme of the installed program must survive it.
    settings_.setBackgroundTheme(theme);
    return true;
}

bool InstallerController::loadInstalledLog()
{
    if (options_.configMode == kConfigModeMake)
        return false;

    const SharedString path = joinPath(getProductDataFolder(), SharedString(kInstalledLogName));
    installedLog_->clear();
    if (!targetHost_->exists(path, nullptr))
        return false;
    // A log that is there but does not read is left where it is: it is the
    // only record of what the installation put on the target.
    std::vector<std::uint8_t> bytes;
    if (!readFileToBuffer(*targetHost_, bytes, path)) {
        logPrintf(u"%s cannot be read; the program counts as not installed", path);
        return false;
    }
    XmlParseError parseError;
    if (!installedLog_->loadFromBuffer(bytes.data(), bytes.size(), &parseError)) {
        logPrintf(u"%s does not parse (at byte %u: %hs); the program counts as not installed", path,
                  static_cast<unsigned>(parseError.offset), parseError.rule);
        installedLog_->clear();
        return false;
    }

    queryInstalledInstaller();

    if (installedLog_->getFeatureCount() == 0) {
        installedLog_->clear();
        return false;
    }
    const SharedString& installedProgram = installedLog_->getProgramName();
    if (!installedProgram.isEmpty() && !equalsNoCase(installedProgram.view(), getProgramName().view())) {
        logPrintf(u"%s belongs to %s", path, installedProgram);
        foreignInstalledLog_ = std::move(installedLog_);
        installedLog_ = std::make_shared<InstalledLog>();
        return false;
    }

    setDestinationFolder(installedLog_->getDestinationFolder());
    forAnyone_ = installedLog_->isInstalledForAllUsers();
    if (!options_.uninstallMode)
        checkInstalledFeatureFiles();
    compareInstalledVersion();
    if (!installedStateLoaded_) {
        installedLog_->copyPersistentTo(*installData_);
        applyInstalledLanguage();
    }
    return true;
}

void InstallerController::setApplicationServices(std::shared_ptr<ApplicationServices> services)
{
    applicationServices_ = services ? std::move(services) : makeNoApplicationServices();
}

void InstallerController::recordBanner(const SharedString& name, std::int32_t number)
{
    for (const BannerTableEntry& entry : bannerTable_) {
        if (entry.name == name)
            return;
    }
    bannerTable_.push_back({name, number});
}

namespace {

class NoApplicationServices final : public ApplicationServices {
public:
    bool extractThemeBitmaps(InstallerController&) override { return true; }
    void collectWelcomeBanners(InstallerController&) override {}
    void extractBanners(InstallerController&) override {}
};

}  // namespace

std::shared_ptr<ApplicationServices> makeNoApplicationServices()
{
    return std::make_shared<NoApplicationServices>();
}

}  // namespace druvex
