#include "data/feature.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>
#include <utility>

#include "text/char_class.h"
#include "data/content_tree.h"

namespace druvex {
namespace {

constexpr NamedValue<FeatureMode> kFeatureModes[] = {
    {FeatureMode::Expanded, u"Expanded"},
    {FeatureMode::Collapsed, u"Collapsed"},
    {FeatureMode::NotVisible, u"Not visible"},
};

// "Unattended only" is an older name of Default that still reads.
constexpr NamedValue<FeaturePreselection> kFeaturePreselections[] = {
    {FeaturePreselection::NotPreselected, u"Not preselected"},
    {FeaturePreselection::Default, u"Default"},
    {FeaturePreselection::Required, u"Required"},
    {FeaturePreselection::Default, u"Unattended only"},
};

template <class T>
const T& itemAt(const std::vector<T>& items, int index, const char* what)
{
    if (index < 0 || static_cast<std::size_t>(index) >= items.size())
        throw std::out_of_range(what);
    return items[static_cast<std::size_t>(index)];
}

bool hasFlaggedFile(const ContentFolder& folder)
{
    for (const auto& child : folder.children()) {
        if (child->isFile()) {
            if (child->getFlags() & kContentFlagFolderFile)
                return true;
            continue;
        }
        if (hasFlaggedFile(static_cast<const ContentFolder&>(*child)))
            return true;
    }
    return false;
}

// The names compared unit by unit through the one case mapping.
bool nameBefore(std::u16string_view a, std::u16string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const char16_t left = toLowerChar(a[i]);
        const char16_t right = toLowerChar(b[i]);
        if (left != right)
            return left < right;
    }
    return a.size() < b.size();
}

}  // namespace

const NameTable<FeatureMode> kFeatureModeNames{kFeatureModes, NameCase::kExact};
const NameTable<FeaturePreselection> kFeaturePreselectionNames{kFeaturePreselections, NameCase::kExact};

bool FeatureNameOrder::operator()(const Feature* a, const Feature* b) const
{
    return nameBefore(a->getNameRef().view(), b->getNameRef().view());
}

bool FeatureNameOrder::operator()(const Feature* a, std::u16string_view b) const
{
    return nameBefore(a->getNameRef().view(), b);
}

bool FeatureNameOrder::operator()(std::u16string_view a, const Feature* b) const
{
    return nameBefore(a, b->getNameRef().view());
}

FeatureMode featureModeFromText(std::u16string_view text)
{
    return kFeatureModeNames.valueOf(text, FeatureMode::Expanded);
}

SharedString featureModeText(FeatureMode mode)
{
    return SharedString(kFeatureModeNames.nameOf(mode, u"Expanded"));
}

FeaturePreselection featurePreselectionFromText(std::u16string_view text)
{
    return kFeaturePreselectionNames.valueOf(text, FeaturePreselection::NotPreselected);
}

SharedString featurePreselectionText(FeaturePreselection presel)
{
    return SharedString(kFeaturePreselectionNames.nameOf(presel, u"Not preselected"));
}

Feature::Feature() : registry_(std::make_shared<regmodel::RegistryRootSet>()) {}

Feature::~Feature()
{
    // A deep tree is taken apart here level by level rather than by each
    // feature's destructor calling its sub-features': a tree built in code has
    // no depth limit. Sub-features held elsewhere keep their own subtrees and
    // never walk up into a freed parent.
    std::vector<FeaturePtr> pending = detachSubFeatures();
    while (!pending.empty()) {
        FeaturePtr feature = std::move(pending.back());
        pending.pop_back();
        if (feature.use_count() != 1)
            continue;
        for (FeaturePtr& sub : feature->detachSubFeatures())
            pending.push_back(std::move(sub));
    }
}

std::vector<FeaturePtr> Feature::detachSubFeatures()
{
    for (const FeaturePtr& sub : subFeatures_)
        sub->parent_ = nullptr;
    subFeatureNames_.clear();
    return std::exchange(subFeatures_, {});
}

bool Feature::setName(const SharedString& name)
{
    if (name.isEmpty())
        return false;
    if (equalsNoCase(name.view(), getNameRef().view()))
        return true;
    if (!parent_)
        return ContentHolder::setName(name);
    if (parent_->findSubFeatureByName(name.view()))
        return false;
    // The parent's index is ordered by name: out while the name changes.
    parent_->subFeatureNames_.erase(this);
    const bool named = ContentHolder::setName(name);
    parent_->subFeatureNames_.insert(this);
    return named;
}

SharedString Feature::getName() const
{
    SharedString path = getNameRef();
    for (const Feature* ancestor = parent_; ancestor; ancestor = ancestor->parent_) {
        if (!ancestor->getNameRef().isEmpty())
            path = ancestor->getNameRef() + u"/" + path;
    }
    return path;
}

bool Feature::hasContent() const
{
    return hasRegistry() || !environmentVars_.empty() || !shortcuts_.empty() || !fileAssociations_.empty() ||
           !featureScripts_.empty() || ContentHolder::hasContent();
}

bool expectsPackage(const Feature& feature)
{
    return feature.hasContent() || feature.getReqSpace() > 0 || feature.getCompressedSize() != 0;
}

bool Feature::hasNamedParent() const
{
    return parent_ && !parent_->getNameRef().isEmpty();
}

const FeaturePtr& Feature::subFeatureAt(int index) const
{
    return itemAt(subFeatures_, index, "Feature::subFeatureAt: index outside the list");
}

bool Feature::addSubFeature(FeaturePtr feature)
{
    if (!feature || feature->getNameRef().isEmpty() || feature.get() == this)
        return false;
    if (subFeatureNames_.contains(feature->getNameRef().view()))
        return false;
    // Only a feature with sub-features can be one of this one's ancestors:
    // the walk up is left out for the new leaves a reader adds.
    if (!feature->subFeatures_.empty()) {
        for (const Feature* ancestor = parent_; ancestor; ancestor = ancestor->parent_) {
            if (ancestor == feature.get())
                return false;
        }
    }
    feature->parent_ = this;
    subFeatureNames_.insert(feature.get());
    subFeatures_.push_back(std::move(feature));
    return true;
}

bool Feature::removeSubFeature(const Feature* feature)
{
    if (!feature || !feature->hasNamedParent())
        return false;
    // From the end: features are mostly removed from there.
    const auto found = std::find_if(subFeatures_.rbegin(), subFeatures_.rend(),
                                    [feature](const FeaturePtr& sub) { return sub.get() == feature; });
    if (found == subFeatures_.rend())
        return false;
    (*found)->parent_ = nullptr;
    subFeatureNames_.erase(found->get());
    subFeatures_.erase(std::next(found).base());
    return true;
}

FeaturePtr Feature::findSubFeatureByName(std::u16string_view name) const
{
    const auto found = subFeatureNames_.find(name);
    return found == subFeatureNames_.end() ? nullptr : (*found)->selfPtr();
}

FeaturePtr Feature::findSubFeatureByLocale(std::uint16_t localeId) const
{
    for (const FeaturePtr& sub : subFeatures_) {
        if (sub->localeId_ == localeId)
            return sub;
    }
    return nullptr;
}

FeaturePtr Feature::findSubFeatureForLanguage(std::uint16_t localeId) const
{
    if (FeaturePtr exact = findSubFeatureByLocale(localeId))
        return exact;
    FeaturePtr best;
    int bestScore = 0;
    for (const FeaturePtr& sub : subFeatures_) {
        const int score = languageMatchScore(localeId, sub->localeId_);
        if (score > bestScore) {
            best = sub;
            bestScore = score;
        }
    }
    return best;
}

int Feature::languageMatchScore(std::uint16_t wanted, std::uint16_t candidate)
{
    constexpr std::uint16_t kPrimaryMask = 0x3FF;
    if ((wanted & kPrimaryMask) != (candidate & kPrimaryMask)) {
        if (candidate == 1033)
            return 3;
        return candidate == 0 ? 2 : 1;
    }
    if (candidate < 1024)
        return 5;
    return (candidate >> 10) == 1 ? 6 : 4;
}

bool Feature::addComponentFeature(const SharedString& name)
{
    if (name.isEmpty())
        return false;
    return !componentFeatures_.insert(name).second;
}

const std::shared_ptr<Shortcut>& Feature::shortcutAt(int index) const
{
    return itemAt(shortcuts_, index, "Feature::shortcutAt: index outside the list");
}

bool Feature::addShortcut(std::shared_ptr<Shortcut> shortcut)
{
    if (!shortcut || shortcut->name.isEmpty())
        return false;
    shortcuts_.push_back(std::move(shortcut));
    return true;
}

const std::shared_ptr<EnvironmentVar>& Feature::environmentVarAt(int index) const
{
    return itemAt(environmentVars_, index, "Feature::environmentVarAt: index outside the list");
}

bool Feature::addEnvironmentVar(std::shared_ptr<EnvironmentVar> variable)
{
    if (!variable)
        return false;
    environmentVars_.push_back(std::move(variable));
    return true;
}

const std::shared_ptr<FileAssociation>& Feature::fileAssociationAt(int index) const
{
    return itemAt(fileAssociations_, index, "Feature::fileAssociationAt: index outside the list");
}

bool Feature::addFileAssociation(std::shared_ptr<FileAssociation> association)
{
    if (!association)
        return false;
    fileAssociations_.push_back(std::move(association));
    return true;
}

const std::shared_ptr<FeatureScript>& Feature::featureScriptAt(int index) const
{
    return itemAt(featureScripts_, index, "Feature::featureScriptAt: index outside the list");
}

bool Feature::addFeatureScript(std::shared_ptr<FeatureScript> script)
{
    if (!script)
        return false;
    featureScripts_.push_back(std::move(script));
    return true;
}

bool Feature::hasFolderFiles() const
{
    return hasFlaggedFile(*contentFolder());
}

FeaturePtr Feature::clone(const Feature& source, bool recursive)
{
    FeaturePtr copy = copyOf(source);
    if (!recursive)
        return copy;
    // The features whose sub-features are still to be copied, with their
    // copies: a list rather than recursion, however deep the tree.
    std::vector<std::pair<const Feature*, Feature*>> pending{{&source, copy.get()}};
    while (!pending.empty()) {
        const auto [from, to] = pending.back();
        pending.pop_back();
        for (const FeaturePtr& sub : from->subFeatures_) {
            FeaturePtr subCopy = copyOf(*sub);
            pending.emplace_back(sub.get(), subCopy.get());
            to->addSubFeature(std::move(subCopy));
        }
    }
    return copy;
}

FeaturePtr Feature::copyOf(const Feature& source)
{
    FeaturePtr copy = makeFeaturePtr();
    copy->ContentHolder::assign(source);
    copy->desc_ = source.desc_;
    copy->presel_ = source.presel_;
    copy->mode_ = source.mode_;
    copy->skippable_ = source.skippable_;
    copy->storeFileTimes_ = source.storeFileTimes_;
    copy->failed_ = source.failed_;
    copy->installAsAdmin_ = source.installAsAdmin_;
    copy->localeId_ = source.localeId_;
    copy->componentFeatures_ = source.componentFeatures_;
    for (const auto& shortcut : source.shortcuts_)
        copy->shortcuts_.push_back(shortcut->clone());
    for (const auto& variable : source.environmentVars_)
        copy->environmentVars_.push_back(variable->clone());
    for (const auto& association : source.fileAssociations_)
        copy->fileAssociations_.push_back(association->clone());
    for (const auto& script : source.featureScripts_)
        copy->featureScripts_.push_back(script->clone());
    copy->registry_->assign(*source.registry_);
    copy->webServer_ = source.webServer_;
    return copy;
}

void Feature::assignFrom(const Feature& source)
{
    if (&source == this)
        return;
    setPrompt(source.getPrompt());
    if (!source.desc_.isEmpty())
        desc_ = source.desc_;
    presel_ = source.presel_;
    mode_ = source.mode_;
    skippable_ = source.skippable_;
    installAsAdmin_ = source.installAsAdmin_;
    setPlatforms(source.getPlatforms());
    localeId_ = source.localeId_;
    setReqSpace(source.getReqSpace());
    setCompressedSize(source.getCompressedSize());
    setUrl(source.getUrl());
    setDigest(source.getDigest());
    setTimestamp(source.getTimestamp());
    setVersion(source.getVersion());
    componentFeatures_ = source.componentFeatures_;
}

}  // namespace druvex
