// A newer installer: whether the update bulletin offers a complete installer
// of a later version for this build and platform, where on the device it can
// be saved, switching the wizard to downloading it, and starting it once it
// has been downloaded (the download itself is a package job of the engine).
#pragma once

#include <cstdint>
#include <memory>

#include "text/shared_string.h"

namespace druvex {

class BulletinVersion;
class HalAccess;
class LiveUpdateContext;

// The command line that keeps a started newer installer from handing over
// to this running one.
constexpr const char16_t* kDontCheckUniqueInstance = u"dont_check_unique_instance";

// Save-folder answers of checkSaveFolderSpace, from worst to best: the
// search keeps the best folder by this order.
enum class SaveSpace : std::int32_t {
    kSaveSpaceNoOffer = -1,      // findNewInstallerTarget: no newer installer is on offer
    kSaveSpaceUnknown = 0,       // the host cannot tell the free space
    kSaveSpaceTooSmall = 1,      // below size + 16,384 bytes
    kSaveSpaceNotWritable = 2,   // the folder is not writable
    kSaveSpaceTight = 3,         // below 2.5 times the size
    kSaveSpaceEnough = 4,
};
using enum SaveSpace;

// The bulletin's newer installer for this run: the held bulletin needs two
// versions or more; the version is the first after the latest with a
// complete installer for this build's installer platform and type and the
// run's target platform, and `index` the best of its installers.
bool getNewInstallerEntry(LiveUpdateContext& context, std::shared_ptr<BulletinVersion>& version, int& index,
                          bool& platformMatched);
// The address and size of that installer.
bool getNewVersionInfo(LiveUpdateContext& context, SharedString& url, std::uint64_t& size);
// With a newer installer on offer: the wizard becomes a download run (mode
// 8) and the context keeps the installer's address, size and `targetPath`.
// False, changing nothing, when there is none or `targetPath` is empty.
bool prepareNewVersionDownload(LiveUpdateContext& context, const SharedString& targetPath);

// How well the folder's store can take a file of `size` bytes.
SaveSpace checkSaveFolderSpace(HalAccess& host, const SharedString& folder, std::uint64_t size);
// Looks for a folder with enough room: the device's preferred folder
// ("SystemCF" for device type 5, "/HardDisk" for 20) taken whatever it
// gives, the root (taken whatever it gives when there is no preferred
// folder), then every storage root, each replacing the best so far when it
// is at least as good. True as soon as one gives kSaveSpaceEnough; otherwise
// false, with `folder` and `result` describing the last taken.
bool findNewInstallerSaveFolder(HalAccess& host, std::uint64_t size, SharedString& folder, SaveSpace& result);

// Where the newer installer on offer would be saved: the save folder found
// for its size on the source host, which starts it later, and the file
// named after its address (a name that would lead out of the folder is
// made harmless). Returns that folder's answer, or kSaveSpaceNoOffer when no
// newer installer is on offer.
SaveSpace findNewInstallerTarget(LiveUpdateContext& context, SharedString& target);

// Starts the downloaded newer installer through the source host with the
// command line "dont_check_unique_instance". A file whose size is not the
// bulletin's is deleted and never started. Any failure records the failed
// launch in the context.
bool launchNewInstaller(LiveUpdateContext& context);

}  // namespace druvex
