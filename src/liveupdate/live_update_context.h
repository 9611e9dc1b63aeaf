// LiveUpdateContext: what the update patcher, the update and custom folders
// and the newer-installer logic take from the installer controller (the
// loaded installer data, the installer's own build, the run's target
// platform, the package sources, the language template pairs, the page
// sequence and the newer installer chosen for download). The controller
// implements it; the live update sits below the controller and reaches it
// only through this interface.
#pragma once

#include <cstdint>
#include <memory>

#include "app_base/target_platform.h"
#include "text/shared_string.h"

namespace druvex {

class Feature;
class HalAccess;
class InstallData;
class InstallerConfiguration;
class UpdatePatcher;
class WStringMultimap;
struct LanguageTemplate;

class LiveUpdateContext {
public:
    virtual ~LiveUpdateContext() = default;

    // The installer data of the run.
    virtual InstallData& getInstallData() = 0;
    // The installer's own build (its installer platform and type).
    virtual const InstallerConfiguration& installerConfiguration() const = 0;
    // The run's target platform (9 while none is chosen).
    virtual TargetPlatform getTargetPlatform() const = 0;
    // The address of the update bulletin (LiveUpdateUrl, or the command
    // line's); relative addresses in a bulletin are resolved against it.
    virtual SharedString liveUpdateUrl() const = 0;
    // Where each package can be taken from during the run.
    virtual WStringMultimap& getPackageSources() = 0;
    // The host of the machine that runs the installer.
    virtual std::shared_ptr<HalAccess> getHalIn() = 0;
    // The folder that holds the installer (the "update" and "custom"
    // folders lie in it).
    virtual SharedString installerFolder() const = 0;
    // The feature that the language template map pairs with the template;
    // null when it pairs none.
    virtual std::shared_ptr<Feature> findLanguageTemplateFeature(const LanguageTemplate& languageTemplate) = 0;
    // The run's update patcher, which holds the update bulletin.
    virtual UpdatePatcher& getUpdatePatcher() = 0;

    // Rebuilds the page sequence for the wizard mode.
    virtual void buildPageSequenceForMode(std::int32_t mode) = 0;
    // The newer installer chosen for download: its address, its size (kept
    // in 32 bits) and the file it is saved to. The getter is the one the
    // package installer's context declares too, so one implementation
    // serves both.
    virtual void setNewVersionDownload(const SharedString& url, std::uint32_t size, const SharedString& target) = 0;
    virtual void getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target) = 0;
    // Records that starting the downloaded newer installer failed.
    virtual void setNewInstallerLaunchFailed(bool failed) = 0;
};

}  // namespace druvex
