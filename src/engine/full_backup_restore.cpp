// The checks of a full backup and the backup run. The restore is in
// full_restore.cpp.
#include "engine/full_backup_restore.h"

#include <set>
#include <string>
#include <vector>

#include "app_base/installer_options.h"
#include "controller/run_controller.h"
#include "core/app_log.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/version_number.h"
#include "engine/backup_files.h"
#include "fileutil/file_util.h"
#include "fileutil/installation_process_listener.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "payload/seven_zip_reader.h"
#include "payload/seven_zip_writer.h"
#include "platform/input_limits.h"
#include "text/char_class.h"

namespace druvex {
namespace {

// A job file or folder of the data folder and its name in the archive.
struct JobEntry {
    SharedString source;
    SharedString name;
};

// Collects what lies below `folder` into `jobs`, folders before what they
// hold, in the device's listing order. The data folder's own settings file
// is left out (it goes in first, as "settings.xml"), and so is every path in
// `leftOut` (the archive being written). False, logged, for a data folder
// that holds an "info.xml" of its own, which the backup information would
// hide, or one nested deeper than the limit.
bool collectJobs(HalAccess& host, const SharedString& folder, const std::u16string& prefix, std::uint32_t depth,
                 const std::set<std::u16string>& leftOut, std::vector<JobEntry>& jobs)
{
    if (depth > kMaxFolderNesting) {
        logError(SharedString().format(u"The data folder nests deeper than %u folders at %s", kMaxFolderNesting,
                                       folder)
                     .view());
        return false;
    }
    std::unique_ptr<HalFileFinder> finder;
    if (!host.createFileFinder(folder, finder) || !finder)
        return true;
    do {
        const SharedString name = finder->name();
        const SharedString source = joinPath(folder, name);
        if (depth == 0 && equalsNoCase(name.view(), kBackupSettingsName))
            continue;
        if (depth == 0 && equalsNoCase(name.view(), kBackupInfoName)) {
            logError((u"The data folder holds a file of its own named like the backup information: " + source)
                         .view());
            return false;
        }
        if (leftOut.contains(backupPathKey(source.view())))
            continue;
        const std::u16string archiveName = prefix + std::u16string(name.view());
        jobs.push_back({source, SharedString(std::u16string_view(archiveName))});
        if (finder->isFolder() && !collectJobs(host, source, archiveName + u"/", depth + 1, leftOut, jobs))
            return false;
    } while (finder->next());
    return true;
}

// What the writer reports, passed on to the installation page; pausing holds
// the writer, and a cancel stops it (the archive is then deleted).
class BackupProgress final : public SevenZipProgressListener {
public:
    BackupProgress(InstallationProcess& process, std::uint64_t total) : process_(process), total_(total) {}

    bool onProgress(std::uint32_t percent) override
    {
        bool canceled = false;
        process_.waitIfPausedAndCheckCanceled(canceled);
        if (canceled) {
            canceled_ = true;
            return false;
        }
        if (InstallationProcessListener* listener = process_.listener()) {
            const std::uint64_t kilobytes = kilobytesAtPercent(total_, percent);
            listener->onBackupProgress(lowWord(kilobytes), highWord(kilobytes), percent);
        }
        return true;
    }

    bool canceled() const { return canceled_; }

private:
    InstallationProcess& process_;
    std::uint64_t total_;
    bool canceled_ = false;
};

bool isCanceled(InstallationProcess& process)
{
    bool canceled = false;
    process.waitIfPausedAndCheckCanceled(canceled);
    return canceled;
}

}  // namespace

FullBackupRestore::FullBackupRestore(RunController& controller) : controller_(controller) {}

// --- Checking a backup ----------------------------------------------------------

std::int32_t FullBackupRestore::readBackupInfo(const SharedString& path)
{
    std::vector<SharedString>& description = controller_.getBackupDescription();
    description.clear();
    SevenZipReader reader;
    BackupInfo info;
    const std::int32_t code = inspect(controller_.getHalOut(), path, reader, info);
    if (code != kBackupValid)
        return code;
    controller_.setBackupPath(path);
    describe(info, reader);
    return kBackupValid;
}

std::int32_t FullBackupRestore::inspect(const std::shared_ptr<HalAccess>& host, const SharedString& path,
                                        SevenZipReader& reader, BackupInfo& info) const
{
    const auto refuse = [&](std::int32_t code, const char16_t* why) {
        logPrintf(u"The full backup %s cannot be restored: %s", path, why);
        reader.close();
        return code;
    };
    if (path.isEmpty() || !reader.open(host, path))
        return refuse(kBackupNotValid, u"it is no backup archive that this installer can open");

    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    const SevenZipReaderEntry* settingsEntry = nullptr;
    const SevenZipReaderEntry* infoEntry = nullptr;
    for (const auto& entry : entries) {
        if (entry->isDirectory)
            continue;
        if (!settingsEntry && entry->name == kBackupSettingsName)
            settingsEntry = entry.get();
        if (!infoEntry && entry->name == kBackupInfoName)
            infoEntry = entry.get();
    }
    if (!settingsEntry || !infoEntry)
        return refuse(kBackupMissingFiles, u"it lacks settings.xml or info.xml");

    // An empty or outsized file is no document; one that does not decode is
    // a damaged archive.
    std::vector<std::uint8_t> settings;
    std::vector<std::uint8_t> infoBytes;
    for (const SevenZipReaderEntry* entry : {settingsEntry, infoEntry}) {
        if (entry->size == 0 || entry->size > kMaxInMemoryExtraction)
            return refuse(kBackupInvalidFiles, u"settings.xml or info.xml is empty or too large");
        if (!reader.extractTo(entry->name, entry == settingsEntry ? settings : infoBytes))
            return refuse(kBackupNotValid, u"the archive is damaged");
    }
    if (!isXmlDocument(settings))
        return refuse(kBackupInvalidFiles, u"settings.xml does not parse");
    switch (readBackupInfoXml(infoBytes, info)) {
    case BackupInfoRead::Read:
        break;
    case BackupInfoRead::OtherFormat:
        return refuse(kBackupIncompatible, u"info.xml is not of the format this installer reads");
    case BackupInfoRead::DoesNotParse:
    case BackupInfoRead::Incomplete:
        return refuse(kBackupInvalidFiles, u"info.xml does not parse or lacks the program or the data folder");
    }

    const InstallerSettings& settingsOfData = controller_.getInstallData().settings();
    const SharedString uuid = settingsOfData.getProgramUuid();
    const bool sameProgram = !uuid.isEmpty() && !info.programUuid.isEmpty()
                                 ? equalsNoCase(uuid.view(), info.programUuid.view())
                                 : equalsNoCase(settingsOfData.getProgramName().view(), info.programName.view());
    if (!sameProgram)
        return refuse(kBackupNotValid, u"it holds the data of another program");
    VersionNumber ours;
    if (ours.parse(settingsOfData.getProgramVersionText().view()) &&
        VersionNumber::compare(VersionNumber::fromText(info.programVersion.view()), ours) > 0)
        return refuse(kBackupFutureVersion, u"it was made by a later version of the program");
    return kBackupValid;
}

void FullBackupRestore::describe(const BackupInfo& info, const SevenZipReader& reader)
{
    std::vector<SharedString>& description = controller_.getBackupDescription();
    description.push_back(formatTranslated("Backup of {1} {2} made on {3}",
                                           {info.programName.view(), info.programVersion.view(), info.created.view()}));
    description.push_back(formatTranslated("Data folder: {1}", info.dataFolder.view()));
    std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
    reader.listFiles(entries);
    for (const auto& entry : entries) {
        if (!entry->isDirectory && entry->name != kBackupInfoName)
            description.push_back(entry->name);
    }
}

// --- The backup ----------------------------------------------------------------------

std::int32_t FullBackupRestore::runBackup(InstallationProcess& process)
{
    const InstallerOptions& options = controller_.getOptions();
    const SharedString& archive = options.createBackupText1;
    const SharedString& given = options.createBackupText2;
    const std::shared_ptr<HalAccess> host = process.getHalOut();
    const auto failed = [](const SharedString& why) {
        logError(why.view());
        return kBackupFailed;
    };
    if (archive.isEmpty() || !isPlainFolderPath(given.view()))
        return failed(SharedString().format(u"A full backup needs an archive and a data folder, not \"%s\" and \"%s\"",
                                            archive, given));

    const InstalledLog& installed = *controller_.getInstalledLog();
    const bool programInstalled = installed.getFeatureCount() > 0;
    if (!isRootedPath(given.view()) && !programInstalled)
        return failed(SharedString().format(u"The data folder %s lies in the program's folder, but the program is "
                                            u"not installed",
                                            given));
    const SharedString folder = dataFolderPath(given, controller_.getDestinationFolder());
    bool isFolder = false;
    if (!host->exists(folder, &isFolder) || !isFolder)
        return failed(u"The data folder to back up does not exist: " + folder);
    const SharedString settingsFile = joinPath(folder, SharedString(kBackupSettingsName));
    if (!host->exists(settingsFile, &isFolder) || isFolder)
        return failed(u"The data folder holds no settings file: " + settingsFile);

    const SharedString partial = archive + kTemporarySuffix;
    const SharedString infoFile = archive + kBackupInfoSuffix;
    std::vector<JobEntry> jobs;
    const std::set<std::u16string> leftOut{backupPathKey(archive.view()), backupPathKey(partial.view()),
                                           backupPathKey(infoFile.view())};
    if (!collectJobs(*host, folder, std::u16string(), 0, leftOut, jobs))
        return kBackupFailed;

    const InstallerSettings& settings = controller_.getInstallData().settings();
    BackupInfo info;
    info.programName = programInstalled && !installed.getProgramName().isEmpty() ? installed.getProgramName()
                                                                                  : settings.getProgramName();
    info.programUuid = settings.getProgramUuid();
    info.programVersion = programInstalled && installed.getProgramVersion().partCount() > 0
                              ? installed.getProgramVersion().toText()
                              : settings.getProgramVersionText();
    info.dataFolder = given;
    info.created = backupCreationTime();
    const SharedString archiveFolder = getParentFolder(archive);
    if (!archiveFolder.isEmpty() && !createDirectoryRecursive(*host, archiveFolder))
        return failed(u"The folder of the backup cannot be created: " + archiveFolder);
    std::vector<std::uint8_t> infoBytes;
    if (!writeBackupInfoXml(info, infoBytes) || !writeBufferToFile(*host, infoBytes, infoFile)) {
        deleteFileOrLog(*host, infoFile);
        return failed(u"The backup information cannot be written to " + infoFile);
    }
    const auto code = [&]() -> std::int32_t {
        if (isCanceled(process))
            return kBackupCanceled;
        // The writer deletes what it wrote unless it closes the archive whole.
        SevenZipWriter writer;
        if (!writer.open(host, partial))
            return failed(u"The backup cannot be created: " + partial);
        if (!writer.addPath(settingsFile, SharedString(kBackupSettingsName)) ||
            !writer.addPath(infoFile, SharedString(kBackupInfoName)))
            return failed(u"The settings file or the backup information cannot be added from " + folder);
        for (const JobEntry& job : jobs) {
            if (!writer.addPath(job.source, job.name))
                return failed(u"The backup cannot take " + job.source);
        }
        std::uint64_t total = 0;
        for (const auto& entry : writer.entries())
            if (entry->hasData())
                total += entry->size;
        if (InstallationProcessListener* listener = process.listener())
            listener->onBackupBegin(true, lowWord(total >> 10), highWord(total >> 10));
        BackupProgress progress(process, total);
        if (!writer.close(&progress)) {
            if (progress.canceled())
                return kBackupCanceled;
            return failed(u"The backup could not be written: " + archive);
        }
        if (!replaceWithTemporary(*host, partial, archive))
            return kBackupFailed;
        logPrintf(u"Full backup of %s written to %s: %u files and folders", folder, archive,
                  static_cast<unsigned>(jobs.size() + 2));
        return kBackupDone;
    }();
    deleteFileOrLog(*host, infoFile);
    if (code == kBackupCanceled)
        logPrintf(u"The full backup to %s was canceled; no archive was left", archive);
    return code;
}

}  // namespace druvex
