// The assertion sites that do not move with our source: checks whose log
// line the log's readers (support staff, their scripts, the tests) know by a
// fixed source name and line. Each entry's name and number are that known
// source name and line, kept exactly as they stand: a report must read the
// same whatever file or line the check sits on in this code. Every other
// check reports where it stands in our source (DRUVEX_DBGCHK).
#pragma once

#include "text/diag.h"

namespace druvex {

// The controller's source name for its own checks.
inline constexpr const char* kControllerCheckSource = "source/dq/instlogic/InstallerController";

// InstallerController::next: the wizard asked to move forward while no page
// logic is current.
inline constexpr DbgChkSite kCheckNextWithoutPageLogic{kControllerCheckSource, 1174};
// InstallerController::back: the same for moving back.
inline constexpr DbgChkSite kCheckBackWithoutPageLogic{kControllerCheckSource, 1186};
// InstallerController::createPageLogic: a page id outside 1 to 22; no logic is
// made and the old one stays current.
inline constexpr DbgChkSite kCheckUnknownPageId{kControllerCheckSource, 1251};
// InstallerController::loadInstallData: the installer archive holds no
// entries; the load goes on.
inline constexpr DbgChkSite kCheckEmptyInstallerArchive{kControllerCheckSource, 292};

// InstallerController::setLanguage: a language chosen before the installer
// data was loaded; the choice goes on.
inline constexpr DbgChkSite kCheckLanguageBeforeInstallData{"InstallerController_Language", 224};

// PageNewVersionLogic's constructor: the bulletin offers no newer installer;
// the page goes on with an empty record.
inline constexpr DbgChkSite kCheckNoNewerInstaller{"PageNewVersionLogic", 16};

// UpdatePatcher::applyBulletin: a feature of the bulletin whose parent item
// the installer data lacks; the feature is left out.
inline constexpr DbgChkSite kCheckBulletinFeatureWithoutParent{"UpdatePatcher", 81};

// A script called a method of a Hal object that holds no host; the call
// answers nothing. Only the source name is known to readers; the line is the
// one this check has always reported, fixed so the line does not move.
inline constexpr DbgChkSite kCheckHalObjectWithoutHost{"HalAccessLuaWrapper", 69};

}  // namespace druvex
