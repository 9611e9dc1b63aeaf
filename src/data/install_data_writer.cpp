// Writing "data.xml": the elements in the document's fixed order, each
// optional element and attribute only where the format writes it.
#include <algorithm>
#include <vector>

#include "text/char_class.h"
#include "core/app_log.h"
#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "data/content_tree.h"
#include "platform/path_components.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "data/item_xml.h"
#include "data/xml_values.h"
#include "fileutil/file_util.h"

namespace druvex {
namespace {

// The banner screen variants in the order the document lists them.
constexpr int kBannerWriteOrder[kBannerVariantCount] = {1, 0, 3, 2};

SharedString folderOf(const SharedString& path)
{
    const std::u16string_view text = path.view();
    std::size_t end = text.size();
    while (end > 0 && !isPathSeparator(text[end - 1]))
        --end;
    return end == 0 ? SharedString() : SharedString(text.substr(0, end - 1));
}

class DocumentWriter {
public:
    DocumentWriter(XmlWriter& writer, bool omitContents) : writer_(writer), omitContents_(omitContents) {}

    void write(const InstallData& data)
    {
        writer_.startElement("data");
        writer_.textElement("Version", u"3");
        if (data.isFullDocument())
            writePlatforms(data);
        writeIncludes(data);
        writeSettings(data.settings());
        writeInstallerVariables(writer_, data);
        writeFeatures(data);
        writeLanguageTemplates(data);
        writeCustomActions(data);
        writeSequence("CustomActionsSequence", data.customActionsSequence());
        writeCustomPages(data);
        writeSequence("CustomPagesSequence", data.customPagesSequence());
        if (data.isFullDocument()) {
            writeBanners(data);
            writeBuildConfigurations(data);
        }
        writer_.endElement("data");
    }

private:
    void writeInt(std::string_view name, std::int32_t value) { writeNumberAttribute(writer_, name, value); }

    void writeTextElement(std::string_view name, const SharedString& text)
    {
        writer_.textElement(name, text.view());
    }

    void writeSequence(std::string_view name, const SharedString& text)
    {
        if (!text.isEmpty())
            writeTextElement(name, text);
    }

    void writeSettings(const InstallerSettings& settings)
    {
        writer_.startElement("Variables");
        InstallerSettings::Iterator entry;
        entry.start(settings);
        while (entry.next()) {
            writer_.startElement("Variable");
            writer_.attribute("Type", installerSettingKeyName(entry.key()).view());
            writer_.attribute("Value", entry.value().view());
            writer_.endElement("Variable");
        }
        writer_.endElement("Variables");
    }

    void writePlatforms(const InstallData& data)
    {
        writer_.startElement("SupportedPlatforms");
        for (int index = 0; index < data.platformCount(); ++index) {
            const SupportedPlatform& platform = *data.platformAt(index);
            writer_.startElement("Platform");
            writer_.attribute("Type", platformName(platform.platform(), false).view());
            InstallerSettings::Iterator entry;
            entry.start(platform.settings());
            if (entry.next())
                writeSettings(platform.settings());
            if (!platform.requirements().empty()) {
                writer_.startElement("Requirements");
                for (const auto& [name, parameter] : platform.requirements()) {
                    writer_.startElement("Requirement");
                    writer_.attribute("name", name.view());
                    writer_.attribute("param", parameter.view());
                    writer_.endElement("Requirement");
                }
                writer_.endElement("Requirements");
            }
            writer_.endElement("Platform");
        }
        writer_.endElement("SupportedPlatforms");
    }

    void writeIncludes(const InstallData& data)
    {
        if (data.includes().empty())
            return;
        writer_.startElement("Includes");
        const SharedString folder = folderOf(data.filePath());
        for (const auto& include : data.includes()) {
            if (folder.isEmpty() || include->filePath().isEmpty())
                continue;
            writeTextElement("IncludeFile", makeRelativePath(folder, include->filePath()));
        }
        writer_.endElement("Includes");
    }

    void writeFeatures(const InstallData& data)
    {
        writer_.startElement("Features");
        if (const FeaturePtr features = data.featureRoot())
            writeFeature(*features, false);
        const FeaturePtr extraData = data.extraDataRoot();
        if (extraData && (omitContents_ || hasGrandChildren(*extraData)))
            writeFeature(*extraData, !omitContents_);
        writer_.endElement("Features");
    }

    static bool hasGrandChildren(const Feature& feature)
    {
        for (int index = 0; index < feature.subFeatureCount(); ++index) {
            if (feature.subFeatureAt(index)->subFeatureCount() > 0)
                return true;
        }
        return false;
    }

    // `skipChildless`: sub-features without sub-features of their own are
    // left out (the data packages under "ExtraData" that hold nothing).
    void writeFeature(const Feature& feature, bool skipChildless)
    {
        writer_.startElement("Feature");
        writeFeatureAttributes(writer_, feature);
        writer_.startElement("SubFeatures");
        for (int index = 0; index < feature.subFeatureCount(); ++index) {
            const Feature& sub = *feature.subFeatureAt(index);
            if (skipChildless && sub.subFeatureCount() == 0)
                continue;
            writeFeature(sub, false);
        }
        writer_.endElement("SubFeatures");
        if (feature.componentFeatureCount() > 0) {
            writer_.startElement("ComponentFeatures");
            for (const SharedString& name : feature.componentFeatures())
                writeTextElement("ComponentFeature", name);
            writer_.endElement("ComponentFeatures");
        }
        if (!omitContents_) {
            writeContent(*feature.contentFolder());
            writeShortcutsXml(writer_, feature);
            writeEnvironmentVarsXml(writer_, feature);
            writeFileAssociationsXml(writer_, feature);
            feature.getRegistry().writeXml(writer_);
            writeFeatureScriptsXml(writer_, feature);
            writeWebServerXml(writer_, feature);
        }
        writeRequiredRedists(feature);
        writer_.endElement("Feature");
    }

    void writeRequiredRedists(const ContentHolder& holder)
    {
        if (holder.requiredRedistCount() == 0)
            return;
        writer_.startElement("RequiresRedist");
        for (int index = 0; index < holder.requiredRedistCount(); ++index)
            writeTextElement("Redist", holder.requiredRedistAt(index));
        writer_.endElement("RequiresRedist");
    }

    // The tree in its sorted order, without sorting the caller's tree.
    void writeContent(const ContentFolder& root)
    {
        writer_.startElement("Content");
        writeChildren(root);
        writer_.endElement("Content");
    }

    void writeChildren(const ContentFolder& folder)
    {
        std::vector<const ContentItem*> children;
        children.reserve(folder.children().size());
        for (const auto& child : folder.children())
            children.push_back(child.get());
        const auto before = [](const ContentItem* a, const ContentItem* b) { return contentSortsBefore(*a, *b); };
        // Trees read from a document are in order already; checking costs a
        // compare per child where sorting would cost several.
        if (!std::is_sorted(children.begin(), children.end(), before))
            std::stable_sort(children.begin(), children.end(), before);
        for (const ContentItem* child : children) {
            if (child->isFile())
                writeFile(static_cast<const ContentFile&>(*child));
            else
                writeFolder(static_cast<const ContentFolder&>(*child));
        }
    }

    void writeFolder(const ContentFolder& folder)
    {
        writer_.startElement("Folder");
        writer_.attribute("Name", folder.getName().view());
        writeInt("Flags", folder.getFlags());
        if (const DynamicFileLink* link = folder.findDynamicLink()) {
            writer_.attribute("DynFileLk", u"Yes");
            writer_.attribute("DflSourceFolder", link->sourceFolder.view());
            writer_.attribute("DflIncludeSubFolders", yesNo(link->includeSubFolders));
            writer_.attribute("DflSelfRegister", yesNo(link->selfRegister));
            writer_.attribute("DflIncludeAllFiles", yesNo(link->includeAllFiles));
            if (!link->includeAllFiles) {
                writer_.attribute("DflFilterInclude", link->filterInclude.view());
                writer_.attribute("DflFilterExclude", link->filterExclude.view());
            }
        }
        writeChildren(folder);
        writer_.endElement("Folder");
    }

    void writeFile(const ContentFile& file)
    {
        writer_.startElement("File");
        writer_.attribute("Name", file.getName().view());
        writeInt("Flags", file.getFlags());
        writer_.attribute("OrigPath", file.getOrigPath().view());
        writer_.endElement("File");
    }

    void writeLanguageTemplates(const InstallData& data)
    {
        writer_.startElement("LanguageTemplates");
        for (int index = 0; index < data.languageTemplateCount(); ++index) {
            const LanguageTemplate& languageTemplate = *data.languageTemplateAt(index);
            writer_.startElement("LanguageTemplate");
            writer_.attribute("feature", languageTemplate.feature.view());
            writer_.attribute("pattern", languageTemplate.pattern.view());
            writer_.attribute("inigen", languageTemplate.inigen == 0 ? u"None" : u"LikeDruvex");
            writer_.attribute("ismain", yesNo(languageTemplate.ismain));
            writer_.attribute("installMode", languageInstallModeText(languageTemplate.installMode).view());
            if (!languageTemplate.instscript.isEmpty())
                writer_.attribute("instscript", languageTemplate.instscript.view());
            if (!languageTemplate.uninstscript.isEmpty())
                writer_.attribute("uninstscript", languageTemplate.uninstscript.view());
            writer_.endElement("LanguageTemplate");
        }
        writer_.endElement("LanguageTemplates");
    }

    void writeCustomActions(const InstallData& data)
    {
        writer_.startElement("CustomActions");
        for (int index = 0; index < data.customActionCount(); ++index) {
            const CustomAction& action = *data.customActionAt(index);
            writer_.startElement("CustomAction");
            writeCustomActionAttributes(writer_, action);
            if (!omitContents_)
                writeContent(*action.contentFolder());
            writeRequiredRedists(action);
            writer_.endElement("CustomAction");
        }
        writer_.endElement("CustomActions");
    }

    void writeCustomPages(const InstallData& data)
    {
        writer_.startElement("CustomPages");
        for (int index = 0; index < data.customPageCount(); ++index) {
            const CustomPage& page = *data.customPageAt(index);
            writer_.startElement("CustomPage");
            writer_.attribute("Name", page.name.view());
            writer_.attribute("Title", page.title.view());
            writer_.attribute("TargetPlatMask", platformListText(page.targetPlatMask).view());
            writeInt("SupportedModes", page.supportedModes);
            writer_.attribute("OnActivationScript", page.onActivationScript.view());
            writer_.attribute("OnBackScript", page.onBackScript.view());
            writer_.attribute("OnNextScript", page.onNextScript.view());
            if (page.layout)
                writeLayout(*page.layout);
            writer_.endElement("CustomPage");
        }
        writer_.endElement("CustomPages");
    }

    void writeLayoutFields(const LayoutElement& element)
    {
        writer_.attribute("Id", element.id.view());
        writeInt("MarginTop", element.marginTop);
        writeInt("MarginLeft", element.marginLeft);
        writeInt("MarginBottom", element.marginBottom);
        writeInt("MarginRight", element.marginRight);
    }

    void writeLayout(const LayoutElement& element)
    {
        switch (element.kind()) {
        case LayoutKind::LinearLayout: {
            const auto& layout = static_cast<const LinearLayout&>(element);
            writer_.startElement("LinearLayout");
            writeLayoutFields(layout);
            writer_.attribute("IsVertical", lowerYesNo(layout.isVertical));
            writer_.startElement("Components");
            for (int index = 0; index < layout.childCount(); ++index)
                writeLayout(*layout.childAt(index));
            writer_.endElement("Components");
            writer_.endElement("LinearLayout");
            return;
        }
        case LayoutKind::TextView: {
            const auto& view = static_cast<const TextView&>(element);
            writer_.startElement("TextView");
            writeLayoutFields(view);
            writer_.attribute("Text", view.text.view());
            writer_.endElement("TextView");
            return;
        }
        case LayoutKind::EditBox: {
            const auto& box = static_cast<const EditBox&>(element);
            writer_.startElement("EditBox");
            writeLayoutFields(box);
            writer_.attribute("Text", box.text.view());
            writer_.attribute("Variable", box.variable.view());
            writer_.attribute("IsAPath", lowerYesNo(box.isAPath));
            writer_.endElement("EditBox");
            return;
        }
        }
    }

    void writeBanners(const InstallData& data)
    {
        writer_.startElement("Banners");
        writeInt("Interval", data.bannerInterval());
        for (int index = 0; index < data.bannerCount(); ++index) {
            const BannerElement& banner = *data.bannerAt(index);
            writer_.startElement("BannerElement");
            if (!omitContents_)
                writer_.attribute("OrigPath", banner.origPath.view());
            writer_.attribute("BaseName", banner.baseName.view());
            writer_.attribute("Link", banner.link.view());
            for (const int variant : kBannerWriteOrder) {
                writer_.startElement("BannerScreenElement");
                writer_.attribute("Screen", bannerScreenName(variant).view());
                writer_.attribute("Available", yesNo(banner.screenAvailable(variant)));
                writer_.attribute("Format", banner.screenIsBitmap(variant) ? u"Bmp" : u"Jpeg");
                writer_.endElement("BannerScreenElement");
            }
            writer_.endElement("BannerElement");
        }
        writer_.endElement("Banners");
    }

    void writeBuildConfigurations(const InstallData& data)
    {
        writer_.startElement("BuildConfigurations");
        for (int index = 0; index < data.buildConfigurationCount(); ++index)
            data.buildConfigurationAt(index)->writeXml(writer_);
        writer_.endElement("BuildConfigurations");
    }

    XmlWriter& writer_;
    bool omitContents_;
};

void writeDefinition(XmlWriter& writer, const InstallerVariable& variable, TargetPlatform platform, std::int32_t user)
{
    const SharedString value = variable.getExactValue(platform, user);
    if (value.isEmpty())
        return;
    writer.startElement("Definition");
    writer.attribute("platform", platformName(platform, false).view());
    if (user == kVariableCurrentUser)
        writer.attribute("user", u"current");
    writer.text(value.view());
    writer.endElement("Definition");
}

}  // namespace

void writeInstallerVariables(XmlWriter& writer, const VariableSet& variables)
{
    writer.startElement("InstallerVariables");
    for (int index = 0; index < variables.count(); ++index) {
        const InstallerVariable& variable = *variables.at(index);
        writer.startElement("InstallerVariable");
        writer.attribute("name", variable.getName().view());
        writer.attribute("persistent", lowerYesNo(variable.isPersistent()));
        for (TargetPlatform platform = 0; platform < kPlatformCount; ++platform)
            writeDefinition(writer, variable, platform, kVariableAllUsers);
        writeDefinition(writer, variable, kPlatformControllers, kVariableAllUsers);
        writeDefinition(writer, variable, kPlatformWindows, kVariableAllUsers);
        writeDefinition(writer, variable, kPlatformWindows, kVariableCurrentUser);
        writeDefinition(writer, variable, kPlatformAll, kVariableAllUsers);
        writer.endElement("InstallerVariable");
    }
    writer.endElement("InstallerVariables");
}

SharedString makeRelativePath(const SharedString& folder, const SharedString& path)
{
    if (folder.isEmpty() || path.isEmpty())
        return {};
    const std::vector<std::u16string_view> base = splitPathComponents(folder.view());
    const std::vector<std::u16string_view> target = splitPathComponents(path.view());
    std::size_t shared = 0;
    while (shared < base.size() && shared < target.size() && equalsNoCase(base[shared], target[shared]))
        ++shared;
    SharedString relative;
    for (std::size_t i = shared; i < base.size(); ++i)
        relative += u"..\\";
    for (std::size_t i = shared; i < target.size(); ++i) {
        if (i > shared)
            relative += u'\\';
        relative += target[i];
    }
    return relative;
}

bool writeInstallDataXml(const InstallData& data, ByteStream& output, bool omitContents)
{
    XmlWriter writer(output, true);
    // The reader refuses what XML does not allow; a text that came from
    // elsewhere (a script, a bulletin) must not make the copy unreadable.
    writer.replaceNonXmlCharacters(true);
    DocumentWriter(writer, omitContents).write(data);
    if (writer.replacedCharacters() > 0)
        logPrintf(u"The installer data holds %I64u characters that XML does not allow: written as U+FFFD",
                  static_cast<std::uint64_t>(writer.replacedCharacters()));
    return writer.flush();
}

bool writeInstallDataXml(HalAccess& host, const InstallData& data, const SharedString& path, bool omitContents)
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    if (!writeInstallDataXml(data, stream, omitContents) || !writeBufferToFile(host, bytes, path)) {
        logPrintf(u"Could not write the installer data to %s", path);
        return false;
    }
    return true;
}

}  // namespace druvex
