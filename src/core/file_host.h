// Internal to the file functions: the host side of their work (mapped paths,
// error reports, the device's name cache). Not for other units.
#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

#include "text/shared_string.h"

namespace druvex::file_host {

namespace fs = std::filesystem;

// The host path of a device path; false (with the thread's last error set)
// when the device refuses it.
bool toHost(const SharedString& path, fs::path& host);

// Records a host error as the thread's last error.
void setLastErrorFrom(const std::error_code& error);

// The assertion report of a failed file operation, naming what failed, the
// paths and the reason; also sets the thread's last error.
void reportFailure(std::string_view what, const fs::path& path, const std::error_code& error);
void reportFailure(std::string_view what, const fs::path& from, const fs::path& to, const std::error_code& error);

// True, with the thread's last error "access denied", when `host` lies on a
// store that the device profile marks read-only: writes and removals there
// fail as on the device (file modes cannot say so: tests run as root).
bool refusedByReadOnlyStore(const fs::path& host);

// Keeps the device's case cache in step with our own changes.
void noteCreated(const fs::path& host);
void noteRemoved(const fs::path& host);

}  // namespace druvex::file_host
