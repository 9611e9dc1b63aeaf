// Feature: the selectable unit of a program. A content holder with a tree of
// sub-features, how the feature tree shows and preselects it, and the records
// its installation creates (shortcuts, environment variables, file
// associations, registry entries, feature scripts, web-server settings).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "data/feature_records.h"
#include "data/install_item.h"
#include "data/registry_model.h"
#include "data/web_server_records.h"
#include "text/name_table.h"

namespace druvex {

// How the feature tree shows a feature.
enum class FeatureMode : std::int32_t {
    Expanded = 0,
    Collapsed = 1,
    NotVisible = 2,
};

// Whether a feature starts selected.
enum class FeaturePreselection : std::int32_t {
    NotPreselected = 0,
    Default = 1,
    Required = 2,
};

// The names of both, compared exactly.
extern const NameTable<FeatureMode> kFeatureModeNames;
extern const NameTable<FeaturePreselection> kFeaturePreselectionNames;

// "Expanded", "Collapsed", "Not visible"; any other text
// Expanded. Printing: 1 "Collapsed", 2 "Not visible", anything else "Expanded".
FeatureMode featureModeFromText(std::u16string_view text);
SharedString featureModeText(FeatureMode mode);
// "Not preselected", "Default" (also "Unattended only"), "Required"; any
// other text NotPreselected. Printing: 1 "Default", 2
// "Required", anything else "Not preselected".
FeaturePreselection featurePreselectionFromText(std::u16string_view text);
SharedString featurePreselectionText(FeaturePreselection presel);

// Feature update states, set by the live update.
constexpr std::int32_t kFeatureUnchanged = 0;
constexpr std::int32_t kFeatureReplacedByUpdate = 1;
constexpr std::int32_t kFeatureAddedByUpdate = 2;

class Feature;
using FeaturePtr = std::shared_ptr<Feature>;

// Orders features by Name without regard to case, and a feature against a
// name: the index of a feature's sub-features by name.
struct FeatureNameOrder {
    using is_transparent = void;
    bool operator()(const Feature* a, const Feature* b) const;
    bool operator()(const Feature* a, std::u16string_view b) const;
    bool operator()(std::u16string_view a, const Feature* b) const;
};

class Feature final : public ContentHolder {
public:
    Feature();
    ~Feature() override;

    int storageKind() const override { return kStorageFeature; }
    // Fails for an empty name and for one a sibling has (ignoring case); a
    // name equal to the current one ignoring case succeeds and changes nothing.
    bool setName(const SharedString& name) override;
    // The full path: the names of the named ancestors, outermost first, and
    // this one's, joined with '/'.
    SharedString getName() const override;
    // Registry content, environment variables, shortcuts, file associations or
    // feature scripts, or what ContentHolder::hasContent finds.
    bool hasContent() const override;

    // The parent; null for a root.
    Feature* parent() const { return parent_; }
    bool hasNamedParent() const;

    // Sub-features, in order of insertion.
    int subFeatureCount() const { return static_cast<int>(subFeatures_.size()); }
    // Throws std::out_of_range outside the list.
    const FeaturePtr& subFeatureAt(int index) const;
    // Refuses null, an empty Name, a Name a sibling has (ignoring case), and
    // this feature or one of its ancestors; else appends and becomes its parent.
    bool addSubFeature(FeaturePtr feature);
    // Refuses a feature whose parent has no Name; true when it was removed.
    bool removeSubFeature(const Feature* feature);
    // The first sub-feature of that name ignoring case; null when none.
    FeaturePtr findSubFeatureByName(std::u16string_view name) const;
    // The first sub-feature with exactly that LocaleId; null when none.
    FeaturePtr findSubFeatureByLocale(std::uint16_t localeId) const;
    // The first sub-feature with that LocaleId, else the first of the best
    // languageMatchScore; null only without sub-features.
    FeaturePtr findSubFeatureForLanguage(std::uint16_t localeId) const;
    // How well a candidate language serves a wanted one: different primary
    // languages (low 10 bits) give 3 for 1033, 2 for neutral 0, else 1; the same
    // give 5 without sublanguage (below 1024), 6 for sublanguage 1, else 4.
    static int languageMatchScore(std::uint16_t wanted, std::uint16_t candidate);

    // Component features: distinct names, kept sorted (ordinal).
    int componentFeatureCount() const { return static_cast<int>(componentFeatures_.size()); }
    const std::set<SharedString>& componentFeatures() const { return componentFeatures_; }
    // False for an empty name, true when the name was present already, and
    // false again after inserting it: the answer says "already there".
    bool addComponentFeature(const SharedString& name);
    void clearComponentFeatures() { componentFeatures_.clear(); }

    int shortcutCount() const { return static_cast<int>(shortcuts_.size()); }
    const std::shared_ptr<Shortcut>& shortcutAt(int index) const;
    // Refuses null and a shortcut without Name.
    bool addShortcut(std::shared_ptr<Shortcut> shortcut);
    void clearShortcuts() { shortcuts_.clear(); }

    int environmentVarCount() const { return static_cast<int>(environmentVars_.size()); }
    const std::shared_ptr<EnvironmentVar>& environmentVarAt(int index) const;
    bool addEnvironmentVar(std::shared_ptr<EnvironmentVar> variable);
    void clearEnvironmentVars() { environmentVars_.clear(); }

    int fileAssociationCount() const { return static_cast<int>(fileAssociations_.size()); }
    const std::shared_ptr<FileAssociation>& fileAssociationAt(int index) const;
    bool addFileAssociation(std::shared_ptr<FileAssociation> association);
    void clearFileAssociations() { fileAssociations_.clear(); }

    int featureScriptCount() const { return static_cast<int>(featureScripts_.size()); }
    const std::shared_ptr<FeatureScript>& featureScriptAt(int index) const;
    bool addFeatureScript(std::shared_ptr<FeatureScript> script);
    void clearFeatureScripts() { featureScripts_.clear(); }

    regmodel::RegistryRootSet& getRegistry() { return *registry_; }
    const regmodel::RegistryRootSet& getRegistry() const { return *registry_; }
    // Any root holds content.
    bool hasRegistry() const { return registry_->hasContent(); }

    InternetInformationServices& webServer() { return webServer_; }
    const InternetInformationServices& webServer() const { return webServer_; }

    // A file anywhere in the content tree whose Flags have bit 3 (value 8).
    bool hasFolderFiles() const;

    // A new feature with this one's content holder part, presentation and
    // selection state, component features, deep copies of the records, the
    // registry and the web-server settings; with `recursive`, clones of the
    // sub-features too (without recursion, however deep the tree). The update
    // state, the installed-check flag, TotalFiles and EqReqSpace stay 0.
    static FeaturePtr clone(const Feature& source, bool recursive);
    // Takes over a bulletin's description: Prompt, Desc (unless the source's
    // is empty), Presel, Mode, Skippable, install-as-administrator, Platforms,
    // LocaleId, ReqSpace, compressed-size, url, Digest, Timestamp, Version and
    // the component features.
    void assignFrom(const Feature& source);

    const SharedString& getDesc() const { return desc_; }
    void setDesc(const SharedString& desc) { desc_ = desc; }
    FeaturePreselection getPresel() const { return presel_; }
    void setPresel(FeaturePreselection presel) { presel_ = presel; }
    FeatureMode getMode() const { return mode_; }
    void setMode(FeatureMode mode) { mode_ = mode; }
    bool getInstallAsAdmin() const { return installAsAdmin_; }
    void setInstallAsAdmin(bool admin) { installAsAdmin_ = admin; }
    std::uint16_t getLocaleId() const { return localeId_; }
    void setLocaleId(std::uint16_t id) { localeId_ = id; }
    std::int32_t getUpdateState() const { return updateState_; }
    void setUpdateState(std::int32_t state) { updateState_ = state; }
    bool getInstalledCheck() const { return installedCheck_; }
    void setInstalledCheck(bool found) { installedCheck_ = found; }
    bool getFailed() const { return failed_; }
    void setFailed(bool failed) { failed_ = failed; }
    bool getSkippable() const { return skippable_; }
    void setSkippable(bool skippable) { skippable_ = skippable; }
    bool getStoreFileTimes() const { return storeFileTimes_; }
    void setStoreFileTimes(bool store) { storeFileTimes_ = store; }
    std::int32_t getTotalFiles() const { return totalFiles_; }
    void setTotalFiles(std::int32_t count) { totalFiles_ = count; }
    std::int64_t getEqReqSpace() const { return eqReqSpace_; }
    void setEqReqSpace(std::int64_t bytes) { eqReqSpace_ = bytes; }

    FeaturePtr selfPtr() { return std::static_pointer_cast<Feature>(shared_from_this()); }

private:
    // A copy of everything but the sub-features.
    static FeaturePtr copyOf(const Feature& source);
    // Takes the sub-features out, their parent pointers cleared.
    std::vector<FeaturePtr> detachSubFeatures();

    Feature* parent_ = nullptr;
    std::vector<FeaturePtr> subFeatures_;
    // The same features by name: a document of many siblings looks each new
    // name up among all the others.
    std::set<Feature*, FeatureNameOrder> subFeatureNames_;
    SharedString desc_;
    FeaturePreselection presel_ = FeaturePreselection::NotPreselected;
    FeatureMode mode_ = FeatureMode::Collapsed;
    bool installAsAdmin_ = false;
    std::uint16_t localeId_ = 0;
    std::int32_t updateState_ = kFeatureUnchanged;
    bool installedCheck_ = false;
    bool failed_ = false;
    bool skippable_ = false;
    bool storeFileTimes_ = true;
    std::set<SharedString> componentFeatures_;
    std::vector<std::shared_ptr<Shortcut>> shortcuts_;
    std::vector<std::shared_ptr<EnvironmentVar>> environmentVars_;
    std::vector<std::shared_ptr<FileAssociation>> fileAssociations_;
    std::shared_ptr<regmodel::RegistryRootSet> registry_;
    std::vector<std::shared_ptr<FeatureScript>> featureScripts_;
    InternetInformationServices webServer_;
    std::int32_t totalFiles_ = 0;
    std::int64_t eqReqSpace_ = 0;
};

// Whether a package brings the feature: it has content of its own, or
// declares a size or a packed size. A feature that only groups others has
// nothing to unpack and needs no package, neither to install nor to repair.
bool expectsPackage(const Feature& feature);

// A new feature behind a shared pointer.
inline FeaturePtr makeFeaturePtr()
{
    return makeItemPtr<Feature>();
}

}  // namespace druvex
