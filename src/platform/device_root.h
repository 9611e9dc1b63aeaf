// The one mapper between device paths and host paths. Every path inside the
// program is a device path ('\' or '/' separate, no drive letters); the device's
// "\" is the folder fs/ of the device directory. Without a device directory the
// mapper is the identity (backslashes still separate), which the unit tests of
// the core utilities use with real temporary paths.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

struct DeviceConfig;

// What a device path names; only the validation differs.
enum class DevicePathKind {
    kPath,     // an existing entry or one to be created
    kPattern,  // a find pattern: '*' and '?' are allowed in the last component
};

// One entry of a folder listing.
struct DeviceFolderEntry {
    std::string hostName;  // the name as the host spells it (UTF-8)
    SharedString name;     // the same name as the device shows it
    bool isFolder = false;
};

class DeviceRoot {
public:
    // The process-wide mapper; the identity until configured.
    static DeviceRoot& instance();

    // Maps the device's "\" to `deviceDirectory`/fs (host path, UTF-8; made
    // absolute and canonical when it exists). An empty directory means the
    // identity. Clears the name cache.
    void configure(const std::string& deviceDirectory);
    void configure(const DeviceConfig& config);
    // Back to the identity mapping.
    void reset();

    bool isIdentity() const;
    // The configured device directory and its fs/ folder; empty for the identity.
    std::string deviceDirectory() const;
    std::string rootFolder() const;

    // Device path -> host path. Returns 0, or the error (also the thread's last
    // error): kErrorPathNotFound for an empty path or a ".." above the root,
    // kErrorInvalidName for a name the device refuses. Components resolve
    // without regard to case; a component that does not exist keeps the
    // spelling given, so the result also names an entry to be created. A
    // pattern's last component, when it holds wildcards, is converted only.
    std::uint32_t toHostPath(std::u16string_view devicePath, std::string& hostPath,
                             DevicePathKind kind = DevicePathKind::kPath);
    // Host path -> device path ("\" plus the components below fs/, joined with
    // '\'); false when the path lies outside fs/. The identity converts only.
    bool toDevicePath(std::string_view hostPath, SharedString& devicePath) const;

    // The entries of a host folder without "." and "..", sorted by name without
    // regard to case (the one listing primitive of the program). A non-empty
    // pattern keeps the names that match it (device wildcards, wildcard.h).
    // Returns 0, or the error: kErrorPathNotFound when the folder cannot be
    // read (kErrorAccessDenied when the host refuses it).
    std::uint32_t listFolder(const std::string& hostFolder, std::vector<DeviceFolderEntry>& entries,
                             std::u16string_view pattern = {});
    // A find on a device pattern ("\Windows\*.lnk", or a plain path): the host
    // folder that holds the matches and the matching entries, sorted. Returns
    // 0, kErrorFileNotFound when nothing matches, or the mapping's or the
    // listing's error.
    std::uint32_t findEntries(std::u16string_view devicePattern, std::string& hostFolder,
                              std::vector<DeviceFolderEntry>& entries);

    // Keeps the case cache in step with the program's own changes at once, so
    // that many creations in one folder stay linear. Host paths, as toHostPath
    // gave them; a removed folder takes its whole tree out of the cache.
    // Changes made around these calls are still seen.
    void noteCreated(const std::string& hostPath);
    void noteRemoved(const std::string& hostPath);
    void noteRenamed(const std::string& fromHostPath, const std::string& toHostPath);

    // Changes that other processes make reach the name cache through the
    // kernel's change notices, which a thread of the mapper's own reads as
    // they come. Returns once every notice queued before the call has been
    // applied (for callers, such as tests, that have just changed the tree
    // behind the mapper's back and must see it at once).
    void catchUp();

    DeviceRoot(const DeviceRoot&) = delete;
    DeviceRoot& operator=(const DeviceRoot&) = delete;

private:
    struct Impl;

    DeviceRoot();
    ~DeviceRoot();

    std::unique_ptr<Impl> impl_;
};

}  // namespace druvex
