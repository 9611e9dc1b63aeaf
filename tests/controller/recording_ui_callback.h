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
#include "text/shared_string.h"

namespace druvex::test {

// Every question comes to ask() by a short name (with the feature it names)
// and is answered with 0; the doubles of the tests override ask() or only the
// questions they look at.
class ZeroAnswerUiCallback : public InstallerUiCallback {
public:
    int askExit() override { return ask("exit"); }
    int reportRapiSettingsProblem() override { return ask("rapi"); }
    int reportNewerVersionInstalled(const SharedString&) override { return ask("newer version"); }
    int reportAlreadyInstalled(const SharedString&) override { return ask("installed"); }
    int askUseProxy() override { return ask("proxy"); }
    int askStopUpdateSearch() override { return ask("stop search"); }
    int reportNoUpdateServer(const std::shared_ptr<InstalledLog>&) override { return ask("no server"); }
    int askInstallRevision(const SharedString&) override { return ask("revision"); }
    int reportNewerRevisionInstalled(const SharedString&) override { return ask("newer revision"); }
    int reportNewInstallerReleased() override { return ask("new installer"); }
    FileExistsAnswer askFileExists(const SharedString&, bool&) override
    {
        return static_cast<FileExistsAnswer>(ask("file exists"));
    }
    int askStopEulaDownload() override { return ask("stop eula"); }
    int askRetryFeatureDownload(const SharedString& name, int) override { return ask("retry " + utf8(name)); }
    int reportInstallToDestinationError(const SharedString& name, const SharedString& reason) override
    {
        return ask("resume " + utf8(name) + ": " + utf8(reason));
    }
    int askSkipFeatureDownload(const SharedString& name, int) override { return ask("skip download " + utf8(name)); }
    int askSkipFeatureInstall(const SharedString& name, const SharedString& reason) override
    {
        return ask("skip install " + utf8(name) + ": " + utf8(reason));
    }
    int reportUninstallFeaturesError() override { return ask("uninstall features"); }
    int reportUninstallError() override { return ask("uninstall"); }
    int reportUninstallDeviceError() override { return ask("uninstall device"); }
    int askRollback() override { return ask("rollback"); }
    LockedFilesAnswer showLockedFiles(const std::vector<LockingProcess>&, int) override
    {
        return static_cast<LockedFilesAnswer>(ask("locked"));
    }
    int reportRebootNeeded() override { return ask("reboot"); }
    int askInstallPcVersion() override { return ask("pc version"); }

protected:
    virtual int ask(const std::string&) { return 0; }
    static std::string utf8(const SharedString& text) { return toUtf8(text).c_str(); }
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
    void showMessage(const SharedString& text, MessageSeverity severity, int flag) override
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
    std::vector<std::tuple<std::u16string, MessageSeverity, int>> shown;
};

}  // namespace druvex::test
