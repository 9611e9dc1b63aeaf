// PageDestinationDlg: the destination page of device targets. The person
// chooses the storage where the device has more than one; the page shows the
// folder the program goes to and the space there as the logic works it out
// on its own thread, and checks on Next that the features fit.
#pragma once

#include "app/wizard_page.h"
#include "controller/page_destination_logic.h"

namespace druvex {

class ComboBox;
class Label;

class PageDestinationDlg final : public WizardPage, public DestinationPageSink {
public:
    PageDestinationDlg(TerminalSession& session, WizardController& controller, PageDestinationLogic& logic);
    void leaveLogic() override;

    // The space computation's thread.
    void onSpaceComputation(bool done, std::uint64_t bytes) override;

protected:
    void onInitDialog() override;
    bool canGoNext() const override;
    bool confirmNext() override;

private:
    void storageChosen(int index);
    void showFolder();

    PageDestinationLogic& logic_;
    ComboBox* storages_ = nullptr;
    Label* folder_ = nullptr;
    Label* space_ = nullptr;
};

}  // namespace druvex
