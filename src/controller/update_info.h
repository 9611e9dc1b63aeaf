// The update check's report for an external update manager: whether the
// update bulletin offers a newer installer or feature updates, and the file
// "update_info.xml" that lists them (a "newversion" element for the newer
// installer, a "feature" element per changed item).
#pragma once

#include <cstdint>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class InstallerController;

// The bulletin offers a complete installer of a newer version for this device.
bool hasNewerInstaller(InstallerController& controller);

// Every feature the bulletin marked (update state not 0) that the installed
// log holds, and that does not differ from its installed record, is unmarked
// again; true when a marked feature remains.
bool hasFeatureUpdates(InstallerController& controller);

// The document: UTF-8 with a byte-order mark, root "data", the "newversion"
// element when a newer installer is on offer, then one "feature" element per
// marked item of the "Feature" root and of the "ExtraData" root (whose walk
// ends at its "Redist" or "ReqInfo" child), in the order of the walk; with
// `includeUpdateManager` one more entry for the update manager itself.
void buildUpdateInfoXml(InstallerController& controller, bool includeUpdateManager, std::vector<std::uint8_t>& out);

// Writes the document as "update_info.xml" into the folder through the
// source host; false when it cannot be written.
bool writeUpdateInfoXml(InstallerController& controller, bool includeUpdateManager, const SharedString& folder);

}  // namespace druvex
