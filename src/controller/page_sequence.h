// PageSequence: the wizard's list of page ids for the current mode, the
// current position in it and the custom pages placed in it. The installer
// controller owns it and keeps the one page logic of the current page; the
// sequence asks the controller, through PageSequenceController, for what the
// page list of a mode depends on and to make the logic of each page it moves to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "app_base/target_platform.h"
#include "controller/wizard_pages.h"
#include "data/custom_page.h"
#include "text/shared_string.h"

namespace druvex {

class InstallData;
struct InstallerOptions;

// What the page sequence needs of the installer controller, which implements it.
class PageSequenceController {
public:
    virtual ~PageSequenceController() = default;

    virtual const InstallerOptions& getOptions() const = 0;
    // The update bulletin offers a newer installer for this device.
    virtual bool hasNewInstallerEntry() const = 0;
    // The installed program's version against this installer's: 0 equal,
    // negative older, positive newer.
    virtual std::int32_t getInstalledVersionComparison() const = 0;
    // The installer carries a licence for the current language.
    virtual bool hasEulaInPayload() const = 0;
    // The licence the installed program's user accepted is this installer's.
    virtual bool isEulaAlreadyAccepted() const = 0;
    virtual bool isDesktopTarget() const = 0;
    virtual bool hasFeatureToInstall() const = 0;
    // Works out again which redistributables the selection requires; true
    // when one of them still has to be installed.
    virtual bool needsRedistributables() = 0;
    // The installer data: AskForWhichUsers, the custom pages and their sequence.
    virtual InstallData& getInstallData() = 0;
    virtual void setForAnyone(bool forAnyone) = 0;
    // The platform of the machine the installer runs on (custom pages name
    // the platforms they show on).
    virtual TargetPlatform getHostPlatform() const = 0;
    // Replaces the current page logic by the logic of the page `id`.
    virtual void createPageLogic(WizardPageId id) = 0;
};

class PageSequence {
public:
    // `controller` must outlive the sequence.
    explicit PageSequence(PageSequenceController& controller);
    PageSequence(const PageSequence&) = delete;
    PageSequence& operator=(const PageSequence&) = delete;

    WizardMode getMode() const { return mode_; }
    const std::vector<WizardPageId>& getPages() const { return pages_; }
    std::size_t getCurrentIndex() const { return index_; }

    // The id at the current position; kPageNone when the list is empty.
    WizardPageId getCurrentPageId() const;
    // The id after the current one; at the last entry the last id; kPageNone
    // when the list is empty.
    WizardPageId getNextPageId() const;

    // A step forward, unless the current page is the last, and the new page's logic.
    void next();
    // A step back, unless the current page is the first, and the new page's logic.
    void back();
    // Makes the page current and makes its logic; nothing when it is not in the list.
    void goToPage(WizardPageId id);
    // The list becomes just this page, which is made current with its logic.
    void reset(WizardPageId id);
    // Puts the page right after the current one (appends it when no page is
    // current); nothing when the list has it already.
    void insertAfterCurrent(WizardPageId id);
    // Takes the page out of the list; the position stays where it was, or on
    // the last page when it would fall past the end.
    void removePage(WizardPageId id);

    // The page list of the mode with its custom pages. Nothing changes when
    // the mode is the current one. The page that was current stays current
    // when the new list has it, else the first page is. Makes no page logic.
    void buildForMode(WizardMode mode);

    // The definition shown under a custom page id; null when none.
    CustomPagePtr findCustomPage(WizardPageId id) const;

    // The counter a page shows: empty on the tethering and prerequisites
    // pages and in the download mode; "3/8" (position and the count of pages
    // after the first) in the install mode; "3" (the position) otherwise.
    SharedString getPageCounterText() const;

private:
    void appendModePages(WizardMode mode);
    void insertCustomPages();
    bool contains(WizardPageId id) const;

    PageSequenceController& controller_;
    std::vector<WizardPageId> pages_;
    std::map<WizardPageId, CustomPagePtr> customPages_;
    std::size_t index_ = 0;
    WizardMode mode_ = kModeNone;
};

}  // namespace druvex
