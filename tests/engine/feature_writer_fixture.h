// What the feature node writer's tests share: a run that records what the
// writer asks of it (with a cancel flag, a pause that blocks until resumed,
// scripted answers), a device host that can play a desktop with files held
// open by other processes, and a prompt with scripted answers to the
// locked-files question.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "../controller/recording_ui_callback.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "data/installed_log.h"
#include "engine/feature_install_run.h"
#include "engine/install_plan.h"
#include "host/wince_hal_access.h"
#include "support/package_fixtures.h"

namespace druvex::test {

// Files held open, files without write access, and the answers of a desktop.
struct DesktopState {
    DeviceType deviceType = DeviceType::WIN32;
    // Held open by `holders`: no host can delete them.
    std::set<std::u16string> locked;
    // Only the elevated host can delete them.
    std::set<std::u16string> denied;
    // The access masks that can be read, by path.
    std::map<std::u16string, std::uint32_t> masks;
    std::vector<LockingProcess> holders;
    int maskQueries = 0;
    int lockingQueries = 0;
    int elevatedDeletes = 0;
};

// The device host answering as a desktop (or another device type) whose
// files may be held open.
class DesktopHost final : public HalAccessWinCE {
public:
    DesktopHost(std::shared_ptr<DesktopState> state, bool elevated) : state_(std::move(state)), elevated_(elevated) {}

    ConnectionState getDeviceType(DeviceType& type, bool) override
    {
        type = state_->deviceType;
        return ConnectionState::DEVICE_CONNECTED;
    }
    bool deleteFile(const SharedString& path) override
    {
        const std::u16string key = installPathKey(path.view());
        if (state_->locked.contains(key) || (!elevated_ && state_->denied.contains(key)))
            return false;
        if (elevated_)
            ++state_->elevatedDeletes;
        return HalAccessWinCE::deleteFile(path);
    }
    bool getFileAccessMask(const SharedString& path, std::uint32_t& mask) override
    {
        ++state_->maskQueries;
        const auto found = state_->masks.find(installPathKey(path.view()));
        mask = found == state_->masks.end() ? 0 : found->second;
        return found != state_->masks.end();
    }
    bool getLockingProcesses(const SharedString& path, std::vector<LockingProcess>& processes) override
    {
        ++state_->lockingQueries;
        processes.clear();
        if (state_->locked.contains(installPathKey(path.view())))
            processes = state_->holders;
        return true;
    }

private:
    std::shared_ptr<DesktopState> state_;
    bool elevated_;
};

// Answers showLockedFiles from a script (then with the last answer again)
// and records each list it is shown; every other question answers 0.
class LockedFilesPrompt final : public ZeroAnswerUiCallback {
public:
    LockedFilesAnswer showLockedFiles(const std::vector<LockingProcess>& processes, int) override
    {
        shownLists.push_back(processes);
        const LockedFilesAnswer answer = answers.empty() ? kLockedFilesExit : answers.front();
        if (answers.size() > 1)
            answers.pop_front();
        if (onAnswer)
            onAnswer(answer);
        return answer;
    }

    std::deque<LockedFilesAnswer> answers;
    std::vector<std::vector<LockingProcess>> shownLists;
    // Called with each answer before it is given (a test lets the holder go).
    std::function<void(LockedFilesAnswer)> onAnswer;
};

// The run as the writer sees it. Every call is recorded in order as a short
// line ("check", "drain", "progress <path> <bytes>", "sample <bytes>",
// "close-holders", "wait <ms>").
class FakeInstallRun final : public FeatureInstallRun {
public:
    FakeInstallRun(std::shared_ptr<HalAccess> host, const SharedString& destination)
        : halIn(host), halOut(host), halOutElevated(host), destination_(destination)
    {
    }

    void waitIfPausedAndCheckCanceled(bool& isCanceled) override
    {
        std::unique_lock lock(mutex_);
        calls_.push_back("check");
        waiting_ = paused_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return !paused_; });
        waiting_ = false;
        isCanceled = canceled;
    }
    bool processQueuedRequests() override
    {
        record("drain");
        return drainResult;
    }
    void reportDownloadProgress(const SharedString& path, std::uint64_t bytes) override
    {
        record("progress " + narrow(path.view()) + " " + std::to_string(bytes));
    }
    void addEstimateSample(std::uint64_t bytes) override { record("sample " + std::to_string(bytes)); }
    bool closeLockingProcesses(const std::vector<LockingProcess>&) override
    {
        record("close-holders");
        if (closeReleases && desktop)
            desktop->locked.clear();
        return closeReleases;
    }
    void waitMilliseconds(std::uint32_t milliseconds) override { record("wait " + std::to_string(milliseconds)); }

    bool hasAdministratorRights() const override { return administrator; }
    std::shared_ptr<HalAccess> getHalIn() const override { return halIn; }
    std::shared_ptr<HalAccess> getHalOut() const override { return halOut; }
    std::shared_ptr<HalAccess> getHalOutElevated() const override { return halOutElevated; }
    bool isDesktopTarget() const override { return desktopTarget; }
    bool isRebootRequired() const override { return rebootRequired; }
    void setRebootRequired() override
    {
        record("reboot-required");
        rebootRequired = true;
    }
    std::shared_ptr<InstallerUiCallback> getUiCallback() const override { return prompt; }
    std::shared_ptr<InstalledLog> getInstalledLog() const override { return installedLog; }
    std::shared_ptr<LanguageTemplate> findLanguageTemplate(const Feature& feature) const override
    {
        const auto found = templates.find(&feature);
        return found == templates.end() ? nullptr : found->second;
    }
    SharedString getDestinationFolder() const override { return destination_; }
    // Only "<TARGETDIR>" resolves, to the destination.
    SharedString resolveHostPath(const SharedString& folder, const SharedString& name) override
    {
        return folder.view() == u"<TARGETDIR>" ? joinPath(destination_, name) : SharedString();
    }

    // Pausing from another thread: checks block from then on until resume.
    void pause()
    {
        std::lock_guard lock(mutex_);
        paused_ = true;
    }
    void resume()
    {
        std::lock_guard lock(mutex_);
        paused_ = false;
        changed_.notify_all();
    }
    // Until a check blocks in the pause.
    void awaitBlockedCheck()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return waiting_; });
    }
    std::vector<std::string> takeCalls()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(calls_, {});
    }

    std::atomic<bool> canceled = false;
    bool drainResult = true;
    bool closeReleases = false;
    bool administrator = false;
    bool desktopTarget = false;
    bool rebootRequired = false;
    std::shared_ptr<HalAccess> halIn;
    std::shared_ptr<HalAccess> halOut;
    std::shared_ptr<HalAccess> halOutElevated;
    std::shared_ptr<DesktopState> desktop;
    std::shared_ptr<LockedFilesPrompt> prompt = std::make_shared<LockedFilesPrompt>();
    std::shared_ptr<InstalledLog> installedLog = std::make_shared<InstalledLog>();
    std::map<const Feature*, std::shared_ptr<LanguageTemplate>> templates;

private:
    void record(std::string call)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    SharedString destination_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    bool paused_ = false;
    bool waiting_ = false;
};

}  // namespace druvex::test
