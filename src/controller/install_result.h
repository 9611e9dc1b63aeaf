// The outcomes of a run: the result the end page reports, from which the exit
// status is derived and whose number the log prints, and that of a restore.
#pragma once

#include <cstdint>

namespace druvex {

enum class InstallResult : std::int32_t {
    kResultCompleted = 0,
    kResultFailed = 1,
    // Completed without changing anything.
    kResultCompletedUnchanged = 2,
    kResultCanceled = 3,
    // The run failed or was canceled, and its rollback undid every change it
    // had made on the target: the target is as it was before the run.
    kResultRolledBack = 4,
    // The run failed or was canceled, and its rollback could not undo every
    // change: the target holds a mix of the old and the new state.
    kResultRollbackIncomplete = 5,
};
using enum InstallResult;

// What became of the restore of a full backup.
enum class RestoreResult : std::int32_t {
    kRestoreNone = 0,
    kRestoreFailed = 1,
    kRestoreDone = 2,
};
using enum RestoreResult;

}  // namespace druvex
