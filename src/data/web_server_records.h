// The web-server settings a feature installs on a desktop target: application
// pools and web sites with their applications, with the texts by which the
// install data names their values.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "text/name_table.h"
#include "text/shared_string.h"

namespace druvex {

constexpr std::int32_t kPipelineIntegrated = 0;
constexpr std::int32_t kPipelineClassic = 1;

constexpr std::int32_t kIdentityNetworkService = 0;
constexpr std::int32_t kIdentityLocalService = 1;
constexpr std::int32_t kIdentityLocalSystem = 2;
constexpr std::int32_t kIdentityApplicationPool = 3;

class AppPool {
public:
    std::shared_ptr<AppPool> clone() const { return std::make_shared<AppPool>(*this); }

    SharedString name;
    SharedString dotNetVersion = u"v4.0";
    std::int32_t queueLength = 4000;
    std::int32_t managedMode = kPipelineIntegrated;
    bool enable32 = true;
    std::int32_t identity = kIdentityApplicationPool;
    std::int32_t idleTimeout = 20;  // minutes
    std::int32_t maxProcesses = 1;
};

// The names of the pipeline modes and pool identities, read ignoring case.
extern const NameTable<std::int32_t> kPipelineModeNames;
extern const NameTable<std::int32_t> kPoolIdentityNames;

// "Classic" ignoring case is 1, anything else 0; 1 "Classic", else "Integrated".
std::int32_t pipelineModeFromText(std::u16string_view text);
SharedString pipelineModeText(std::int32_t mode);
// The identity names ignoring case; unknown texts give 0. Unknown values
// print as "NetworkService".
std::int32_t poolIdentityFromText(std::u16string_view text);
SharedString poolIdentityText(std::int32_t identity);

class IisApplication {
public:
    std::shared_ptr<IisApplication> clone() const { return std::make_shared<IisApplication>(*this); }

    SharedString name;
    SharedString sourcePath = u"<TARGETDIR>";
    SharedString appPool;  // the pool's name
};

class WebSite {
public:
    // The applications are cloned too.
    std::shared_ptr<WebSite> clone() const;

    // False for null.
    bool addApplication(std::shared_ptr<IisApplication> application);
    int applicationCount() const { return static_cast<int>(applications_.size()); }
    // Throws std::out_of_range outside the list.
    const std::shared_ptr<IisApplication>& applicationAt(int index) const;

    SharedString name;
    std::int32_t port = 80;
    std::int32_t siteNumber = 0;

private:
    std::vector<std::shared_ptr<IisApplication>> applications_;
};

class InternetInformationServices {
public:
    InternetInformationServices() = default;
    // Deep copies: the pools, sites and applications are cloned.
    InternetInformationServices(const InternetInformationServices& other);
    InternetInformationServices& operator=(const InternetInformationServices& other);

    // False for null.
    bool addAppPool(std::shared_ptr<AppPool> pool);
    bool addWebSite(std::shared_ptr<WebSite> site);
    int appPoolCount() const { return static_cast<int>(appPools_.size()); }
    int webSiteCount() const { return static_cast<int>(webSites_.size()); }
    // Throw std::out_of_range outside the lists.
    const std::shared_ptr<AppPool>& appPoolAt(int index) const;
    const std::shared_ptr<WebSite>& webSiteAt(int index) const;
    // Any pool or site.
    bool hasContent() const { return !appPools_.empty() || !webSites_.empty(); }
    void clear();

private:
    std::vector<std::shared_ptr<AppPool>> appPools_;
    std::vector<std::shared_ptr<WebSite>> webSites_;
};

}  // namespace druvex
