// UpdatePatcher: holds the run's update bulletin and merges its latest
// version into the loaded installer data: features the bulletin adds are
// inserted (marked added), features it changes are overwritten (marked
// replaced), and its variables replace the installer's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace druvex {

class Feature;
class LiveUpdateContext;
class UpdateBulletin;

class UpdatePatcher {
public:
    explicit UpdatePatcher(LiveUpdateContext& context);
    ~UpdatePatcher();
    UpdatePatcher(const UpdatePatcher&) = delete;
    UpdatePatcher& operator=(const UpdatePatcher&) = delete;

    // Replaces the held bulletin with the document read from the bytes
    // (relative addresses against the context's live-update address,
    // features sorted, the old installer-version name refused). A document
    // that is refused leaves an empty bulletin held.
    [[nodiscard]] bool loadBulletin(const void* bytes, std::size_t size);
    // The held bulletin has a latest version.
    bool hasVersionRecord() const;
    // Merges the latest version into the installer data, as far as the
    // bulletin's status admits: features missing there are added whatever
    // `apply` says; with `apply`, changed features are overwritten and,
    // unless the bulletin is rejected, the variables replaced. False without
    // a version.
    bool applyBulletin(bool apply);

    // Null until the first load.
    const std::shared_ptr<UpdateBulletin>& getBulletin() const { return bulletin_; }

private:
    LiveUpdateContext& context_;
    std::shared_ptr<UpdateBulletin> bulletin_;
};

// Whether a bulletin's feature changes the installed one: always when the
// installed one failed; with equal Version texts only when neither the
// bulletin's installed-check flag nor equal Digests say otherwise, and then
// in mode 3 always, else when the installed Timestamp is earlier; with
// different Version texts unless the bulletin's Version is empty.
bool bulletinFeatureDiffers(std::int32_t mode, const Feature& installed, const Feature& bulletinFeature);

// Whether an installer of `installerType` takes the package of a bulletin's
// feature from the update server: the feature must name an address the
// installer may fetch. A web installer carries no package and takes every
// such one. A full installer (and one built as both) takes those it does not
// carry (FullInst "No") and those the bulletin gives a Version: only a
// feature with a Version can replace one the installer carries.
bool acceptsItemForInstallerType(std::int32_t installerType, const Feature& bulletinFeature);

}  // namespace druvex
