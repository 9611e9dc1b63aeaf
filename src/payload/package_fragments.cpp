#include "payload/package_fragments.h"

#include "data/feature.h"
#include "data/record_fragments.h"
#include "payload/package_header.h"

namespace druvex {

bool applyPackageFragment(Feature& feature, std::uint32_t type, const std::vector<std::uint8_t>& bytes)
{
    switch (type) {
    case kPackageRecordRegistry:
        return feature.getRegistry().loadXml(bytes.data(), bytes.size());
    case kPackageRecordEnvironmentVars:
        return parseEnvironmentVarsXmlFragment(feature, bytes);
    case kPackageRecordFileAssociations:
        return parseFileAssociationsXmlFragment(feature, bytes);
    case kPackageRecordFeatureScripts:
        return parseFeatureScriptsXmlFragment(feature, bytes);
    case kPackageRecordShortcuts:
        return parseShortcutsXmlFragment(feature, bytes);
    case kPackageRecordIis:
        return parseIisXmlFragment(feature, bytes);
    default:
        return false;
    }
}

}  // namespace druvex
