#include "controller/unattended_prerequisites.h"

#include <chrono>

#include "controller/page_prerequisites_logic.h"
#include "core/app_log.h"
#include "platform/manual_reset_event.h"
#include "text/mutex.h"

namespace druvex {

UnattendedPrerequisites::UnattendedPrerequisites(PagePrerequisitesLogic& logic, WaitTimeouts* timeouts)
    : logic_(logic), timeouts_(timeouts)
{
    logic_.setSink(this);
}

UnattendedPrerequisites::~UnattendedPrerequisites()
{
    logic_.setSink(nullptr);
}

bool UnattendedPrerequisites::run()
{
    logic_.startBulletinDownload();
    MutexLock lock(mutex_);
    while (!done_) {
        if (!signalled_) {
            const std::chrono::milliseconds limit =
                timeouts_ ? timeouts_->effectiveTimeout(kWaitMs) : std::chrono::milliseconds(kWaitMs);
            if (!changed_.wait_for(mutex_, limit, [this]() REQUIRES(mutex_) { return signalled_; })) {
                logPrintf(u"No answer from the update server within %u ms", static_cast<unsigned>(kWaitMs));
                break;
            }
        }
        // Waiting on a condition rather than polling a set event: the
        // download may take minutes, and this thread must not spin meanwhile.
        changed_.wait(mutex_, [this]() REQUIRES(mutex_) { return done_ || startNewInstaller_ || startLanguageDownloads_; });
        if (startNewInstaller_) {
            startNewInstaller_ = false;
            lock.unlock();
            logic_.startNewInstallerDownload();
            lock.lock();
        } else if (startLanguageDownloads_) {
            startLanguageDownloads_ = false;
            lock.unlock();
            logic_.startLanguageDownloads();
            lock.lock();
        }
    }
    return result_ == 0;
}

int UnattendedPrerequisites::getResult() const
{
    MutexLock lock(mutex_);
    return result_;
}

bool UnattendedPrerequisites::getResultFlag() const
{
    MutexLock lock(mutex_);
    return newerInstaller_;
}

void UnattendedPrerequisites::dataReceived(std::uint64_t)
{
    {
        MutexLock lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void UnattendedPrerequisites::downloadFinished(int result)
{
    {
        MutexLock lock(mutex_);
        signalled_ = true;
        done_ = true;
        result_ = result;
    }
    changed_.notify_all();
}

void UnattendedPrerequisites::downloadsReady(int kind)
{
    {
        MutexLock lock(mutex_);
        signalled_ = true;
        if (kind == kDownloadsNewInstaller) {
            startNewInstaller_ = true;
            newerInstaller_ = true;
        } else {
            startLanguageDownloads_ = true;
        }
    }
    changed_.notify_all();
}

}  // namespace druvex
