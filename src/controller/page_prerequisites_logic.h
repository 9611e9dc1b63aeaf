// PagePrerequisitesLogic: the logic of the prerequisites page, the first page
// of every installing run. It checks the installer's own payload on a thread
// of its own (pausable), decides whether the device or computer can take the
// program, reaches the update server, downloads and evaluates the update
// bulletin, notices a newer installer and missing language files, and fixes
// the wizard mode when the page is left. Silent runs and the update check
// drive it without a page through UnattendedPrerequisites.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "app_base/target_platform.h"
#include "controller/page_logic.h"
#include "controller/page_sink_slot.h"
#include "controller/prerequisites_sink.h"
#include "core/thread_utils.h"
#include "data/feature.h"
#include "liveupdate/download_request.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class DownloadList;
class FontDeviceContext;
class HalAccess;
class InstallerController;
class LanguageFileManager;
class PageLogicRegistry;
class WaitTimeouts;
class WebDownloader;

// The newer installer's version as four words.
using VersionWords = std::array<std::int32_t, 4>;

// The answers of evaluateInstalledState: what an earlier installation asks of
// this run before it may go on.
enum class PreviousInstallation : std::int32_t {
    kPreviousInstallationNone = 0,
    // A newer version is installed: going on downgrades it.
    kPreviousInstallationNewer = 1,
    // The installed program must be uninstalled by hand first.
    kPreviousInstallationUninstallFirst = 2,
    // Another program stands in the way; this installer can remove it.
    kPreviousInstallationRemovable = 3,
    // Another program stands in the way and must be uninstalled by hand.
    kPreviousInstallationOtherProgram = 4,
};
using enum PreviousInstallation;

// What the code of an earlier installation is derived from.
struct InstalledStateFacts {
    // Another program's installed log was found in this product's folder.
    bool oldProduct = false;
    // The target is a desktop, or the installer runs on the device itself:
    // the old program's installer can be started from here.
    bool removableHere = false;
    // How far this installer can handle the installed one: the uninstall
    // compatibility (1 it can, 3 the installed log needs a newer installer).
    std::int32_t relation = 1;
    WizardMode mode = kModeNone;
    // 0 nothing installed of this program, 1 a newer version, 2 an older one.
    std::int32_t previousKind = 0;
};
PreviousInstallation evaluateInstalledState(const InstalledStateFacts& facts);

// Where Next leads from the prerequisites page.
enum class PrerequisitesNext {
    // The run stays on the page (the update server's absence was not accepted).
    kStay,
    // The run goes on in the mode fixed for it.
    kGoOn,
    // The run cannot go on: an earlier installation or missing rights stand
    // in the way (told to the user), and the run's result is failed.
    kEndRun,
};

// The scheme and host part of the update server's address, which the
// connection check tries ("http://h:8080/a/b.xml" gives "http://h:8080");
// empty for an address shorter than 8 characters or without "://".
SharedString connectionCheckAddress(const SharedString& liveUpdateUrl);

// Validates a downloaded bulletin: taken as it is when the address's
// extension is "xml"; otherwise the last 20 bytes must be the SHA-1 of those
// before them, which are an LZMA-alone stream of the document. False, with a
// log line, when the digest differs or the stream does not decode (or
// decodes to more than a bulletin may hold).
bool unpackBulletin(const SharedString& url, std::vector<std::uint8_t>& bytes);

class PagePrerequisitesLogic final : public PageLogic {
public:
    // The bulletin and the newer installer get this long to answer.
    static constexpr std::uint32_t kDownloadTimeoutMs = 8000;
    // The pause before the connection check and before the bulletin request.
    static constexpr std::uint32_t kSettleMs = 400;

    // Starts in the passed-earlier state when an earlier logic of this process
    // checked the payload; builds the page list of the start mode and runs
    // the "PREREQ-ENTER" actions.
    PagePrerequisitesLogic(InstallerController& controller, WebDownloader& downloader);
    // Cancels its downloads, stops the payload check and waits for it.
    ~PagePrerequisitesLogic() override;
    PagePrerequisitesLogic(const PagePrerequisitesLogic&) = delete;
    PagePrerequisitesLogic& operator=(const PagePrerequisitesLogic&) = delete;

    // --- Page logic ------------------------------------------------------------

    // False in a "newversion" run while the bulletin lists fewer than two
    // versions; otherwise true once the payload passed, the online checks
    // finished and the platform was accepted.
    bool onNext() override;
    // The wizard never goes back from here.
    bool onBack() override { return false; }
    // Runs the "PREREQ-EXIT" actions.
    void onLeave(WizardPageId nextPage) override;
    // The silent run's checks: the payload on the calling thread, the device,
    // the online checks through a waiter, then what Next does
    // (leaveWithNext).
    bool runUnattended() override;

    // Where the logic reports (the page, or a waiter); null stops the
    // reports. Waits for a report in progress, so that a sink that goes is
    // never called afterwards.
    void setSink(PrerequisitesSink* sink);
    bool hasSink() const;

    // How long the pauses of kSettleMs really last (null: as long as asked);
    // the object must outlive the logic.
    void setWaitTimeouts(WaitTimeouts* timeouts) { timeouts_ = timeouts; }

    // --- Payload check -----------------------------------------------------------

    // Verifies every entry of the payload archive on a thread of its own,
    // reporting progress and the end to the sink; reports the end at once when
    // the payload passed before or the run needs no check.
    void startChecks();
    // Clears the online state, tells the sink, and starts the checks again.
    void retryChecks();
    // Running to paused and back; the check stops before its next entry.
    void pauseChecks();
    void resumeChecks();
    // Stops the check (paused or not) without a report and waits for it.
    void stopChecks();
    std::uint32_t getCheckState() const;

    // --- Device, online checks and the end -----------------------------------

    // The device (or computer) against the installer's target platforms, the
    // minimum system version and the requirements' check scripts: a
    // kDeviceCheck... result, with `text` the reason where there is one. A
    // refusing requirement also leaves in `reason` (when given) why: the
    // script's message, its error or its answer.
    int checkDevice(SharedString& text, DeviceType& deviceType, TargetPlatform& platform,
                    SharedString* reason = nullptr);
    // The device check; then the online checks when the platform is accepted,
    // else the offline end.
    void runDeviceAndOnlineChecks();
    // The installed state read again, the language files of the target, then
    // the connection check when live update is available.
    void startOnlineChecks();
    // What Next does, the one way for the wizard and a silent run alike, so
    // that both reach the same mode and the same end: finishChecks, then
    // confirmEarlierInstallations. The questions on the way go through the
    // controller's UI callback: the person in the wizard, the fixed answers
    // in a silent run.
    PrerequisitesNext leaveWithNext();
    // The update-server rule and whether the run uses the server's features,
    // both when this round made the online checks (always in the wizard; in a
    // silent run only with an update mode, which fixes the use of the
    // server's features otherwise); then the mode.
    bool finishChecks();
    // True when administrator rights stand in the way; sets IsForAnyone from
    // the removers of previous installations.
    bool checkPreviousInstallations();
    // What an earlier installation asks, asked of the user: `stop` when the
    // run cannot go on, `removed` when the old installation was removed (its
    // removers and record are then forgotten: the installation does not run
    // them again). Another program that the wizard asks to be uninstalled
    // first does not stop a silent run: nobody is there to uninstall it, and
    // the installation starts that program's own remover before it changes
    // anything, stopping when the removal fails.
    void evaluatePreviousInstallation(bool& stop, bool& removed);
    // The last word before the run moves on from the page, once
    // finishChecks fixed the mode: evaluatePreviousInstallation, then
    // checkPreviousInstallations, whose problem is told. False, with the
    // run's result failed, when the run cannot go on.
    bool confirmEarlierInstallations();

    // The connection to the update server (sink reports included); then the
    // bulletin, or the end of the online checks.
    bool checkConnection();
    // The connection test alone: true when the update server's host answers.
    // Asks once per process whether to use a proxy that the device reports.
    bool probeConnection();
    // Each starts its download unless it runs already.
    void startBulletinDownload();
    void startNewInstallerDownload();
    void startLanguageDownloads();
    // True when nothing runs; otherwise, unless `force`, asks the user, then
    // cancels what runs and ends the online checks offline.
    bool cancelDownloads(bool force);
    // Ends the online checks once per round (a second call does nothing):
    // records the update check as done (`done`) for an accepted platform,
    // refreshes the language list and tells the sink.
    void finishOnlineChecks(bool done);

    // --- What the page reads ---------------------------------------------------

    bool isOnlineFinished() const { return onlineFinished_.load(); }
    bool isOffline() const { return offline_.load(); }
    bool isConnected() const { return connected_.load(); }
    bool isPlatformAccepted() const { return platformAccepted_.load(); }
    // An "update_mode newversion" run.
    bool isNewVersionRun() const;
    bool isNotUseConfigRun() const;
    bool isLiveUpdateAvailable() const;
    // The newer version's text and words; true when the bulletin's newer
    // installer makes a newer version available.
    bool getResultInfo(SharedString& text, VersionWords& words) const;
    // The version of the newer installer on offer for this platform.
    bool getNewInstallerVersionText(SharedString& text) const;
    // The page offers the language choice: the data has a main language
    // template (never in a "use_config" run).
    bool hasLanguageTemplate() const;
    // The controller's language, else the one its offer and the user's
    // locale suggest.
    std::uint16_t getCurrentLanguage() const;
    // The language features offered.
    std::vector<FeaturePtr> getLanguageList() const;
    // Whether `context`'s font (or a font linked to it) draws the language's
    // own name.
    bool canShowLanguageName(FontDeviceContext& context, std::uint16_t lcid) const;
    // Makes the language the controller's, named as its language feature
    // names it (else by its own name).
    void selectLanguage(std::uint16_t lcid);
    // Makes the controller's language the translation in use.
    void saveCurrentLanguage();

private:
    // The controller's preparation of the run's mode; a "newversion" run
    // with a newer installer on offer becomes its download.
    void prepareForMode(bool apply);
    enum class RequestKind { Bulletin, NewInstaller, LanguageFiles };

    // Hands one request's reports to the logic with the kind of request they
    // belong to, so that the logic never tells requests apart by address.
    class RequestListener final : public DownloadListener {
    public:
        RequestListener(PagePrerequisitesLogic& logic, RequestKind kind) : logic_(logic), kind_(kind) {}
        void onContentLength(DownloadRequest&, std::uint64_t length) override
        {
            const ReportUnderWay report(logic_);
            if (!logic_.closing_.load())
                logic_.onContentLength(kind_, length);
        }
        void onBegin(DownloadRequest&) override {}
        bool onData(DownloadRequest&, std::uint32_t size, std::uint32_t, const std::uint8_t* bytes) override
        {
            const ReportUnderWay report(logic_);
            return !logic_.closing_.load() && logic_.onData(kind_, size, bytes);
        }
        void onFinished(DownloadRequest&, int status, bool&) override
        {
            {
                const ReportUnderWay report(logic_);
                if (!logic_.closing_.load())
                    logic_.onFinished(kind_, status);
            }
            if (kind_ != RequestKind::LanguageFiles)
                logic_.requestEnded();
        }

    private:
        PagePrerequisitesLogic& logic_;
        const RequestKind kind_;
    };

    // Every request of the logic's own ends with exactly one report of its
    // end; the destructor waits for those of the requests it started.
    void requestStarted();
    void requestEnded();

    // Counts a download report while it runs, so that the destructor can
    // wait for one in progress (the language list's end among them). A
    // count rather than a lock: a report may lead to a cancel, whose end the
    // downloader reports on the cancelling thread inside the report, and the
    // bulletin's end report starts the language list, whose reports would
    // otherwise wait on it.
    class ReportUnderWay {
    public:
        explicit ReportUnderWay(PagePrerequisitesLogic& logic) : logic_(logic) { logic_.reportBegins(); }
        ~ReportUnderWay() { logic_.reportEnds(); }
        ReportUnderWay(const ReportUnderWay&) = delete;
        ReportUnderWay& operator=(const ReportUnderWay&) = delete;

    private:
        PagePrerequisitesLogic& logic_;
    };
    void reportBegins();
    void reportEnds();

    // Sends one report to the sink, when there is one.
    template <class Report>
    void report(Report&& call)
    {
        sink_.report(std::forward<Report>(call));
    }

    bool payloadCheckNeeded() const;
    // The check loop; false when it was stopped.
    void runPayloadCheck();
    void pauseFor(std::uint32_t milliseconds);
    void loadLanguages(const std::shared_ptr<HalAccess>& host, bool online);
    bool isInstalledProgramRecorded() const;
    void useCachedBulletin();
    // The update-server rule of finishChecks and the silent run.
    bool passesUpdateServerRule();

    // Listener calls, on the downloader's thread (a cancel's end on the
    // cancelling one).
    void onContentLength(RequestKind kind, std::uint64_t length);
    bool onData(RequestKind kind, std::uint32_t size, const std::uint8_t* bytes);
    void onFinished(RequestKind kind, int status);
    // The bulletin's bytes checked, read and accepted; then the newer
    // installer and the language files.
    bool evaluateBulletin(std::vector<std::uint8_t> bytes);
    void checkNewInstaller();
    // True when language files were queued (the page is asked to start them).
    bool offerLanguageFiles();
    void newInstallerDownloaded(std::vector<std::uint8_t> bytes);
    bool startNewInstaller();

    InstallerController& controller_;
    WebDownloader& downloader_;
    WaitTimeouts* timeouts_ = nullptr;

    PageSinkSlot<PrerequisitesSink> sink_;

    // The payload check: its state and stop flag change only under the mutex,
    // so that neither a pause nor a stop is missed by the waiting thread.
    mutable Mutex checkMutex_;
    ConditionVariable checkChanged_;
    std::uint32_t checkState_ GUARDED_BY(checkMutex_) = kPayloadCheckNotStarted;
    bool stopRequested_ GUARDED_BY(checkMutex_) = false;
    WorkerThread checksThread_;

    std::atomic<bool> onlineFinished_{false};
    std::atomic<bool> offline_{false};
    std::atomic<bool> platformAccepted_{false};
    std::atomic<bool> connected_{false};
    std::atomic<bool> bulletinEvaluated_{false};
    // This round asked the update server (or found that there is none to
    // ask): its answer, or its absence, is for the run to judge.
    std::atomic<bool> onlineChecksMade_{false};
    // Set by runUnattended: nobody answers the page.
    std::atomic<bool> unattended_{false};
    // Set by the destructor: the ends its cancels report change nothing.
    std::atomic<bool> closing_{false};
    // The bulletin and newer-installer requests whose end is still to come.
    // The worker marks a request finished before it reports the end without
    // any lock, so a cancel can find nothing to cancel while that report is
    // still to run: the count tells when it has. With it, the download
    // reports under way.
    Mutex pendingMutex_;
    ConditionVariable pendingEnded_;
    int pendingRequests_ GUARDED_BY(pendingMutex_) = 0;
    int reportsUnderWay_ GUARDED_BY(pendingMutex_) = 0;

    // Guards the requests, their bytes, the language list and the newer
    // installer's record; never held while calling out of the logic.
    mutable Mutex stateMutex_;
    // Made by the constructor and never replaced: read without the lock.
    const std::unique_ptr<RequestListener> bulletinListener_;
    const std::unique_ptr<RequestListener> newInstallerListener_;
    const std::unique_ptr<RequestListener> languageListener_;
    std::shared_ptr<DownloadRequest> bulletinRequest_ GUARDED_BY(stateMutex_);
    std::shared_ptr<DownloadRequest> newInstallerRequest_ GUARDED_BY(stateMutex_);
    std::vector<std::uint8_t> bulletinBytes_ GUARDED_BY(stateMutex_);
    std::vector<std::uint8_t> newInstallerBytes_ GUARDED_BY(stateMutex_);
    // Shared with the thread that uses them, so that a new round's
    // replacement never frees them under it.
    std::shared_ptr<DownloadList> languageDownloads_ GUARDED_BY(stateMutex_);
    std::shared_ptr<LanguageFileManager> languageFiles_ GUARDED_BY(stateMutex_);
    // Held while the language-file manager is used: the page and the
    // downloader's worker both do.
    Mutex languageMutex_;
    std::vector<FeaturePtr> languageList_ GUARDED_BY(stateMutex_);
    bool newerVersion_ GUARDED_BY(stateMutex_) = false;
    SharedString newerVersionText_ GUARDED_BY(stateMutex_);
    VersionWords newerVersionWords_ GUARDED_BY(stateMutex_){};
    SharedString newInstallerVersion_ GUARDED_BY(stateMutex_);
    SharedString newInstallerUrl_ GUARDED_BY(stateMutex_);
    SharedString newInstallerDigest_ GUARDED_BY(stateMutex_);
    std::uint64_t newInstallerSize_ GUARDED_BY(stateMutex_) = 0;
    SharedString newInstallerPath_ GUARDED_BY(stateMutex_);
};

// Makes the prerequisites logic for page 2 with the controller's downloader.
void registerPrerequisitesPageLogic(PageLogicRegistry& registry);

// Forgets what earlier logics of the process did (the payload checked, the
// newer installer looked for, the proxy question asked). Tests only.
void resetPrerequisitesProcessStateForTests();

}  // namespace druvex
