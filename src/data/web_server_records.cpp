#include "data/web_server_records.h"

#include <stdexcept>

namespace druvex {
namespace {

constexpr NamedValue<std::int32_t> kPipelineModes[] = {
    {kPipelineIntegrated, u"Integrated"},
    {kPipelineClassic, u"Classic"},
};

constexpr NamedValue<std::int32_t> kPoolIdentities[] = {
    {kIdentityNetworkService, u"NetworkService"},
    {kIdentityLocalService, u"LocalService"},
    {kIdentityLocalSystem, u"LocalSystem"},
    {kIdentityApplicationPool, u"ApplicationPoolIdentity"},
};

}  // namespace

const NameTable<std::int32_t> kPipelineModeNames{kPipelineModes, NameCase::kIgnoreCase};
const NameTable<std::int32_t> kPoolIdentityNames{kPoolIdentities, NameCase::kIgnoreCase};

std::int32_t pipelineModeFromText(std::u16string_view text)
{
    return kPipelineModeNames.valueOf(text, kPipelineIntegrated);
}

SharedString pipelineModeText(std::int32_t mode)
{
    return SharedString(kPipelineModeNames.nameOf(mode, u"Integrated"));
}

std::int32_t poolIdentityFromText(std::u16string_view text)
{
    return kPoolIdentityNames.valueOf(text, kIdentityNetworkService);
}

SharedString poolIdentityText(std::int32_t identity)
{
    return SharedString(kPoolIdentityNames.nameOf(identity, u"NetworkService"));
}

std::shared_ptr<WebSite> WebSite::clone() const
{
    auto copy = std::make_shared<WebSite>(*this);
    for (auto& application : copy->applications_)
        application = application->clone();
    return copy;
}

bool WebSite::addApplication(std::shared_ptr<IisApplication> application)
{
    if (!application)
        return false;
    applications_.push_back(std::move(application));
    return true;
}

const std::shared_ptr<IisApplication>& WebSite::applicationAt(int index) const
{
    if (index < 0 || index >= applicationCount())
        throw std::out_of_range("WebSite::applicationAt: index outside the list");
    return applications_[static_cast<std::size_t>(index)];
}

InternetInformationServices::InternetInformationServices(const InternetInformationServices& other)
{
    *this = other;
}

InternetInformationServices& InternetInformationServices::operator=(const InternetInformationServices& other)
{
    if (&other == this)
        return *this;
    clear();
    for (const auto& pool : other.appPools_)
        appPools_.push_back(pool->clone());
    for (const auto& site : other.webSites_)
        webSites_.push_back(site->clone());
    return *this;
}

bool InternetInformationServices::addAppPool(std::shared_ptr<AppPool> pool)
{
    if (!pool)
        return false;
    appPools_.push_back(std::move(pool));
    return true;
}

bool InternetInformationServices::addWebSite(std::shared_ptr<WebSite> site)
{
    if (!site)
        return false;
    webSites_.push_back(std::move(site));
    return true;
}

const std::shared_ptr<AppPool>& InternetInformationServices::appPoolAt(int index) const
{
    if (index < 0 || index >= appPoolCount())
        throw std::out_of_range("InternetInformationServices::appPoolAt: index outside the list");
    return appPools_[static_cast<std::size_t>(index)];
}

const std::shared_ptr<WebSite>& InternetInformationServices::webSiteAt(int index) const
{
    if (index < 0 || index >= webSiteCount())
        throw std::out_of_range("InternetInformationServices::webSiteAt: index outside the list");
    return webSites_[static_cast<std::size_t>(index)];
}

void InternetInformationServices::clear()
{
    appPools_.clear();
    webSites_.clear();
}

}  // namespace druvex
