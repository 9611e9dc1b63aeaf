#include "data/install_data.h"

#include <stdexcept>

#include "text/char_class.h"
#include "data/content_tree.h"

namespace druvex {
namespace {

template <class T>
const T& itemAt(const std::vector<T>& items, int index, const char* what)
{
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        throw std::out_of_range(what);
    return items[static_cast<std::size_t>(index)];
}

FeaturePtr makeFixedNode(const char16_t* name, FeatureMode mode)
{
    FeaturePtr node = makeFeaturePtr();
    node->setName(name);
    node->setMode(mode);
    // The fixed nodes start without a "<TARGETDIR>", so that a new data's
    // document shows an empty "Content".
    node->clearContent();
    return node;
}

constexpr NamedValue<std::int32_t> kLanguageInstallModes[] = {
    {kLanguageSelectedOnly, u"SelLanguageOnly"},
    {kLanguageUserSelectOthers, u"UserSelectOthers"},
    {kLanguageInstallAll, u"InstallAll"},
};

constexpr NamedValue<int> kBannerScreens[] = {
    {0, u"PPC"},
    {1, u"QVGA"},
    {2, u"IC"},
    {3, u"PPC_Wide"},
};

void copyOwnSettings(const InstallerSettings& from, InstallerSettings& to)
{
    InstallerSettings::Iterator entry;
    entry.start(from);
    while (entry.next())
        to.set(entry.key(), entry.value());
}

}  // namespace

const NameTable<std::int32_t> kLanguageInstallModeNames{kLanguageInstallModes, NameCase::kIgnoreCase};
const NameTable<int> kBannerScreenNames{kBannerScreens, NameCase::kExact};

std::int32_t languageInstallModeFromText(std::u16string_view text)
{
    return kLanguageInstallModeNames.valueOf(text, kLanguageSelectedOnly);
}

SharedString languageInstallModeText(std::int32_t mode)
{
    return SharedString(kLanguageInstallModeNames.nameOf(mode));
}

SupportedPlatform::SupportedPlatform(TargetPlatform platform, std::shared_ptr<const InstallerSettings> parentSettings)
    : platform_(platform), settings_(std::make_shared<InstallerSettings>(std::move(parentSettings)))
{
}

void SupportedPlatform::setRequirement(const SharedString& name, const SharedString& parameter)
{
    if (name.isEmpty())
        return;
    requirements_[name] = parameter;
}

SharedString bannerVariantSuffix(int variant)
{
    switch (variant) {
    case 0:
        return u"_ppcV";
    case 1:
        return u"_qvga";
    case 2:
        return u"_pc";
    case 3:
        return u"_ppcH";
    default:
        return {};
    }
}

SharedString bannerScreenName(int variant)
{
    return SharedString(kBannerScreenNames.nameOf(variant));
}

bool BannerElement::screenAvailable(int variant) const
{
    return variant >= 0 && variant < kBannerVariantCount && available_[variant];
}

void BannerElement::setScreenAvailable(int variant, bool available)
{
    if (variant >= 0 && variant < kBannerVariantCount)
        available_[variant] = available;
}

bool BannerElement::screenIsBitmap(int variant) const
{
    return variant >= 0 && variant < kBannerVariantCount && bitmap_[variant] != 0;
}

void BannerElement::setScreenBitmap(int variant, bool bitmap)
{
    if (variant >= 0 && variant < kBannerVariantCount)
        bitmap_[variant] = bitmap ? 1 : 0;
}

SharedString BannerElement::fileName(int variant, bool withExtension) const
{
    if (!screenAvailable(variant))
        return {};
    SharedString name = baseName + bannerVariantSuffix(variant);
    if (withExtension)
        name += screenIsBitmap(variant) ? u".bmp" : u".jpeg";
    return name;
}

InstallData::InstallData() : settings_(std::make_shared<InstallerSettings>()), root_(makeFeaturePtr())
{
    root_->setMode(FeatureMode::NotVisible);
    root_->clearContent();
    root_->addSubFeature(makeFixedNode(u"Feature", FeatureMode::NotVisible));
    FeaturePtr extraData = makeFixedNode(u"ExtraData", FeatureMode::NotVisible);
    extraData->addSubFeature(makeFixedNode(u"EULA", FeatureMode::Collapsed));
    extraData->addSubFeature(makeFixedNode(u"Redist", FeatureMode::Collapsed));
    root_->addSubFeature(std::move(extraData));
}

InstallData::~InstallData() = default;

void InstallData::assignSettings(const InstallData& other)
{
    if (&other == this)
        return;
    filePath_ = other.filePath_;
    bannerInterval_ = other.bannerInterval_;
    for (const SupportedPlatformPtr& theirs : other.supportedPlatforms_) {
        const SupportedPlatformPtr ours = platformEntry(theirs->platform());
        ours->settings().clear();
        copyOwnSettings(theirs->settings(), ours->settings());
        ours->clearRequirements();
        for (const auto& [name, parameter] : theirs->requirements())
            ours->setRequirement(name, parameter);
    }
    // The program-wide defaults are every store's last parent; copying them
    // would turn each default into a value of this data's own.
    const auto& theirParent = other.settings_->parent();
    if (theirParent && theirParent != InstallerSettings::defaults())
        copyOwnSettings(*theirParent, *settings_);
    copyOwnSettings(*other.settings_, *settings_);
    clear();
    for (int index = 0; index < other.count(); ++index)
        append(other.at(index)->clone());
}

void InstallData::addInclude(std::shared_ptr<InstallData> data)
{
    if (data && data.get() != this)
        includes_.push_back(std::move(data));
}

FeaturePtr InstallData::featureRoot() const
{
    return root_->findSubFeatureByName(u"Feature");
}

FeaturePtr InstallData::extraDataRoot() const
{
    return root_->findSubFeatureByName(u"ExtraData");
}

FeaturePtr InstallData::eulaItem() const
{
    const FeaturePtr extraData = extraDataRoot();
    return extraData ? extraData->findSubFeatureByName(u"EULA") : nullptr;
}

FeaturePtr InstallData::findItemByPath(std::u16string_view path) const
{
    if (path.empty())
        return nullptr;
    FeaturePtr item = root_;
    for (;;) {
        const std::size_t slash = path.find(u'/');
        const std::u16string_view part = path.substr(0, slash);
        if (part.empty())
            return nullptr;
        item = item->findSubFeatureByName(part);
        if (!item || slash == std::u16string_view::npos)
            return item;
        path.remove_prefix(slash + 1);
    }
}

const LanguageTemplatePtr& InstallData::languageTemplateAt(int index) const
{
    return itemAt(languageTemplates_, index, "InstallData::languageTemplateAt: index outside the list");
}

void InstallData::addLanguageTemplate(LanguageTemplatePtr languageTemplate)
{
    if (languageTemplate)
        languageTemplates_.push_back(std::move(languageTemplate));
}

void InstallData::collectLanguageTemplates(std::vector<LanguageTemplatePtr>& out) const
{
    std::vector<SharedString> taken;
    const auto collectFrom = [&](const InstallData& data) {
        for (const LanguageTemplatePtr& languageTemplate : data.languageTemplates_) {
            bool seen = false;
            for (const SharedString& name : taken)
                seen = seen || equalsNoCase(name.view(), languageTemplate->feature.view());
            if (seen)
                continue;
            taken.push_back(languageTemplate->feature);
            out.push_back(languageTemplate);
        }
    };
    collectFrom(*this);
    for (const auto& include : includes_)
        collectFrom(*include);
}

LanguageTemplatePtr InstallData::mainLanguageTemplate() const
{
    std::vector<LanguageTemplatePtr> templates;
    collectLanguageTemplates(templates);
    if (templates.empty())
        return nullptr;
    if (templates.size() == 1)
        return templates.front();
    for (const LanguageTemplatePtr& languageTemplate : templates) {
        if (languageTemplate->ismain)
            return languageTemplate;
    }
    return templates.front();
}

FeaturePtr InstallData::mainLanguageFeature() const
{
    const LanguageTemplatePtr main = mainLanguageTemplate();
    if (!main)
        return nullptr;
    return findItemByPath((SharedString(u"feature/") + main->feature).view());
}

const CustomActionPtr& InstallData::customActionAt(int index) const
{
    return itemAt(customActions_, index, "InstallData::customActionAt: index outside the list");
}

void InstallData::addCustomAction(CustomActionPtr action)
{
    if (action)
        customActions_.push_back(std::move(action));
}

CustomActionPtr InstallData::findCustomAction(std::u16string_view name) const
{
    for (const CustomActionPtr& action : customActions_) {
        if (equalsNoCase(action->getNameRef().view(), name))
            return action;
    }
    return nullptr;
}

const CustomPagePtr& InstallData::customPageAt(int index) const
{
    return itemAt(customPages_, index, "InstallData::customPageAt: index outside the list");
}

void InstallData::addCustomPage(CustomPagePtr page)
{
    if (page)
        customPages_.push_back(std::move(page));
}

CustomPagePtr InstallData::findCustomPage(std::u16string_view name) const
{
    for (const CustomPagePtr& page : customPages_) {
        if (equalsNoCase(page->name.view(), name))
            return page;
    }
    return nullptr;
}

bool InstallData::customActionsAfter(std::u16string_view anchor, std::vector<SharedString>& out) const
{
    out = sequenceNamesAfter(customActionsSequence_.view(), anchor);
    return !out.empty();
}

bool InstallData::customPagesAfter(std::u16string_view anchor, std::vector<SharedString>& out) const
{
    out = sequenceNamesAfter(customPagesSequence_.view(), anchor);
    return !out.empty();
}

void InstallData::allSequencedCustomActions(std::vector<SharedString>& out) const
{
    out = allSequenceNames(customActionsSequence_.view());
}

const SupportedPlatformPtr& InstallData::platformAt(int index) const
{
    return itemAt(supportedPlatforms_, index, "InstallData::platformAt: index outside the list");
}

int InstallData::findPlatformIndex(TargetPlatform platform) const
{
    for (std::size_t i = 0; i < supportedPlatforms_.size(); ++i) {
        if (supportedPlatforms_[i]->platform() == platform)
            return static_cast<int>(i);
    }
    return -1;
}

SupportedPlatformPtr InstallData::platformEntry(TargetPlatform platform)
{
    const int index = findPlatformIndex(platform);
    if (index >= 0)
        return supportedPlatforms_[static_cast<std::size_t>(index)];
    auto entry = std::make_shared<SupportedPlatform>(platform, settings_);
    supportedPlatforms_.push_back(entry);
    return entry;
}

const std::shared_ptr<BuildConfiguration>& InstallData::buildConfigurationAt(int index) const
{
    return itemAt(buildConfigurations_, index, "InstallData::buildConfigurationAt: index outside the list");
}

void InstallData::addBuildConfiguration(std::shared_ptr<BuildConfiguration> configuration)
{
    if (configuration)
        buildConfigurations_.push_back(std::move(configuration));
}

const BannerElementPtr& InstallData::bannerAt(int index) const
{
    return itemAt(banners_, index, "InstallData::bannerAt: index outside the list");
}

void InstallData::addBanner(BannerElementPtr banner)
{
    if (banner)
        banners_.push_back(std::move(banner));
}

}  // namespace druvex
