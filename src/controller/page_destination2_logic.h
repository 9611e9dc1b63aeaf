// PageDestination2Logic: the logic of the destination page of desktop
// targets (id 8): the folder the program goes to, by default the program
// files folder with the program's folder name. It has no window here. The
// folder chosen is kept for the whole process, so that the page shows it
// again and a later run in the same process takes it.
#pragma once

#include <memory>

#include "controller/page_feature_logic_base.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;

class PageDestination2Logic final : public PageFeatureLogicBase {
public:
    // `targetHost`: the host of the machine being installed.
    PageDestination2Logic(WizardController& controller, std::shared_ptr<HalAccess> targetHost);

    // Keeps the chosen folder for the process.
    bool onNext() override;
    bool onBack() override { return true; }
    // The destination folder the run has (the installed program's), else the
    // chosen one, becomes the destination folder and is kept.
    bool runUnattended() override;

    // InstallFolderBaseWindows (or the program files folder) with its
    // variables expanded, joined with InstallFolderWindows (or the
    // ProgramName), in backslashes and ending with one.
    SharedString computeDefaultPath() const;
    const SharedString& getDefaultPath() const { return defaultPath_; }
    const SharedString& getChosenPath() const { return chosenPath_; }
    void setChosenPath(const SharedString& path) { chosenPath_ = path; }

private:
    std::shared_ptr<HalAccess> targetHost_;
    SharedString defaultPath_;
    SharedString chosenPath_;
};

}  // namespace druvex
