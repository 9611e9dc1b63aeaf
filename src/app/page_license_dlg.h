// PageLicenseDlg: the licence page. It shows the text of the licence the
// installer carries for the language, from the installer archive or a package
// file, or downloaded from the update server when only the server holds it;
// Next is offered only once the person has accepted it. A licence whose text
// cannot be shown is not held: it cannot be accepted, and the page offers
// only Back and Cancel.
#pragma once

#include "app/wizard_page.h"
#include "controller/page_license_logic.h"

namespace druvex {

class CheckBox;
class Label;
class ScrollText;

class PageLicenseDlg final : public WizardPage, public LicensePageSink {
public:
    PageLicenseDlg(TerminalSession& session, WizardController& controller, PageLicenseLogic& logic);
    // A download still running is stopped.
    void leaveLogic() override;

    // --- LicensePageSink: the downloader's thread -----------------------------
    void onDownloadProgress(std::uint64_t received, std::uint64_t total) override;
    void onDownloadFinished(int error) override;

protected:
    void onInitDialog() override;
    bool canGoNext() const override;
    // Without an accepted licence the run holds none.
    bool confirmNext() override;
    bool confirmBack() override;

private:
    // The text is shown and may be accepted.
    void showText(const SharedString& text);
    // The text cannot be shown: the licence is dropped and the reason shown.
    void refuse(const SharedString& reason);

    PageLicenseLogic& logic_;
    ScrollText* text_ = nullptr;
    Label* status_ = nullptr;
    CheckBox* accept_ = nullptr;
};

}  // namespace druvex
