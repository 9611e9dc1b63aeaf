// The prerequisites logic's online half: the connection to the update
// server, the bulletin's download and evaluation, the newer installer (an
// installer without payload that the bulletin offers), the missing language
// files, and the one end of the online checks. The download reports arrive
// on the web downloader's worker; starting a download is always done from
// another thread (the page's, or the silent waiter's).
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "controller/installer_controller.h"
#include "controller/language_file_manager.h"
#include "controller/page_prerequisites_logic.h"
#include "controller/prerequisites_process_state.h"
#include "core/app_log.h"
#include "platform/input_limits.h"
#include "core/path_text.h"
#include "core/sha1.h"
#include "data/installed_log.h"
#include "data/installer_settings.h"
#include "fileutil/file_util.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "liveupdate/download_list.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "liveupdate/web_downloader.h"
#include "payload/entry_decoder.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"
#include "platform/network_state.h"
#include "platform/process.h"
#include "text/mutex.h"

namespace druvex {

using prerequisites::processState;

namespace {

// The connection check's address when no update server is configured and the
// device profile names none.
constexpr char16_t kFallbackCheckAddress[] = u"http://www.example.com";
// The bulletin's format version this installer reads.
constexpr char16_t kBulletinFormatVersion[] = u"5.1";
constexpr std::size_t kLzmaAloneHeaderBytes = 13;

// The newer installer's flags (the bulletin's update mask).
constexpr std::uint32_t kNewInstallerForNewInstall = 1;
constexpr std::uint32_t kNewInstallerForFeatureUpdate = 2;
constexpr std::uint32_t kNewInstallerForNewVersion = 4;
constexpr std::uint32_t kNewInstallerForInstalledFeatures = 8;
constexpr std::uint32_t kNewInstallerForInstalledProgram = 32;
constexpr std::uint32_t kNewInstallerNoNewerVersion = 64;
constexpr std::uint32_t kNewInstallerAskFirst = 128;
// Kept in the controller; no Part says what it means.
constexpr std::uint32_t kNewInstallerFlag256 = 256;

bool isRunning(const std::shared_ptr<DownloadRequest>& request)
{
    if (!request)
        return false;
    const int state = request->state();
    return state == kRequestQueued || state == kRequestRunning;
}

// The path part of an address, without its query or fragment.
SharedString urlPath(const SharedString& url)
{
    const std::u16string_view text = url.view();
    return SharedString(text.substr(0, text.find_first_of(u"?#")));
}

// The command line of the newer installer: told to wait for this process
// (its id) and where this installer's program file lies.
SharedString emptyInstallerCommandLine(InstallerController& controller)
{
    SharedString commandLine;
    if (!controller.buildEmptyInstallerCommandLine(static_cast<std::uint32_t>(::getpid()), commandLine))
        return {};
    return commandLine;
}

}  // namespace

SharedString connectionCheckAddress(const SharedString& liveUpdateUrl)
{
    const std::u16string_view url = liveUpdateUrl.view();
    const std::size_t scheme = url.find(u"://");
    if (url.size() < 8 || scheme == std::u16string_view::npos)
        return {};
    return SharedString(url.substr(0, url.find(u'/', scheme + 3)));
}

bool unpackBulletin(const SharedString& url, std::vector<std::uint8_t>& bytes)
{
    if (equalsNoCase(getExtension(urlPath(url)).view(), u"xml"))
        return true;
    if (bytes.size() < Sha1::kDigestBytes + kLzmaAloneHeaderBytes) {
        logPrintf(u"The bulletin from %s is too short (%u bytes)", url, static_cast<unsigned>(bytes.size()));
        return false;
    }
    const std::size_t body = bytes.size() - Sha1::kDigestBytes;
    Sha1 sha1;
    sha1.update(body, bytes.data());
    std::uint8_t digest[Sha1::kDigestBytes];
    sha1.final(Sha1::kDigestBytes, digest);
    if (std::memcmp(digest, bytes.data() + body, Sha1::kDigestBytes) != 0) {
        logPrintf(u"The bulletin from %s does not match its digest", url);
        return false;
    }
    std::vector<std::uint8_t> document;
    ByteVectorSink sink(document, kMaxBulletinSize);
    if (!decodeLzmaBuffer(bytes, body, sink)) {
        logPrintf(u"The bulletin from %s does not unpack", url);
        return false;
    }
    bytes = std::move(document);
    return true;
}

// --- Connection ---------------------------------------------------------------------

bool PagePrerequisitesLogic::probeConnection()
{
    // The total station's launcher keeps its own connection up.
    DeviceType type = DeviceType::NONE;
    const bool launcherStation = controller_.getHalOut()->getDeviceType(type, false) ==
                                     ConnectionState::DEVICE_CONNECTED &&
                                 type == DeviceType::TS_TSORLAN;
    if (!launcherStation && internetAttemptConnect() != 0) {
        logInfo(u"The device is offline");
        return false;
    }
    SharedString address = connectionCheckAddress(controller_.liveUpdateUrl());
    if (address.isEmpty())
        address = connectionCheckUrl();
    if (address.isEmpty())
        address = SharedString(kFallbackCheckAddress);
    logInfo(SharedString(u"Checking internet connection with ") + address);

    std::uint32_t error = 0;
    if (internetCheckConnection(address.view(), error))
        return true;
    if (error == kErrorNotConnected)
        return false;
    std::uint32_t flags = 0;
    const bool state = internetGetConnectedState(flags);
    logError(SharedString().format(u"InternetCheckConnection - %d InternetGetConnectedState %d,%d",
                                   static_cast<int>(error), state ? 1 : 0, static_cast<int>(flags)));
    const bool viaProxy = (flags & kInternetConnectionProxy) != 0;
    if (viaProxy && !processState().proxyAsked.exchange(true) && controller_.getUiCallback()->askUseProxy() != 0)
        setUseProxy(true);
    return state && viaProxy;
}

bool PagePrerequisitesLogic::checkConnection()
{
    report([](PrerequisitesSink& sink) { sink.connectionCheckBegins(); });
    connected_.store(false);
    const bool connected = probeConnection();
    connected_.store(connected);
    report([connected](PrerequisitesSink& sink) { sink.connectionCheckResult(connected); });
    if (!connected) {
        offline_.store(true);
        finishOnlineChecks(true);
        return false;
    }
    if (!bulletinEvaluated_.load()) {
        pauseFor(kSettleMs);
        startBulletinDownload();
        return true;
    }
    report([](PrerequisitesSink& sink) { sink.downloadFinished(0); });
    if (!offerLanguageFiles())
        finishOnlineChecks(true);
    return true;
}

// --- Downloads ------------------------------------------------------------------------

void PagePrerequisitesLogic::startBulletinDownload()
{
    {
        MutexLock lock(stateMutex_);
        if (isRunning(bulletinRequest_))
            return;
        bulletinBytes_.clear();
    }
    // Outside the lock: a downloader that was shut down reports the end at
    // once, on this thread.
    std::shared_ptr<DownloadRequest> request;
    requestStarted();
    downloader_.enqueue(controller_.liveUpdateUrl(), SharedString(), kDownloadTimeoutMs, bulletinListener_.get(),
                        request);
    MutexLock lock(stateMutex_);
    bulletinRequest_ = std::move(request);
}

void PagePrerequisitesLogic::startNewInstallerDownload()
{
    SharedString url;
    SharedString digest;
    {
        MutexLock lock(stateMutex_);
        if (isRunning(newInstallerRequest_) || newInstallerUrl_.isEmpty())
            return;
        newInstallerBytes_.clear();
        url = newInstallerUrl_;
        digest = newInstallerDigest_;
    }
    std::shared_ptr<DownloadRequest> request;
    requestStarted();
    downloader_.enqueue(url, digest, kDownloadTimeoutMs, newInstallerListener_.get(), request);
    MutexLock lock(stateMutex_);
    newInstallerRequest_ = std::move(request);
}

void PagePrerequisitesLogic::startLanguageDownloads()
{
    std::shared_ptr<DownloadList> downloads;
    {
        MutexLock lock(stateMutex_);
        downloads = languageDownloads_;
    }
    if (downloads)
        downloads->startAll();
}

bool PagePrerequisitesLogic::cancelDownloads(bool force)
{
    std::shared_ptr<DownloadRequest> bulletin;
    std::shared_ptr<DownloadRequest> newInstaller;
    std::shared_ptr<DownloadList> languages;
    bool languagesRunning = false;
    {
        MutexLock lock(stateMutex_);
        bulletin = bulletinRequest_;
        newInstaller = newInstallerRequest_;
        languages = languageDownloads_;
    }
    if (languages) {
        for (std::size_t i = 0; i < languages->count(); ++i) {
            const std::shared_ptr<DownloadListItem> item = languages->item(i);
            languagesRunning = languagesRunning || (item && isRunning(item->request));
        }
    }
    if (!isRunning(bulletin) && !isRunning(newInstaller) && !languagesRunning)
        return true;
    if (!force && controller_.getUiCallback()->askStopUpdateSearch() == 0)
        return false;
    // Offline before the cancel reports the end, so that whoever hears of the
    // end finds the run offline.
    offline_.store(true);
    if (isRunning(bulletin))
        downloader_.cancel(bulletin);
    else if (isRunning(newInstaller))
        downloader_.cancel(newInstaller);
    else
        languages->cancelAll();
    finishOnlineChecks(true);
    return true;
}

void PagePrerequisitesLogic::finishOnlineChecks(bool done)
{
    // A cancelled request reports its own end, which finishes the checks;
    // the canceller's finish must not make it two.
    if (onlineFinished_.exchange(true))
        return;
    if (!bulletinEvaluated_.load())
        useCachedBulletin();
    if (platformAccepted_.load())
        controller_.setUpdateCheckDone(done);
    std::vector<FeaturePtr> list = controller_.getLanguageFeatures();
    {
        MutexLock lock(stateMutex_);
        languageList_ = std::move(list);
    }
    report([](PrerequisitesSink& sink) { sink.onlineChecksFinished(); });
}

// Without a bulletin from the update server (offline, or the server gave
// none that holds), the one the last run kept beside the installed log keeps
// its packages known. An update check reports only what the server says.
void PagePrerequisitesLogic::useCachedBulletin()
{
    if (controller_.getOptions().checkForUpdates || !controller_.getLastBulletinBytes().empty())
        return;
    if (controller_.loadLastBulletin())
        logInfo(u"No bulletin from the update server: the bulletin of the last run is used");
}

// --- Download reports ---------------------------------------------------------------

void PagePrerequisitesLogic::onContentLength(RequestKind, std::uint64_t length)
{
    report([length](PrerequisitesSink& sink) { sink.downloadProgress(length >> 10); });
}

bool PagePrerequisitesLogic::onData(RequestKind kind, std::uint32_t size, const std::uint8_t* bytes)
{
    if (kind != RequestKind::LanguageFiles) {
        MutexLock lock(stateMutex_);
        std::vector<std::uint8_t>& target = kind == RequestKind::Bulletin ? bulletinBytes_ : newInstallerBytes_;
        // A server that sends more than either can be is not believed.
        const std::uint64_t limit = kind == RequestKind::Bulletin ? kMaxBulletinSize : newInstallerSize_;
        if (target.size() + size > limit)
            return false;
        target.insert(target.end(), bytes, bytes + size);
    }
    report([size](PrerequisitesSink& sink) { sink.dataReceived(size >> 10); });
    return true;
}

void PagePrerequisitesLogic::onFinished(RequestKind kind, int status)
{
    if (kind == RequestKind::LanguageFiles) {
        // The language files of a bulletin evaluated earlier are the last
        // thing the online checks wait for.
        finishOnlineChecks(true);
        return;
    }
    std::vector<std::uint8_t> bytes;
    {
        MutexLock lock(stateMutex_);
        bytes.swap(kind == RequestKind::Bulletin ? bulletinBytes_ : newInstallerBytes_);
    }
    if (kind == RequestKind::NewInstaller) {
        report([status](PrerequisitesSink& sink) { sink.downloadFinished(status); });
        if (status == kDownloadOk)
            newInstallerDownloaded(std::move(bytes));
        return;
    }
    int result = status;
    if (status == kDownloadOk) {
        // The bulletin came over the connection, whoever checked it before.
        connected_.store(true);
        if (!evaluateBulletin(std::move(bytes)))
            result = 3;
    }
    report([result](PrerequisitesSink& sink) { sink.downloadFinished(result); });
    finishOnlineChecks(result != 0);
}

bool PagePrerequisitesLogic::evaluateBulletin(std::vector<std::uint8_t> bytes)
{
    const SharedString url = controller_.liveUpdateUrl();
    if (!unpackBulletin(url, bytes))
        return false;
    // Read once to judge it: a bulletin that is refused leaves the one held
    // before in place.
    UpdateBulletin candidate;
    if (!candidate.parse(bytes.data(), bytes.size(), url, true, false)) {
        logError(u"Update bulletin is corrupted");
        return false;
    }
    if (candidate.getInstallerVersionText() != SharedString(kBulletinFormatVersion)) {
        logPrintf(u"The bulletin is of format %s, not %s", candidate.getInstallerVersionText(), kBulletinFormatVersion);
        return false;
    }
    if (!controller_.getUpdatePatcher().loadBulletin(bytes.data(), bytes.size()))
        return false;
    controller_.getLastBulletinBytes() = std::move(bytes);
    controller_.registerBulletinPackages();
    bulletinEvaluated_.store(true);
    checkNewInstaller();
    offerLanguageFiles();
    return true;
}

// --- Language files ---------------------------------------------------------------------

bool PagePrerequisitesLogic::offerLanguageFiles()
{
    UpdatePatcher& patcher = controller_.getUpdatePatcher();
    const std::shared_ptr<UpdateBulletin> bulletin = patcher.getBulletin();
    if (!bulletin || !patcher.hasVersionRecord())
        return false;
    std::shared_ptr<LanguageFileManager> manager;
    std::shared_ptr<DownloadList> downloads;
    {
        MutexLock lock(stateMutex_);
        manager = languageFiles_;
        downloads = languageDownloads_;
    }
    if (!manager || !downloads)
        return false;
    std::size_t queued = 0;
    {
        MutexLock use(languageMutex_);
        manager->applyBulletinLanguages(bulletinLanguageList(*bulletin), bulletin->getInstallerVersionText().view());
        queued = manager->queueMissingLanguageFiles(*downloads, *bulletin);
    }
    if (queued == 0)
        return false;
    report([](PrerequisitesSink& sink) { sink.downloadsReady(kDownloadsLanguageFiles); });
    return true;
}

// --- The newer installer ----------------------------------------------------------------

void PagePrerequisitesLogic::checkNewInstaller()
{
    // Looked for once per process, and only where someone can start it.
    if (processState().newInstallerChecked.exchange(true) || !hasSink())
        return;
    const InstallerOptions& options = controller_.getOptions();
    if (options.checkForUpdates || options.uninstallMode || options.emptyInstaller)
        return;
    if (controller_.isDailyBuild() && !options.checkInstallerAlsoDaily)
        return;
    const std::shared_ptr<UpdateBulletin> bulletin = controller_.getUpdatePatcher().getBulletin();
    const std::shared_ptr<EmptyInstallerEntry> entry =
        bulletin ? bulletin->findEmptyInstaller(controller_.getHostPlatform()) : nullptr;
    if (!entry || entry->revision <= static_cast<std::uint32_t>(getBuildNumber()))
        return;

    const std::uint32_t flags = entry->updateMask;
    if ((flags & kNewInstallerNoNewerVersion) == 0) {
        const VersionNumber& installer = bulletin->getInstallerVersion();
        const VersionWords words{installer.part(0), installer.part(1), installer.part(2),
                                 static_cast<std::int32_t>(entry->revision)};
        MutexLock lock(stateMutex_);
        newerVersion_ = true;
        newerVersionWords_ = words;
        newerVersionText_ = VersionNumber::fromParts(words[0], words[1], words[2], words[3]).toText();
    }
    std::uint32_t needed = kNewInstallerForNewInstall;
    if (options.updateMode == kUpdateModeNewVersion)
        needed = kNewInstallerForNewVersion;
    else if (options.updateMode != kUpdateModeNone)
        needed = kNewInstallerForFeatureUpdate;
    else if (isInstalledProgramRecorded())
        needed = kNewInstallerForInstalledProgram;
    else if (controller_.getInstalledLog()->getFeatureCount() > 0)
        needed = kNewInstallerForInstalledFeatures;
    if ((flags & needed) == 0)
        return;
    if ((flags & kNewInstallerAskFirst) != 0 && controller_.getUiCallback()->reportNewInstallerReleased() == 0)
        return;
    controller_.setNewerInstallerFlag256((flags & kNewInstallerFlag256) != 0);

    HalAccess& host = *controller_.getHalIn();
    const SharedString folder = joinPath(controller_.getWorkFolder(), SharedString(u"dq_empty_inst"));
    // An existing folder is taken as it is; one that cannot be made fails
    // the file's writing below, with its own line.
    (void)host.createDirectory(folder);
    SharedString name;
    name.format(u"%s%d.exe", getFileTitle(urlPath(entry->url)), static_cast<int>(entry->revision));
    const SharedString path = joinPath(folder, name);
    {
        MutexLock lock(stateMutex_);
        newInstallerVersion_ = newerVersionText_;
        newInstallerUrl_ = entry->url;
        newInstallerDigest_ = entry->digest;
        newInstallerSize_ = entry->size;
        newInstallerPath_ = path;
    }

    // A file left by an earlier run is started only when it is the installer
    // the bulletin describes: a temporary folder is no place to trust.
    std::uint64_t size = 0;
    if (host.exists(path, nullptr)) {
        if (host.getFileSize(path, size) && size == entry->size &&
            (entry->digest.isEmpty() || computeFileSha1Hex(host, path) == entry->digest)) {
            startNewInstaller();
            return;
        }
        logPrintf(u"The newer installer %s left by an earlier run is not the one offered", path);
    }
    std::vector<SharedString> others;
    std::unique_ptr<HalFileFinder> finder;
    if (host.createFileFinder(folder, finder)) {
        do {
            if (!finder->isFolder())
                others.push_back(joinPath(folder, finder->name()));
        } while (finder->next());
    }
    finder.reset();
    for (const SharedString& other : others)
        deleteFileOrLog(host, other);

    std::uint64_t total = 0;
    std::uint64_t available = 0;
    if (!host.getStoreInformation(folder, total, available) || available / 2 < entry->size) {
        logPrintf(u"No room for the newer installer in %s", folder);
        MutexLock lock(stateMutex_);
        newInstallerUrl_.clear();
        return;
    }
    report([](PrerequisitesSink& sink) { sink.downloadsReady(kDownloadsNewInstaller); });
}

bool PagePrerequisitesLogic::getNewInstallerVersionText(SharedString& text) const
{
    MutexLock lock(stateMutex_);
    text = newInstallerVersion_;
    return !newInstallerUrl_.isEmpty();
}

void PagePrerequisitesLogic::newInstallerDownloaded(std::vector<std::uint8_t> bytes)
{
    SharedString path;
    {
        MutexLock lock(stateMutex_);
        path = newInstallerPath_;
    }
    HalAccess& host = *controller_.getHalIn();
    if (!writeBufferToFile(host, bytes, path)) {
        logPrintf(u"The newer installer cannot be written to %s", path);
        deleteFileOrLog(host, path);
        return;
    }
    startNewInstaller();
}

bool PagePrerequisitesLogic::startNewInstaller()
{
    SharedString path;
    {
        MutexLock lock(stateMutex_);
        path = newInstallerPath_;
    }
    HalAccess& host = *controller_.getHalIn();
    const SharedString commandLine = emptyInstallerCommandLine(controller_);
    ProcessInformation process;
    if (commandLine.isEmpty() || !host.createProcess(path, commandLine, 0, process)) {
        logPrintf(u"The newer installer %s could not be started (error %u)", path, host.getLastError());
        deleteFileOrLog(host, path);
        controller_.setNewInstallerLaunchFailed(true);
        return false;
    }
    closeProcessHandle(process.process);
    closeProcessHandle(process.thread);
    // It runs from there, and writes its log beside itself, after this run has ended.
    controller_.keepInWorkFolder(getParentFolder(path));
    logPrintf(u"Started the newer installer %s", path);
    report([](PrerequisitesSink& sink) { sink.newInstallerStarted(); });
    return true;
}

}  // namespace druvex
