// InstallDestination: the run's destination record: the folder the program is
// installed into, on the target host, and the resolution of installer paths
// against it ("<TARGETDIR>\bin" and the like) for the target's platform. The
// package unpacker resolves every folder and file of a package through it.
#pragma once

#include <memory>

#include "payload/package_node_writer.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallData;

// What the destination needs of the installer controller, which implements it.
class DestinationContext {
public:
    virtual ~DestinationContext() = default;
    // The installer data, whose settings and installer variables expand paths.
    virtual InstallData& getInstallData() = 0;
    // Installing for every user: the folder variables of all users apply.
    virtual bool isForAnyone() const = 0;
};

class InstallDestination final : public PackagePathResolver {
public:
    // `context` must outlive the record; `targetHost` is the host of the
    // machine being installed.
    InstallDestination(DestinationContext& context, std::shared_ptr<HalAccess> targetHost, const SharedString& folder);

    const SharedString& getFolder() const { return folder_; }
    void setFolder(const SharedString& folder) { folder_ = folder; }
    const std::shared_ptr<HalAccess>& getTargetHost() const { return targetHost_; }

    // `folder` and `name` joined with one separator, then resolved for the
    // target: a root such as "<TARGETDIR>" becomes the destination folder,
    // other variables their values for the target's platform. Empty when the
    // expansion fails.
    SharedString resolveHostPath(const SharedString& folder, const SharedString& name);
    // A package node's top-level folder ("<TARGETDIR>" for a node without a
    // parent) joined with the rest of its path, resolved as above.
    SharedString resolveQualifiedHostPath(const ContentItem& node) override;

private:
    SharedString resolve(const SharedString& path);

    DestinationContext& context_;
    std::shared_ptr<HalAccess> targetHost_;
    SharedString folder_;
};

}  // namespace druvex
