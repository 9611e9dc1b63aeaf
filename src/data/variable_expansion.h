// The one expansion of "<NAME>" variables in paths and texts of the installer
// data: program variables from the installer settings, folder variables
// resolved on the target through the host, and installer variables with
// their per-platform values; then the clean-up of runs of slashes. Expanded
// paths stay device paths; only the host maps them onto its own files.
#pragma once

#include <string_view>
#include <vector>

#include "app_base/target_platform.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallData;
class InstallerSettings;
class InstallerVariable;
class VariableSet;

// The engine. Each "<NAME>" (or "<NAME/prefix/suffix>") token is replaced by
// its value and the scan starts again at the text's beginning, so values are
// expanded in turn. A name may be expanded once per call (`names` holds the
// upper-cased names met), which stops a variable defined through itself and
// also a text that uses one variable twice. A folder reference needs
// `startFlag` raised and lowers it; a token at the start of the current text
// raises it. On failure `out` holds the text as far as it was expanded when
// the failing token was met. The slashes are not collapsed here.
bool expandVariables(const SharedString& text, const InstallerSettings* settings, const VariableSet* variables,
                     bool allUsers, HalAccess* host, TargetPlatform platform, const SharedString& targetFolder,
                     std::vector<SharedString>& names, bool startFlag, SharedString& out);

// Program variables only (platform Unknown, all users, the start flag
// lowered); slashes collapsed on success. What InstallerSettings::get uses.
bool expandSettingVariables(const SharedString& text, const InstallerSettings& settings, SharedString& out);

// For the running device: its platform from the host's device type, program
// variables from `settings`, installer variables from `variables`, folder
// variables through the host; the start flag raised; slashes collapsed on
// success.
bool expandVariablesForDevice(const SharedString& text, const InstallerSettings& settings,
                              const VariableSet& variables, bool allUsers, HalAccess& host,
                              const SharedString& targetFolder, SharedString& out);

// The same with the installer data's settings and variables.
bool expandVariablesForDevice(const SharedString& text, const InstallData& data, bool allUsers, HalAccess& host,
                              const SharedString& targetFolder, SharedString& out);

// Whether the text expands for `platform` (all users, no target folder, the
// start flag raised); the result is dropped. `names` collects the names met
// and must start empty.
bool expandVariablesWithTarget(const SharedString& text, const InstallerSettings& settings,
                               const VariableSet& variables, HalAccess& host, TargetPlatform platform,
                               std::vector<SharedString>& names);

// The same with the installer data's settings and variables.
bool expandVariablesWithTarget(const SharedString& text, const InstallData& data, HalAccess& host,
                               TargetPlatform platform, std::vector<SharedString>& names);

// "TARGETDIR", "INSTALLDIR", "<TARGETDIR>" or "<INSTALLDIR>", ignoring case.
bool isTargetDirToken(std::u16string_view text);

// Whether every value of the variable for the platforms 0 to 8, the groups and
// All is empty or refers to a folder: "<FOLDER_VARIABLE>..." or the name of
// another installer variable whose value for that key does so (one without a
// value for it passes). A chain that comes back to a variable already met
// does not refer to a folder.
bool isFolderTypedVariable(const InstallerVariable& variable, const VariableSet& variables);

// Every run of '/' and '\' reduced to its first character, except the two
// slashes right after a leading "http:", "https:" or "ftp:" (ignoring case).
SharedString collapseSlashes(const SharedString& text);

}  // namespace druvex
