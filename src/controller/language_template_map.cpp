#include "controller/language_template_map.h"

namespace druvex {

bool LanguageTemplateMap::add(const FeaturePtr& feature, const LanguageTemplatePtr& languageTemplate)
{
    if (!feature || !languageTemplate || findTemplate(feature.get()) || findFeature(languageTemplate.get()))
        return false;
    pairs_.emplace_back(feature, languageTemplate);
    return true;
}

LanguageTemplatePtr LanguageTemplateMap::findTemplate(const Feature* feature) const
{
    for (const Pair& pair : pairs_) {
        if (pair.first.get() == feature)
            return pair.second;
    }
    return nullptr;
}

FeaturePtr LanguageTemplateMap::findFeature(const LanguageTemplate* languageTemplate) const
{
    for (const Pair& pair : pairs_) {
        if (pair.second.get() == languageTemplate)
            return pair.first;
    }
    return nullptr;
}

}  // namespace druvex
