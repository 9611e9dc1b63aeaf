// What one installer build is: InstallerConfiguration (full or web, for PCs or
// controllers, for which target platforms), read by the running installer from
// its payload's "InstallerInfo" and by bulletins for downloadable installers;
// and BuildConfiguration, which adds what the build needs to make it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "app_base/target_platform.h"
#include "text/name_table.h"
#include "text/shared_string.h"
#include "core/xml_reader.h"

namespace druvex {

class ByteStream;
class XmlWriter;

class InstallerConfiguration {
public:
    InstallerConfiguration() = default;
    InstallerConfiguration(const InstallerConfiguration&) = default;
    InstallerConfiguration& operator=(const InstallerConfiguration&) = default;
    virtual ~InstallerConfiguration() = default;

    std::int32_t getInstallerType() const { return installerType_; }
    void setInstallerType(std::int32_t type) { installerType_ = type; }
    std::int32_t getInstallerPlatform() const { return installerPlatform_; }
    void setInstallerPlatform(std::int32_t platform) { installerPlatform_ = platform; }
    std::int32_t getTargetPlatformMask() const { return targetPlatformMask_; }
    void setTargetPlatformMask(std::int32_t mask) { targetPlatformMask_ = mask; }

    // The attributes of an element: at least 3; "InstallerType" and
    // "InstallerPlat" by their names, "TargetPlatMask" as a platform list and
    // "TargetPlat" as one platform (a later one overrides an earlier one), the
    // mask -1 when neither is there. False for a resulting mask of 0.
    bool readAttributes(const XmlAttributeList& attributes);
    // "InstallerType", "InstallerPlat", "TargetPlatMask".
    void writeAttributes(XmlWriter& writer) const;

    // "InstallerInfo": 12 bytes are three little-endian words (type, installer
    // platform, target platform index); anything else is an XML document with
    // an "InstallerConfiguration" element. False for an empty buffer, and for
    // a document that does not parse or has no such element.
    [[nodiscard]] bool load(const void* data, std::size_t bytes);
    // A document (declaration line, no byte-order mark) holding one
    // "InstallerConfiguration" element. False when the stream refused it.
    bool save(ByteStream& output) const;

private:
    std::int32_t installerType_ = kInstallerTypeFull;
    std::int32_t installerPlatform_ = kInstallerPlatformPC;
    std::int32_t targetPlatformMask_ = 0;
};

// RedistInclMode values.
constexpr std::int32_t kRedistByUser = 0;
constexpr std::int32_t kRedistAll = 1;
constexpr std::int32_t kRedistNone = 2;
// "ByUser", "All", "None", read ignoring case.
extern const NameTable<std::int32_t> kRedistInclModeNames;

class BuildConfiguration : public InstallerConfiguration,
                           public std::enable_shared_from_this<BuildConfiguration> {
public:
    BuildConfiguration() = default;

    const SharedString& getName() const { return name_; }
    void setName(const SharedString& name) { name_ = name; }
    const SharedString& getOverriddenInstallerName() const { return overriddenInstallerName_; }
    void setOverriddenInstallerName(const SharedString& name) { overriddenInstallerName_ = name; }
    bool getIncludeOnlineFeatures() const { return includeOnlineFeatures_; }
    void setIncludeOnlineFeatures(bool include) { includeOnlineFeatures_ = include; }
    std::int32_t getRedistInclMode() const { return redistInclMode_; }
    void setRedistInclMode(std::int32_t mode) { redistInclMode_ = mode; }

    // A "BuildConfiguration" element: at least 4 attributes, the installer
    // attributes read, then "Name" (required), "OverriddenInstallerName",
    // "IncludeOnlineFeatures" (true when present, unless "No" ignoring case)
    // and "RedistInclMode" ("All", "None", "ByUser" ignoring case; else ByUser).
    bool readXml(const XmlAttributeList& attributes);
    // The element with "Name", the installer attributes, then
    // "OverriddenInstallerName" when not empty, "IncludeOnlineFeatures" "Yes"
    // when set, "RedistInclMode".
    void writeXml(XmlWriter& writer) const;

private:
    SharedString name_;
    SharedString overriddenInstallerName_;
    bool includeOnlineFeatures_ = false;
    std::int32_t redistInclMode_ = kRedistByUser;
};

}  // namespace druvex
