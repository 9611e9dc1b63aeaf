// PagePrerequisitesDlg: the first page of an installing run. It shows the
// check of the installer's own payload with its progress, then the device
// check and the update server's answers as its logic reports them. The device
// and online checks run on a thread of the page's own, so that the terminal
// stays live while the update server is asked; the page joins it before it
// goes. Next is offered once every check has passed. An installer found
// damaged may be checked again with Retry (a storage card put back in place).
//
// An installer with a main language template lets the person choose its
// language here once the checks are done: among the languages it offers,
// those whose own names the device's system font (or a font linked to it)
// can show. A choice is made current at once, with its translation, and the
// page shows itself in it.
#pragma once

#include <functional>
#include <map>
#include <vector>

#include "app/wizard_page.h"
#include "controller/prerequisites_sink.h"
#include "core/thread_utils.h"

namespace druvex {

class Button;
class ComboBox;
class Label;
class PagePrerequisitesLogic;
class ProgressBar;

class PagePrerequisitesDlg final : public WizardPage, public PrerequisitesSink {
public:
    PagePrerequisitesDlg(TerminalSession& session, WizardController& controller, PagePrerequisitesLogic& logic);
    // Cuts short what the update server still owes and joins the checks'
    // thread.
    void leaveLogic() override;

    // --- PrerequisitesSink: any thread; each report is shown by the UI thread.
    void checksRestarted() override;
    void onlineChecksFinished() override;
    void payloadCheckFinished(bool ok, std::uint32_t state) override;
    void payloadCheckProgress(std::uint64_t percent) override;
    void deviceCheckBegins() override;
    void deviceCheckResult(int result, const SharedString& text, DeviceType deviceType) override;
    void connectionCheckBegins() override;
    void connectionCheckResult(bool connected) override;
    void downloadProgress(std::uint64_t kilobytes) override;
    void dataReceived(std::uint64_t kilobytes) override;
    void downloadFinished(int result) override;
    void downloadsReady(int kind) override;
    void newInstallerStarted() override;

protected:
    void onInitDialog() override;
    // Fixes the mode and the page list for the run; then an earlier
    // installation, or rights the run does not have, may end the wizard.
    bool confirmNext() override;
    // The payload check pauses while the person is asked.
    void onCancel() override;

private:
    void startDeviceChecks();
    void stopDeviceChecks();
    // Checks the installer again after it was found damaged.
    void retry();
    // Shows the text `text` makes, and makes it again after a change of language.
    void show(Label* label, std::function<SharedString()> text);
    // The languages to choose from, once the checks are done.
    void offerLanguages();
    void languageChosen(int index);
    // The page's texts in the language made current.
    void retranslate();

    PagePrerequisitesLogic& logic_;
    Label* payload_ = nullptr;
    ProgressBar* bar_ = nullptr;
    Button* retry_ = nullptr;
    Label* device_ = nullptr;
    Label* online_ = nullptr;
    Label* languageLabel_ = nullptr;
    ComboBox* languages_ = nullptr;
    // UI thread only.
    std::map<Label*, std::function<SharedString()>> texts_;
    std::vector<std::uint16_t> languageIds_;
    WorkerThread deviceChecks_;
};

// The text the page shows for a device check's result.
SharedString deviceCheckText(int result, const SharedString& detail);

}  // namespace druvex
