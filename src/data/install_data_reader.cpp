// Reading "data.xml": one handler that keeps the open platform, variable,
// features, custom action, folders, page layout and banner, and hands the
// registry and feature record elements to their own readers.
#include <algorithm>
#include <array>
#include <exception>
#include <string>
#include <vector>

#include "text/char_class.h"
#include "app_base/theme_names.h"
#include "platform/input_limits.h"
#include "core/xml_reader.h"
#include "data/content_tree.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "data/item_xml.h"
#include "data/version_number.h"
#include "data/xml_values.h"

namespace druvex {
namespace {

// Deeper documents are refused, and so are features, folders, registry keys
// and layouts nested deeper than their own limits: whatever is read must be
// written and read again, and walking the trees must stay cheap.
constexpr int kMaxDocumentDepth = static_cast<int>(kMaxXmlDocumentDepth);

enum class Element {
    Other,
    // Read by no rule of its own (a list around other elements, or a
    // registry element for the registry reader), but no stranger either.
    Container,
    Application,
    AppPool,
    Author,
    AvailablePlatforms,
    BannerElement,
    Banners,
    BannerScreenElement,
    BuildConfiguration,
    ComponentFeature,
    CustomAction,
    CustomActionsSequence,
    CustomPage,
    CustomPagesSequence,
    Definition,
    EditBox,
    EnvironmentVar,
    Feature,
    FeatureScript,
    File,
    FileAction,
    FileAssociation,
    FileExtension,
    Folder,
    IncludeFile,
    InstallerVariable,
    LanguageTemplate,
    LinearLayout,
    LiveUpdate,
    PackageUuid,
    Platform,
    ProgramName,
    ProgramVersion,
    Redist,
    Redistributables,
    Requirement,
    Shortcut,
    TextView,
    Theme,
    UserFolder,
    Variable,
    Version,
    WebSite,
};

struct ElementName {
    std::string_view lowerName;
    Element element;
};

constexpr ElementName kElements[] = {
    {"application", Element::Application},
    {"applications", Element::Container},
    {"apppool", Element::AppPool},
    {"apppools", Element::Container},
    {"author", Element::Author},
    {"availableplatforms", Element::AvailablePlatforms},
    {"bannerelement", Element::BannerElement},
    {"banners", Element::Banners},
    {"bannerscreenelement", Element::BannerScreenElement},
    {"buildconfiguration", Element::BuildConfiguration},
    {"buildconfigurations", Element::Container},
    {"componentfeature", Element::ComponentFeature},
    {"componentfeatures", Element::Container},
    {"components", Element::Container},
    {"content", Element::Container},
    {"customaction", Element::CustomAction},
    {"customactions", Element::Container},
    {"customactionssequence", Element::CustomActionsSequence},
    {"custompage", Element::CustomPage},
    {"custompages", Element::Container},
    {"custompagessequence", Element::CustomPagesSequence},
    {"data", Element::Container},
    {"definition", Element::Definition},
    {"editbox", Element::EditBox},
    {"environmentvar", Element::EnvironmentVar},
    {"environmentvars", Element::Container},
    {"feature", Element::Feature},
    {"features", Element::Container},
    {"featurescript", Element::FeatureScript},
    {"featurescripts", Element::Container},
    {"file", Element::File},
    {"fileaction", Element::FileAction},
    {"fileactions", Element::Container},
    {"fileassociation", Element::FileAssociation},
    {"fileassociations", Element::Container},
    {"fileextension", Element::FileExtension},
    {"fileextensions", Element::Container},
    {"folder", Element::Folder},
    {"hkey_classes_root", Element::Container},
    {"hkey_current_user", Element::Container},
    {"hkey_local_machine", Element::Container},
    {"hkey_user_dep", Element::Container},
    {"includefile", Element::IncludeFile},
    {"includes", Element::Container},
    {"installervariable", Element::InstallerVariable},
    {"installervariables", Element::Container},
    {"internetinformationservices", Element::Container},
    {"key", Element::Container},
    {"languagetemplate", Element::LanguageTemplate},
    {"languagetemplates", Element::Container},
    {"linearlayout", Element::LinearLayout},
    {"liveupdate", Element::LiveUpdate},
    {"packageuuid", Element::PackageUuid},
    {"platform", Element::Platform},
    {"programname", Element::ProgramName},
    {"programversion", Element::ProgramVersion},
    {"redist", Element::Redist},
    {"redistributables", Element::Redistributables},
    {"registry", Element::Container},
    {"requirement", Element::Requirement},
    {"requirements", Element::Container},
    {"requiresredist", Element::Container},
    {"shortcut", Element::Shortcut},
    {"shortcuts", Element::Container},
    {"subfeatures", Element::Container},
    {"supportedplatforms", Element::Container},
    {"textview", Element::TextView},
    {"theme", Element::Theme},
    {"userfolder", Element::UserFolder},
    {"value", Element::Container},
    {"variable", Element::Variable},
    {"variables", Element::Container},
    {"version", Element::Version},
    {"website", Element::WebSite},
    {"websites", Element::Container},
};

constexpr std::size_t kLongestElementName = 27;

// The element names by length, so that a name is compared only with the few
// of its own length: a document of 50,000 files must not pay a search of the
// whole table per tag.
class ElementTable {
public:
    ElementTable()
    {
        for (const ElementName& entry : kElements)
            byLength_[entry.lowerName.size()].push_back(&entry);
    }

    Element find(const XmlNameSpan& name) const
    {
        const std::size_t size = name.size();
        if (size == 0 || size > kLongestElementName)
            return Element::Other;
        const char first = lowerAscii(name.begin[0]);
        for (const ElementName* entry : byLength_[size]) {
            if (entry->lowerName[0] == first && sameTailNoCase(name.begin, entry->lowerName))
                return entry->element;
        }
        return Element::Other;
    }

private:
    static char lowerAscii(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

    // From the second character on: the first one has already sorted out
    // most of the names of that length.
    static bool sameTailNoCase(const char* name, std::string_view lower)
    {
        for (std::size_t i = 1; i < lower.size(); ++i) {
            if (lowerAscii(name[i]) != lower[i])
                return false;
        }
        return true;
    }

    std::array<std::vector<const ElementName*>, kLongestElementName + 1> byLength_;
};

Element elementOf(const XmlNameSpan& name)
{
    static const ElementTable table;
    return table.find(name);
}

// Without the attribute the QVGA screen; an unknown name the wide one.
int bannerScreenFromText(const XmlAttribute* screen)
{
    if (!screen)
        return 1;
    return kBannerScreenNames.valueOf(screen->value.view(), 3);
}

void readLayoutFields(LayoutElement& element, const XmlAttributeList& attributes)
{
    element.id = xmlAttributeValue(attributes, "Id");
    element.marginTop = intAttribute(attributes, "MarginTop", 0);
    element.marginLeft = intAttribute(attributes, "MarginLeft", 0);
    element.marginBottom = intAttribute(attributes, "MarginBottom", 0);
    element.marginRight = intAttribute(attributes, "MarginRight", 0);
}

bool isYesNoCase(const XmlAttributeList& attributes, std::string_view name)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute && equalsNoCase(attribute->value.view(), u"yes");
}

// Absent: the default; present: exactly "Yes".
bool exactYes(const XmlAttributeList& attributes, std::string_view name, bool fallback)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute ? attribute->value == u"Yes" : fallback;
}

// At most this many unknown elements are named one by one; a document of
// many would otherwise fill the log.
constexpr std::size_t kMaxUnknownElementNotes = 100;

class InstallDataHandler final : public XmlHandler {
public:
    // `document`: the first byte of the input, from which lines are counted.
    InstallDataHandler(InstallData& data, std::vector<SharedString>* includes, const char* document)
        : data_(data), includes_(includes), lineCountedTo_(document), records_(nullptr, true)
    {
    }

    // One line per element of an unknown name (up to kMaxUnknownElementNotes,
    // then one line with the count of the others).
    std::vector<SharedString> unknownElementNotes() const
    {
        std::vector<SharedString> notes = unknownNotes_;
        if (unknownCount_ > notes.size())
            notes.push_back(SharedString().format(u"The installer data names %I64u more unknown elements: passed over",
                                                  static_cast<std::uint64_t>(unknownCount_ - notes.size())));
        return notes;
    }

    bool sawElement() const { return sawElement_; }
    // The element refused and, where known, its attribute at fault.
    const std::string& refusedElement() const { return refusedElement_; }
    const std::string& refusedAttribute() const { return refusedAttribute_; }

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        const Element element = elementOf(name);
        if (element == Element::Other)
            noteUnknown(name);
        open_.push_back(name);
        return start(element, name, attributes, text) || refuse(name);
    }

    bool endElement(const XmlNameSpan& name) override
    {
        if (!open_.empty())
            open_.pop_back();
        return end(name) || refuse(name);
    }

private:
    // A misspelt element would otherwise leave the installer without what it
    // describes (a shortcut, a check, the product's identity) and nobody told.
    void noteUnknown(const XmlNameSpan& name)
    {
        if (++unknownCount_ > kMaxUnknownElementNotes)
            return;
        const std::uint64_t line = lineOf(name.begin);
        if (open_.empty()) {
            unknownNotes_.push_back(SharedString().format(
                u"The installer data names an unknown element \"%s\" (line %I64u): passed over", fromUtf8(name.view()),
                line));
            return;
        }
        unknownNotes_.push_back(SharedString().format(
            u"The installer data names an unknown element \"%s\" (in \"%s\", line %I64u): passed over",
            fromUtf8(name.view()), fromUtf8(open_.back().view()), line));
    }

    // Lines are counted from where the last count stopped: elements come in
    // document order, so the whole document is counted at most once.
    std::uint64_t lineOf(const char* at)
    {
        if (at > lineCountedTo_) {
            line_ += static_cast<std::uint64_t>(std::count(lineCountedTo_, at, '\n'));
            lineCountedTo_ = at;
        }
        return line_;
    }

    bool refuse(const XmlNameSpan& name)
    {
        refusedElement_ = name.view();
        return false;
    }

    // False, naming the attribute at fault for the refusal.
    bool refuseAttribute(std::string_view attribute)
    {
        refusedAttribute_ = attribute;
        return false;
    }

    bool start(Element element, const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text)
    {
        sawElement_ = true;
        if (++depth_ > kMaxDocumentDepth)
            return false;
        switch (element) {
        case Element::Version: {
            int version = 0;
            return parseInt(text.c_str(), version) && version == 3;
        }
        case Element::Platform:
            return startPlatform(attributes);
        case Element::Requirement:
            if (!platform_)
                return false;
            platform_->setRequirement(xmlAttributeValue(attributes, "name"), xmlAttributeValue(attributes, "param"));
            return true;
        case Element::Variable:
            return readVariable(attributes);
        case Element::InstallerVariable:
            return startInstallerVariable(attributes);
        case Element::Definition:
            return variable_ && variable_->readDefinition(attributes, text);
        case Element::Feature:
            return startFeature(attributes);
        case Element::ComponentFeature:
            if (features_.empty())
                return false;
            features_.back()->addComponentFeature(text);
            return true;
        case Element::Redist:
            if (holders_.empty() || text.isEmpty())
                return false;
            holders_.back()->addRequiredRedist(text);
            return true;
        case Element::CustomAction:
            return startCustomAction(attributes);
        case Element::Folder:
            return startFolder(attributes);
        case Element::File:
            return readFile(attributes);
        case Element::Shortcut:
        case Element::EnvironmentVar:
        case Element::FeatureScript:
        case Element::FileAssociation:
        case Element::FileExtension:
        case Element::FileAction:
        case Element::AppPool:
        case Element::WebSite:
        case Element::Application:
            return records_.startElement(name, attributes);
        case Element::LanguageTemplate:
            return readLanguageTemplate(attributes);
        case Element::CustomActionsSequence:
            data_.setCustomActionsSequence(text);
            return true;
        case Element::CustomPagesSequence:
            data_.setCustomPagesSequence(text);
            return true;
        case Element::CustomPage:
            return startCustomPage(attributes);
        case Element::LinearLayout:
            return startLinearLayout(attributes);
        case Element::TextView:
        case Element::EditBox:
            return readLayoutLeaf(element, attributes);
        case Element::Banners:
            if (!attributes.empty() && xmlNameEquals(attributes.front().name, "Interval"))
                data_.setBannerInterval(intValue(attributes.front().value));
            return true;
        case Element::BannerElement:
            return startBanner(attributes);
        case Element::BannerScreenElement:
            return readBannerScreen(attributes);
        case Element::BuildConfiguration: {
            auto configuration = std::make_shared<BuildConfiguration>();
            if (!configuration->readXml(attributes))
                return false;
            data_.addBuildConfiguration(std::move(configuration));
            return true;
        }
        case Element::IncludeFile:
            if (includes_)
                includes_->push_back(text);
            return true;
        case Element::ProgramName:
            data_.settings().set(InstallerSettingKey::ProgramName, text);
            return true;
        case Element::ProgramVersion:
            if (VersionNumber().parse(text.view()))
                data_.settings().setProgramVersion(text);
            return true;
        case Element::Author:
            data_.settings().set(InstallerSettingKey::Author, text);
            return true;
        case Element::PackageUuid:
            readPackageUuid(text);
            return true;
        case Element::LiveUpdate:
            data_.settings().set(InstallerSettingKey::LiveUpdateUrl, text);
            return true;
        case Element::Theme:
            data_.settings().set(InstallerSettingKey::BkGndTheme, themeName(themeFromName(text.view())));
            return true;
        case Element::AvailablePlatforms:
            readAvailablePlatforms(text);
            return true;
        case Element::Redistributables:
            ++redistributables_;
            return true;
        case Element::UserFolder:
            return readUserFolder(attributes);
        case Element::Other:
        case Element::Container:
            break;
        }
        return registry_.startElement(name, attributes);
    }

    bool end(const XmlNameSpan& name)
    {
        --depth_;
        const Element element = elementOf(name);
        switch (element) {
        case Element::Platform:
            platform_.reset();
            return true;
        case Element::InstallerVariable:
            if (!variable_)
                return false;
            data_.append(std::move(variable_));
            variable_.reset();
            return true;
        case Element::Feature:
            return endFeature();
        case Element::CustomAction:
            if (!action_)
                return false;
            action_.reset();
            holders_.pop_back();
            return true;
        case Element::Folder:
            if (folders_.empty())
                return false;
            folders_.pop_back();
            return true;
        case Element::FileAssociation:
        case Element::FileExtension:
        case Element::WebSite:
            return records_.endElement(name);
        case Element::CustomPage:
            if (!page_)
                return false;
            data_.addCustomPage(std::move(page_));
            page_.reset();
            return true;
        case Element::LinearLayout:
            return endLinearLayout();
        case Element::BannerElement:
            if (!banner_)
                return false;
            data_.addBanner(std::move(banner_));
            banner_.reset();
            return true;
        case Element::Redistributables:
            if (redistributables_ == 0)
                return false;
            --redistributables_;
            return true;
        case Element::Other:
        case Element::Container:
            return registry_.endElement(name);
        default:
            return true;
        }
    }

    bool startPlatform(const XmlAttributeList& attributes)
    {
        if (attributes.size() != 1)
            return false;
        const TargetPlatform platform = parsePlatform(attributes.front().value.view());
        if (platform == kPlatformUnknown)
            return refuseAttribute(attributes.front().name.view());
        platform_ = data_.platformEntry(platform);
        return true;
    }

    bool readVariable(const XmlAttributeList& attributes)
    {
        if (attributes.size() != 2)
            return false;
        // A misspelt attribute would lose the setting when the data is
        // written back: its value as an empty one, its key altogether.
        const XmlAttribute* type = findXmlAttribute(attributes, "Type");
        if (!type)
            return refuseAttribute("Type");
        const XmlAttribute* value = findXmlAttribute(attributes, "Value");
        if (!value)
            return refuseAttribute("Value");
        const InstallerSettingKey key = installerSettingKeyFromName(type->value.view());
        if (key == InstallerSettingKey::Unknown)
            return true;
        InstallerSettings& settings = platform_ ? platform_->settings() : data_.settings();
        settings.set(key, value->value);
        return true;
    }

    bool startInstallerVariable(const XmlAttributeList& attributes)
    {
        if (variable_ || attributes.empty())
            return false;
        const SharedString name = xmlAttributeValue(attributes, "name");
        if (name.isEmpty())
            return refuseAttribute("name");
        variable_ = InstallerVariable::create(name);
        variable_->setPersistent(xmlAttributeValue(attributes, "persistent") == u"yes");
        return true;
    }

    bool startFeature(const XmlAttributeList& attributes)
    {
        if (attributes.size() < 6 || features_.size() >= kMaxFeatureNesting)
            return false;
        FeaturePtr feature = makeFeaturePtr();
        if (!readFeatureAttributes(*feature, attributes))
            return refuseAttribute("Name");
        FeaturePtr current;
        const FeaturePtr extraData = data_.extraDataRoot();
        if (features_.empty()) {
            // A top-level element stands for one of the two tree roots; its
            // attributes describe the fixed node and are not taken.
            current = feature->getNameRef() == u"ExtraData" ? extraData : data_.featureRoot();
            if (!current)
                return false;
            current->clearContent();
        } else if (features_.back() == extraData &&
                   (current = extraData->findSubFeatureByName(feature->getNameRef().view()))) {
            current->clearContent();
        } else {
            if (!features_.back()->addSubFeature(feature))
                return refuseAttribute("Name");
            current = std::move(feature);
        }
        enterFeature(std::move(current));
        return true;
    }

    void enterFeature(FeaturePtr feature)
    {
        registry_.setTarget(&feature->getRegistry());
        records_.setTarget(feature.get());
        holders_.push_back(feature);
        features_.push_back(std::move(feature));
    }

    bool endFeature()
    {
        if (features_.empty())
            return false;
        features_.pop_back();
        holders_.pop_back();
        Feature* current = features_.empty() ? nullptr : features_.back().get();
        registry_.setTarget(current ? &current->getRegistry() : nullptr);
        records_.setTarget(current);
        return true;
    }

    bool startCustomAction(const XmlAttributeList& attributes)
    {
        auto action = makeItemPtr<CustomAction>();
        action->clearContent();
        if (!readCustomActionAttributes(*action, attributes))
            return refuseAttribute("Name");
        // The actions of an old "Redistributables" list belong to no sequence.
        if (redistributables_ == 0)
            data_.addCustomAction(action);
        holders_.push_back(action);
        action_ = std::move(action);
        return true;
    }

    bool startFolder(const XmlAttributeList& attributes)
    {
        if (attributes.empty() || (features_.empty() && !action_) || folders_.size() >= kMaxFolderNesting)
            return false;
        SharedString name = xmlAttributeValue(attributes, "Name");
        if (folders_.empty() && !name.view().starts_with(u'<'))
            name = u"<" + name + u">";
        auto folder = std::make_shared<ContentFolder>(name);
        folder->setFlags(intAttribute(attributes, "Flags", 0));
        if (findXmlAttribute(attributes, "DynFileLk")) {
            DynamicFileLink& link = *folder->dynamicLink(true);
            link.sourceFolder = xmlAttributeValue(attributes, "DflSourceFolder");
            link.includeSubFolders = exactYes(attributes, "DflIncludeSubFolders", true);
            link.selfRegister = exactYes(attributes, "DflSelfRegister", false);
            link.includeAllFiles = exactYes(attributes, "DflIncludeAllFiles", true);
            link.filterInclude = xmlAttributeValue(attributes, "DflFilterInclude");
            link.filterExclude = xmlAttributeValue(attributes, "DflFilterExclude");
        }
        if (!folders_.empty())
            folders_.back()->addChild(folder);
        else if (action_)
            action_->addContent(folder);
        else
            features_.back()->addContent(folder);
        folders_.push_back(std::move(folder));
        return true;
    }

    // The most frequent element of large documents: one pass over the
    // attributes, the first of each name counting.
    bool readFile(const XmlAttributeList& attributes)
    {
        if (attributes.size() < 2 || folders_.empty())
            return false;
        const XmlAttribute* name = nullptr;
        const XmlAttribute* flags = nullptr;
        const XmlAttribute* origPath = nullptr;
        for (const XmlAttribute& attribute : attributes) {
            if (!name && xmlNameEquals(attribute.name, "Name"))
                name = &attribute;
            else if (!flags && xmlNameEquals(attribute.name, "Flags"))
                flags = &attribute;
            else if (!origPath && xmlNameEquals(attribute.name, "OrigPath"))
                origPath = &attribute;
        }
        auto file = std::make_shared<ContentFile>(name ? name->value : SharedString::emptyString());
        if (flags)
            file->setFlags(intValue(flags->value));
        if (origPath)
            file->setOrigPath(origPath->value);
        return folders_.back()->addChild(std::move(file)) || refuseAttribute("Name");
    }

    bool readLanguageTemplate(const XmlAttributeList& attributes)
    {
        if (attributes.size() < 4)
            return false;
        auto languageTemplate = std::make_shared<LanguageTemplate>();
        languageTemplate->feature = xmlAttributeValue(attributes, "feature");
        if (const XmlAttribute* pattern = findXmlAttribute(attributes, "pattern"))
            languageTemplate->pattern = pattern->value;
        if (const XmlAttribute* inigen = findXmlAttribute(attributes, "inigen"))
            languageTemplate->inigen = inigen->value == u"None" ? 0 : 1;
        languageTemplate->ismain = xmlAttributeValue(attributes, "ismain") == u"Yes";
        languageTemplate->installMode =
            languageInstallModeFromText(xmlAttributeValue(attributes, "installMode").view());
        if (xmlAttributeValue(attributes, "installall") == u"Yes")
            languageTemplate->installMode = kLanguageInstallAll;
        languageTemplate->instscript = xmlAttributeValue(attributes, "instscript");
        languageTemplate->uninstscript = xmlAttributeValue(attributes, "uninstscript");
        data_.addLanguageTemplate(std::move(languageTemplate));
        return true;
    }

    bool startCustomPage(const XmlAttributeList& attributes)
    {
        if (page_)
            return false;
        auto page = std::make_shared<CustomPage>();
        page->name = xmlAttributeValue(attributes, "Name");
        if (page->name.isEmpty())
            return refuseAttribute("Name");
        page->title = xmlAttributeValue(attributes, "Title");
        page->supportedModes = intAttribute(attributes, "SupportedModes", 255);
        const XmlAttribute* mask = findXmlAttribute(attributes, "TargetPlatMask");
        page->targetPlatMask = mask ? parsePlatformList(mask->value.view()) : kPlatformMaskAll;
        page->onActivationScript = xmlAttributeValue(attributes, "OnActivationScript");
        page->onBackScript = xmlAttributeValue(attributes, "OnBackScript");
        page->onNextScript = xmlAttributeValue(attributes, "OnNextScript");
        page_ = std::move(page);
        return true;
    }

    bool startLinearLayout(const XmlAttributeList& attributes)
    {
        if (!page_ || layouts_.size() >= kMaxFeatureNesting)
            return false;
        auto layout = std::make_shared<LinearLayout>();
        readLayoutFields(*layout, attributes);
        layout->isVertical = isYesNoCase(attributes, "IsVertical");
        layouts_.push_back(std::move(layout));
        return true;
    }

    bool readLayoutLeaf(Element kind, const XmlAttributeList& attributes)
    {
        if (layouts_.empty())
            return false;
        LayoutElementPtr leaf;
        if (kind == Element::TextView) {
            auto view = std::make_shared<TextView>();
            view->text = xmlAttributeValue(attributes, "Text");
            leaf = std::move(view);
        } else {
            auto box = std::make_shared<EditBox>();
            box->text = xmlAttributeValue(attributes, "Text");
            box->variable = xmlAttributeValue(attributes, "Variable");
            box->isAPath = isYesNoCase(attributes, "IsAPath");
            leaf = std::move(box);
        }
        readLayoutFields(*leaf, attributes);
        return layouts_.back()->addChild(std::move(leaf));
    }

    bool endLinearLayout()
    {
        if (layouts_.empty())
            return false;
        std::shared_ptr<LinearLayout> layout = std::move(layouts_.back());
        layouts_.pop_back();
        if (!layouts_.empty())
            return layouts_.back()->addChild(std::move(layout));
        if (!page_)
            return false;
        page_->layout = std::move(layout);
        return true;
    }

    bool startBanner(const XmlAttributeList& attributes)
    {
        if (attributes.size() < 2)
            return false;
        auto banner = std::make_shared<BannerElement>();
        banner->baseName = xmlAttributeValue(attributes, "BaseName");
        if (banner->baseName.isEmpty())
            return refuseAttribute("BaseName");
        banner->origPath = xmlAttributeValue(attributes, "OrigPath");
        banner->link = xmlAttributeValue(attributes, "Link");
        banner_ = std::move(banner);
        return true;
    }

    bool readBannerScreen(const XmlAttributeList& attributes)
    {
        if (!banner_ || attributes.size() < 3)
            return false;
        const int variant = bannerScreenFromText(findXmlAttribute(attributes, "Screen"));
        banner_->setScreenAvailable(variant, xmlAttributeValue(attributes, "Available") == u"Yes");
        const XmlAttribute* format = findXmlAttribute(attributes, "Format");
        banner_->setScreenBitmap(variant, format && format->value != u"Jpeg");
        return true;
    }

    void readPackageUuid(const SharedString& text)
    {
        // A text that is no UUID makes the setter throw; an old document with
        // a damaged UUID keeps the rest of its data instead.
        try {
            data_.settings().setProgramUuid(text);
        } catch (const std::exception&) {
        }
    }

    void readAvailablePlatforms(const SharedString& text)
    {
        std::int32_t mask = intValue(text);
        if (mask == -1)
            mask = (1 << kPlatformCount) - 1;
        for (TargetPlatform platform = 0; platform < kPlatformCount; ++platform) {
            if (mask & platformMask(platform))
                data_.platformEntry(platform);
        }
        data_.settings().setAvailablePlatforms(mask);
    }

    bool readUserFolder(const XmlAttributeList& attributes)
    {
        if (attributes.size() != 3)
            return false;
        InstallerVariablePtr variable = InstallerVariable::create(xmlAttributeValue(attributes, "name"));
        variable->setValue(kPlatformWindows, kVariableAllUsers, xmlAttributeValue(attributes, "windef"));
        variable->setValue(kPlatformControllers, kVariableAllUsers, xmlAttributeValue(attributes, "cntrldef"));
        data_.append(std::move(variable));
        return true;
    }

    InstallData& data_;
    std::vector<SharedString>* includes_;
    std::vector<XmlNameSpan> open_;
    std::vector<SharedString> unknownNotes_;
    std::size_t unknownCount_ = 0;
    const char* lineCountedTo_;
    std::uint64_t line_ = 1;
    std::string refusedElement_;
    std::string refusedAttribute_;
    bool sawElement_ = false;
    int depth_ = 0;
    SupportedPlatformPtr platform_;
    InstallerVariablePtr variable_;
    std::vector<FeaturePtr> features_;
    std::vector<std::shared_ptr<ContentHolder>> holders_;
    CustomActionPtr action_;
    int redistributables_ = 0;
    std::vector<std::shared_ptr<ContentFolder>> folders_;
    regmodel::RegistryXmlReader registry_;
    FeatureRecordXmlReader records_;
    CustomPagePtr page_;
    std::vector<std::shared_ptr<LinearLayout>> layouts_;
    BannerElementPtr banner_;
};

}  // namespace

bool readInstallDataXml(InstallData& data, const void* bytes, std::size_t size, std::vector<SharedString>* includes,
                        InstallDataRefusal* refusal, std::vector<SharedString>* unknownElements)
{
    InstallDataRefusal ignored;
    InstallDataRefusal& reason = refusal ? *refusal : ignored;
    reason = InstallDataRefusal{};
    if (unknownElements)
        unknownElements->clear();
    if (!bytes || size == 0) {
        reason.xml.rule = "the document is empty";
        return false;
    }
    try {
        if (const FeaturePtr features = data.featureRoot()) {
            // From the last: each removal then costs the same however many remain.
            while (features->subFeatureCount() > 0) {
                if (!features->removeSubFeature(features->subFeatureAt(features->subFeatureCount() - 1).get()))
                    break;
            }
        }
        XmlReader reader;
        if (!reader.setInput(bytes, size))
            return false;
        // What the reader takes must write back as a document that others
        // read too.
        reader.refuseNonXmlCharacters(true);
        InstallDataHandler handler(data, includes, static_cast<const char*>(bytes));
        const bool parsed = reader.parse(handler);
        if (unknownElements)
            *unknownElements = handler.unknownElementNotes();
        if (!parsed) {
            reason.xml = reader.lastError();
            reason.element = handler.refusedElement().empty() ? reason.xml.element : handler.refusedElement();
            reason.attribute = handler.refusedElement().empty() ? reason.xml.attribute : handler.refusedAttribute();
            return false;
        }
        // A file of zeros or other text without markup parses as an empty
        // document; it is no installer data.
        if (!handler.sawElement()) {
            reason.xml.rule = "the document holds no element";
            return false;
        }
        return true;
    } catch (const std::exception&) {
        reason.xml.rule = "the document needs more memory than there is";
        return false;
    }
}

SharedString describeInstallDataRefusal(const InstallDataRefusal& refusal)
{
    SharedString text;
    if (refusal.element.empty()) {
        text.format(u"at byte %I64u: %hs", static_cast<std::uint64_t>(refusal.xml.offset), refusal.xml.rule);
        return text;
    }
    text.format(u"the element \"%s\"", fromUtf8(refusal.element));
    if (!refusal.attribute.empty())
        text += SharedString().format(u" (attribute \"%s\")", fromUtf8(refusal.attribute));
    text += SharedString().format(u" at byte %I64u was refused", static_cast<std::uint64_t>(refusal.xml.offset));
    if (std::string_view(refusal.xml.rule) != kXmlRuleHandlerRefused)
        text += SharedString().format(u": %hs", refusal.xml.rule);
    if (refusal.xml.character != 0)
        text += SharedString().format(u" (U+%04X)", static_cast<std::uint32_t>(refusal.xml.character));
    return text;
}

}  // namespace druvex
