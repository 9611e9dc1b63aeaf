#include "payload/package_fragments.h"

#include "data/feature.h"
#include "data/record_fragments.h"
#include "payload/package_header.h"

namespace druvex {

bool applyPackageFragment(Feature& feature, std::uint32_t type, const std::vector<std::uint8_t>& bytes,
                          XmlParseError* error)
{
    switch (type) {
    case kPackageRecordRegistry:
        return feature.getRegistry().loadXml(bytes.data(), bytes.size(), error);
    case kPackageRecordEnvironmentVars:
        return parseEnvironmentVarsXmlFragment(feature, bytes, error);
    case kPackageRecordFileAssociations:
        return parseFileAssociationsXmlFragment(feature, bytes, error);
    case kPackageRecordFeatureScripts:
        return parseFeatureScriptsXmlFragment(feature, bytes, error);
    case kPackageRecordShortcuts:
        return parseShortcutsXmlFragment(feature, bytes, error);
    case kPackageRecordIis:
        return parseIisXmlFragment(feature, bytes, error);
    default:
        return false;
    }
}

}  // namespace druvex
