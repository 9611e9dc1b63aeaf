// The controller as the live update sees it, for the tests: the installer
// data, the build and the run's platform as fields, the language templates
// paired with their features the way the controller pairs them, and what the
// newer-installer logic hands back (page sequence modes, the chosen download,
// the failed-launch flag) recorded. Like the controller, it is the package
// installer's context as well, so that a new-version download runs from what
// the newer-installer logic stored; its package store is the "No cache" one,
// counting what passes through it.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "data/feature.h"
#include "data/install_data.h"
#include "data/installer_configuration.h"
#include "data/package_sources.h"
#include "hal/hal_access.h"
#include "liveupdate/live_update_context.h"
#include "liveupdate/package_cache.h"
#include "liveupdate/package_installer.h"
#include "liveupdate/update_patcher.h"
#include "liveupdate/web_downloader.h"

namespace druvex::test {

class CountingNoCache final : public PackageCache {
public:
    CountingNoCache(std::shared_ptr<HalAccess> host, const SharedString& folder) : inner_(std::move(host), folder) {}

    void downloadFolder(SharedString& folder) override { inner_.downloadFolder(folder); }
    SharedString findPackage(const InstallItem& item, bool& found) override { return inner_.findPackage(item, found); }
    void storePackage(SharedString& path, const SharedString& downloaded) override
    {
        stores.fetch_add(1);
        inner_.storePackage(path, downloaded);
    }
    bool removePackage(const SharedString& path) override { return inner_.removePackage(path); }

    std::atomic<int> stores{0};

private:
    NoPackageCache inner_;
};

class FakeLiveUpdateContext final : public LiveUpdateContext, public PackageInstallerContext {
public:
    explicit FakeLiveUpdateContext(std::shared_ptr<HalAccess> host = nullptr)
        : cache(host, u"\\Temp\\Packages"), host_(std::move(host))
    {
    }

    InstallData& getInstallData() override { return data; }
    const InstallerConfiguration& installerConfiguration() const override { return build; }
    TargetPlatform getTargetPlatform() const override { return platform; }
    SharedString liveUpdateUrl() const override { return updateUrl; }
    WStringMultimap& getPackageSources() override { return sources; }
    std::shared_ptr<HalAccess> getHalIn() override { return host_; }
    SharedString installerFolder() const override { return folder; }
    FeaturePtr findLanguageTemplateFeature(const LanguageTemplate& languageTemplate) override
    {
        const auto found = templateFeatures_.find(&languageTemplate);
        return found == templateFeatures_.end() ? nullptr : found->second;
    }
    UpdatePatcher& getUpdatePatcher() override { return patcher; }

    void buildPageSequenceForMode(std::int32_t mode) override { builtModes.push_back(mode); }
    void setNewVersionDownload(const SharedString& url, std::uint32_t size, const SharedString& target) override
    {
        newUrl = url;
        newSize = size;
        newTarget = target;
    }
    void getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target) override
    {
        url = newUrl;
        size = newSize;
        target = newTarget;
    }
    void setNewInstallerLaunchFailed(bool failed) override { launchFailed = failed; }

    WebDownloader& getWebDownloader() override { return downloader; }
    std::shared_ptr<HalAccess> getHalOut() override { return host_; }
    PackageCache& packageCache() override { return cache; }
    bool getSkipFeatureChoice() override { return skip.load(); }
    void setSkipFeatureChoice(bool value) override { skip.store(value); }
    std::int32_t getWizardMode() override { return builtModes.empty() ? 0 : builtModes.back(); }

    // Pairs each language template of the data with the item its feature
    // names, the first pairing winning, as the controller's map does.
    void pairLanguageTemplates()
    {
        templateFeatures_.clear();
        for (int i = 0; i < data.languageTemplateCount(); ++i) {
            const LanguageTemplatePtr& languageTemplate = data.languageTemplateAt(i);
            const FeaturePtr feature = data.findItemByPath(SharedString(u"feature/") + languageTemplate->feature);
            if (feature && !templateFeatures_.contains(languageTemplate.get()))
                templateFeatures_.emplace(languageTemplate.get(), feature);
        }
    }

    InstallData data;
    InstallerConfiguration build;
    TargetPlatform platform = kPlatformQm40;
    SharedString updateUrl = u"http://127.0.0.1:8080/p/bulletin.xml";
    WStringMultimap sources;
    SharedString folder = u"/Program Files/Installer";
    UpdatePatcher patcher{*this};
    WebDownloader downloader;
    CountingNoCache cache;
    std::atomic<bool> skip{false};

    std::vector<std::int32_t> builtModes;
    SharedString newUrl;
    std::uint32_t newSize = 0;
    SharedString newTarget;
    bool launchFailed = false;

private:
    std::shared_ptr<HalAccess> host_;
    std::map<const LanguageTemplate*, FeaturePtr> templateFeatures_;
};

}  // namespace druvex::test
