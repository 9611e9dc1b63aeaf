// MergedProject: a project merged into the installer at load time, with its
// own installer data and its own installed log, both empty until the
// controller fills them.
#pragma once

#include <memory>

#include "data/install_data.h"
#include "data/installed_log.h"
#include "text/shared_string.h"

namespace druvex {

class MergedProject {
public:
    explicit MergedProject(const SharedString& name)
        : name_(name), installData_(std::make_shared<InstallData>()), installedLog_(std::make_shared<InstalledLog>())
    {
    }

    const SharedString& getName() const { return name_; }
    InstallData& getInstallData() { return *installData_; }
    const InstallData& getInstallData() const { return *installData_; }
    const std::shared_ptr<InstalledLog>& getInstalledLog() const { return installedLog_; }

private:
    SharedString name_;
    std::shared_ptr<InstallData> installData_;
    std::shared_ptr<InstalledLog> installedLog_;
};

using MergedProjectPtr = std::shared_ptr<MergedProject>;

}  // namespace druvex
