// The load and initialisation failures of the installer controller beyond the
// archive reader's codes, which the application's start-up error reports.
#pragma once

namespace druvex {

// The installer information ("InstallerInfo") cannot be loaded.
constexpr int kLoadErrorInstallerInfo = 207;
// A program named "setup" finds no "InstalledLog.xml" beside it: the run ends quietly.
constexpr int kLoadErrorNoInstalledLog = 208;
// The installer data names no ProgramUuid: the product would have no data
// folder of its own.
constexpr int kLoadErrorNoProgramUuid = 211;

}  // namespace druvex
