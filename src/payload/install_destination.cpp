#include "payload/install_destination.h"

#include "data/content_tree.h"
#include "data/install_data.h"
#include "data/variable_expansion.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"

namespace druvex {

InstallDestination::InstallDestination(DestinationContext& context, std::shared_ptr<HalAccess> targetHost,
                                       const SharedString& folder)
    : context_(context), targetHost_(std::move(targetHost)), folder_(folder)
{
}

SharedString InstallDestination::resolveHostPath(const SharedString& folder, const SharedString& name)
{
    return resolve(joinPath(folder, name));
}

SharedString InstallDestination::resolveQualifiedHostPath(const ContentItem& node)
{
    SharedString top;
    SharedString rest;
    node.splitTopFolder(top, rest);
    return resolve(joinPath(top, rest));
}

SharedString InstallDestination::resolve(const SharedString& path)
{
    if (!targetHost_)
        return {};
    SharedString resolved;
    if (!expandVariablesForDevice(path, context_.getInstallData(), context_.isForAnyone(), *targetHost_, folder_,
                                  resolved))
        return {};
    return resolved;
}

}  // namespace druvex
