// FeatureSelection: the features chosen for installation, each once, kept in
// the order they were chosen so that everything derived from the selection
// (install order, the saved list of features to install) is the same from run
// to run.
#pragma once

#include <cstddef>
#include <vector>

#include "data/feature.h"

namespace druvex {

class FeatureSelection {
public:
    // False, changing nothing, for null and for a feature already selected.
    bool insert(const FeaturePtr& feature);
    // False when the feature was not selected.
    bool erase(const Feature* feature);
    bool contains(const Feature* feature) const;
    void clear() { features_.clear(); }

    bool empty() const { return features_.empty(); }
    std::size_t size() const { return features_.size(); }
    const std::vector<FeaturePtr>& features() const { return features_; }
    auto begin() const { return features_.begin(); }
    auto end() const { return features_.end(); }

private:
    std::vector<FeaturePtr> features_;
};

}  // namespace druvex
