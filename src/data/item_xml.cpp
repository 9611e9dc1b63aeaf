#include "data/item_xml.h"

#include "text/char_class.h"
#include "app_base/target_platform.h"
#include "core/xml_writer.h"
#include "data/custom_action.h"
#include "data/feature.h"
#include "data/xml_values.h"

namespace druvex {
namespace {

// True unless the attribute is there and equals `word` ignoring case.
bool unlessWord(const XmlAttributeList& attributes, std::string_view name, std::u16string_view word)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return !attribute || !equalsNoCase(attribute->value.view(), word);
}

// True when the attribute is there and equals `word` ignoring case.
bool isWord(const XmlAttributeList& attributes, std::string_view name, std::u16string_view word)
{
    const XmlAttribute* attribute = findXmlAttribute(attributes, name);
    return attribute && equalsNoCase(attribute->value.view(), word);
}

std::shared_ptr<Shortcut> readShortcut(const XmlAttributeList& attributes)
{
    auto shortcut = std::make_shared<Shortcut>();
    shortcut->name = xmlAttributeValue(attributes, "Name");
    shortcut->linkPos = linkPosFromText(xmlAttributeValue(attributes, "LinkPos").view());
    shortcut->linkedTo = xmlAttributeValue(attributes, "LinkedTo");
    shortcut->folderName = xmlAttributeValue(attributes, "FolderName");
    shortcut->iconPath = xmlAttributeValue(attributes, "IconPath");
    shortcut->iconIndex = intAttribute(attributes, "IconIndex", 0);
    return shortcut;
}

std::shared_ptr<EnvironmentVar> readEnvironmentVar(const XmlAttributeList& attributes)
{
    auto variable = std::make_shared<EnvironmentVar>();
    variable->name = xmlAttributeValue(attributes, "Name");
    variable->value = xmlAttributeValue(attributes, "Value");
    if (const XmlAttribute* type = findXmlAttribute(attributes, "Type"))
        variable->type = envTypeFromText(type->value.view());
    if (const XmlAttribute* mode = findXmlAttribute(attributes, "AddMode"))
        variable->addMode = envAddModeFromText(mode->value.view());
    if (const XmlAttribute* placement = findXmlAttribute(attributes, "Placement"))
        variable->placement = envPlacementFromText(placement->value.view());
    variable->removeOnUninstall = unlessWord(attributes, "RepInUpgrade", u"No");
    if (const XmlAttribute* present = findXmlAttribute(attributes, "WasPresent"))
        variable->wasPresent = equalsNoCase(present->value.view(), u"No") ? kEnvWasPresentNo : kEnvWasPresentYes;
    if (const XmlAttribute* slash = findXmlAttribute(attributes, "RemoveTrailingSlash"))
        variable->removeTrailingSlash = !equalsNoCase(slash->value.view(), u"No");
    return variable;
}

std::shared_ptr<FeatureScript> readFeatureScript(const XmlAttributeList& attributes)
{
    auto script = std::make_shared<FeatureScript>();
    script->name = xmlAttributeValue(attributes, "Name");
    script->script = xmlAttributeValue(attributes, "Script");
    script->executionTime = scriptTimeFromText(xmlAttributeValue(attributes, "ExecutionTime").view());
    return script;
}

std::shared_ptr<AppPool> readAppPool(const XmlAttributeList& attributes)
{
    auto pool = std::make_shared<AppPool>();
    pool->name = xmlAttributeValue(attributes, "Name");
    if (const XmlAttribute* version = findXmlAttribute(attributes, "DotNETVersion"))
        pool->dotNetVersion = version->value;
    pool->queueLength = intAttribute(attributes, "QueueLength", pool->queueLength);
    if (const XmlAttribute* mode = findXmlAttribute(attributes, "ManagedMode"))
        pool->managedMode = pipelineModeFromText(mode->value.view());
    pool->enable32 = unlessWord(attributes, "Enable32", u"No");
    if (const XmlAttribute* identity = findXmlAttribute(attributes, "Identity"))
        pool->identity = poolIdentityFromText(identity->value.view());
    pool->idleTimeout = intAttribute(attributes, "IdleTimeout", pool->idleTimeout);
    pool->maxProcesses = intAttribute(attributes, "MaxProcesses", pool->maxProcesses);
    return pool;
}

std::shared_ptr<WebSite> readWebSite(const XmlAttributeList& attributes)
{
    auto site = std::make_shared<WebSite>();
    site->name = xmlAttributeValue(attributes, "Name");
    site->port = intAttribute(attributes, "Port", site->port);
    site->siteNumber = intAttribute(attributes, "SiteNumber", site->siteNumber);
    return site;
}

std::shared_ptr<IisApplication> readApplication(const XmlAttributeList& attributes)
{
    auto application = std::make_shared<IisApplication>();
    application->name = xmlAttributeValue(attributes, "Name");
    if (const XmlAttribute* source = findXmlAttribute(attributes, "SourcePath"))
        application->sourcePath = source->value;
    application->appPool = xmlAttributeValue(attributes, "AppPool");
    return application;
}

void writeInt(XmlWriter& writer, std::string_view name, std::int32_t value)
{
    writeNumberAttribute(writer, name, value);
}

void writeInt64(XmlWriter& writer, std::string_view name, std::int64_t value)
{
    writeNumberAttribute(writer, name, value);
}

}  // namespace

bool readItemAttributes(InstallItem& item, const XmlAttributeList& attributes)
{
    if (!item.setName(xmlAttributeValue(attributes, "Name")))
        return false;
    item.setPrompt(xmlAttributeValue(attributes, "Prompt"));
    item.setFullInst(unlessWord(attributes, "FullInst", u"No"));
    const XmlAttribute* platforms = findXmlAttribute(attributes, "Platforms");
    item.setPlatforms(platforms ? parsePlatformList(platforms->value.view()) : kPlatformMaskAll);
    item.setReqSpace(int64Attribute(attributes, "ReqSpace", 0));
    item.setCompressedSize(int64Attribute(attributes, "compressed-size", 0));
    item.setUrl(xmlAttributeValue(attributes, "url"));
    item.setDigest(xmlAttributeValue(attributes, "Digest"));
    item.setTimestamp(int64Attribute(attributes, "Timestamp", 0));
    item.setVersion(xmlAttributeValue(attributes, "Version"));
    return true;
}

void writeItemAttributes(XmlWriter& writer, const InstallItem& item)
{
    writer.attribute("Name", item.getNameRef().view());
    writer.attribute("Prompt", item.getPrompt().view());
    if (item.getPlatforms() != kPlatformMaskAll)
        writer.attribute("Platforms", platformListText(item.getPlatforms()).view());
    writer.attribute("FullInst", yesNo(item.isFullInst()));
    writeInt64(writer, "ReqSpace", item.getReqSpace());
    if (item.getCompressedSize() != 0)
        writeInt64(writer, "compressed-size", item.getCompressedSize());
    writer.attribute("Digest", item.getDigest().view());
    writeInt64(writer, "Timestamp", item.getTimestamp());
    writer.attribute("Version", item.getVersion().view());
}

bool readFeatureAttributes(Feature& feature, const XmlAttributeList& attributes)
{
    feature.clearContent();
    if (!readItemAttributes(feature, attributes))
        return false;
    feature.setDesc(xmlAttributeValue(attributes, "Desc"));
    feature.setPresel(featurePreselectionFromText(xmlAttributeValue(attributes, "Presel").view()));
    feature.setMode(featureModeFromText(xmlAttributeValue(attributes, "Mode").view()));
    feature.setInstallAsAdmin(isWord(attributes, "InstallAs", u"admin"));
    feature.setLocaleId(static_cast<std::uint16_t>(intAttribute(attributes, "LocaleId", 0)));
    feature.setTotalFiles(intAttribute(attributes, "TotalFiles", 0));
    feature.setEqReqSpace(int64Attribute(attributes, "EqReqSpace", 0));
    feature.setSkippable(isWord(attributes, "Skippable", u"yes"));
    feature.setStoreFileTimes(unlessWord(attributes, "StoreFileTimes", u"no"));
    feature.setFailed(isWord(attributes, "Failed", u"yes"));
    return true;
}

void writeFeatureAttributes(XmlWriter& writer, const Feature& feature)
{
    writeItemAttributes(writer, feature);
    writer.attribute("Desc", feature.getDesc().view());
    writer.attribute("Presel", featurePreselectionText(feature.getPresel()).view());
    writer.attribute("Mode", featureModeText(feature.getMode()).view());
    if (feature.getInstallAsAdmin())
        writer.attribute("InstallAs", u"admin");
    writeInt(writer, "LocaleId", feature.getLocaleId());
    if (feature.getTotalFiles() != 0)
        writeInt(writer, "TotalFiles", feature.getTotalFiles());
    if (feature.getEqReqSpace() != 0)
        writeInt64(writer, "EqReqSpace", feature.getEqReqSpace());
    if (feature.getSkippable())
        writer.attribute("Skippable", u"yes");
    if (!feature.getStoreFileTimes())
        writer.attribute("StoreFileTimes", u"no");
    if (feature.getFailed())
        writer.attribute("Failed", u"yes");
}

bool readCustomActionAttributes(CustomAction& action, const XmlAttributeList& attributes)
{
    if (!readItemAttributes(action, attributes))
        return false;
    const auto text = [&](std::string_view name) { return xmlAttributeValue(attributes, name); };
    const XmlAttribute* type = findXmlAttribute(attributes, "ActionType");
    action.actionType = type ? actionTypeFromText(type->value.view()) : kActionRunScript;
    const XmlAttribute* installer = findXmlAttribute(attributes, "InstallerType");
    action.installerType = installer ? actionInstallerTypeFromText(installer->value.view()) : kActionBoth;
    const XmlAttribute* location = findXmlAttribute(attributes, "StoreLocation");
    action.storeLocation = location ? actionStoreLocationFromText(location->value.view()) : kActionInsideInstaller;
    action.executionMask = intAttribute(attributes, "ExecutionMask", 15);
    action.command = text("Command");
    action.param = text("Param");
    const XmlAttribute* post = findXmlAttribute(attributes, "PostInstallMode");
    action.postInstallMode = post ? actionPostInstallModeFromText(post->value.view()) : kActionDontShow;
    action.postInstallText = text("PostInstallText");
    return true;
}

void writeCustomActionAttributes(XmlWriter& writer, const CustomAction& action)
{
    writeItemAttributes(writer, action);
    writer.attribute("ActionType", actionTypeText(action.actionType).view());
    writer.attribute("InstallerType", actionInstallerTypeText(action.installerType).view());
    writer.attribute("StoreLocation", actionStoreLocationText(action.storeLocation).view());
    writeInt(writer, "ExecutionMask", action.executionMask);
    writer.attribute("Command", action.command.view());
    writer.attribute("Param", action.param.view());
    writer.attribute("PostInstallMode", actionPostInstallModeText(action.postInstallMode).view());
    writer.attribute("PostInstallText", action.postInstallText.view());
}

void writeShortcutsXml(XmlWriter& writer, const Feature& feature)
{
    if (feature.shortcutCount() == 0)
        return;
    writer.startElement("Shortcuts");
    for (int index = 0; index < feature.shortcutCount(); ++index) {
        const Shortcut& shortcut = *feature.shortcutAt(index);
        writer.startElement("Shortcut");
        writer.attribute("Name", shortcut.name.view());
        writer.attribute("LinkPos", linkPosText(shortcut.linkPos).view());
        writer.attribute("LinkedTo", shortcut.linkedTo.view());
        if (!shortcut.folderName.isEmpty())
            writer.attribute("FolderName", shortcut.folderName.view());
        if (!shortcut.iconPath.isEmpty())
            writer.attribute("IconPath", shortcut.iconPath.view());
        if (shortcut.iconIndex != 0)
            writeInt(writer, "IconIndex", shortcut.iconIndex);
        writer.endElement("Shortcut");
    }
    writer.endElement("Shortcuts");
}

void writeEnvironmentVarsXml(XmlWriter& writer, const Feature& feature)
{
    if (feature.environmentVarCount() == 0)
        return;
    writer.startElement("EnvironmentVars");
    for (int index = 0; index < feature.environmentVarCount(); ++index) {
        const EnvironmentVar& variable = *feature.environmentVarAt(index);
        writer.startElement("EnvironmentVar");
        writer.attribute("Name", variable.name.view());
        writer.attribute("Value", variable.value.view());
        if (variable.type != kEnvTypeAuto)
            writer.attribute("Type", envTypeText(variable.type).view());
        if (variable.addMode != kEnvAddSet)
            writer.attribute("AddMode", envAddModeText(variable.addMode).view());
        if (variable.placement != kEnvPlaceReplace)
            writer.attribute("Placement", envPlacementText(variable.placement).view());
        writer.attribute("RepInUpgrade", yesNo(variable.removeOnUninstall));
        if (variable.wasPresent != kEnvWasPresentUnknown)
            writer.attribute("WasPresent", yesNo(variable.wasPresent == kEnvWasPresentYes));
        writer.attribute("RemoveTrailingSlash", yesNo(variable.removeTrailingSlash));
        writer.endElement("EnvironmentVar");
    }
    writer.endElement("EnvironmentVars");
}

void writeFileAssociationsXml(XmlWriter& writer, const Feature& feature)
{
    if (feature.fileAssociationCount() == 0)
        return;
    writer.startElement("FileAssociations");
    for (int index = 0; index < feature.fileAssociationCount(); ++index) {
        const FileAssociation& association = *feature.fileAssociationAt(index);
        writer.startElement("FileAssociation");
        writer.attribute("ProgId", association.progId.view());
        writer.attribute("Description", association.description.view());
        writer.attribute("IconPath", association.iconPath.view());
        if (association.iconIndex != -1)
            writeInt(writer, "IconIndex", association.iconIndex);
        if (association.extensionCount() > 0) {
            writer.startElement("FileExtensions");
            for (int e = 0; e < association.extensionCount(); ++e) {
                const FileExtension& extension = *association.extensionAt(e);
                writer.startElement("FileExtension");
                writer.attribute("Name", extension.name.view());
                writer.attribute("Command", extension.command.view());
                writer.attribute("ExpAssReset", extension.expAssReset ? u"RemoveAll" : u"None");
                if (extension.actionCount() > 0) {
                    writer.startElement("FileActions");
                    for (int verb = 0; verb < kVerbCount; ++verb) {
                        const SharedString arguments = extension.actionArguments(verb);
                        // An unknown verb is written "open" and reads back as
                        // "open" itself: beside a real "open" it would make a
                        // second one, of which a read keeps the later, as the
                        // installation does.
                        if (arguments.isEmpty() ||
                            (verb == kVerbOpenDefault && !extension.actionArguments(kVerbOpen).isEmpty()))
                            continue;
                        writer.startElement("FileAction");
                        writer.attribute("Type", verbName(verb).view());
                        writer.attribute("Arguments", arguments.view());
                        writer.endElement("FileAction");
                    }
                    writer.endElement("FileActions");
                }
                writer.endElement("FileExtension");
            }
            writer.endElement("FileExtensions");
        }
        writer.endElement("FileAssociation");
    }
    writer.endElement("FileAssociations");
}

void writeFeatureScriptsXml(XmlWriter& writer, const Feature& feature)
{
    if (feature.featureScriptCount() == 0)
        return;
    writer.startElement("FeatureScripts");
    for (int index = 0; index < feature.featureScriptCount(); ++index) {
        const FeatureScript& script = *feature.featureScriptAt(index);
        writer.startElement("FeatureScript");
        writer.attribute("Name", script.name.view());
        writer.attribute("ExecutionTime", scriptTimeText(script.executionTime).view());
        writer.attribute("Script", script.script.view());
        writer.endElement("FeatureScript");
    }
    writer.endElement("FeatureScripts");
}

void writeWebServerXml(XmlWriter& writer, const Feature& feature)
{
    const InternetInformationServices& iis = feature.webServer();
    if (!iis.hasContent())
        return;
    writer.startElement("InternetInformationServices");
    if (iis.appPoolCount() > 0) {
        writer.startElement("AppPools");
        for (int index = 0; index < iis.appPoolCount(); ++index) {
            const AppPool& pool = *iis.appPoolAt(index);
            writer.startElement("AppPool");
            writer.attribute("Name", pool.name.view());
            writer.attribute("DotNETVersion", pool.dotNetVersion.view());
            writeInt(writer, "QueueLength", pool.queueLength);
            writer.attribute("ManagedMode", pipelineModeText(pool.managedMode).view());
            writer.attribute("Enable32", yesNo(pool.enable32));
            writer.attribute("Identity", poolIdentityText(pool.identity).view());
            writeInt(writer, "IdleTimeout", pool.idleTimeout);
            writeInt(writer, "MaxProcesses", pool.maxProcesses);
            writer.endElement("AppPool");
        }
        writer.endElement("AppPools");
    }
    if (iis.webSiteCount() > 0) {
        writer.startElement("WebSites");
        for (int index = 0; index < iis.webSiteCount(); ++index) {
            const WebSite& site = *iis.webSiteAt(index);
            writer.startElement("WebSite");
            writer.attribute("Name", site.name.view());
            writeInt(writer, "Port", site.port);
            writeInt(writer, "SiteNumber", site.siteNumber);
            if (site.applicationCount() > 0) {
                writer.startElement("Applications");
                for (int a = 0; a < site.applicationCount(); ++a) {
                    const IisApplication& application = *site.applicationAt(a);
                    writer.startElement("Application");
                    writer.attribute("Name", application.name.view());
                    writer.attribute("SourcePath", application.sourcePath.view());
                    writer.attribute("AppPool", application.appPool.view());
                    writer.endElement("Application");
                }
                writer.endElement("Applications");
            }
            writer.endElement("WebSite");
        }
        writer.endElement("WebSites");
    }
    writer.endElement("InternetInformationServices");
}

FeatureRecordXmlReader::FeatureRecordXmlReader(Feature* target, bool strictShortcuts)
    : target_(target), strictShortcuts_(strictShortcuts)
{
}

FeatureRecordXmlReader::~FeatureRecordXmlReader() = default;

bool FeatureRecordXmlReader::startElement(const XmlNameSpan& name, const XmlAttributeList& attributes)
{
    if (xmlNameEquals(name, "Shortcut")) {
        if (!target_ || attributes.size() < 2)
            return false;
        std::shared_ptr<Shortcut> shortcut = readShortcut(attributes);
        if (shortcut->name.isEmpty())
            return !strictShortcuts_;
        return target_->addShortcut(std::move(shortcut));
    }
    if (xmlNameEquals(name, "EnvironmentVar"))
        return target_ && target_->addEnvironmentVar(readEnvironmentVar(attributes));
    if (xmlNameEquals(name, "FeatureScript"))
        return target_ && target_->addFeatureScript(readFeatureScript(attributes));
    if (xmlNameEquals(name, "FileAssociation")) {
        if (!target_ || association_)
            return false;
        association_ = std::make_shared<FileAssociation>();
        association_->progId = xmlAttributeValue(attributes, "ProgId");
        association_->description = xmlAttributeValue(attributes, "Description");
        association_->iconPath = xmlAttributeValue(attributes, "IconPath");
        association_->iconIndex = intAttribute(attributes, "IconIndex", -1);
        return true;
    }
    if (xmlNameEquals(name, "FileExtension")) {
        if (!association_ || extension_)
            return false;
        extension_ = std::make_shared<FileExtension>();
        extension_->name = xmlAttributeValue(attributes, "Name");
        extension_->command = xmlAttributeValue(attributes, "Command");
        const XmlAttribute* reset = findXmlAttribute(attributes, "ExpAssReset");
        extension_->expAssReset = !reset || reset->value != u"None";
        return true;
    }
    if (xmlNameEquals(name, "FileAction")) {
        const XmlAttribute* type = findXmlAttribute(attributes, "Type");
        const XmlAttribute* arguments = findXmlAttribute(attributes, "Arguments");
        if (!extension_ || !type || !arguments)
            return false;
        extension_->setAction(verbFromName(type->value.view()), arguments->value);
        return true;
    }
    if (xmlNameEquals(name, "AppPool"))
        return target_ && target_->webServer().addAppPool(readAppPool(attributes));
    if (xmlNameEquals(name, "WebSite")) {
        if (!target_ || site_)
            return false;
        site_ = readWebSite(attributes);
        return true;
    }
    if (xmlNameEquals(name, "Application"))
        return target_ && site_ && site_->addApplication(readApplication(attributes));
    return true;
}

bool FeatureRecordXmlReader::endElement(const XmlNameSpan& name)
{
    if (xmlNameEquals(name, "FileAssociation")) {
        if (!target_ || !association_)
            return false;
        target_->addFileAssociation(std::move(association_));
        association_.reset();
        return true;
    }
    if (xmlNameEquals(name, "FileExtension")) {
        if (!association_ || !extension_)
            return false;
        association_->addExtension(std::move(extension_));
        extension_.reset();
        return true;
    }
    if (xmlNameEquals(name, "WebSite")) {
        if (!target_ || !site_)
            return false;
        target_->webServer().addWebSite(std::move(site_));
        site_.reset();
        return true;
    }
    return true;
}

}  // namespace druvex
