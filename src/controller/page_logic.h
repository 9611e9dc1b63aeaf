// PageLogic: what a wizard page decides, apart from any window. The installer
// controller keeps the logic of the current page only, makes the next one
// through a PageLogicFactory as the wizard moves, asks the current one before
// every move, and in a silent run calls its unattended operation instead of
// showing the page.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include "controller/wizard_pages.h"
#include "data/custom_page.h"

namespace druvex {

class HalAccess;
class InstallerController;
class WebDownloader;

class PageLogic {
public:
    virtual ~PageLogic() = default;

    // May the wizard move to the next page.
    virtual bool onNext() = 0;
    // May the wizard move back.
    virtual bool onBack() = 0;
    // The wizard is about to leave this page for `nextPage`.
    virtual void onLeave(WizardPageId nextPage) { static_cast<void>(nextPage); }
    // The page's work without a window (silent runs).
    virtual bool runUnattended() { return onNext(); }
};

// What the controller hands to the logic of a page besides itself: the web
// downloader to the prerequisites page, the wizard mode to the welcome page,
// a host to the users, destination and end pages, the definition shown
// under a custom page id. The rest stay empty.
struct PageLogicArguments {
    WebDownloader* downloader = nullptr;
    WizardMode mode = kModeNone;
    std::shared_ptr<HalAccess> host;
    CustomPagePtr customPage;
};

class PageLogicFactory {
public:
    virtual ~PageLogicFactory() = default;
    // The logic of page `id` (1 to 22); null when there is none for the id.
    virtual std::unique_ptr<PageLogic> makePageLogic(InstallerController& controller, WizardPageId id,
                                                     const PageLogicArguments& arguments) = 0;
};

// The factory the application fills: each library that holds page logics
// registers a maker for the ids it serves.
class PageLogicRegistry final : public PageLogicFactory {
public:
    using Maker = std::function<std::unique_ptr<PageLogic>(InstallerController&, const PageLogicArguments&)>;

    // Makes the logic of every id from `first` to `last`, replacing what was
    // registered for them.
    void registerMaker(WizardPageId first, WizardPageId last, Maker maker);
    void registerMaker(WizardPageId id, Maker maker) { registerMaker(id, id, std::move(maker)); }

    std::unique_ptr<PageLogic> makePageLogic(InstallerController& controller, WizardPageId id,
                                             const PageLogicArguments& arguments) override;

private:
    std::map<WizardPageId, Maker> makers_;
};

}  // namespace druvex
