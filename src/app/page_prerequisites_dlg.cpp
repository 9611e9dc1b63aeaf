#include "app/page_prerequisites_dlg.h"

#include <chrono>

#include "controller/installer_ui_callback.h"
#include "controller/page_prerequisites_logic.h"
#include "controller/wizard_controller.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "data/culture_table.h"
#include "data/feature.h"
#include "data/font_device_context.h"
#include "platform/window_model.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"
#include "ui_base/message_box.h"

namespace druvex {

SharedString deviceCheckText(int result, const SharedString& detail)
{
    switch (result) {
    case kDeviceCheckAccepted:
        return translateText("The device can take the program.");
    case kDeviceCheckRequirementFailed:
        return detail.isEmpty() ? translateText("The device does not meet the program's requirements.") : detail;
    case kDeviceCheckAccessDenied:
        return translateText("The device refused the connection.");
    case kDeviceCheckPlatformNotServed:
        return translateText("This installer is not made for this device.");
    case kDeviceCheckNoDevice:
        return translateText("No device is connected.");
    case kDeviceCheckNoDeviceHere:
        return translateText("The device cannot be identified.");
    case kDeviceCheckOnly32BitOs:
        return translateText("The application may be installed only on 32bit OS");
    case kDeviceCheckOnly64BitOs:
        return translateText("The application may be installed only on 64bit OS");
    case kDeviceCheckDesktopNotServed:
        return detail.isEmpty() ? translateText("This installer is not made for this computer.")
                                : formatTranslated("The program needs system version {1} or later.", detail);
    default:
        return translateText("Undefined error.");
    }
}

PagePrerequisitesDlg::PagePrerequisitesDlg(TerminalSession& session, WizardController& controller,
                                           PagePrerequisitesLogic& logic)
    : WizardPage(session, controller, kPagePrerequisites, translateText("Prerequisites")), logic_(logic)
{
    payload_ = &addContent<Label>(false, 0);
    show(payload_, [] { return translateText("Checking the installer..."); });
    bar_ = &addContent<ProgressBar>(false, 0);
    retry_ = &addContent<Button>(false, 0, translateText("Retry"), [this] { retry(); });
    retry_->setVisible(false);
    device_ = &addContent<Label>(false, 1);
    online_ = &addContent<Label>(false, 1);
    languageLabel_ = &addContent<Label>(false, 1);
    languages_ = &addContent<ComboBox>(false, 0);
    languageLabel_->setVisible(false);
    languages_->setVisible(false);
}

void PagePrerequisitesDlg::show(Label* label, std::function<SharedString()> text)
{
    label->setText(text());
    texts_[label] = std::move(text);
}

void PagePrerequisitesDlg::leaveLogic()
{
    logic_.setSink(nullptr);
    logic_.stopChecks();
    stopDeviceChecks();
}

void PagePrerequisitesDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    logic_.setSink(this);
    logic_.startChecks();
}

void PagePrerequisitesDlg::startDeviceChecks()
{
    stopDeviceChecks();
    deviceChecks_ = WorkerThread([this] { logic_.runDeviceAndOnlineChecks(); });
}

void PagePrerequisitesDlg::stopDeviceChecks()
{
    if (!deviceChecks_.joinable())
        return;
    // What the update server still owes is not waited for.
    if (!logic_.isOnlineFinished())
        logic_.cancelDownloads(true);
    // The checks may be asking a question (the proxy) that only this thread
    // can show: questions are served while the thread is waited for.
    constexpr int kServeStepMs = 20;
    for (int waited = 0; waited < kJoinThreadTimeoutMs; waited += kServeStepMs) {
        if (deviceChecks_.tryJoinFor(std::chrono::milliseconds(kServeStepMs))) {
            deviceChecks_ = WorkerThread();
            return;
        }
        session().dispatcher().serve();
    }
    joinThread(deviceChecks_, kJoinThreadTimeoutMs, "PagePrerequisitesDlg");
    deviceChecks_ = WorkerThread();
}

bool PagePrerequisitesDlg::confirmNext()
{
    // The language the page shows is the user's choice, and its language
    // features are selected with it.
    if (logic_.hasLanguageTemplate())
        logic_.selectLanguage(logic_.getCurrentLanguage());
    switch (logic_.leaveWithNext()) {
    case PrerequisitesNext::kStay:
        return false;
    case PrerequisitesNext::kGoOn:
        return true;
    case PrerequisitesNext::kEndRun:
        // What was asked or told has been answered: nothing is left to do here.
        endDialog(kPageCommandEndWizard);
        return false;
    }
    return false;
}

void PagePrerequisitesDlg::onCancel()
{
    if (!cancelButton().isEnabled())
        return;
    logic_.pauseChecks();
    if (controller().getUiCallback()->askExit() != 0) {
        endDialog(kPageCommandCancel);
        return;
    }
    logic_.resumeChecks();
}

void PagePrerequisitesDlg::retry()
{
    retry_->setVisible(false);
    setFocus(&cancelButton());
    logic_.retryChecks();
}

void PagePrerequisitesDlg::offerLanguages()
{
    if (!logic_.hasLanguageTemplate() || languages_->isVisible())
        return;
    FontDeviceContext context(controller().getHalIn());
    // A device without its system font gives nothing to judge the names by.
    const bool fontsKnown = context.selectSystemFont();
    const std::uint16_t current = logic_.getCurrentLanguage();
    std::vector<SharedString> names;
    languageIds_.clear();
    int selected = 0;
    for (const FeaturePtr& feature : logic_.getLanguageList()) {
        const std::uint16_t lcid = feature->getLocaleId();
        SharedString name;
        if (!languageNativeName(lcid, name))
            name = feature->getNameRef();
        if (fontsKnown && !logic_.canShowLanguageName(context, lcid)) {
            // The language in use stays on offer, under its English name.
            if (lcid != current) {
                logPrintf(u"The language %s (%u) is not offered: the device's fonts cannot show its name",
                          feature->getNameRef(), static_cast<unsigned>(lcid));
                continue;
            }
            languageDisplayName(lcid, name);
        }
        if (lcid == current)
            selected = static_cast<int>(names.size());
        names.push_back(name);
        languageIds_.push_back(lcid);
    }
    if (names.size() < 2)
        return;
    if (!fontsKnown)
        logPrintf(u"The device holds no file of its system font: every language is offered");
    languages_->setItems(std::move(names));
    languages_->setSelected(selected);
    languages_->onChange([this](int index) { languageChosen(index); });
    show(languageLabel_, [] { return translateText("Language:"); });
    languageLabel_->setVisible(true);
    languages_->setVisible(true);
}

void PagePrerequisitesDlg::languageChosen(int index)
{
    if (index < 0 || index >= static_cast<int>(languageIds_.size()))
        return;
    const std::uint16_t lcid = languageIds_[static_cast<std::size_t>(index)];
    if (lcid == controller().getLanguage())
        return;
    logic_.selectLanguage(lcid);
    logic_.saveCurrentLanguage();
    logPrintf(u"The installer's language is now %u: %s", static_cast<unsigned>(lcid), controller().getLanguageCode());
    retranslate();
}

void PagePrerequisitesDlg::retranslate()
{
    setPageTitle(translateText("Prerequisites"));
    retry_->setText(translateText("Retry"));
    for (const auto& [label, text] : texts_)
        label->setText(text());
    retranslateFrame();
    invalidate();
}

void PagePrerequisitesDlg::checksRestarted()
{
    postUpdate([this] {
        show(payload_, [] { return translateText("Checking the installer..."); });
        bar_->setPosition(0);
        show(device_, [] { return SharedString(); });
        show(online_, [] { return SharedString(); });
        updateButtons();
    });
}

void PagePrerequisitesDlg::payloadCheckProgress(std::uint64_t percent)
{
    postUpdate([this, percent] { bar_->setPosition(static_cast<int>(percent)); });
}

void PagePrerequisitesDlg::payloadCheckFinished(bool ok, std::uint32_t)
{
    postUpdate([this, ok] {
        if (!ok) {
            show(payload_, [] { return translateText("The installer is damaged. Get it again."); });
            logPrintf(u"The prerequisites page: the installer is damaged");
            retry_->setVisible(true);
            updateButtons();
            setFocus(retry_);
            return;
        }
        bar_->setPosition(100);
        show(payload_, [] { return translateText("The installer is complete."); });
        startDeviceChecks();
    });
}

void PagePrerequisitesDlg::deviceCheckBegins()
{
    postUpdate([this] { show(device_, [] { return translateText("Checking the device..."); }); });
}

void PagePrerequisitesDlg::deviceCheckResult(int result, const SharedString& text, DeviceType)
{
    postUpdate([this, result, text] { show(device_, [result, text] { return deviceCheckText(result, text); }); });
}

void PagePrerequisitesDlg::connectionCheckBegins()
{
    postUpdate([this] { show(online_, [] { return translateText("Connecting to the update server..."); }); });
}

void PagePrerequisitesDlg::connectionCheckResult(bool connected)
{
    postUpdate([this, connected] {
        show(online_, [connected] {
            return connected ? translateText("Checking for updates...")
                             : translateText("The update server cannot be reached.");
        });
    });
}

void PagePrerequisitesDlg::downloadProgress(std::uint64_t kilobytes)
{
    postUpdate([this, kilobytes] {
        show(online_, [kilobytes] {
            return formatTranslated("Downloading... {1} KB", SharedString().format(u"%llu", kilobytes));
        });
    });
}

void PagePrerequisitesDlg::dataReceived(std::uint64_t) {}

void PagePrerequisitesDlg::downloadFinished(int result)
{
    postUpdate([this, result] {
        if (result != 0)
            show(online_, [] { return translateText("The update information could not be downloaded."); });
    });
}

void PagePrerequisitesDlg::downloadsReady(int kind)
{
    postUpdate([this, kind] {
        if (kind == kDownloadsLanguageFiles) {
            logic_.startLanguageDownloads();
            return;
        }
        const int answer = showMessageBoxOwned(
            getForegroundWindow(), translateText("A newer installer is available. Do you want to download it now?"),
            controller().getInstallerTitle(true), kMbYesNo | kMbIconQuestion);
        if (answer == kIdYes)
            logic_.startNewInstallerDownload();
        else
            logic_.cancelDownloads(true);
    });
}

void PagePrerequisitesDlg::newInstallerStarted()
{
    postUpdate([this] { endDialog(kPageCommandEndWizard); });
}

void PagePrerequisitesDlg::onlineChecksFinished()
{
    postUpdate([this] {
        if (logic_.isPlatformAccepted()) {
            show(online_, [] { return translateText("Click Next to continue."); });
            offerLanguages();
        }
        updateButtons();
        if (nextButton().isEnabled())
            setFocus(&nextButton());
    });
}

}  // namespace druvex
