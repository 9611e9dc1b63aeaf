// PageDestinationDlg: the destination page of device targets. The person
// chooses the storage where the device has more than one; the page shows the
// folder the program goes to and the space there as the logic works it out
// on its own thread, and checks on Next that the features fit. A folder too
// long for its line is shortened in the middle ("\...\App\bin"), as the
// device's own dialogs show paths.
#pragma once

#include "app/wizard_page.h"
#include "controller/page_destination_logic.h"
#include "platform/window_model.h"

namespace druvex {

class ComboBox;
class Label;

class PageDestinationDlg final : public WizardPage, public DestinationPageSink {
public:
    PageDestinationDlg(TerminalSession& session, WizardController& controller, PageDestinationLogic& logic);
    ~PageDestinationDlg() override;
    void leaveLogic() override;
    void layout(int rows, int columns) override;

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
    // The folder's line as a window of the window model, as wide as the
    // label, which measures the path for its shortening.
    WindowHandle folderWindow_ = 0;
};

}  // namespace druvex
