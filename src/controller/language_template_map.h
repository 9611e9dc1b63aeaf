// LanguageTemplateMap: the one-to-one pairing of the installer data's
// language templates with the features whose sub-features are the
// languages: a feature has at most one template and a template at most one
// feature, and the first pairing of either wins.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "data/feature.h"
#include "data/install_data.h"

namespace druvex {

class LanguageTemplateMap {
public:
    using Pair = std::pair<FeaturePtr, LanguageTemplatePtr>;

    void clear() { pairs_.clear(); }
    // False, changing nothing, when either is null or already paired.
    bool add(const FeaturePtr& feature, const LanguageTemplatePtr& languageTemplate);
    // Null when the feature is paired with none.
    LanguageTemplatePtr findTemplate(const Feature* feature) const;
    // Null when the template is paired with none.
    FeaturePtr findFeature(const LanguageTemplate* languageTemplate) const;
    // In the order they were paired.
    const std::vector<Pair>& pairs() const { return pairs_; }

private:
    std::vector<Pair> pairs_;
};

}  // namespace druvex
