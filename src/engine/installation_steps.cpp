// The steps of the installation process's modes: installing (also updating,
// repairing and changing features), uninstalling and downloading a newer
// installer. Every change on the target goes through the run's journaling
// host, so that endFailed can undo it.
#include "engine/installation_process.h"

#include <algorithm>
#include <set>
#include <utility>

#include "controller/feature_selection.h"
#include "controller/installer_ui_callback.h"
#include "controller/redistributables_manager.h"
#include "controller/run_controller.h"
#include "core/path_text.h"
#include "core/translate_text.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/package_sources.h"
#include "data/variable_expansion.h"
#include "engine/feature_node_writer.h"
#include "engine/feature_records_writer.h"
#include "engine/host_folder_unpacker.h"
#include "engine/host_node_writer.h"
#include "engine/journaling_hal.h"
#include "engine/rollback_journal.h"
#include "fileutil/file_util.h"
#include "fileutil/installation_process_listener.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "host/installer_script_runner.h"
#include "payload/install_destination.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"
#include "platform/win_error.h"
#include "text/mutex.h"

namespace druvex {

namespace {

// The record an installed feature leaves in the installed log: the feature's
// attributes, the records its package brought (else those of the installer
// data), and one file node per file the plan lists for it.
FeaturePtr makeInstalledRecord(const Feature& feature, const Feature* package, const InstallPlanItem* planned)
{
    FeaturePtr record = Feature::clone(feature, false);
    record->clearContent();
    record->setName(feature.getName());
    if (package) {
        const bool packageHasRecords = package->shortcutCount() > 0 || package->hasRegistry() ||
                                       package->featureScriptCount() > 0 || package->fileAssociationCount() > 0 ||
                                       package->environmentVarCount() > 0;
        if (packageHasRecords) {
            record->clearShortcuts();
            for (int i = 0; i < package->shortcutCount(); ++i)
                record->addShortcut(package->shortcutAt(i)->clone());
            record->clearEnvironmentVars();
            for (int i = 0; i < package->environmentVarCount(); ++i)
                record->addEnvironmentVar(package->environmentVarAt(i)->clone());
            record->clearFileAssociations();
            for (int i = 0; i < package->fileAssociationCount(); ++i)
                record->addFileAssociation(package->fileAssociationAt(i)->clone());
            record->clearFeatureScripts();
            for (int i = 0; i < package->featureScriptCount(); ++i)
                record->addFeatureScript(package->featureScriptAt(i)->clone());
            record->getRegistry().assign(package->getRegistry());
        }
    }
    if (planned) {
        for (const InstallPlanEntry& file : planned->files) {
            auto node = std::make_shared<ContentFile>(file.path);
            node->setFlags(file.flags);
            record->addContent(std::move(node));
        }
    }
    return record;
}

// Why a feature's package could not be unpacked, as the person is told.
FeatureFailure describeFailure(const Feature& feature, const HostNodeWriter& nodeWriter,
                               const FeatureNodeWriter& writer)
{
    FeatureFailure failure;
    failure.featureName = feature.getDisplayName();
    failure.skippable = feature.getPresel() != FeaturePreselection::Required;
    if (writer.isAbandoned())
        failure.reason = translateText("a file it replaces is held open by another program");
    else if (nodeWriter.lastError() == kErrorDiskFull)
        failure.reason = translateText("the store is full");
    else if (nodeWriter.lastError() != 0)
        failure.reason = formatTranslated("{1} could not be written", toBackslashes(nodeWriter.lastFailedPath()));
    else
        failure.reason = translateText("its package could not be unpacked");
    return failure;
}

// Why `file` could not be deleted just now: the host's error code and, where
// the host can tell (a desktop), the programs that hold the file open, so that
// the person knows what to close.
SharedString whyNotRemoved(HalAccess& host, const SharedString& file)
{
    const std::uint32_t error = host.getLastError();
    SharedString why = SharedString().format(u" (error %u", error);
    std::vector<LockingProcess> holders;
    if (error == kErrorSharingViolation && host.getLockingProcesses(file, holders) && !holders.empty()) {
        why += u": held open by ";
        for (std::size_t index = 0; index < holders.size(); ++index) {
            const LockingProcess& holder = holders[index];
            const SharedString& name = holder.applicationName.isEmpty() ? holder.serviceName : holder.applicationName;
            why += SharedString().format(u"%s%s (process %u)", index == 0 ? u"" : u", ", name, holder.processId);
        }
    }
    return why + u")";
}

// The file and the error code behind a failed write, for the log and the
// silent run's line.
SharedString failureDetail(const HostNodeWriter& nodeWriter)
{
    if (nodeWriter.lastError() == 0)
        return {};
    return SharedString().format(u" (error %u writing %s)", nodeWriter.lastError(),
                                 toBackslashes(nodeWriter.lastFailedPath()));
}

const InstallPlanItem* findPlanItem(const InstallPlan& plan, const Feature* feature)
{
    for (int index = plan.getItemCount() - 1; index >= 0; --index) {
        if (plan.getItem(index).feature.get() == feature)
            return &plan.getItem(index);
    }
    return nullptr;
}

// The folders of the files, each once, the deepest first.
std::vector<SharedString> foldersOf(const std::vector<SharedString>& files)
{
    std::set<std::u16string> seen;
    std::vector<SharedString> folders;
    for (const SharedString& file : files) {
        for (SharedString folder = getParentFolder(file); !folder.isEmpty(); folder = getParentFolder(folder)) {
            if (!seen.insert(installPathKey(folder.view())).second)
                break;
            folders.push_back(folder);
        }
    }
    std::sort(folders.begin(), folders.end(), [](const SharedString& a, const SharedString& b) {
        return a.length() > b.length();
    });
    return folders;
}

bool isInside(const SharedString& path, const SharedString& folder)
{
    const std::u16string inner = installPathKey(path.view());
    std::u16string outer = installPathKey(folder.view());
    while (!outer.empty() && outer.back() == u'/')
        outer.pop_back();
    return !outer.empty() && inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           inner[outer.size()] == u'/';
}

}  // namespace

// --- Installation ---------------------------------------------------------------

bool InstallationProcess::runInstallation()
{
    if (!controller_.getDestination() || controller_.getDestinationFolder().isEmpty())
        return failRun(controller_, SharedString(u"The installation has no destination folder"));
    beginJournal();
    setAsideUnreadableInstalledLog();
    if (!hook(u"INSTALL-BEGIN"))
        return false;

    FeatureSelection installSet;
    FeatureSelection removeSet;
    controller_.getFeatureChanges(installSet, removeSet);
    std::vector<FeaturePtr> toInstall(installSet.begin(), installSet.end());
    std::vector<FeaturePtr> toRemove(removeSet.begin(), removeSet.end());
    const InstalledLog& installed = *controller_.getInstalledLog();
    if (controller_.getWipeOldInstallation()) {
        // A wiped installation goes whole before the new one comes.
        for (int index = 0; index < installed.getFeatureCount(); ++index) {
            const FeaturePtr& record = installed.getFeature(index);
            if (std::find(toRemove.begin(), toRemove.end(), record) == toRemove.end())
                toRemove.push_back(record);
        }
    }
    std::uint64_t total = 0;
    for (const FeaturePtr& feature : toInstall)
        total += packageSize(*feature);
    totalBytes_.store(total);
    pendingPackages_.store(toInstall.size());

    // What the scripts asked of other products so far is removed with the
    // older installations.
    controller_.queueInstalledProductActions();
    if (!controller_.getUninstallLaunchers().empty() &&
        (isCanceled() || !hook(u"INSTALL-UNINSTPREV") || !removeOldInstallations()))
        return false;
    if (isCanceled() || !hook(u"INSTALL-REDIST") || !installRedistributables())
        return false;
    if (isCanceled() || !checkPackages(toInstall))
        return false;
    if (isCanceled())
        return false;
    if (!copyInstallerIfUpgrading()) {
        // Its steps logged what failed; this names the step.
        controller_.setFailureReason(u"The installer could not be copied into " + controller_.getProductDataFolder());
        return false;
    }
    if (!toRemove.empty()) {
        if (isCanceled() || !hook(u"INSTALL-UNINST"))
            return false;
        if (listener_) {
            if (controller_.getWipeOldInstallation())
                listener_->onCleanFolders(0, 0);
            listener_->onRemoveFiles(0, 0);
        }
        if (!removeFeatures(toRemove))
            return false;
    }
    if (isCanceled() || !hook(u"INSTALL-COPYFILES"))
        return false;
    if (listener_)
        listener_->onInstallBegin(0, 0);
    if (!installFeatures(toInstall))
        return false;
    if (isCanceled() || !hook(u"INSTALL-REGISTRY") || !writeFeatureRecords())
        return false;
    if (isCanceled() || !hook(u"INSTALL-SCRIPT"))
        return false;
    for (const FeaturePtr& record : installedRecords_) {
        if (!record->getFailed() && !runFeatureScripts(*record, kScriptOnInstall))
            return false;
    }
    if (isCanceled() || !hook(u"INSTALL-IIS"))
        return false;
    if (controller_.isRestore()) {
        const bool restored = backupRestore_ && backupRestore_->runRestore(*this);
        if (restored) {
            controller_.setRestoreDone();
        } else {
            logError(u"The full backup was not restored");
            controller_.setRestoreFailed();
        }
    }
    // The last point a cancel takes: once its installed log stands, the run
    // has succeeded.
    if (isCanceled() || !hook(u"INSTALL-EXIT") || isCanceled())
        return false;
    if (writeProductFiles())
        return true;
    controller_.setFailureReason(u"The program's records could not be written into " +
                                 controller_.getProductDataFolder());
    return false;
}

void InstallationProcess::beginJournal()
{
    const std::shared_ptr<HalAccess> target = controller_.getHalOut();
    journal_ = std::make_unique<RollbackJournal>(target, controller_.getRollbackFolder());
    halOut_ = std::make_shared<JournalingHal>(target, *journal_);
    const std::shared_ptr<HalAccess> elevated = controller_.getHalOutElevated();
    halOutElevated_ = elevated == target ? std::static_pointer_cast<HalAccess>(halOut_)
                                         : std::make_shared<JournalingHal>(elevated, *journal_);
}

bool InstallationProcess::hook(const char16_t* name)
{
    if (controller_.runHook(SharedString(name)))
        return true;
    return failRun(controller_, SharedString(u"The custom actions of ") + name + u" failed");
}

bool InstallationProcess::installRedistributables()
{
    RedistributablesManager& manager = controller_.getRedistributables();
    if (!manager.needsInstall())
        return true;
    SharedString failed;
    if (manager.installRequired(this, failed))
        return true;
    // Without a name the step was canceled: nothing to report.
    if (failed.isEmpty())
        return false;
    failRun(controller_, u"The redistributable " + failed + u" was not installed");
    if (listener_)
        listener_->reportRedistributableError(failed);
    return false;
}

// The redistributables have no phase of their own on the page: they show as
// counted steps, each named as the item being installed.
void InstallationProcess::onRedistributableStart(const SharedString& displayName, int index, int count)
{
    if (!listener_)
        return;
    listener_->onStep(static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(count));
    listener_->onProgressPosition(displayName, static_cast<std::uint64_t>(index));
}

void InstallationProcess::onRedistributableInstallerRun(const SharedString& displayName)
{
    redistributablesRun_.push_back(displayName);
}

bool InstallationProcess::checkPackages(const std::vector<FeaturePtr>& features)
{
    if (listener_)
        listener_->onCheckPackages(0, 0);
    for (const FeaturePtr& feature : features) {
        SharedString location;
        if (findPackage(*feature, location) || needsNoPackage(*feature))
            continue;
        setFailedFeatureName(feature->getDisplayName());
        if (location.isEmpty())
            return failRun(controller_, packageNotHadReason(*feature));
        return failRun(controller_, u"The package of " + feature->getName() + u" is missing at " + location);
    }
    return true;
}

bool InstallationProcess::findPackage(const Feature& feature, SharedString& location) const
{
    location.clear();
    std::vector<PackageSource> sources;
    if (!controller_.getPackageSources().equalRange(feature, sources))
        return false;
    const PackageSource& source = sources.front();
    location = source.location;
    return source.sourceKind == kSourceDownload ||
           (source.sourceKind == kSourceArchiveEntry && payload_.findEntry(source.location) >= 0) ||
           (source.sourceKind == kSourceLocalFile && controller_.getHalIn()->exists(source.location, nullptr));
}

SharedString InstallationProcess::packageNotHadReason(const Feature& feature) const
{
    SharedString text = u"The package of " + feature.getName();
    if (!feature.getVersion().isEmpty())
        text += u" " + feature.getVersion();
    text += u" cannot be had: it is not in the installer's archive " + toBackslashes(payload_.filePath()) +
            u" nor in its update folder, and ";
    SharedString addresses;
    std::vector<PackageSource> sources;
    controller_.getPackageSources().equalRange(feature, sources);
    for (const PackageSource& source : sources) {
        if (source.sourceKind != kSourceDownload)
            continue;
        if (!addresses.isEmpty())
            addresses += u", ";
        addresses += source.location;
    }
    // A version the installer does not carry can only come from an update
    // server: the line says which was asked, or that no bulletin names one.
    if (addresses.isEmpty())
        text += u"no update bulletin offers it, neither this run's nor the one kept in " +
                toBackslashes(joinPath(controller_.getProductDataFolder(), SharedString(kLastBulletinName)));
    else
        text += u"the update server does not provide it at " + addresses;
    return text;
}

bool InstallationProcess::needsNoPackage(const Feature& feature) const
{
    // The build makes no package for a feature that has no files, records
    // or size of its own (one that groups sub-features, a language the
    // installed log names); one that expects its files from a package and
    // finds none is an error.
    SharedString location;
    return !expectsPackage(feature) && !findPackage(feature, location);
}

std::uint64_t InstallationProcess::packageSize(const Feature& feature) const
{
    std::vector<PackageSource> sources;
    if (controller_.getPackageSources().equalRange(feature, sources) &&
        sources.front().sourceKind == kSourceArchiveEntry) {
        const std::int32_t index = payload_.findEntry(sources.front().location);
        if (index >= 0)
            return payload_.entryAt(index).unpackedSize;
    }
    return feature.getReqSpace() > 0 ? static_cast<std::uint64_t>(feature.getReqSpace()) : 0;
}

bool InstallationProcess::removeFeatures(const std::vector<FeaturePtr>& records)
{
    for (const FeaturePtr& record : records) {
        if (isCanceled() || !removeInstalledFeature(*record))
            return false;
        removedRecords_.push_back(record);
        changedSomething_ = true;
    }
    return true;
}

bool InstallationProcess::removeInstalledFeature(const Feature& record)
{
    logInfo((u"Removing " + record.getName()).view());
    runFeatureScripts(record, kScriptOnUninstall);
    // A link that stays behind points at nothing once the files go; it does
    // not hold the removal up, but it is named.
    for (int index = 0; index < record.shortcutCount(); ++index) {
        const Shortcut& shortcut = *record.shortcutAt(index);
        if (!halOut_->removeShortcut(shortcut))
            logHostFailure(*halOut_, u"Removing the shortcut", shortcut.name);
    }
    const bool allUsers = controller_.getInstalledLog()->isInstalledForAllUsers();
    if (!removeFeatureRegistry(*halOut_, record, allUsers) || !removeFileAssociations(*halOut_, record))
        return failRun(controller_, u"The registry entries of " + record.getName() + u" could not be removed");
    std::vector<SharedString> files;
    for (const auto& item : record.contentFolder()->children()) {
        if (item->isFile())
            files.push_back(item->getName());
    }
    for (const SharedString& file : files) {
        bool isFolder = false;
        if (!halOut_->exists(file, &isFolder) || isFolder)
            continue;
        while (!halOut_->deleteFile(file)) {
            const SharedString why = u"Cannot remove " + file + whyNotRemoved(*halOut_, file);
            logError(why.view());
            // Retry while the user asks for it.
            if (!listener_ || listener_->reportUninstallFeaturesError(0, 0) == 0)
                return failRun(controller_, u"The feature " + record.getName() + u" could not be removed: " + why);
            if (isCanceled())
                return false;
        }
    }
    // Folders left empty go, up to the destination folder, which stays; one
    // that holds something else stays too.
    const SharedString destination = controller_.getDestinationFolder().isEmpty()
                                         ? controller_.getInstalledLog()->getDestinationFolder()
                                         : controller_.getDestinationFolder();
    for (const SharedString& folder : foldersOf(files)) {
        if (isInside(folder, destination))
            (void)halOut_->removeDirectory(folder);
    }
    return true;
}

bool InstallationProcess::installFeatures(const std::vector<FeaturePtr>& features)
{
    std::vector<FeaturePtr> local = features;
    std::vector<FeaturePtr> downloaded;
    std::vector<PackageSource> sources;
    const bool anyDownload = std::any_of(features.begin(), features.end(), [&](const FeaturePtr& feature) {
        return controller_.getPackageSources().equalRange(*feature, sources) &&
               sources.front().sourceKind == kSourceDownload;
    });
    if (anyDownload) {
        local.clear();
        // Only this thread sets it: read here without the lock.
        PackageInstaller* installer = nullptr;
        {
            MutexLock lock(installerMutex_);
            packageInstaller_ = std::make_unique<PackageInstaller>(controller_, *this);
            installer = packageInstaller_.get();
        }
        installer->planDownloads(features, downloaded, local);
        if (!downloaded.empty()) {
            // The packages arrive in a folder of their own, gone again when
            // the run has unpacked them.
            packagesFolder_ = installer->packagesFolder();
            if (!createDirectoryRecursive(*halOut_, packagesFolder_))
                return failRun(controller_, u"Cannot create the packages folder " + packagesFolder_);
            FeaturePtr missing;
            if (!installer->checkPackagesPresent(&missing)) {
                if (!missing)
                    return false;
                setFailedFeatureName(missing->getDisplayName());
                return failRun(controller_, packageNotHadReason(*missing));
            }
            {
                MutexLock queueLock(queueMutex_);
                downloadsOutstanding_ = downloaded.size();
            }
            installer->start(listener_);
        }
    }
    startDecodingAhead(local);
    struct DecodersEnd {
        InstallationProcess& process;
        ~DecodersEnd() { process.endDecodingAhead(); }
    } decodersEnd{*this};
    for (const FeaturePtr& feature : local) {
        if (isCanceled())
            return false;
        const FeatureOutcome outcome = installFeature(feature, false, SharedString());
        pendingPackages_.fetch_sub(1);
        if (outcome == FeatureOutcome::Failed)
            return false;
    }
    endDecodingAhead();
    return waitForDownloads();
}

bool InstallationProcess::waitForDownloads()
{
    for (;;) {
        if (!processQueuedRequests())
            return false;
        MutexLock lock(queueMutex_);
        if (downloadsFailed_)
            return failRun(controller_, SharedString(u"The downloads of the online features failed"));
        if (queue_.empty() && downloadsOutstanding_ == 0) {
            if (!packagesFolder_.isEmpty())
                removeDirectoryOrLog(*halOut_, packagesFolder_);
            return true;
        }
        if (fastState_.load() == kRunStateCanceled || controller_.isCancelRequested())
            return false;
        queueChanged_.wait(queueMutex_, [&]() REQUIRES(queueMutex_) {
            return !queue_.empty() || downloadsOutstanding_ == 0 || downloadsFailed_ ||
                   fastState_.load() == kRunStateCanceled;
        });
    }
}

bool InstallationProcess::extractPackage(const Feature& feature, const SharedString& downloadedPath,
                                         PackageUnpacker& unpacker, PackageNodeWriter& writer)
{
    if (!downloadedPath.isEmpty())
        return decodePackageFile(halOut_, downloadedPath, unpacker);
    if (const std::optional<bool> decoded = takeDecodedAhead(feature, unpacker))
        return *decoded;
    std::vector<PackageSource> sources;
    if (!controller_.getPackageSources().equalRange(feature, sources)) {
        logError((u"The package of " + feature.getName() + u" has no source").view());
        return false;
    }
    const PackageSource& source = sources.front();
    switch (source.sourceKind) {
    case kSourceArchiveEntry:
        return payload_.extract(source.location, unpacker);
    case kSourceLocalFile:
        // A file of the "update" or "custom" folder is no package: the
        // feature's content names it, and the writer copies it in place.
        return writeLocalContent(*feature.contentFolder(), writer);
    default:
        logError((u"The package of " + feature.getName() + u" must be downloaded first").view());
        return false;
    }
}

bool InstallationProcess::writeLocalContent(const ContentFolder& folder, PackageNodeWriter& writer)
{
    InstallDestination* destination = controller_.getDestination();
    for (int index = 0; index < folder.childCount(); ++index) {
        const std::shared_ptr<ContentItem> node = folder.childAt(index);
        const SharedString path = destination ? destination->resolveQualifiedHostPath(*node) : SharedString();
        if (node->isFile()) {
            auto* file = static_cast<ContentFile*>(node.get());
            const bool created = !path.isEmpty() && writer.createFile(file, path);
            logFileCreated(path.view(), created, false);
            if (!created || !writer.finishFile())
                return false;
            continue;
        }
        auto* child = static_cast<ContentFolder*>(node.get());
        const bool created = !path.isEmpty() && writer.createFolder(child, path);
        logFolderCreated(path.view(), created, false);
        if (!created || !writeLocalContent(*child, writer))
            return false;
    }
    return true;
}

InstallationProcess::FeatureOutcome InstallationProcess::installFeature(const FeaturePtr& feature, bool fromQueue,
                                                                        const SharedString& downloadedPath)
{
    logInfo((u"Installing " + feature->getName()).view());
    // A downloaded package unpacked between two files of another feature
    // hands the plan back to that feature when it is done.
    struct PlanRecord {
        InstallationProcess& process;
        FeaturePtr outer;
        ~PlanRecord()
        {
            if (outer)
                process.plan_.addItem(outer);
            process.currentFeature_ = outer;
        }
    } planRecord{*this, std::exchange(currentFeature_, feature)};
    HostNodeWriter nodeWriter(halOut_);
    FeatureNodeWriter writer(nodeWriter, *this, plan_, observer_, feature, !fromQueue);
    PackageUnpacker unpacker(controller_.getDestination(), writer, *halOut_);
    changedSomething_ = true;
    if (downloadedPath.isEmpty() && needsNoPackage(*feature)) {
        logInfo((feature->getName() + u" has no content of its own: nothing to unpack").view());
        installedRecords_.push_back(makeInstalledRecord(*feature, nullptr, nullptr));
        return FeatureOutcome::Installed;
    }
    for (;;) {
        if (extractPackage(*feature, downloadedPath, unpacker, writer)) {
            installedRecords_.push_back(makeInstalledRecord(*feature, unpacker.feature().get(),
                                                            findPlanItem(plan_, feature.get())));
            return FeatureOutcome::Installed;
        }
        logError((u"The package of " + feature->getName() + u" was not installed").view());
        setFailedFeatureName(feature->getDisplayName());
        const FeatureFailure failure = describeFailure(*feature, nodeWriter, writer);
        const auto failed = [&] {
            failRun(controller_, u"The feature " + feature->getName() + u" could not be installed: " +
                                     failure.reason + failureDetail(nodeWriter));
            return FeatureOutcome::Failed;
        };
        // What was written stays for the rollback to take back.
        if (isCanceled())
            return FeatureOutcome::Failed;
        if (!listener_ || writer.isAbandoned())
            return failed();
        if (!writer.isWritable()) {
            controller_.getUiCallback()->installNoWriteRightsMessage();
            return failed();
        }
        std::uint64_t bytes = 0;
        // A feature the program needs is never left out: the run either gets
        // it in or fails (and is rolled back), but never ends as done without it.
        const bool skip = failure.skippable && listener_->askSkipFailedFeature(failure) != 0;
        if (failure.skippable)
            controller_.setSkipFeatureChoice(skip);
        if (skip) {
            unpacker.discardWritten(bytes);
            doneBytes_ -= std::min(doneBytes_, bytes);
            const auto space = static_cast<std::uint64_t>(std::max<std::int64_t>(feature->getReqSpace(), 0));
            controller_.setRequiredSpace(controller_.getRequiredSpace() - std::min(controller_.getRequiredSpace(), space));
            feature->setFailed(true);
            // The installed log keeps it, marked, so that a later run offers it again.
            FeaturePtr record = makeInstalledRecord(*feature, nullptr, nullptr);
            record->setFailed(true);
            installedRecords_.push_back(std::move(record));
            logInfo((u"Skipped " + feature->getName()).view());
            controller_.addSkippedFeature(feature->getDisplayName());
            return FeatureOutcome::Skipped;
        }
        // Not skipped: go on with it only when the user asks for it, so that a
        // run nobody watches ends instead of trying for ever.
        if (listener_->askOnError(failure) == 0)
            return failed();
        unpacker.keepVerified(bytes);
        doneBytes_ -= std::min(doneBytes_, bytes);
    }
}

bool InstallationProcess::writeFeatureRecords()
{
    const TextExpander expand = [this](const SharedString& text, SharedString& out) {
        return expandVariablesForDevice(text, controller_.getInstallData(), controller_.isForAnyone(),
                                        *controller_.getHalOut(), controller_.getDestinationFolder(), out);
    };
    for (const FeaturePtr& record : installedRecords_) {
        if (record->getFailed())
            continue;
        for (int index = 0; index < record->shortcutCount(); ++index) {
            const Shortcut& shortcut = *record->shortcutAt(index);
            SharedString target;
            if (!expand(shortcut.linkedTo, target) || !halOut_->createShortcut(shortcut, target))
                return failRun(controller_, u"Cannot create the shortcut " + shortcut.name);
        }
        if (!writeFeatureRegistry(*halOut_, *record, controller_.isForAnyone(), expand) ||
            !writeFileAssociations(*halOut_, *record, expand))
            return failRun(controller_, u"Cannot write the registry entries of " + record->getName());
    }
    return true;
}

bool InstallationProcess::runFeatureScripts(const Feature& feature, std::int32_t time)
{
    for (int index = 0; index < feature.featureScriptCount(); ++index) {
        const FeatureScript& script = *feature.featureScriptAt(index);
        if (script.executionTime != time || script.script.isEmpty())
            continue;
        InstallerScriptRunner runner(&controller_);
        if (runner.loadScriptText(script.script) != 0)
            continue;
        return failRun(controller_,
                       u"The script " + script.name + u" of " + feature.getName() + u" failed: " + runner.errorText());
    }
    return true;
}

// --- Older installations ------------------------------------------------------

bool InstallationProcess::removeOldInstallations()
{
    const std::vector<std::shared_ptr<UninstallLauncher>> launchers = controller_.getUninstallLaunchers();
    const auto count = static_cast<std::uint32_t>(launchers.size());
    for (std::uint32_t index = 0; index < count; ++index) {
        UninstallLauncher& launcher = *launchers[index];
        if (listener_)
            listener_->onRemoveOldInstallation(index, count);
        UninstallOutcome answer = launcher.run(this);
        if (answer == kUninstallNotStarted) {
            if (launcher.endsRemovalsOnFailedStart())
                return false;
            if (!listener_ || listener_->reportUninstallError(index, count) == 0)
                return false;
            answer = launcher.runAfterFailedStart(this);
        }
        if (answer != kUninstallEnded) {
            const SharedString name = launcher.getProductName();
            return failRun(controller_, name.isEmpty() ? SharedString(u"An older installation was not removed")
                                                       : name + u" could not be removed");
        }
        if (listener_)
            listener_->onRemoveOldInstallationDone(index, count);
    }
    return true;
}

bool InstallationProcess::shouldStopWaiting()
{
    return fastState_.load() == kRunStateCanceled || controller_.isCancelRequested();
}

// --- Uninstallation --------------------------------------------------------------

bool InstallationProcess::runUninstallation()
{
    beginJournal();
    if (listener_)
        listener_->onUninstallBegin(0, 0);
    if (!hook(u"INSTALL-UNINST"))
        return false;
    const InstalledLog& installed = *controller_.getInstalledLog();
    std::vector<FeaturePtr> records;
    for (int index = 0; index < installed.getFeatureCount(); ++index)
        records.push_back(installed.getFeature(index));
    if (!removeFeatures(records))
        return false;
    if (isCanceled())
        return false;

    // The product's own files go last, the installed log last of all: until
    // it is gone a later run still knows the program.
    const SharedString dataFolder = controller_.getProductDataFolder();
    const SharedString destination = controller_.getDestinationFolder().isEmpty()
                                         ? installed.getDestinationFolder()
                                         : controller_.getDestinationFolder();
    const SharedString files[] = {joinPath(destination, SharedString(u"_config.xml")),
                                  joinPath(dataFolder, SharedString(u"data.xml")),
                                  joinPath(dataFolder, SharedString(u"setup.exe")),
                                  joinPath(dataFolder, SharedString(u"setup.dqres")),
                                  joinPath(dataFolder, SharedString(u"InstalledLog.xml"))};
    for (const SharedString& file : files) {
        if (halOut_->exists(file, nullptr) && !halOut_->deleteFile(file))
            return failRun(controller_, u"Cannot remove " + file + whyNotRemoved(*halOut_, file));
    }
    changedSomething_ = true;
    controller_.getInstalledLog()->clear();
    // Emptied folders go once nothing can undo the run any more, the cached
    // bulletin with them.
    journal_->commit();
    controller_.deleteLastBulletin();
    // A folder that still holds something (the user's own files) stays.
    removeDirectoryOrLog(halOut_->inner(), dataFolder);
    if (!destination.isEmpty())
        removeDirectoryOrLog(halOut_->inner(), destination);
    return true;
}

// --- The newer installer -----------------------------------------------------------

bool InstallationProcess::runNewInstallerDownload()
{
    if (listener_)
        listener_->onDownloadNewInstaller(0, 0);
    // Only this thread sets it: read here without the lock.
    PackageInstaller* installer = nullptr;
    {
        MutexLock lock(installerMutex_);
        packageInstaller_ = std::make_unique<PackageInstaller>(controller_, *this);
        installer = packageInstaller_.get();
    }
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> local;
    installer->planDownloads({}, downloaded, local);
    if (installer->jobCount() == 0)
        return failRun(controller_, SharedString(u"No newer installer to download"));
    totalBytes_.store(installer->totalBytes());
    if (!installer->checkPackagesPresent())
        return false;
    {
        MutexLock queueLock(queueMutex_);
        downloadsOutstanding_ = 1;
        pendingPackages_.store(1);
    }
    installer->start(listener_);
    MutexLock lock(queueMutex_);
    queueChanged_.wait(queueMutex_, [&]() REQUIRES(queueMutex_) {
        return !queue_.empty() || downloadsOutstanding_ == 0 || downloadsFailed_ ||
               fastState_.load() == kRunStateCanceled;
    });
    // The package installer leaves the new installer where it was asked to:
    // nothing is unpacked.
    const bool arrived = !queue_.empty() && !downloadsFailed_;
    queue_.clear();
    return arrived;
}

}  // namespace druvex
