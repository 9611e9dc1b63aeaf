#include "controller/page_destination_logic.h"

#include "controller/installer_ui_callback.h"
#include "controller/page_logic_state.h"
#include "controller/wizard_controller.h"
#include "core/path_text.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "text/char_class.h"

namespace druvex {
namespace {

// Storages are listed by name ("/" or a card's folder); their paths lie at the root.
SharedString storagePathFor(const SharedString& name)
{
    if (!name.isEmpty() && isPathSeparator(name[0]))
        return name;
    return SharedString(u"/") + name;
}

// Both separators alike and without regard to case: `path` is `folder` or lies below it.
bool liesWithin(const SharedString& path, const SharedString& folder)
{
    const std::u16string_view p = path.view();
    std::u16string_view f = folder.view();
    while (!f.empty() && isPathSeparator(f.back()))
        f.remove_suffix(1);
    if (p.size() < f.size())
        return false;
    for (std::size_t i = 0; i < f.size(); ++i) {
        const bool bothSeparators = isPathSeparator(p[i]) && isPathSeparator(f[i]);
        if (!bothSeparators && toLowerChar(p[i]) != toLowerChar(f[i]))
            return false;
    }
    return p.size() == f.size() || isPathSeparator(p[f.size()]);
}

bool sameStorageName(const SharedString& a, const char16_t* b)
{
    SharedString left = a;
    left.trimLeftChar(u'/');
    left.trimLeftChar(u'\\');
    return compareNoCase(left.c_str(), b) == 0;
}

}  // namespace

PageDestinationLogic::PageDestinationLogic(WizardController& controller, std::shared_ptr<HalAccess> targetHost)
    : PageFeatureLogicBase(controller, ChoiceCheck::Evaluate), targetHost_(std::move(targetHost))
{
}

PageDestinationLogic::~PageDestinationLogic()
{
    stopSpaceComputation();
}

bool PageDestinationLogic::runUnattended()
{
    controller_.setWipeOldInstallation(false);
    refreshStorages();
    if (names_.empty())
        return failRun(controller_, SharedString(u"The target lists no storage to install to"));
    return selectStorage(0);
}

bool PageDestinationLogic::canChooseStorage() const
{
    switch (targetHost_->deviceTypeOrNone()) {
    case DeviceType::KT_11:
    case DeviceType::KT_81:
    case DeviceType::KT_21:
    case DeviceType::TS_ONBOARD:
    case DeviceType::TS_QM40:
    case DeviceType::TS_TSORLAN:
        return false;
    default:
        return true;
    }
}

SharedString PageDestinationLogic::getStorageName(int index) const
{
    if (index < 0 || index >= getStorageCount())
        return {};
    return names_[static_cast<std::size_t>(index)];
}

int PageDestinationLogic::findSelectedStorage() const
{
    const SharedString& chosen = pageLogicProcessState().chosenStorage;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (names_[i] == chosen)
            return static_cast<int>(i);
    }
    return 0;
}

SharedString PageDestinationLogic::getSelectedStoragePath() const
{
    const auto index = static_cast<std::size_t>(findSelectedStorage());
    return index < paths_.size() ? paths_[index] : SharedString();
}

bool PageDestinationLogic::isExtendedStorageSelected() const
{
    return targetHost_->deviceTypeOrNone() == DeviceType::KT_41 &&
           sameStorageName(pageLogicProcessState().chosenStorage, u"Extended Storage");
}

void PageDestinationLogic::refreshStorages()
{
    names_.clear();
    paths_.clear();
    targetHost_->enumerateStorageRoots(names_);
    for (const SharedString& name : names_)
        paths_.push_back(storagePathFor(name));

    SharedString& chosen = pageLogicProcessState().chosenStorage;
    if (!chosen.isEmpty())
        return;
    switch (targetHost_->deviceTypeOrNone()) {
    case DeviceType::KT_61:
        chosen = u"SystemCF";
        break;
    case DeviceType::LQ5:
        chosen = u"/HardDisk";
        break;
    case DeviceType::KT_41:
        chosen = u"/Extended Storage";
        break;
    default:
        if (!names_.empty())
            chosen = names_.front();
        break;
    }
}

bool PageDestinationLogic::selectStorage(int index)
{
    if (index < 0 || index >= getStorageCount()) {
        logError(SharedString().format(u"No storage %d to install to (%d listed)", index, getStorageCount()));
        return false;
    }
    const auto at = static_cast<std::size_t>(index);
    SharedString programs;
    if (!targetHost_->getProgramPath(programs, paths_[at]))
        programs = paths_[at];
    const InstallerSettings& settings = controller_.getInstallData().settings();
    SharedString folder = settings.getInstallFolderMobile();
    if (folder.isEmpty())
        folder = settings.getProgramName();
    controller_.setDestinationFolder(joinPath(programs, folder));
    pageLogicProcessState().chosenStorage = names_[at];
    return true;
}

void PageDestinationLogic::startSpaceComputation()
{
    stopSpaceComputation();
    stop_.store(false);
    state_.store(kSpaceRunning);
    // The thread works on what the page has chosen now: it may choose again
    // meanwhile. The store's free space is one quick question of the host;
    // the old installation's files are what take time.
    const std::uint64_t freeBytes = getFreeSpace();
    SharedString targetFolder = controller_.getDestinationFolder();
    const bool wipe = controller_.getWipeOldInstallation();
    thread_ = WorkerThread([this, freeBytes, targetFolder, wipe] { computeSpace(freeBytes, targetFolder, wipe); });
}

void PageDestinationLogic::stopSpaceComputation()
{
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

void PageDestinationLogic::computeSpace(std::uint64_t freeBytes, const SharedString& targetFolder, bool wipe)
{
    std::uint64_t oldInstallation = 0;
    if (wipe) {
        report(false, 0);
        oldInstallation = sumFolder(targetFolder);
        if (stop_.load())
            return;
    }
    controller_.setOldInstallationSize(oldInstallation);
    state_.store(kSpaceDone);
    report(true, oldInstallation + freeBytes);
}

std::uint64_t PageDestinationLogic::sumFolder(const SharedString& folder)
{
    std::uint64_t sum = 0;
    std::vector<SharedString> pending{folder};
    while (!pending.empty() && !stop_.load()) {
        const SharedString current = std::move(pending.back());
        pending.pop_back();
        std::unique_ptr<HalFileFinder> finder;
        if (!targetHost_->createFileFinder(current, finder))
            continue;
        do {
            if (finder->isFolder())
                pending.push_back(joinPath(current, finder->name()));
            else
                sum += finder->size();
        } while (!stop_.load() && finder->next());
    }
    return sum;
}

void PageDestinationLogic::report(bool done, std::uint64_t bytes)
{
    sink_.report([&](DestinationPageSink& sink) { sink.onSpaceComputation(done, bytes); });
}

std::uint64_t PageDestinationLogic::getAvailableSpace() const
{
    // The destination folder need not exist yet: its nearest existing
    // ancestor lies on the same store.
    SharedString path = controller_.getDestinationFolder();
    std::uint64_t total = 0;
    std::uint64_t freeBytes = 0;
    for (;;) {
        if (targetHost_->getStoreInformation(path.isEmpty() ? SharedString(u"/") : path, total, freeBytes))
            return freeBytes + controller_.getOldInstallationSize();
        if (path.isEmpty())
            return 0;
        path = getParentFolder(path);
    }
}

SharedString PageDestinationLogic::storageNameOf(const SharedString& path) const
{
    std::size_t best = names_.size();
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (liesWithin(path, paths_[i]) && (best == names_.size() || paths_[i].length() > paths_[best].length()))
            best = i;
    }
    return best < names_.size() ? names_[best] : pageLogicProcessState().chosenStorage;
}

bool PageDestinationLogic::checkSpace() const
{
    const std::uint64_t required = controller_.computeRequiredSpace(true);
    const std::uint64_t available = getAvailableSpace();
    if (available > required)
        return true;
    controller_.getUiCallback()->notEnoughSpaceMessage(required - available,
                                                       storageNameOf(controller_.getDestinationFolder()));
    return false;
}

bool PageDestinationLogic::validate() const
{
    if (controller_.hasFeatureToInstall())
        return true;
    return checkSpace();
}

std::uint64_t PageDestinationLogic::getFreeSpace() const
{
    std::uint64_t total = 0;
    std::uint64_t freeBytes = 0;
    if (!targetHost_->getStoreInformation(getSelectedStoragePath(), total, freeBytes))
        return 0;
    return freeBytes;
}

bool PageDestinationLogic::getWipeOldInstallation() const
{
    return controller_.getWipeOldInstallation();
}

void PageDestinationLogic::setWipeOldInstallation(bool wipe)
{
    controller_.setWipeOldInstallation(wipe);
}

}  // namespace druvex
