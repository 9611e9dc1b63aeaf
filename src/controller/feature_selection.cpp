#include "controller/feature_selection.h"

#include <algorithm>

namespace druvex {

bool FeatureSelection::insert(const FeaturePtr& feature)
{
    if (!feature || contains(feature.get()))
        return false;
    features_.push_back(feature);
    return true;
}

bool FeatureSelection::erase(const Feature* feature)
{
    const auto found =
        std::find_if(features_.begin(), features_.end(), [feature](const FeaturePtr& f) { return f.get() == feature; });
    if (found == features_.end())
        return false;
    features_.erase(found);
    return true;
}

bool FeatureSelection::contains(const Feature* feature) const
{
    return feature && std::any_of(features_.begin(), features_.end(),
                                  [feature](const FeaturePtr& f) { return f.get() == feature; });
}

}  // namespace druvex
