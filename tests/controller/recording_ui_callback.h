// UI callbacks for the controller and engine tests: every question answered
// with 0, except those whose answer a test sets; the recording one keeps how
// often some were asked, what the newer-revision question named and every
// message shown.
#pragma once

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "controller/installer_ui_callback.h"
#include "hal/hal_access.h"

namespace druvex::test {

// Every question answered with 0; the doubles of the tests override only the
// questions they look at.
class ZeroAnswerUiCallback : public InstallerUiCallback {
public:
    int askExit() override { return 0; }
    int reportRapiSettingsProblem() override { return 0; }
    int reportNewerVersionInstalled(const SharedString&) override { return 0; }
    int reportAlreadyInstalled(const SharedString&) override { return 0; }
    int askUseProxy() override { return 0; }
    int askStopUpdateSearch() override { return 0; }
    int reportNoUpdateServer(const std::shared_ptr<InstalledLog>&) override { return 0; }
    int askInstallRevision(const SharedString&) override { return 0; }
    int reportNewerRevisionInstalled(const SharedString&) override { return 0; }
    int reportNewInstallerReleased() override { return 0; }
    int askFileExists(const SharedString&, bool&) override { return 0; }
    int askStopEulaDownload() override { return 0; }
    int askRetryFeatureDownload(const SharedString&, int) override { return 0; }
    int reportInstallToDestinationError() override { return 0; }
    int askSkipFeatureDownload(const SharedString&, int) override { return 0; }
    int askSkipFeatureInstall(const SharedString&) override { return 0; }
    int reportUninstallFeaturesError() override { return 0; }
    int reportUninstallError() override { return 0; }
    int reportUninstallDeviceError() override { return 0; }
    int askRollback() override { return 0; }
    int showLockedFiles(const std::vector<LockingProcess>&, int) override { return 0; }
    int reportRebootNeeded() override { return 0; }
    int askInstallPcVersion() override { return 0; }
};

class RecordingUiCallback final : public ZeroAnswerUiCallback {
public:
    int reportAlreadyInstalled(const SharedString&) override { return alreadyInstalledAnswer; }
    int askUseProxy() override
    {
        ++proxyQuestions;
        return 0;
    }
    int askStopUpdateSearch() override
    {
        ++stopSearchQuestions;
        return stopSearchAnswer;
    }
    int reportNoUpdateServer(const std::shared_ptr<InstalledLog>&) override
    {
        ++noUpdateServerQuestions;
        return noUpdateServerAnswer;
    }
    int reportNewerRevisionInstalled(const SharedString& revision) override
    {
        newerRevisionsAsked.emplace_back(revision.view());
        return newerRevisionAnswer;
    }
    int askStopEulaDownload() override
    {
        ++stopEulaAsked;
        return stopEulaAnswer;
    }
    int reportRebootNeeded() override
    {
        ++rebootAsked;
        return rebootAnswer;
    }
    void showMessage(const SharedString& text, int severity, int flag) override
    {
        shown.emplace_back(std::u16string(text.view()), severity, flag);
    }

    int newerRevisionAnswer = 0;
    int stopEulaAnswer = 0;
    int stopEulaAsked = 0;
    int rebootAnswer = 0;
    int rebootAsked = 0;
    int alreadyInstalledAnswer = 0;
    int stopSearchAnswer = 0;
    int noUpdateServerAnswer = 0;
    int proxyQuestions = 0;
    int stopSearchQuestions = 0;
    int noUpdateServerQuestions = 0;
    std::vector<std::u16string> newerRevisionsAsked;
    std::vector<std::tuple<std::u16string, int, int>> shown;
};

}  // namespace druvex::test
