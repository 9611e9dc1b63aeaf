// The files an installation leaves about itself: "_config.xml" beside the
// installed program, and in the product data folder the installer data
// "data.xml", a copy of the installer when the run installs another version
// over an installed one, and "InstalledLog.xml", which is written last of
// all. Each document is written under a temporary name and renamed, so a
// failure never costs the one already there; an installed log that does not
// parse is set aside at the start of a run, never overwritten unseen.
#include <algorithm>
#include <optional>
#include <string>

#include "controller/run_controller.h"
#include "core/app_paths.h"
#include "core/byte_stream.h"
#include "core/path_text.h"
#include "data/config_file.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "data/installed_log.h"
#include "data/previous_settings.h"
#include "engine/installation_process.h"
#include "engine/journaling_hal.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "payload/archive_copy.h"
#include "payload/package_streams.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "platform/device_config.h"

namespace druvex {

namespace {

const char16_t kInstalledLogName[] = u"InstalledLog.xml";

// The installed log just written becomes the controller's, read back from its
// bytes as a later run reads it; one that does not read back is logged.
void takeInstalledLog(RunController& controller, const InstalledLog& log)
{
    std::vector<std::uint8_t> bytes;
    if (log.serialize(bytes) && controller.getInstalledLog()->loadFromBuffer(bytes.data(), bytes.size()))
        return;
    logError(u"The installed log just written cannot be read back");
}

}  // namespace

void InstallationProcess::setAsideUnreadableInstalledLog()
{
    const SharedString path = joinPath(controller_.getProductDataFolder(), SharedString(kInstalledLogName));
    bool isFolder = false;
    if (!halOut_->exists(path, &isFolder) || isFolder)
        return;
    std::vector<std::uint8_t> bytes;
    InstalledLog probe;
    if (readFileToBuffer(*halOut_, bytes, path) && probe.loadFromBuffer(bytes.data(), bytes.size()))
        return;
    SharedString aside = path + u".unreadable";
    for (int number = 2; halOut_->exists(aside, nullptr); ++number)
        aside = path + SharedString().format(u".unreadable%d", number);
    if (halOut_->moveFile(path, aside))
        logError((u"The installed log " + path + u" does not parse; it was moved to " + aside).view());
    else
        logError((u"The installed log " + path + u" does not parse and cannot be moved aside").view());
}

std::shared_ptr<InstalledLog> InstallationProcess::buildInstalledLog() const
{
    auto log = std::make_shared<InstalledLog>();
    const InstalledLog& old = *controller_.getInstalledLog();
    const InstallerSettings& settings = controller_.getInstallData().settings();
    log->setProgramName(settings.getProgramName());
    log->setProgramVersion(settings.getProgramVersion());
    log->setDailyBuild(settings.getDailyBuild());
    log->setRevisionNumber(settings.getRevisionNumber());
    const VersionNumber installer = VersionNumber::fromText(kInstallerVersion);
    log->setInstallerVersion(installer);
    log->setMinAutoVersion(installer);
    log->setInstalledForAllUsers(controller_.isForAnyone());
    log->setOwner(activeDeviceConfig()->userName);
    log->setDestinationFolder(controller_.getDestinationFolder());
    log->setLanguage(controller_.getLanguage(), controller_.getLanguageCode());
    log->setEula(controller_.getEula() ? controller_.getEula() : old.getEula());
    // Other products' scripts may ask this product to remove a feature: its
    // installed installer takes such requests, where there is one.
    std::uint32_t support = old.getSupportFlags() & ~kInstalledLogSupportsRoboActions;
    if (halOut_->exists(joinPath(controller_.getProductDataFolder(), SharedString(u"setup.exe")), nullptr))
        support |= kInstalledLogSupportsRoboActions;
    log->setSupportFlags(support);
    for (std::uint32_t index = 0; index < old.getPendingRegistrationCount(); ++index)
        log->addPendingRegistration(old.getPendingRegistration(index));
    controller_.getInstallData().copyPersistentTo(*log);

    // The installed features that stay, then those of this run in the order
    // they were installed.
    for (int index = 0; index < old.getFeatureCount(); ++index) {
        const FeaturePtr& record = old.getFeature(index);
        const bool removed = std::find(removedRecords_.begin(), removedRecords_.end(), record) != removedRecords_.end();
        const bool replaced = std::any_of(installedRecords_.begin(), installedRecords_.end(), [&](const FeaturePtr& f) {
            return compareNoCase(f->getName().c_str(), record->getName().c_str()) == 0;
        });
        if (!removed && !replaced)
            log->addFeature(record);
    }
    for (const FeaturePtr& record : installedRecords_)
        log->addFeature(record);
    return log;
}

bool InstallationProcess::writeProductFiles()
{
    const SharedString dataFolder = controller_.getProductDataFolder();
    if (!createDirectoryRecursive(*halOut_, dataFolder)) {
        logError((u"Cannot create the product data folder " + dataFolder).view());
        return false;
    }
    InstallData& data = controller_.getInstallData();

    ConfigFile config;
    config.setLanguage(controller_.getLanguage());
    config.setTheme(data.settings().getBackgroundTheme());
    std::vector<std::uint8_t> bytes;
    // A configuration the file cannot hold (no language, no theme) is not stored.
    if (config.write(bytes) &&
        !replaceFileWithBuffer(*halOut_, bytes, joinPath(controller_.getDestinationFolder(), SharedString(u"_config.xml")),
                               u"The installer configuration"))
        return false;

    data.settings().setRevisionNumber(controller_.getEffectiveRevision(true));
    bytes.clear();
    MemoryStream stream(bytes);
    if (!writeInstallDataXml(data, stream, true) ||
        !replaceFileWithBuffer(*halOut_, bytes, joinPath(dataFolder, SharedString(u"data.xml")),
                               u"The installer data"))
        return false;

    const std::shared_ptr<InstalledLog> log = buildInstalledLog();
    if (!log->saveToFile(*halOut_, joinPath(dataFolder, SharedString(kInstalledLogName)))) {
        logError((u"Cannot write the installed log in " + dataFolder).view());
        return false;
    }
    // From here on the controller knows what stands, as a later run will.
    takeInstalledLog(controller_, *log);
    return true;
}

void InstallationProcess::writeInstalledLogOfWhatStands()
{
    if (!halOut_)
        return;
    const SharedString dataFolder = controller_.getProductDataFolder();
    const std::shared_ptr<InstalledLog> log = buildInstalledLog();
    if (!createDirectoryRecursive(*halOut_, dataFolder) ||
        !log->saveToFile(*halOut_, joinPath(dataFolder, SharedString(kInstalledLogName)))) {
        logError((u"Cannot write the installed log in " + dataFolder).view());
        return;
    }
    takeInstalledLog(controller_, *log);
}

void InstallationProcess::saveStateForReboot()
{
    if (!controller_.isRebootRequired() || mode_ == kModeUninstall)
        return;
    PreviousSettings& settings = controller_.getPreviousSettings();
    controller_.collectSettings(settings);
    const SharedString path = controller_.getPreviousSettingsPath();
    createDirectoryRecursive(*controller_.getHalIn(), getParentFolder(path));
    if (settings.saveToFile(path))
        logInfo((u"The wizard's state is saved for after the reboot in " + path).view());
    else
        logError((u"The wizard's state cannot be saved in " + path).view());
}

bool InstallationProcess::copyInstallerIfUpgrading()
{
    // The installed copy is the installer of the version that stands: a run
    // that brings another version (an upgrade, or a downgrade the user
    // accepted) brings its installer along; a repair or a change of features
    // keeps the copy there and needs no room for another.
    if (controller_.getInstalledLog()->getFeatureCount() == 0 || controller_.getInstalledVersionComparison() == 0)
        return true;
    const SharedString dataFolder = controller_.getProductDataFolder();
    if (!createDirectoryRecursive(*halOut_, dataFolder))
        return failRun(controller_, u"Cannot create the product data folder " + dataFolder);
    if (!copyInstallerProgram(joinPath(dataFolder, SharedString(u"setup.exe"))) ||
        !copyInstallerArchive(joinPath(dataFolder, SharedString(u"setup.dqres"))))
        return false;
    logInfo((u"The installer is copied to " + dataFolder + u" as setup.exe and setup.dqres").view());
    return true;
}

bool InstallationProcess::copyInstallerProgram(const SharedString& setupExe)
{
    // The program file, where it lies on the machine that runs the installer.
    const SharedString program = AppPaths::instance().getModulePath();
    const std::shared_ptr<HalAccess> source = controller_.getHalIn();
    bool isFolder = false;
    if (program.isEmpty() || !source->exists(program, &isFolder) || isFolder)
        return true;
    // A run of the installed copy: it is in place already.
    if (samePath(program.view(), setupExe.view())) {
        logInfo((u"The installer runs from its installed copy " + setupExe).view());
        return true;
    }
    // The program without an archive appended to it: the installed copy
    // takes its archive from the file beside it.
    std::uint64_t length = 0;
    if (samePath(payload_.filePath().view(), program.view())) {
        length = payload_.payloadBase();
    } else {
        PayloadArchive appended(*source);
        int error = 0;
        if (appended.open(program, error))
            length = appended.payloadBase();
    }
    std::uint64_t size = length;
    if (size == 0 && !source->getFileSize(program, size))
        size = 0;
    const std::optional<std::uint64_t> part = length > 0 ? std::optional<std::uint64_t>(length) : std::nullopt;
    std::uint32_t writeError = 0;
    const bool copied = copyFileBetweenHosts(source, program, halOut_, setupExe, part, &writeError);
    if (!copied) {
        SharedString line = u"Cannot copy the installer (" + formatByteSize(size, 1, true) + u") to " + setupExe;
        if (writeError != 0)
            line += u" (" + describeHostError(writeError) + u")";
        return failRun(controller_, line);
    }
    return true;
}

bool InstallationProcess::copyInstallerArchive(const SharedString& archivePath)
{
    if (payload_.entryCount() == 0)
        return true;
    // A run of the installed copy reads this very file.
    if (samePath(payload_.filePath().view(), archivePath.view())) {
        logInfo((u"The installer's archive is the installed one, " + archivePath).view());
        return true;
    }
    const FileHandle created = halOut_->createFileForWrite(archivePath);
    if (created == kInvalidFileHandle || !halOut_->closeFile(created))
        return failRun(controller_,
                       u"Cannot create " + archivePath + u" (" + describeHostError(halOut_->getLastError()) + u")");
    auto output = std::make_shared<HalFileOutputStream>();
    if (!output->openForAppend(halOut_, archivePath))
        return failRun(controller_,
                       u"Cannot open " + archivePath + u" (" + describeHostError(halOut_->getLastError()) + u")");
    // What a write that failed was for, with the host's reason: a full store
    // says so, and how much was being written.
    const auto failed = [&](const SharedString& what) {
        SharedString line = u"Cannot copy " + what + u" to " + archivePath;
        if (output->writeError() != 0)
            line += u" (" + describeHostError(output->writeError()) + u")";
        return failRun(controller_, line);
    };
    // Every entry: the installed copy is the product's installer for each
    // later run, a repair or an added feature without the update server too.
    PayloadArchiveWriter writer(output, output->payloadBase());
    int error = 0;
    for (std::uint32_t index = 0; index < payload_.entryCount(); ++index) {
        const PayloadEntry& entry = payload_.entryAt(static_cast<std::int32_t>(index));
        // A later entry of a name taken already is never read.
        if (payload_.findEntry(entry.name) != static_cast<std::int32_t>(index))
            continue;
        switch (copyArchiveEntry(payload_, entry, writer, error)) {
        case EntryCopy::Copied:
            continue;
        case EntryCopy::TooLarge:
            // Its sizes would be recorded wrong: the copy goes without it,
            // and a later run takes that entry from elsewhere.
            logError(SharedString()
                         .format(u"The installer entry %s of %llu bytes (%llu unpacked) is left out of %s: an "
                                 u"entry of 4 GiB or more does not fit its record",
                                 entry.name, static_cast<unsigned long long>(entry.packedSize),
                                 static_cast<unsigned long long>(entry.unpackedSize), archivePath)
                         .view());
            continue;
        case EntryCopy::Failed:
            output->close();
            return failed(u"the installer entry " + entry.name + u" (" + formatByteSize(entry.packedSize, 1, true) +
                          u")");
        }
    }
    if (!writer.finish(error))
        return failed(SharedString(u"the archive's directory"));
    return true;
}

}  // namespace druvex
