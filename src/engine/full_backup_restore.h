// FullBackupRestore: the full backup of the installed field program's data
// and its restore. A backup ("create_backup <archive> <data folder>") puts the
// data folder's settings file as "settings.xml", the backup information as
// "info.xml" and every other file and folder below the data folder, under its
// name relative to that folder, into one 7z archive. A restore checks a backup
// (readBackupInfo, which the welcome page asks too) and puts its files back
// into the data folder that the backup names and nowhere else, each one
// written under a temporary name, compared by CRC and only then moved into
// place. Progress reaches the installation page as the backup reports: the
// range and the position in KB as two words (low, high), with the percent as
// the position's third word.
#pragma once

#include <cstdint>
#include <memory>

#include "controller/full_backup_reader.h"
#include "engine/backup_info.h"
#include "engine/installation_process.h"

namespace druvex {

class HalAccess;
class RunController;
class SevenZipReader;

// The names of the settings file (in the data folder and in the archive) and
// of the backup information in the archive.
inline constexpr char16_t kBackupSettingsName[] = u"settings.xml";
inline constexpr char16_t kBackupInfoName[] = u"info.xml";

class FullBackupRestore final : public FullBackupReader, public BackupRestoreSteps {
public:
    // The controller must outlive this object.
    explicit FullBackupRestore(RunController& controller);

    // Checks the backup at `path` through the controller's target host:
    // kBackupValid, or why it cannot be restored (kBackupNotValid also for a
    // damaged archive or the backup of another program). A valid backup's
    // path becomes the controller's backup path and its description the
    // controller's backup description (emptied otherwise). Called on the
    // wizard's thread.
    std::int32_t readBackupInfo(const SharedString& path) override;

    // The backup that the options "create_backup" ask for, written through
    // the run's target host: kBackupDone, kBackupCanceled or kBackupFailed. An
    // abandoned backup leaves no archive behind, and an earlier archive at
    // the same path is replaced only by a complete one.
    std::int32_t runBackup(InstallationProcess& process) override;

    // The restore of the controller's backup path after an installation,
    // through the run's host (so that a rollback undoes it too). True when
    // every file of the backup stands in the data folder; a restore that
    // stops leaves each file either as it was or as the backup holds it.
    bool runRestore(InstallationProcess& process) override;

private:
    // readBackupInfo's checks, logged, with `reader` left open on a valid backup.
    std::int32_t inspect(const std::shared_ptr<HalAccess>& host, const SharedString& path, SevenZipReader& reader,
                         BackupInfo& info) const;
    void describe(const BackupInfo& info, const SevenZipReader& reader);

    RunController& controller_;
};

}  // namespace druvex
