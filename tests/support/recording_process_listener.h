// An installation listener for tests: every call becomes a line ("download
// begins 300", "retry? Help 3"), progress reports are kept apart as (name,
// position), and the questions answer from scripted queues (no, 0, when a
// queue is empty). Safe to call from any thread; a test may act on each line
// as it is recorded, and wait for the run's end. Header only: link the
// fileutil library.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "fileutil/installation_process_listener.h"
#include "text/shared_string.h"

namespace druvex::test {

class RecordingProcessListener final : public InstallationProcessListener {
public:
    void onProgressRange(std::uint64_t total) override { record("range " + std::to_string(total)); }
    void onProgressPosition(const SharedString& name, std::uint64_t position) override
    {
        record("position " + text(name) + " " + std::to_string(position));
    }
    void onProgressEnd() override { record("progress end"); }
    void onRemoveOldInstallation(std::uint32_t a, std::uint32_t b) override { words("remove old", a, b); }
    void onRemoveOldInstallationDone(std::uint32_t a, std::uint32_t b) override { words("removed old", a, b); }
    void onProgressValue(const SharedString& name, std::uint64_t value) override
    {
        record("value " + text(name) + " " + std::to_string(value));
    }
    void onCheckPackages(std::uint32_t a, std::uint32_t b) override { words("check packages", a, b); }
    void onUninstallBegin(std::uint32_t a, std::uint32_t b) override { words("uninstall", a, b); }
    void onCleanFolders(std::uint32_t a, std::uint32_t b) override { words("clean folders", a, b); }
    void onRemoveFiles(std::uint32_t a, std::uint32_t b) override { words("remove files", a, b); }
    void onDownloadNewInstaller(std::uint32_t a, std::uint32_t b) override { words("new installer", a, b); }
    void onPhase3(std::uint32_t a, std::uint32_t b) override { words("phase 3", a, b); }
    void onInstallBegin(std::uint32_t a, std::uint32_t b) override { words("install", a, b); }
    void onRollbackBegin(std::uint32_t a, std::uint32_t b) override { words("rollback", a, b); }
    void onValidating(std::uint32_t a, std::uint32_t b) override { words("validating", a, b); }
    void onValidatingEnd(std::uint32_t a, std::uint32_t b) override { words("validated", a, b); }

    void onDownloadBegin(std::uint64_t total) override { record("download begins " + std::to_string(total)); }
    void onDownloadProgress(const SharedString& name, std::uint64_t position) override
    {
        std::lock_guard lock(mutex_);
        progress_.emplace_back(text(name), position);
    }
    void onDownloadFinished(std::int32_t status) override { record("download finished " + std::to_string(status)); }
    bool askRetryDownload(const SharedString& name, std::int32_t status) override
    {
        return answer("retry? " + text(name) + " " + std::to_string(status), retryAnswers);
    }
    bool askSkipDownload(const SharedString& name) override { return answer("skip? " + text(name), skipAnswers); }

    void onProgressBytes(const SharedString& name, std::uint64_t bytes) override
    {
        record("bytes " + text(name) + " " + std::to_string(bytes));
    }
    void onSucceeded() override { record("succeeded"); }
    void onFailed() override { record("failed"); }
    void onWaitingForDownload(std::uint32_t a, std::uint32_t b) override { words("waiting", a, b); }
    int askOnError(const FeatureFailure& failure) override { return ask("error? " + describe(failure)); }
    int askSkipFailedFeature(const FeatureFailure& failure) override
    {
        return ask("skip feature? " + describe(failure));
    }
    int reportUninstallFeaturesError(std::uint32_t a, std::uint32_t b) override
    {
        return ask("uninstall features error", a, b);
    }
    int reportUninstallError(std::uint32_t a, std::uint32_t b) override { return ask("uninstall error", a, b); }
    int reportUninstallDeviceError(std::uint32_t a, std::uint32_t b) override
    {
        return ask("uninstall device error", a, b);
    }
    int askRollback(std::uint32_t a, std::uint32_t b) override { return ask("rollback?", a, b); }
    void onBackupBegin(bool isBackup, std::uint32_t a, std::uint32_t b) override
    {
        words(isBackup ? "backup" : "restore", a, b);
    }
    void onBackupProgress(std::uint32_t a, std::uint32_t b, std::uint32_t c) override
    {
        record("backup progress " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
    }
    void onBackupFinished(std::int32_t code) override { record("backup finished " + std::to_string(code)); }
    void onStepsBegin(std::uint32_t a, std::uint32_t b) override { words("steps", a, b); }
    void onStep(std::uint32_t a, std::uint32_t b) override { words("step", a, b); }
    void onStepDone(std::uint32_t a, std::uint32_t b) override { words("step done", a, b); }
    void onStepsEnd(std::uint32_t a, std::uint32_t b) override { words("steps end", a, b); }
    void reportRedistributableError(const SharedString& name) override { record("redist error " + text(name)); }
    void onRemainingTime(std::uint32_t a, std::uint32_t b) override { words("remaining", a, b); }
    void reportRegistrationError(const SharedString& name, bool registering) override
    {
        record((registering ? "registration error " : "unregistration error ") + text(name));
    }

    // Blocks until the run reported its end (succeeded or failed).
    void awaitEnd()
    {
        std::unique_lock lock(mutex_);
        endChanged_.wait(lock, [&] { return ended_; });
    }

    std::vector<std::string> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::pair<std::string, std::uint64_t>> progress() const
    {
        std::lock_guard lock(mutex_);
        return progress_;
    }

    // Answers of the two download questions, first to last; set before the
    // run starts.
    std::deque<bool> retryAnswers;
    std::deque<bool> skipAnswers;
    // Answers of the questions that take two words (the run's errors, the
    // rollback), first to last.
    std::deque<int> wordAnswers;
    // Called with each line once it is recorded, on the reporting thread
    // (set before the run starts).
    std::function<void(const std::string&)> onEvent;

private:
    static std::string text(const SharedString& value)
    {
        const SharedStringA utf8 = toUtf8(value);
        return std::string(utf8.c_str(), static_cast<std::size_t>(utf8.length()));
    }
    void record(std::string line)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(line);
            ended_ = ended_ || line == "succeeded" || line == "failed";
        }
        endChanged_.notify_all();
        if (onEvent)
            onEvent(line);
    }
    void words(const char* what, std::uint32_t a, std::uint32_t b)
    {
        record(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
    }
    int ask(const char* what, std::uint32_t a, std::uint32_t b)
    {
        return ask(std::string(what) + " " + std::to_string(a) + " " + std::to_string(b));
    }
    int ask(std::string line)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
        if (wordAnswers.empty())
            return 0;
        const int value = wordAnswers.front();
        wordAnswers.pop_front();
        return value;
    }
    // "<feature>: <reason>", and " (required)" for one that cannot be skipped.
    static std::string describe(const FeatureFailure& failure)
    {
        return text(failure.featureName) + ": " + text(failure.reason) + (failure.skippable ? "" : " (required)");
    }
    bool answer(std::string line, std::deque<bool>& answers)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
        if (answers.empty())
            return false;
        const bool value = answers.front();
        answers.pop_front();
        return value;
    }

    mutable std::mutex mutex_;
    std::condition_variable endChanged_;
    bool ended_ = false;
    std::vector<std::string> events_;
    std::vector<std::pair<std::string, std::uint64_t>> progress_;
};

}  // namespace druvex::test
