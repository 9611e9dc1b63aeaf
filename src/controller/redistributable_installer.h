// RedistributableInstaller: the redistributables manager of a run. It takes
// the redistributable definitions from the installer archive's list
// ("ExtraData/Redist/RedistInfo"), registers their packages as sources (the
// archive entry "ExtraData_Redist_<name>", or a download), runs each one's
// check script, works out which ones the features to install and the custom
// actions of the run require, and installs those missing.
//
// A check script's function "check" answers a result code and a message: 1
// or more means the redistributable is present, 0 that it is not, below 0
// that it cannot be installed here (the message says why). A redistributable
// without an answer counts as not present. Installing one unpacks its package
// into a folder of the work folder and calls the function "install" of its
// "setup.lua" there in an elevated runner; the installation fails when the
// script does not load, has no "install", raises an error, or answers false
// or a negative number.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "controller/redistributables_manager.h"
#include "data/redist_info.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class InstallerController;
class PayloadArchive;

// The answer of a check script.
struct RedistributableCheck {
    std::int32_t result = 0;
    SharedString message;
};

// Check answers from this value up mean present.
constexpr std::int32_t kRedistributablePresent = 1;

class RedistributableInstaller final : public RedistributablesManager {
public:
    // Both must outlive the installer.
    RedistributableInstaller(InstallerController& controller, PayloadArchive& archive);

    void loadDefinitions() override;
    void registerDownloads() override;
    void runChecks() override;
    void evaluateRequired() override;
    bool needsInstall() const override;
    bool getWorstResult(SharedString& message) const override;
    bool isPackageMissing() const override;
    std::vector<SharedString> getRedistributablesToInstall() const override;
    bool installRequired(RedistributableInstallObserver* observer, SharedString& failedName) override;
    void cancelInstall() override { cancel_.store(true); }

    std::vector<RedistributablePtr> getDefinitions() const;
    // The answer kept for the name (ignoring case); false when there is none.
    bool getCheckResult(const SharedString& name, RedistributableCheck& check) const;
    // The required names, each once, a redistributable's dependencies before it.
    std::vector<SharedString> getRequired() const;

private:
    struct Answer {
        SharedString name;
        RedistributableCheck check;
    };

    // The list from the archive; false (logged) when it is there but cannot
    // be read. No list: true with none.
    bool readList(std::vector<RedistributablePtr>& list) const;
    // Runs the check script; false when it cannot run or answers no code.
    static bool check(InstallerController& controller, const Redistributable& item, RedistributableCheck& answer);
    bool installOne(const Redistributable& item, RedistributableInstallObserver* observer);
    RedistributablePtr findDefinition(const SharedString& name) const REQUIRES(mutex_);
    const Answer* findAnswer(const SharedString& name) const REQUIRES(mutex_);
    bool isPresent(const SharedString& name) const REQUIRES(mutex_);
    void addRequired(const SharedString& name, std::vector<SharedString>& visiting) REQUIRES(mutex_);
    void storeAnswer(const SharedString& name, const RedistributableCheck& check) REQUIRES(mutex_);

    InstallerController& controller_;
    PayloadArchive& archive_;
    mutable Mutex mutex_;
    std::vector<RedistributablePtr> definitions_ GUARDED_BY(mutex_);
    std::vector<Answer> answers_ GUARDED_BY(mutex_);
    std::vector<SharedString> required_ GUARDED_BY(mutex_);
    std::atomic<bool> cancel_{false};
};

}  // namespace druvex
