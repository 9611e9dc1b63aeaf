// The installer's language: which of the offered languages a run starts
// with, the language features it selects, and the "Additional Languages"
// feature through which the user adds further languages of the program.
#include "controller/installer_controller.h"

#include <algorithm>
#include <set>
#include <vector>

#include "core/app_log.h"
#include "data/culture_table.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/package_sources.h"
#include "platform/device_config.h"
#include "text/char_class.h"
#include "text/assertion_sites.h"
#include "text/diag.h"

namespace druvex {
namespace {

constexpr char16_t kAdditionalLanguagesName[] = u"AdditionalLanguages";
constexpr char16_t kAdditionalLanguagesPrompt[] = u"Additional Languages";

// Two user locales of the device are looked up as the one the installer data
// names: traditional Spanish as modern Spanish, Serbian (Latin, Serbia) as
// Serbian (Latin, Serbia and Montenegro).
std::uint16_t userDefaultLanguage()
{
    const auto lcid = static_cast<std::uint16_t>(activeDeviceConfig()->userLocale & 0xFFFF);
    if (lcid == 1034)
        return 3082;
    if (lcid == 3098)
        return 2074;
    return lcid;
}

bool nameLess(const FeaturePtr& a, const FeaturePtr& b)
{
    const int byCase = compareNoCase(a->getNameRef().c_str(), b->getNameRef().c_str());
    return byCase != 0 ? byCase < 0 : a->getNameRef().view() < b->getNameRef().view();
}

}  // namespace

std::vector<FeaturePtr> InstallerController::getLanguageFeatures() const
{
    std::vector<FeaturePtr> features;
    const FeaturePtr main = installData_->mainLanguageFeature();
    if (!main)
        return features;
    for (int i = 0; i < main->subFeatureCount(); ++i) {
        const FeaturePtr& feature = main->subFeatureAt(i);
        if (feature->getLocaleId() != 0)
            features.push_back(feature);
    }
    std::stable_sort(features.begin(), features.end(), nameLess);
    return features;
}

std::uint16_t InstallerController::chooseLanguage() const
{
    const std::vector<FeaturePtr> features = getLanguageFeatures();
    std::set<std::uint16_t> offered;
    for (const FeaturePtr& feature : features)
        offered.insert(feature->getLocaleId());
    if (offered.empty())
        return 0;
    if (offered.contains(kCustomLanguageId))
        return kCustomLanguageId;

    const std::uint16_t user = userDefaultLanguage();
    if (offered.contains(user))
        return user;
    const auto primary = static_cast<std::uint16_t>(user & 0x3FF);
    const std::uint16_t subLanguage = user >> 10;
    if (subLanguage != 1 && offered.contains(static_cast<std::uint16_t>(primary | 0x400)))
        return static_cast<std::uint16_t>(primary | 0x400);
    if (subLanguage != 0 && offered.contains(primary))
        return primary;
    for (const std::uint16_t id : offered) {
        if ((id & 0x3FF) == primary)
            return id;
    }
    if (offered.contains(kEnglishLanguageId))
        return kEnglishLanguageId;
    return features.front()->getLocaleId();
}

void InstallerController::setLanguage(std::uint16_t lcid, const SharedString& text)
{
    if (!installDataLoaded_)
        reportDbgChk(kCheckLanguageBeforeInstallData);
    if (lcid != 0) {
        // The same language again (the installed one made current once more)
        // only adds what it selects: the language features selected so far,
        // installed ones among them, stay.
        if (language_ != 0 && lcid != language_) {
            // The languages the user added stay; every other language feature
            // is chosen again for the new language below.
            const std::vector<SharedString> kept = collectAdditionalLanguageNames();
            std::vector<FeaturePtr> dropped;
            for (const FeaturePtr& feature : selectedFeatures_) {
                if (feature->getLocaleId() != 0 &&
                    std::find(kept.begin(), kept.end(), feature->getName()) == kept.end())
                    dropped.push_back(feature);
            }
            for (const FeaturePtr& feature : dropped)
                deselectFeature(feature);
        }
        language_ = lcid;
        languageCode_ = text;
        for (const LanguageTemplateMap::Pair& pair : languageTemplateMap_.pairs()) {
            const Feature& feature = *pair.first;
            if (pair.second->installMode == kLanguageInstallAll) {
                for (int i = 0; i < feature.subFeatureCount(); ++i)
                    selectFeature(feature.subFeatureAt(i));
                continue;
            }
            if (const FeaturePtr sub = feature.findSubFeatureForLanguage(lcid))
                selectFeature(sub);
        }
    }

    // A licence accepted in another language is not this language's licence.
    if (eula_ && !isSameEula(eula_, findEula()))
        eula_.reset();
    if (!eula_ && isEulaAlreadyAccepted())
        takeInstalledEula();
}

std::vector<SharedString> InstallerController::collectAdditionalLanguageNames() const
{
    std::vector<SharedString> names;
    const FeaturePtr additional = findAdditionalLanguagesFeature();
    if (!additional)
        return names;
    for (const FeaturePtr& feature : selectedFeatures_) {
        if (feature->parent() != additional.get())
            continue;
        names.push_back(feature->getName());
        for (const SharedString& component : feature->componentFeatures())
            names.push_back(component);
    }
    return names;
}

void InstallerController::buildLanguageTemplateMap()
{
    languageTemplateMap_.clear();
    for (int i = 0; i < installData_->languageTemplateCount(); ++i) {
        const LanguageTemplatePtr& languageTemplate = installData_->languageTemplateAt(i);
        const FeaturePtr feature = installData_->findItemByPath((SharedString(u"feature/") + languageTemplate->feature).view());
        if (feature)
            languageTemplateMap_.add(feature, languageTemplate);
    }
}

LanguageTemplatePtr InstallerController::findLanguageTemplate(const Feature* feature) const
{
    return languageTemplateMap_.findTemplate(feature);
}

FeaturePtr InstallerController::findAdditionalLanguagesFeature() const
{
    const FeaturePtr root = installData_->featureRoot();
    return root ? root->findSubFeatureByName(kAdditionalLanguagesName) : nullptr;
}

void InstallerController::buildAdditionalLanguages()
{
    std::vector<FeaturePtr> features;
    std::set<std::uint16_t> ids;
    for (const LanguageTemplateMap::Pair& pair : languageTemplateMap_.pairs()) {
        if (pair.second->installMode != kLanguageUserSelectOthers)
            continue;
        features.push_back(pair.first);
        for (int i = 0; i < pair.first->subFeatureCount(); ++i) {
            const std::uint16_t id = pair.first->subFeatureAt(i)->getLocaleId();
            if (id != 0 && id != kCustomLanguageId)
                ids.insert(id);
        }
    }
    if (ids.size() < 2)
        return;

    FeaturePtr additional = findAdditionalLanguagesFeature();
    if (!additional) {
        const FeaturePtr root = installData_->featureRoot();
        additional = makeFeaturePtr();
        additional->setName(SharedString(kAdditionalLanguagesName));
        additional->setPrompt(SharedString(kAdditionalLanguagesPrompt));
        if (!root || !root->addSubFeature(additional))
            return;
        packageSources_->addIfAbsent(*additional, kSourceArchiveEntry, additional->getName(), 0, 0);
    }

    for (const std::uint16_t id : ids) {
        FeaturePtr language = additional->findSubFeatureByLocale(id);
        if (!language) {
            SharedString name;
            if (!languageDisplayName(id, name))
                continue;
            language = makeFeaturePtr();
            language->setName(name);
            language->setLocaleId(id);
            // Several locales share an English name (English of the US and of
            // Britain): the first keeps it, the others get no sub-feature.
            if (!additional->addSubFeature(language)) {
                logPrintf(u"No additional language %u: %s is taken by another language", static_cast<unsigned>(id),
                          name);
                continue;
            }
            packageSources_->addIfAbsent(*language, kSourceArchiveEntry, language->getName(), 0, 0);
        }
        language->clearComponentFeatures();
        for (const FeaturePtr& feature : features) {
            if (const FeaturePtr component = feature->findSubFeatureForLanguage(id))
                language->addComponentFeature(component->getName());
        }
    }
}

void InstallerController::applyInstalledLanguage()
{
    const std::uint16_t id = installedLog_->getLanguageId();
    if (id == 0)
        return;
    const FeaturePtr main = installData_->mainLanguageFeature();
    if (!main)
        return;
    const FeaturePtr found = main->findSubFeatureForLanguage(id);
    if (!found || found->getLocaleId() != id) {
        FeaturePtr language = makeFeaturePtr();
        language->setName(installedLog_->getLanguageName());
        language->setLocaleId(id);
        if (!main->addSubFeature(language))
            logPrintf(u"The installed language %u (%s) cannot be added to %s", static_cast<unsigned>(id),
                      installedLog_->getLanguageName(), main->getName());
    }
    setLanguage(id, installedLog_->getLanguageName());
}

}  // namespace druvex
