// PageWelcomeLogic: the logic of the welcome page (id 4): the maintenance
// task the user picks (modify, repair, update, uninstall, wipe), and the
// restore of a full backup instead of a fresh installation.
#pragma once

#include <cstdint>

#include "controller/page_logic.h"
#include "text/shared_string.h"

namespace druvex {

class InstallerController;

// At most this many lines of a backup's description are shown.
constexpr int kBackupDescriptionMaxLines = 100;

class PageWelcomeLogic final : public PageLogic {
public:
    // `mode`: the task chosen so far (kModeNone: none yet).
    PageWelcomeLogic(InstallerController& controller, WizardMode mode);

    // Not while a restore has no backup chosen.
    bool onNext() override;
    // Not once the uninstallation is chosen.
    bool onBack() override;

    WizardMode getChosenMode() const { return mode_; }
    // Without a chosen task, the page sequence's mode.
    void initChoice();
    // The page list of the mode, which becomes the chosen one.
    void chooseMode(WizardMode mode);
    // The uninstallation's page list; the value goes to the controller's
    // uninstall choice.
    void chooseUninstall(std::int32_t value);
    // The radio choice of the chosen task: 0 install, 1 uninstall (also a
    // maintenance or repair run's first choice), 2 maintenance without a log,
    // 3 update or add/remove, 4 repair of a broken installation.
    int getChoiceIndex() const;
    // Features can be chosen anew: never for an uninstallation; always when
    // nothing is installed; otherwise as the controller's modify rule says
    // (this version with features to choose, or another version that the
    // maintenance mode replaces).
    bool canModify() const;
    // The mode the modify task runs in: the chosen maintenance mode itself
    // when it replaces another installed version, else the add or remove
    // mode.
    WizardMode getModifyMode() const;
    // The modify task's page list, whose mode becomes the chosen one.
    void chooseModify();
    // The installed program is of a newer version than this installer's.
    bool isNewerVersionInstalled() const;
    // A wipe is offered off the device for an installed program of this
    // version, whose installed log is of this installer's kind.
    bool canWipe() const;
    // Every installed feature is known to this installer and its log is of
    // this installer's kind (and, for the repair of a broken installation,
    // the installation is broken).
    bool canRepairOrModify() const;
    bool isWipeAllowed() const;
    bool isRestoreFromBackupAllowed() const;

    bool isRestore() const;
    void setRestore(bool restore);
    SharedString getBackupPath() const;
    void setBackupPath(const SharedString& path);
    // The first lines of the backup's description, joined with CR LF.
    SharedString getBackupDescription() const;
    // Without a restore true; otherwise the chosen backup is read, and one
    // that cannot be restored shows why and answers false.
    bool validateBackup();
    std::int32_t getBackgroundTheme() const;

private:
    InstallerController& controller_;
    WizardMode mode_;
};

}  // namespace druvex
