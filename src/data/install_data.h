// InstallData: the installer data in memory ("data.xml"): the tree of
// features under "Feature" and the data packages under "ExtraData", the
// installer settings and variables, language templates, custom actions and
// custom pages with the sequences that hook them into a run, the supported
// platforms with their own settings, the build configurations and the banners.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "app_base/target_platform.h"
#include "text/name_table.h"
#include "text/shared_string.h"
#include "data/custom_action.h"
#include "data/custom_page.h"
#include "data/feature.h"
#include "data/installer_configuration.h"
#include "data/installer_settings.h"
#include "data/installer_variable.h"

namespace druvex {

// How a language template selects the languages to install.
constexpr std::int32_t kLanguageSelectedOnly = 0;   // "SelLanguageOnly"
constexpr std::int32_t kLanguageUserSelectOthers = 1; // "UserSelectOthers"
constexpr std::int32_t kLanguageInstallAll = 2;     // "InstallAll"

// The names ignoring case; any other name 0. Printing any other value gives
// empty text.
extern const NameTable<std::int32_t> kLanguageInstallModeNames;
std::int32_t languageInstallModeFromText(std::u16string_view text);
SharedString languageInstallModeText(std::int32_t mode);

// The sub-features of a feature under "Feature" that are its languages, and
// where their files go.
struct LanguageTemplate {
    SharedString feature;
    SharedString pattern = u"<TARGETDIR>";
    std::int32_t inigen = 0;  // 0 "None", 1 "LikeDruvex"
    bool ismain = false;
    std::int32_t installMode = kLanguageSelectedOnly;
    SharedString instscript;
    SharedString uninstscript;
};

using LanguageTemplatePtr = std::shared_ptr<LanguageTemplate>;

// A platform the program supports, with settings that override the data's
// and the requirements the platform places on a target.
class SupportedPlatform {
public:
    // `parentSettings`: the data's settings, which this platform's fall back on.
    SupportedPlatform(TargetPlatform platform, std::shared_ptr<const InstallerSettings> parentSettings);

    TargetPlatform platform() const { return platform_; }
    InstallerSettings& settings() { return *settings_; }
    const InstallerSettings& settings() const { return *settings_; }
    // Ordered by name.
    const std::map<SharedString, SharedString>& requirements() const { return requirements_; }
    // An empty name is ignored; a name stored again replaces its parameter.
    void setRequirement(const SharedString& name, const SharedString& parameter);
    void clearRequirements() { requirements_.clear(); }

private:
    TargetPlatform platform_;
    std::shared_ptr<InstallerSettings> settings_;
    std::map<SharedString, SharedString> requirements_;
};

using SupportedPlatformPtr = std::shared_ptr<SupportedPlatform>;

// Banner screen variants: 0 "PPC", 1 "QVGA", 2 "IC", 3 "PPC_Wide".
constexpr int kBannerVariantCount = 4;

// "_ppcV", "_qvga", "_pc", "_ppcH"; empty for any other variant.
SharedString bannerVariantSuffix(int variant);
// "PPC", "QVGA", "IC", "PPC_Wide", compared exactly; empty for any other variant.
extern const NameTable<int> kBannerScreenNames;
SharedString bannerScreenName(int variant);

// One welcome banner with an image per screen variant.
class BannerElement {
public:
    bool screenAvailable(int variant) const;
    void setScreenAvailable(int variant, bool available);
    // True for a bitmap image, false for a JPEG image.
    bool screenIsBitmap(int variant) const;
    void setScreenBitmap(int variant, bool bitmap);
    // Empty when the variant is not available; else BaseName, the variant's
    // suffix and, with `withExtension`, ".bmp" or ".jpeg".
    SharedString fileName(int variant, bool withExtension) const;

    SharedString origPath;
    SharedString baseName;
    SharedString link;

private:
    bool available_[kBannerVariantCount] = {};
    std::int32_t bitmap_[kBannerVariantCount] = {};
};

using BannerElementPtr = std::shared_ptr<BannerElement>;

class InstallData : public VariableSet {
public:
    // The root with "Feature" and "ExtraData" (both not visible), and "EULA"
    // and "Redist" (collapsed) under "ExtraData"; every content tree empty.
    InstallData();
    InstallData(const InstallData&) = delete;
    InstallData& operator=(const InstallData&) = delete;
    ~InstallData() override;

    // Takes over another data's file path, banner interval, platform
    // settings and requirements, settings and (copies of the) variables, as a
    // merge of that data over this one does.
    virtual void assignSettings(const InstallData& other);
    // Whether a written document carries "SupportedPlatforms", "Banners" and
    // "BuildConfigurations".
    virtual bool isFullDocument() const { return true; }

    InstallerSettings& settings() { return *settings_; }
    const InstallerSettings& settings() const { return *settings_; }
    const std::shared_ptr<InstallerSettings>& settingsPtr() const { return settings_; }

    // The document file the data belongs to; the writer makes include paths
    // relative to its folder.
    const SharedString& filePath() const { return filePath_; }
    void setFilePath(const SharedString& path) { filePath_ = path; }

    // Merged installer data.
    const std::vector<std::shared_ptr<InstallData>>& includes() const { return includes_; }
    void addInclude(std::shared_ptr<InstallData> data);

    // The unnamed root and its two fixed children; "EULA" under "ExtraData".
    const FeaturePtr& root() const { return root_; }
    FeaturePtr featureRoot() const;
    FeaturePtr extraDataRoot() const;
    FeaturePtr eulaItem() const;
    // '/'-separated names, each looked up ignoring case among the children of
    // the previous one, starting at the root; null for an empty path, an
    // empty part or a missing name.
    FeaturePtr findItemByPath(std::u16string_view path) const;

    int languageTemplateCount() const { return static_cast<int>(languageTemplates_.size()); }
    // The list accessors below throw std::out_of_range outside their lists.
    const LanguageTemplatePtr& languageTemplateAt(int index) const;
    void addLanguageTemplate(LanguageTemplatePtr languageTemplate);
    // This data's templates, then those of each include, skipping a template
    // whose feature (ignoring case) was taken before.
    void collectLanguageTemplates(std::vector<LanguageTemplatePtr>& out) const;
    // Of the collected templates: the only one, else the first marked main,
    // else the first; null when there are none.
    LanguageTemplatePtr mainLanguageTemplate() const;
    // The item "feature/<feature of the main template>"; null without one.
    FeaturePtr mainLanguageFeature() const;

    int customActionCount() const { return static_cast<int>(customActions_.size()); }
    const CustomActionPtr& customActionAt(int index) const;
    void addCustomAction(CustomActionPtr action);
    // The first of that Name ignoring case; null when none.
    CustomActionPtr findCustomAction(std::u16string_view name) const;

    int customPageCount() const { return static_cast<int>(customPages_.size()); }
    const CustomPagePtr& customPageAt(int index) const;
    void addCustomPage(CustomPagePtr page);
    CustomPagePtr findCustomPage(std::u16string_view name) const;

    // "[anchor]name,name;..." entries; see customActionsAfter.
    const SharedString& customActionsSequence() const { return customActionsSequence_; }
    void setCustomActionsSequence(const SharedString& text) { customActionsSequence_ = text; }
    const SharedString& customPagesSequence() const { return customPagesSequence_; }
    void setCustomPagesSequence(const SharedString& text) { customPagesSequence_ = text; }
    // The names the action sequence lists for the anchor (a hook name); true
    // when there are any.
    bool customActionsAfter(std::u16string_view anchor, std::vector<SharedString>& out) const;
    // The names the page sequence lists for the anchor (a page).
    bool customPagesAfter(std::u16string_view anchor, std::vector<SharedString>& out) const;
    // Every name of every entry of the action sequence.
    void allSequencedCustomActions(std::vector<SharedString>& out) const;

    int platformCount() const { return static_cast<int>(supportedPlatforms_.size()); }
    const SupportedPlatformPtr& platformAt(int index) const;
    // -1 when the platform has no entry.
    int findPlatformIndex(TargetPlatform platform) const;
    // The platform's entry, made (without requirements, its settings falling
    // back on this data's) and appended when there is none.
    SupportedPlatformPtr platformEntry(TargetPlatform platform);

    int buildConfigurationCount() const { return static_cast<int>(buildConfigurations_.size()); }
    const std::shared_ptr<BuildConfiguration>& buildConfigurationAt(int index) const;
    void addBuildConfiguration(std::shared_ptr<BuildConfiguration> configuration);

    int bannerCount() const { return static_cast<int>(banners_.size()); }
    const BannerElementPtr& bannerAt(int index) const;
    void addBanner(BannerElementPtr banner);
    // Milliseconds between banners.
    std::int32_t bannerInterval() const { return bannerInterval_; }
    void setBannerInterval(std::int32_t milliseconds) { bannerInterval_ = milliseconds; }

private:
    std::shared_ptr<InstallerSettings> settings_;
    SharedString filePath_;
    std::vector<std::shared_ptr<InstallData>> includes_;
    FeaturePtr root_;
    std::vector<LanguageTemplatePtr> languageTemplates_;
    std::vector<CustomActionPtr> customActions_;
    std::vector<CustomPagePtr> customPages_;
    SharedString customActionsSequence_;
    SharedString customPagesSequence_;
    std::vector<SupportedPlatformPtr> supportedPlatforms_;
    std::vector<std::shared_ptr<BuildConfiguration>> buildConfigurations_;
    std::vector<BannerElementPtr> banners_;
    std::int32_t bannerInterval_ = 15000;
};

// The names a sequence text lists for an anchor: the first "[anchor]" entry
// (an occurrence of the anchor not preceded by '[' ends the search; one
// followed by more than ']' is passed over), its text up to the next ';'
// split at ','. Pieces are kept as they stand; an entry with nothing between
// ']' and ';' lists no name. Exposed for the controller's page sequence.
std::vector<SharedString> sequenceNamesAfter(std::u16string_view sequence, std::u16string_view anchor);
// The names of every entry, in order.
std::vector<SharedString> allSequenceNames(std::u16string_view sequence);

// Paths of language templates and content: '/' and '\' both separate.
// Empty path: root "<TARGETDIR>", rest empty; else the text before the first
// separator and the text after it (without a separator, the whole path).
void splitRoot(std::u16string_view path, SharedString& root, SharedString& rest);
// splitRoot of the pattern, then the rest cut at its last separator into
// folder and file (without one, no folder and the whole rest as the file).
void splitTargetPath(std::u16string_view pattern, SharedString& root, SharedString& folder, SharedString& file);
// Replaces the holder's content with one chain of folders, one per
// non-empty part of `path` ('\' and '/' separate), and, when `fileName` is
// not empty, a file of that name in the last folder.
void setContentPath(ContentHolder& holder, std::u16string_view path, std::u16string_view fileName);

// Matches a file or folder name against a pattern: "%d" (or "%D") takes a
// run of digits as the language id, "%5" a culture name of the culture table
// (ignoring case) whose id becomes the language id, '*' skips to the next
// character equal to the pattern's next one; other characters compare
// lower-cased. '%' ending the pattern or before any other character does not
// match. Both texts must be used up exactly.
bool wildcardMatch(std::u16string_view name, std::u16string_view pattern, std::uint16_t& languageId);
// wildcardMatch of lower-cased copies, the language id dropped.
bool wildcardMatchStrings(std::u16string_view name, std::u16string_view pattern);

}  // namespace druvex
