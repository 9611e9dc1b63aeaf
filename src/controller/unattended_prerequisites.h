// UnattendedPrerequisites: the prerequisites page's stand-in in silent runs and
// in the update check. It registers as the logic's sink, asks for the
// bulletin, starts from its own thread the downloads the logic offers, and
// waits until the bulletin's download has ended. Before the first report
// arrives it waits at most kWaitMs; once reports come it waits for the end
// without a limit (the downloader's own time-outs end a stalled transfer).
#pragma once

#include <condition_variable>
#include <cstdint>

#include "controller/prerequisites_sink.h"
#include "text/mutex.h"

namespace druvex {

class PagePrerequisitesLogic;
class WaitTimeouts;

class UnattendedPrerequisites final : public PrerequisitesSink {
public:
    static constexpr std::uint32_t kWaitMs = 8000;
    // The result while the bulletin's download has not ended.
    static constexpr int kNoResult = 5;

    // Registers as `logic`'s sink. `timeouts` (null: real time) decides how
    // long the first wait really lasts; it must outlive the waiter.
    explicit UnattendedPrerequisites(PagePrerequisitesLogic& logic, WaitTimeouts* timeouts = nullptr);
    // Clears the logic's sink, waiting for a report in progress.
    ~UnattendedPrerequisites() override;
    UnattendedPrerequisites(const UnattendedPrerequisites&) = delete;
    UnattendedPrerequisites& operator=(const UnattendedPrerequisites&) = delete;

    // Asks for the bulletin and waits for its end, starting what the logic
    // offers on the way; true when the bulletin was had (result 0).
    bool run();
    // 0, a download status, 3 for an invalid bulletin, or kNoResult when
    // nothing came in time.
    int getResult() const;
    // The logic offered a newer installer.
    bool getResultFlag() const;

    void checksRestarted() override {}
    void onlineChecksFinished() override {}
    void payloadCheckFinished(bool, std::uint32_t) override {}
    void payloadCheckProgress(std::uint64_t) override {}
    void deviceCheckBegins() override {}
    void deviceCheckResult(int, const SharedString&, DeviceType) override {}
    void connectionCheckBegins() override {}
    void connectionCheckResult(bool) override {}
    void downloadProgress(std::uint64_t) override {}
    void dataReceived(std::uint64_t kilobytes) override;
    void downloadFinished(int result) override;
    void downloadsReady(int kind) override;
    void newInstallerStarted() override {}

private:
    PagePrerequisitesLogic& logic_;
    WaitTimeouts* timeouts_;
    mutable Mutex mutex_;
    ConditionVariable changed_;
    // Some report came: from then on the waits have no limit.
    bool signalled_ GUARDED_BY(mutex_) = false;
    bool done_ GUARDED_BY(mutex_) = false;
    bool startNewInstaller_ GUARDED_BY(mutex_) = false;
    bool startLanguageDownloads_ GUARDED_BY(mutex_) = false;
    bool newerInstaller_ GUARDED_BY(mutex_) = false;
    int result_ GUARDED_BY(mutex_) = kNoResult;
};

}  // namespace druvex
