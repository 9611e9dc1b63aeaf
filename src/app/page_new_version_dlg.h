// PageNewVersionDlg: the new-version page. The update server offers a newer
// installer of the program: the page shows its version and, when there are
// some, its release notes, and lets the person take the newer installer or
// go on with this one. The choice goes to the page's logic on Next.
#pragma once

#include <cstdint>

#include "app/wizard_page.h"

namespace druvex {

class PageNewVersionLogic;
class RadioGroup;

// The choices of the new-version page, as its logic keeps them.
constexpr std::uint8_t kNewVersionTakeNewer = 0;
constexpr std::uint8_t kNewVersionKeepThis = 1;

class PageNewVersionDlg final : public WizardPage {
public:
    PageNewVersionDlg(TerminalSession& session, WizardController& controller, PageNewVersionLogic& logic);

protected:
    void onInitDialog() override;
    bool confirmNext() override;

private:
    // Finds where the new installer is saved (asking when the place is
    // tight or its space unknown) and makes the run its download; false
    // stays on the page.
    bool prepareDownload();

    PageNewVersionLogic& logic_;
    RadioGroup* choices_ = nullptr;
};

}  // namespace druvex
