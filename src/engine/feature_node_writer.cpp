#include "engine/feature_node_writer.h"

#include <algorithm>
#include <array>
#include <vector>

#include "controller/installer_ui_callback.h"
#include "core/path_text.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "engine/feature_install_run.h"
#include "engine/host_node_writer.h"
#include "engine/install_plan.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_file.h"
#include "text/char_class.h"
#include "text/text_convert.h"

namespace druvex {

namespace {

constexpr std::uint16_t kEnglishLocale = 1033;
constexpr std::int32_t kLngIniLikeDruvex = 1;
constexpr std::uint32_t kLocalCopyBlock = 4096;
constexpr std::uint32_t kLockedFileRetryDelayMs = 500;
constexpr std::uint32_t kWriteAccessBit = 0x40000000;
constexpr std::uint32_t kWriteAccessBits = 0x120116;

const char16_t kLngIniName[] = u"lng.ini";

bool isDesktopDeviceType(DeviceType type)
{
    return type == DeviceType::WIN32 || type == DeviceType::WIN64 || type == DeviceType::KT71;
}

bool hasWriteAccess(std::uint32_t mask)
{
    return (mask & kWriteAccessBit) != 0 || (mask & kWriteAccessBits) == kWriteAccessBits;
}

// Only "http://" addresses are left to the download: anything else names a
// local file.
bool isLocalSourcePath(const SharedString& origPath)
{
    const std::u16string_view text = origPath.view();
    return !text.empty() && !(text.size() >= 7 && equalsNoCase(text.substr(0, 7), u"http://"));
}

// The template paired with the feature, else the one paired with its parent.
std::shared_ptr<LanguageTemplate> languageTemplateOf(const FeatureInstallRun& run, const Feature& feature)
{
    if (auto found = run.findLanguageTemplate(feature))
        return found;
    return feature.parent() ? run.findLanguageTemplate(*feature.parent()) : nullptr;
}

// The names of a folder part, '\' and '/' alike, empty names dropped.
std::vector<SharedString> folderNames(const SharedString& folder)
{
    std::vector<SharedString> names;
    const std::u16string_view text = folder.view();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'\\' && text[i] != u'/')
            continue;
        if (i > start)
            names.emplace_back(text.substr(start, i - start));
        start = i + 1;
    }
    return names;
}

}  // namespace

FeatureNodeWriter::FeatureNodeWriter(HostNodeWriter& nodeWriter, FeatureInstallRun& run, InstallPlan& plan,
                                     ItemObserver& observer, std::shared_ptr<Feature> feature, bool drain)
    : nodeWriter_(nodeWriter),
      run_(run),
      plan_(plan),
      observer_(observer),
      feature_(std::move(feature)),
      drain_(drain),
      administrator_(run.hasAdministratorRights())
{
    plan_.addItem(feature_);
    if (!feature_)
        return;
    const std::shared_ptr<LanguageTemplate> languageTemplate = languageTemplateOf(run_, *feature_);
    if (!languageTemplate || languageTemplate->inigen != kLngIniLikeDruvex)
        return;
    if (feature_->getLocaleId() != kEnglishLocale)
        lngIniPerFile_ = true;
    else
        writeEnglishLngIni(*languageTemplate);
}

FeatureNodeWriter::~FeatureNodeWriter() = default;

bool FeatureNodeWriter::isCanceled()
{
    bool canceled = false;
    run_.waitIfPausedAndCheckCanceled(canceled);
    return canceled;
}

bool FeatureNodeWriter::createFolder(ContentFolder* node, const SharedString& path)
{
    if (isCanceled())
        return false;
    plan_.addFolder(node, path);
    observer_.beforeFolder(node);
    if (node && (node->getFlags() & kContentFlagManagedFolder) != 0)
        cleanManagedFolder(path);
    return nodeWriter_.createFolder(node, path);
}

bool FeatureNodeWriter::createFile(ContentFile* node, const SharedString& path)
{
    if (isCanceled())
        return false;
    if (drain_ && !run_.processQueuedRequests())
        return false;
    if (lngIniPerFile_ && !writeLngIni(joinPath(getParentFolder(path), SharedString(kLngIniName)), &path))
        return false;
    plan_.addFile(path, node ? node->getFlags() : 0);
    observer_.beforeFile(node, path);
    if (!makeRoomForFile(path))
        return false;
    currentPath_ = path;
    if (!nodeWriter_.createFile(node, currentPath_))
        return false;
    writtenBytes_ = 0;
    if (node && isLocalSourcePath(node->getOrigPath()))
        return copyFromLocalSource(node->getOrigPath());
    return true;
}

bool FeatureNodeWriter::writeData(std::uint32_t size, const std::uint8_t* bytes)
{
    if (isCanceled()) {
        nodeWriter_.finishFile();
        return false;
    }
    plan_.addToTotal(size);
    run_.reportDownloadProgress(currentPath_, size);
    writtenBytes_ += size;
    return nodeWriter_.writeData(size, bytes);
}

bool FeatureNodeWriter::finishFile()
{
    if (!nodeWriter_.finishFile())
        return false;
    run_.addEstimateSample(writtenBytes_);
    return true;
}

// The English feature names no file: its "lng.ini" stands empty in the folder
// that the template's pattern names (the pattern's file part is not used).
void FeatureNodeWriter::writeEnglishLngIni(const LanguageTemplate& languageTemplate)
{
    SharedString root;
    SharedString folder;
    SharedString file;
    splitTargetPath(languageTemplate.pattern.view(), root, folder, file);
    SharedString base = run_.resolveHostPath(root, SharedString());
    if (base.isEmpty()) {
        logError((u"The folder of the English language file cannot be resolved: " + languageTemplate.pattern).view());
        return;
    }
    if (!createPlannedFolder(base))
        return;
    for (const SharedString& name : folderNames(folder)) {
        base = joinPath(base, name);
        if (!createPlannedFolder(base))
            return;
    }
    writeLngIni(joinPath(base, SharedString(kLngIniName)), nullptr);
}

bool FeatureNodeWriter::createPlannedFolder(const SharedString& path)
{
    ContentFolder node;
    plan_.addFolder(&node, path);
    const bool created = nodeWriter_.createFolder(&node, path);
    if (!created)
        logFolderCreated(path.view(), false, false);
    return created;
}

bool FeatureNodeWriter::writeLngIni(const SharedString& path, const SharedString* source)
{
    const SharedString target =
        run_.isDesktopTarget() ? joinPath(run_.getDestinationFolder(), SharedString(kLngIniName)) : path;
    ContentFile node;
    if (!nodeWriter_.createFile(&node, target)) {
        logFileCreated(target.view(), false, false);
        return false;
    }
    plan_.addFile(target, 0);
    if (source) {
        const SharedStringA content = SharedStringA::fromWide(getFileName(*source).c_str(), kCodePageAnsi);
        const auto length = static_cast<std::uint32_t>(content.length());
        plan_.addToTotal(length);
        if (!nodeWriter_.writeData(length, reinterpret_cast<const std::uint8_t*>(content.c_str()))) {
            logWriteFailed();
            nodeWriter_.finishFile();
            return false;
        }
    }
    // A close that fails may leave the file without its name: the language
    // would then be taken wrongly, so the failure is not passed over.
    if (!nodeWriter_.finishFile()) {
        logCloseFailed();
        return false;
    }
    return true;
}

// Files in a managed folder that neither an earlier run nor this one
// installed are removed before the feature's own files arrive.
void FeatureNodeWriter::cleanManagedFolder(const SharedString& path)
{
    const std::shared_ptr<HalAccess> host = run_.getHalOut();
    bool isFolder = false;
    if (!host || !host->exists(path, &isFolder) || !isFolder)
        return;
    std::unique_ptr<HalFileFinder> finder;
    if (!host->createFileFinder(path, finder) || !finder)
        return;
    // The listing is taken whole before anything is deleted, so the deletions
    // cannot disturb the walk.
    std::vector<SharedString> files;
    do {
        if (!finder->isFolder())
            files.push_back(joinPath(path, finder->name()));
    } while (finder->next());
    finder.reset();
    if (files.empty())
        return;

    if (!installedFiles_)
        installedFiles_.emplace(run_.getInstalledLog().get());
    for (const SharedString& full : files) {
        if (installedFiles_->contains(full) || plan_.containsFile(full))
            continue;
        const bool deleted = host->deleteFile(full);
        const char16_t* what = deleted ? u"Removed from a managed folder: " : u"Cannot remove from a managed folder: ";
        logInfo((what + full).view());
    }
}

// On a desktop a file that another process holds open cannot be replaced:
// the file is deleted first, with the user's help when it stays held.
bool FeatureNodeWriter::makeRoomForFile(const SharedString& path)
{
    const std::shared_ptr<HalAccess> host = run_.getHalOut();
    if (!host)
        return true;
    if (!isDesktopDeviceType(host->deviceTypeOrNone()) || !host->exists(path, nullptr))
        return true;

    for (bool first = true;; first = false) {
        if (host->deleteFile(path))
            return true;
        if (first) {
            std::uint32_t mask = 0;
            const bool maskRead = host->getFileAccessMask(path, mask);
            const bool canWrite = maskRead && hasWriteAccess(mask);
            if (administrator_) {
                if (!canWrite) {
                    if (maskRead)
                        writable_ = false;
                    return false;
                }
            } else if (maskRead) {
                writable_ = canWrite;
                const std::shared_ptr<HalAccess> elevated = run_.getHalOutElevated();
                if (!canWrite && elevated && elevated->deleteFile(path))
                    return true;
            }
            run_.waitMilliseconds(kLockedFileRetryDelayMs);
            if (host->deleteFile(path))
                return true;
        }
        if (run_.isRebootRequired())
            return true;
        // A host that cannot tell leaves the list empty: the question below
        // then names no program, and the user still decides.
        std::vector<LockingProcess> processes;
        (void)host->getLockingProcesses(path, processes);
        if (first) {
            if (run_.closeLockingProcesses(processes) && host->deleteFile(path))
                return true;
            (void)host->getLockingProcesses(path, processes);
        }
        const std::shared_ptr<InstallerUiCallback> callback = run_.getUiCallback();
        const LockedFilesAnswer answer = callback ? callback->showLockedFiles(processes, 0) : kLockedFilesExit;
        if (answer == kLockedFilesIgnore) {
            // The application keeps using the file it holds until the
            // device restarts: the run now needs a reboot, and later held
            // files go on without a question.
            run_.setRebootRequired();
            return true;
        }
        if (answer == kLockedFilesExit) {
            abandoned_ = true;
            return false;
        }
        if (!host->exists(path, nullptr))
            return true;
    }
}

// The data of a file whose package names a local source comes from that file
// in blocks, straight to the node writer: it is neither paused nor counted as
// written bytes of the file.
bool FeatureNodeWriter::copyFromLocalSource(const SharedString& source)
{
    const std::shared_ptr<HalAccess> host = run_.getHalIn();
    HalFile file;
    if (!host || !file.openForRead(host, source)) {
        logError((u"Cannot open " + source).view());
        return false;
    }
    // The whole 64-bit size: the 32-bit one would copy a file of 4 GiB or more
    // cut short and still report success.
    std::uint64_t size = 0;
    if (!host->getOpenFileSize(file.handle(), size)) {
        logError((u"Read error " + source).view());
        return false;
    }
    std::array<std::uint8_t, kLocalCopyBlock> buffer;
    for (std::uint64_t done = 0; done < size;) {
        const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kLocalCopyBlock, size - done));
        if (file.readFully(buffer.data(), count) != static_cast<std::int64_t>(count)) {
            logError((u"Read error " + source).view());
            return false;
        }
        plan_.addToTotal(count);
        if (!nodeWriter_.writeData(count, buffer.data())) {
            logWriteFailed();
            return false;
        }
        run_.reportDownloadProgress(currentPath_, count);
        done += count;
    }
    file.letGo();
    return true;
}

}  // namespace druvex
