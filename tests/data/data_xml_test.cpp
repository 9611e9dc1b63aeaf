// The install-data document "data.xml": hand-written fixtures read and written
// back byte for byte, the lenient reading of a messy file, the old elements,
// every refused document, and the write through the host.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "text/diag.h"
#include "data/content_tree.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "fileutil/file_util.h"
#include "host/wince_hal_access.h"
#include "platform/input_limits.h"
#include "support/device_fixture.h"
#include "support/external_tool.h"
#include "support/hostile_inputs.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/shared_string_print.h"
#include "test_data_files.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

std::string fixture(const std::string& name)
{
    return test::testDataText("datafiles/" + name);
}

bool read(InstallData& data, const std::string& text)
{
    return readInstallDataXml(data, text.data(), text.size());
}

// Reads a document kept in "\Setup" as the loading code does: each include it
// names becomes included data, its path resolved against that folder.
bool readWithIncludes(InstallData& data, const std::string& text)
{
    data.setFilePath(u"\\Setup\\data.xml");
    std::vector<SharedString> includes;
    if (!readInstallDataXml(data, text.data(), text.size(), &includes))
        return false;
    for (const SharedString& include : includes) {
        auto included = std::make_shared<InstallData>();
        included->setFilePath(resolveRelativePath(u"\\Setup", include));
        data.addInclude(std::move(included));
    }
    return true;
}

std::string write(const InstallData& data, bool omitContents)
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    EXPECT_TRUE(writeInstallDataXml(data, stream, omitContents));
    return std::string(bytes.begin(), bytes.end());
}

// Deeply nested documents need --huge, which lifts xmllint's own depth limit.
bool xmllintAccepts(const std::string& document)
{
    return test::runTool("xmllint --huge --noout -", test::Bytes(document.begin(), document.end())).exitCode == 0;
}

constexpr char kNewDocument[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<data>\n"
    " <Version>3</Version>\n"
    " <SupportedPlatforms/>\n"
    " <Variables/>\n"
    " <InstallerVariables/>\n"
    " <Features>\n"
    "  <Feature Name=\"Feature\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" Version=\"\" "
    "Desc=\"\" Presel=\"Not preselected\" Mode=\"Not visible\" LocaleId=\"0\">\n"
    "   <SubFeatures/>\n"
    "   <Content/>\n"
    "  </Feature>\n"
    " </Features>\n"
    " <LanguageTemplates/>\n"
    " <CustomActions/>\n"
    " <CustomPages/>\n"
    " <Banners Interval=\"15000\"/>\n"
    " <BuildConfigurations/>\n"
    "</data>\n";

TEST(DataXml, NewDataWritesTheBareDocument)
{
    InstallData data;
    EXPECT_EQ(write(data, false), kNewDocument);
    EXPECT_TRUE(xmllintAccepts(kNewDocument));

    // Without contents the data packages are written whole, childless or not.
    const std::string installed = write(data, true);
    EXPECT_EQ(installed.find("<Content"), std::string::npos);
    EXPECT_NE(installed.find("   <SubFeatures>\n"
                             "    <Feature Name=\"EULA\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
                             "Timestamp=\"0\" Version=\"\" Desc=\"\" Presel=\"Not preselected\" Mode=\"Collapsed\" "
                             "LocaleId=\"0\">\n"
                             "     <SubFeatures/>\n"
                             "    </Feature>\n"),
              std::string::npos)
        << installed;
    EXPECT_NE(installed.find("Name=\"Redist\""), std::string::npos);
}

// The canonical file and its installed copy (contents left out) are read and
// written back byte for byte, which only a reader that took every field can do.
TEST(DataXml, CanonicalFileAndInstalledCopyWriteBackByteForByte)
{
    const std::string canonical = fixture("data.xml");
    const std::string installed = fixture("data_installed.xml");
    InstallData data;
    ASSERT_TRUE(readWithIncludes(data, canonical));
    EXPECT_EQ(write(data, false), canonical);
    EXPECT_EQ(write(data, true), installed);
    EXPECT_TRUE(xmllintAccepts(canonical));
    EXPECT_TRUE(xmllintAccepts(installed));

    InstallData copy;
    ASSERT_TRUE(readWithIncludes(copy, installed));
    EXPECT_EQ(write(copy, true), installed);
    const FeaturePtr core = copy.findItemByPath(u"Feature/Core");
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(core->contentCount(), 0);
    EXPECT_EQ(core->shortcutCount(), 0);
    EXPECT_FALSE(core->hasRegistry());
    EXPECT_EQ(copy.customActionAt(0)->contentCount(), 0);  // a custom action's contents stay out too
    EXPECT_EQ(copy.bannerAt(0)->origPath, u"");
    EXPECT_EQ(core->componentFeatureCount(), 2);
    EXPECT_EQ(core->requiredRedistCount(), 1);
}

TEST(DataXml, MessyFileGivesItsNormalForm)
{
    const std::string expected = fixture("data_messy_expected.xml");
    const std::string messy = fixture("data_messy.xml");
    InstallData data;
    std::vector<SharedString> unknown;
    ASSERT_TRUE(readInstallDataXml(data, messy.data(), messy.size(), nullptr, nullptr, &unknown));
    EXPECT_EQ(write(data, false), expected);
    // Its one element of its own is passed over, and said to be.
    EXPECT_EQ(unknown, std::vector<SharedString>{
                           u"The installer data names an unknown element \"Remarks\" (in \"DATA\", line 26): passed over"});
    EXPECT_TRUE(xmllintAccepts(expected));
    InstallData again;
    ASSERT_TRUE(read(again, expected));
    EXPECT_EQ(write(again, false), expected);

    // Each value follows its own case rule.
    const FeaturePtr main = data.findItemByPath(u"Feature/Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->getUrl(), u"http://updates.example.com/main.lzma");
    EXPECT_FALSE(main->isFullInst());                                   // "no"
    EXPECT_EQ(main->getPresel(), FeaturePreselection::NotPreselected);  // "required"
    EXPECT_FALSE(main->getStoreFileTimes());                            // "NO"
    EXPECT_TRUE(main->environmentVarAt(0)->removeOnUninstall);          // absent
    const InstallerVariablePtr work = data.findByName(u"WORKDIR");
    EXPECT_FALSE(work->isPersistent());                                           // "Yes"
    EXPECT_EQ(work->getExactValue(kPlatformWindows, kVariableCurrentUser), u"");  // "Current"
    EXPECT_EQ(data.featureRoot()->getPrompt(), u"");  // the top-level element's attributes are dropped
    EXPECT_EQ(data.settings().lookupRaw(InstallerSettingKey::WelcomeBannerVGA), u"banner_vert.jpeg");
}

TEST(DataXml, CanonicalFileReadsIntoTheModel)
{
    InstallData data;
    ASSERT_TRUE(read(data, fixture("data.xml")));

    const InstallerSettings& settings = data.settings();
    EXPECT_EQ(settings.getProgramName(), u"Field Survey \u00DCber");
    EXPECT_EQ(settings.getLiveUpdateUrl(), u"http://updates.example.com/survey/");
    EXPECT_FALSE(settings.getDailyBuild());  // "yes" is not "Yes"
    EXPECT_EQ(settings.getAvailablePlatforms(), 117);
    EXPECT_EQ(settings.lookupRaw(InstallerSettingKey::Copyright), u"");
    ASSERT_EQ(data.platformCount(), 3);
    const SupportedPlatformPtr qm40 = data.platformAt(0);
    EXPECT_EQ(qm40->platform(), kPlatformQm40);
    EXPECT_EQ(qm40->settings().lookupRaw(InstallerSettingKey::InstallFolderMobile), u"<ROMDISK>\\FieldSurvey");
    EXPECT_EQ(qm40->settings().lookupRaw(InstallerSettingKey::Author), u"Druvex Surveying");
    EXPECT_EQ(qm40->requirements().at(SharedString(u"MinOS")), u"6.0");
    EXPECT_EQ(data.platformAt(1)->settings().lookupRaw(InstallerSettingKey::InstallFolderMobile),
              u"<PROGRAM_FILES>\\<PROGRAMNAME>");

    const InstallerVariablePtr dataDir = data.findByName(u"datadir");
    ASSERT_NE(dataDir, nullptr);
    EXPECT_TRUE(dataDir->isPersistent());
    EXPECT_EQ(dataDir->getValue(kPlatformQm40, kVariableAllUsers), u"\\ROMDisk\\Data");
    EXPECT_EQ(dataDir->getValue(kPlatformWm6, kVariableAllUsers), u"<MYDOCUMENTS>Data");
    EXPECT_EQ(dataDir->getValue(kPlatformWin32, kVariableCurrentUser), u"<MYDOCUMENTS>Field Survey");
    EXPECT_TRUE(data.findByName(u"SERIAL")->values().empty());

    const FeaturePtr core = data.findItemByPath(u"feature/CORE");
    ASSERT_NE(core, nullptr);
    EXPECT_EQ(core->getName(), u"Feature/Core");
    EXPECT_EQ(core->getPrompt(), u"Survey core \u2013 field program");
    EXPECT_EQ(core->getPlatforms(), platformMask(kPlatformWm6) | platformMask(kPlatformQm40) |
                                        platformMask(kPlatformRNVB));
    EXPECT_EQ(core->getPresel(), FeaturePreselection::Required);
    EXPECT_EQ(core->getMode(), FeatureMode::Expanded);
    EXPECT_EQ(core->getTimestamp(), 132603264000000000);
    EXPECT_EQ(core->getCompressedSize(), 6291456);
    EXPECT_FALSE(core->getStoreFileTimes());
    EXPECT_EQ(core->countFiles(), 6);
    EXPECT_TRUE(core->hasFolderFiles());
    EXPECT_EQ(core->contentAt(core->findContent(u"<TARGETDIR>"))->childCount(), 4);
    const auto templates = std::static_pointer_cast<ContentFolder>(core->contentAt(0)->childAt(1));
    ASSERT_NE(templates->findDynamicLink(), nullptr);
    EXPECT_FALSE(templates->findDynamicLink()->includeAllFiles);
    EXPECT_EQ(templates->findDynamicLink()->filterExclude, u"*.bak");
    // The records go through the reader the fragment tests cover: here only
    // where they land, and what the fragments hold no case of.
    EXPECT_EQ(core->shortcutCount(), 2);
    EXPECT_EQ(core->environmentVarAt(1)->wasPresent, kEnvWasPresentYes);
    EXPECT_EQ(core->fileAssociationAt(0)->extensionAt(0)->actionArguments(kVerbOpen), u"\"%1\"");
    const auto survey = core->getRegistry().findKey(regmodel::kRootLocalMachine, u"Software\\Druvex\\FieldSurvey");
    ASSERT_NE(survey, nullptr);
    EXPECT_EQ(survey->getFlag(), regmodel::kKeyPersistent);
    EXPECT_EQ(survey->getDefaultValue()->getData(), u"<TARGETDIR>");
    EXPECT_FALSE(core->getRegistry().rootHasContent(regmodel::kRootCurrentUser));
    EXPECT_EQ(core->featureScriptAt(0)->script,
              u"local exe = \"<TARGETDIR>\\\\Survey.exe\"\nif HalOut:FileExists(exe) and 1 < 2 then\n"
              u"  DQ_Log('core & data ready')\nend");
    EXPECT_EQ(core->featureScriptAt(1)->executionTime, kScriptOnUninstall);
    EXPECT_EQ(core->requiredRedistAt(0), u"vcrt2008");

    const FeaturePtr help = data.findItemByPath(u"Feature/Help");
    EXPECT_EQ(help->findSubFeatureForLanguage(3079)->getNameRef(), u"de");
    EXPECT_EQ(help->findSubFeatureForLanguage(1036)->getNameRef(), u"en");
    EXPECT_EQ(data.mainLanguageFeature(), help);
    const FeaturePtr tools = data.findItemByPath(u"Feature/Tools");
    EXPECT_TRUE(tools->getInstallAsAdmin());
    EXPECT_TRUE(tools->getSkippable());
    EXPECT_EQ(tools->getPrompt(), u"Office tools \U0001F4D0");
    EXPECT_EQ(data.findItemByPath(u"Feature/Tools/Export")->getDigest(), u"3C363836CF4E16666669A25DA280A1865C2D2874");
    const FeaturePtr portal = data.findItemByPath(u"Feature/WebPortal");
    EXPECT_EQ(portal->webServer().appPoolCount(), 1);
    EXPECT_EQ(portal->webServer().webSiteAt(0)->applicationCount(), 2);
    EXPECT_TRUE(data.findItemByPath(u"Feature/Legacy")->getFailed());
    EXPECT_EQ(data.eulaItem()->subFeatureCount(), 2);
    EXPECT_EQ(data.findItemByPath(u"ExtraData/Redist/vcrt2008")->getVersion(), u"9.0.30729");

    ASSERT_EQ(data.customActionCount(), 4);
    const CustomActionPtr launch = data.findCustomAction(u"launchsurvey");
    EXPECT_EQ(launch->actionType, kActionLaunchExecutable);
    EXPECT_EQ(launch->installerType, kActionWindowsOnly);
    EXPECT_EQ(launch->storeLocation, kActionInstalledWithProduct);
    EXPECT_EQ(launch->postInstallMode, kActionShowChecked);
    EXPECT_EQ(data.findCustomAction(u"BackupJobs")->executionMask, 6);
    std::vector<SharedString> names;
    EXPECT_TRUE(data.customActionsAfter(u"INSTALL-BEGIN", names));
    EXPECT_EQ(names, (std::vector<SharedString>{u"BackupJobs", u"StopApp"}));
    data.allSequencedCustomActions(names);
    ASSERT_EQ(names.size(), 4u);
    for (const SharedString& name : names)
        EXPECT_NE(data.findCustomAction(name.view()), nullptr) << toUtf8(name).c_str();
    EXPECT_TRUE(data.customPagesAfter(u"Destination page", names));
    EXPECT_EQ(names, (std::vector<SharedString>{u"SerialPage"}));

    const CustomPagePtr page = data.findCustomPage(u"SerialPage");
    ASSERT_NE(page, nullptr);
    ASSERT_NE(page->layout, nullptr);
    EXPECT_TRUE(page->layout->isVertical);
    EXPECT_EQ(page->layout->marginLeft, 8);
    ASSERT_EQ(page->layout->childCount(), 3);
    EXPECT_EQ(std::static_pointer_cast<EditBox>(page->layout->findChild(u"SERIAL"))->variable, u"SERIAL");
    const auto hints = std::static_pointer_cast<LinearLayout>(page->layout->childAt(2));
    EXPECT_FALSE(hints->isVertical);
    EXPECT_EQ(hints->childCount(), 2);

    EXPECT_EQ(data.bannerInterval(), 8000);
    EXPECT_EQ(data.bannerAt(0)->fileName(0, true), u"welcome_ppcV.bmp");
    EXPECT_EQ(data.bannerAt(0)->fileName(1, true), u"welcome_qvga.jpeg");
    EXPECT_EQ(data.bannerAt(0)->fileName(3, true), u"");
    ASSERT_EQ(data.buildConfigurationCount(), 2);
    EXPECT_TRUE(data.buildConfigurationAt(1)->getIncludeOnlineFeatures());
    EXPECT_EQ(data.buildConfigurationAt(1)->getOverriddenInstallerName(), u"FieldSurveyWebSetup");
}

TEST(DataXml, OldElementsBecomeSettingsVariablesAndPlatforms)
{
    InstallData data;
    ASSERT_TRUE(read(data, fixture("data_legacy.xml")));
    const InstallerSettings& settings = data.settings();
    EXPECT_EQ(settings.getProgramName(), u"Survey Classic");
    EXPECT_EQ(settings.getProgramVersionText(), u"2.5.1");  // "2.x" is passed over
    EXPECT_EQ(settings.getAuthor(), u"Druvex Surveying");
    EXPECT_EQ(settings.lookupRaw(InstallerSettingKey::ProgramUuid), u"{0F8B6C1A-2E44-4B8D-9C3E-5A7F1D2B3C4D}");
    EXPECT_EQ(settings.getLiveUpdateUrl(), u"http://updates.example.com/classic/");
    EXPECT_EQ(settings.lookupRaw(InstallerSettingKey::BkGndTheme), u"Blue");
    EXPECT_EQ(settings.getAvailablePlatforms(), 511);
    EXPECT_EQ(data.platformCount(), kPlatformCount);
    const InstallerVariablePtr jobs = data.findByName(u"JOBS");
    ASSERT_NE(jobs, nullptr);
    EXPECT_EQ(jobs->getValue(kPlatformWin64, kVariableAllUsers), u"<MYDOCUMENTS>Jobs");
    EXPECT_EQ(jobs->getValue(kPlatformQm40, kVariableAllUsers), u"\\Jobs");
    ASSERT_EQ(data.customActionCount(), 1);  // the redistributable's action belongs to no list
    EXPECT_EQ(data.customActionAt(0)->getNameRef(), u"Welcome");
    EXPECT_EQ(data.languageTemplateAt(0)->installMode, kLanguageInstallAll);
    EXPECT_TRUE(xmllintAccepts(write(data, false)));
}

TEST(DataXml, DamagedUuidInAnOldDocumentIsPassedOver)
{
    InstallData data;
    ASSERT_TRUE(read(data, fixture("data_legacy_bad_uuid.xml")));
    EXPECT_EQ(data.settings().lookupRaw(InstallerSettingKey::ProgramUuid), u"");
    EXPECT_EQ(data.settings().getLiveUpdateUrl(), u"http://updates.example.com/classic/");
    EXPECT_EQ(data.customActionCount(), 1);
}

TEST(DataXml, EveryRefusedDocumentAnswersFalseKeepingWhatWasReadBeforeIt)
{
    int documents = 0;
    for (const auto& entry : fs::directory_iterator(test::testDataPath("datafiles/refused"))) {
        const test::Bytes bytes = test::readFileBytes(entry.path());
        InstallData data;
        EXPECT_FALSE(readInstallDataXml(data, bytes.data(), bytes.size())) << entry.path().filename();
        ++documents;
    }
    EXPECT_GE(documents, 50);
    InstallData data;
    EXPECT_FALSE(readInstallDataXml(data, "<data/>", 0));
    EXPECT_FALSE(readInstallDataXml(data, nullptr, 7));

    ASSERT_FALSE(read(data, fixture("refused/duplicate_sibling.xml")));
    ASSERT_EQ(data.featureRoot()->subFeatureCount(), 1);
    EXPECT_EQ(data.featureRoot()->subFeatureAt(0)->getNameRef(), u"Help");
    // A second read starts the feature tree afresh but keeps the rest.
    InstallData twice;
    ASSERT_TRUE(read(twice, fixture("data_messy.xml")));
    ASSERT_FALSE(read(twice, fixture("refused/version_2.xml")));
    EXPECT_EQ(twice.featureRoot()->subFeatureCount(), 0);
    EXPECT_EQ(twice.settings().getProgramName(), u"Messy Survey");
}

// The refusal names what the caller's log line needs: the element and
// attribute refused, or where the markup broke which rule.
TEST(DataXml, RefusalKeepsTheElementAndAttributeForTheLogLine)
{
    struct Case {
        const char* file;
        const char* at;  // the text the refusal points at
        std::string_view element;
        std::string_view attribute;
        std::string_view rule;
    };
    const Case cases[] = {
        {"platform_unknown.xml", "<Platform", "Platform", "Type", kXmlRuleHandlerRefused},
        {"duplicate_sibling.xml", "<Feature Name=\"help\"", "Feature", "Name", kXmlRuleHandlerRefused},
        {"version_2.xml", "<Version>", "Version", "", kXmlRuleHandlerRefused},
        {"variable_type_misspelt.xml", "<Variable Typ=", "Variable", "Type", kXmlRuleHandlerRefused},
        {"variable_value_misspelt.xml", "<Variable Type", "Variable", "Value", kXmlRuleHandlerRefused},
        {"single_quoted_value.xml", "Type='Author'", "", "", "an attribute value is not in double quotes"},
        {"no_elements.xml", nullptr, "", "", "the document holds no element"},
    };
    for (const Case& c : cases) {
        const std::string text = fixture(std::string("refused/") + c.file);
        InstallData data;
        InstallDataRefusal refusal;
        EXPECT_FALSE(readInstallDataXml(data, text.data(), text.size(), nullptr, &refusal)) << c.file;
        EXPECT_EQ(refusal.element, c.element) << c.file;
        EXPECT_EQ(refusal.attribute, c.attribute) << c.file;
        EXPECT_EQ(std::string_view(refusal.xml.rule), c.rule) << c.file;
        EXPECT_EQ(refusal.xml.offset, c.at ? text.find(c.at) : 0) << c.file;
    }

    const std::string text = fixture("refused/duplicate_sibling.xml");
    InstallData data;
    InstallDataRefusal refusal;
    ASSERT_FALSE(readInstallDataXml(data, text.data(), text.size(), nullptr, &refusal));
    EXPECT_EQ(describeInstallDataRefusal(refusal),
              u"the element \"Feature\" (attribute \"Name\") at byte " +
                  SharedString().format(u"%u", static_cast<unsigned>(text.find("<Feature Name=\"help\""))) +
                  u" was refused");
    refusal = {{7, "an attribute has no '='"}, "", ""};
    EXPECT_EQ(describeInstallDataRefusal(refusal), u"at byte 7: an attribute has no '='");
}

// An unknown verb is named "open" when written; beside a real "open" the
// document would get two, of which a read keeps one: what is written must
// read back as itself, so one "open" is written, the real one's, which is
// also the one the installation registers.
TEST(DataXml, UnknownVerbBesideOpenWritesOneOpen)
{
    const std::string association =
        "<FileAssociations><FileAssociation ProgId=\"Job\" Description=\"\" IconPath=\"\"><FileExtensions>"
        "<FileExtension Name=\".job\" Command=\"\" ExpAssReset=\"None\"><FileActions>" +
        std::string("<FileAction Type=\"Open\" Arguments=\"unknown %1\"/>"
                    "<FileAction Type=\"open\" Arguments=\"known %1\"/>"
                    "<FileAction Type=\"edit\" Arguments=\"edit %1\"/>") +
        "</FileActions></FileExtension></FileExtensions></FileAssociation></FileAssociations>";
    InstallData data;
    ASSERT_TRUE(read(data, test::dataXmlDocument(test::featureStartTag("Core") + association + "</Feature>")));
    const std::string written = write(data, false);
    EXPECT_NE(written.find("<FileAction Type=\"open\" Arguments=\"known %1\"/>\n"), std::string::npos) << written;
    EXPECT_EQ(written.find("unknown %1"), std::string::npos) << written;
    EXPECT_NE(written.find("<FileAction Type=\"edit\""), std::string::npos) << written;
    InstallData again;
    ASSERT_TRUE(read(again, written));
    EXPECT_EQ(write(again, false), written);

    // Alone, the unknown verb is the one "open".
    InstallData alone;
    ASSERT_TRUE(read(alone, test::dataXmlDocument(test::featureStartTag("Core") +
                                                  association.substr(0, association.find("<FileAction Type=\"open\"")) +
                                                  "</FileActions></FileExtension></FileExtensions></FileAssociation>"
                                                  "</FileAssociations></Feature>")));
    EXPECT_NE(write(alone, false).find("<FileAction Type=\"open\" Arguments=\"unknown %1\"/>"), std::string::npos);
}

// A character XML does not allow could not be written back as a document
// other readers take: it is refused where it stands, with the element and
// the byte.
TEST(DataXml, CharactersXmlDoesNotAllowAreRefusedAtTheirByte)
{
    struct Case {
        std::string document;
        std::string_view at;  // the bytes the refusal points at
        std::string element;
        std::string attribute;
        char32_t character;
    };
    const Case cases[] = {
        {test::dataXmlDocument({}, " <CustomActionsSequence>[INSTALL]\x0FRun;</CustomActionsSequence>\n"), "\x0F",
         "CustomActionsSequence", "", 0x0F},
        {test::dataXmlDocument({}, " <Variables><Variable Type=\"Author\" Value=\"A\x1B[2J\"/></Variables>\n"),
         "\x1B", "Variable", "Value", 0x1B},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element + " " + c.attribute);
        InstallData data;
        InstallDataRefusal refusal;
        ASSERT_FALSE(readInstallDataXml(data, c.document.data(), c.document.size(), nullptr, &refusal));
        EXPECT_EQ(refusal.xml.offset, c.document.find(c.at));
        EXPECT_EQ(refusal.element, c.element);
        EXPECT_EQ(refusal.attribute, c.attribute);
        EXPECT_EQ(refusal.xml.character, c.character);
    }
    const std::string document = cases[0].document;
    InstallData data;
    InstallDataRefusal refusal;
    ASSERT_FALSE(readInstallDataXml(data, document.data(), document.size(), nullptr, &refusal));
    EXPECT_EQ(describeInstallDataRefusal(refusal),
              SharedString().format(u"the element \"CustomActionsSequence\" at byte %u was refused: the text holds a "
                                    u"character that XML does not allow (U+000F)",
                                    static_cast<unsigned>(document.find('\x0F'))));

    // Tab, line feed and carriage return are text like any other.
    InstallData kept;
    ASSERT_TRUE(read(kept, test::dataXmlDocument({}, " <CustomActionsSequence>a\tb\r\nc</CustomActionsSequence>\n")));
    EXPECT_EQ(kept.customActionsSequence(), u"a\tb\r\nc");
}

// What came from elsewhere than a document (a script, a bulletin) may hold
// such characters: the written data replaces them, says so in the log, and
// stays a document that expat and xmllint read.
TEST(DataXml, WriterReplacesCharactersXmlDoesNotAllow)
{
    InstallData data;
    data.settings().set(InstallerSettingKey::Author, SharedString(u"Survey\u0007 Office\uFFFE"));
    data.setCustomActionsSequence(SharedString(u"[INSTALL]\u001bRun;"));
    test::DiagCapture log;
    const std::string written = write(data, false);
    EXPECT_NE(written.find("Value=\"Survey\xEF\xBF\xBD Office\xEF\xBF\xBD\""), std::string::npos) << written;
    EXPECT_NE(written.find("[INSTALL]\xEF\xBF\xBDRun;"), std::string::npos) << written;
    EXPECT_TRUE(log.contains(u"The installer data holds 3 characters that XML does not allow: written as U+FFFD"));
    EXPECT_TRUE(xmllintAccepts(written));
    InstallData again;
    ASSERT_TRUE(read(again, written));
    EXPECT_EQ(write(again, false), written);
}

// A misspelt element is passed over, as it always was, and now named: its
// name, its parent and its line, one line each, a document of many of them
// capped; a document of only known names gives none.
TEST(DataXml, UnknownElementsAreNamedWithTheirParentAndLine)
{
    const std::string document =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n"
        " <Variables>\n  <Varible Type=\"ProgramUuid\" Value=\"{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}\"/>\n"
        " </Variables>\n"
        " <SupportedPlatforms><Platform Type=\"Wm6\"><Requirements>\n"
        "  <Requirment name=\"OsVersion\" param=\"5.2\"/>\n"
        " </Requirements></Platform></SupportedPlatforms>\n"
        " <Features>\n" +
        test::featureStartTag("Feature") + "<SubFeatures>\n" + test::featureStartTag("Core") +
        "\n  <Shortcuts><Shortcat Name=\"Survey\" LinkPos=\"MenuPrograms\" LinkedTo=\"x.exe\"/></Shortcuts>\n"
        "  <RequiresRedist><Redis>Runtime</Redis></RequiresRedist>\n"
        "  <Registry><HKEY_LOCAL_MACHINE><Key Name=\"Software\" Flag=\"Automatic\"><Value Name=\"v\" "
        "Format=\"Dword\" Data=\"1\"/></Key></HKEY_LOCAL_MACHINE></Registry>\n"
        " </Feature>\n <Featur Name=\"Maps\"/>\n</SubFeatures></Feature>\n </Features>\n</data>\n";
    InstallData data;
    std::vector<SharedString> unknown;
    ASSERT_TRUE(readInstallDataXml(data, document.data(), document.size(), nullptr, nullptr, &unknown));
    EXPECT_EQ(unknown, (std::vector<SharedString>{
                           u"The installer data names an unknown element \"Varible\" (in \"Variables\", line 5): "
                           u"passed over",
                           u"The installer data names an unknown element \"Requirment\" (in \"Requirements\", line 8): "
                           u"passed over",
                           u"The installer data names an unknown element \"Shortcat\" (in \"Shortcuts\", line 13): "
                           u"passed over",
                           u"The installer data names an unknown element \"Redis\" (in \"RequiresRedist\", line 14): "
                           u"passed over",
                           u"The installer data names an unknown element \"Featur\" (in \"SubFeatures\", line 17): "
                           u"passed over",
                       }));
    EXPECT_EQ(data.findItemByPath(u"Feature/Core")->shortcutCount(), 0);

    std::string many;
    for (int i = 0; i < 150; ++i)
        many += "<Shortcat/>";
    ASSERT_TRUE(readInstallDataXml(data, test::dataXmlDocument({}, many).data(),
                                   test::dataXmlDocument({}, many).size(), nullptr, nullptr, &unknown));
    ASSERT_EQ(unknown.size(), 101u);
    EXPECT_EQ(unknown.back(), u"The installer data names 50 more unknown elements: passed over");

    ASSERT_TRUE(readInstallDataXml(data, kNewDocument, sizeof kNewDocument - 1, nullptr, nullptr, &unknown));
    EXPECT_TRUE(unknown.empty());
}

std::string nested(const std::string& open, const std::string& close, int depth)
{
    std::string text = "<data><Features><Feature Name=\"Feature\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" "
                       "Digest=\"\" Timestamp=\"0\"><Content>";
    for (int i = 0; i < depth; ++i)
        text += open;
    for (int i = 0; i < depth; ++i)
        text += close;
    return text + "</Content></Feature></Features></data>";
}

TEST(DataXml, HostileNestingIsRefusedBeforeItCanExhaustTheStack)
{
    InstallData deep;
    EXPECT_FALSE(read(deep, nested("<Folder Name=\"a\" Flags=\"0\">", "</Folder>", 200000)));
    InstallData features;
    const std::string feature = "<Feature Name=\"f\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\">";
    EXPECT_FALSE(read(features, nested(feature, "</Feature>", 100000)));
}

// Features, folders, registry keys and layouts nest as deep as their limits
// and no deeper; what was read at a limit is written and reads again, so an
// installed copy of the data never becomes unreadable.
TEST(DataXml, TreesNestUpToTheirLimitsAndReadAgainOnceWritten)
{
    const int folders = static_cast<int>(kMaxFolderNesting);
    const int features = static_cast<int>(kMaxFeatureNesting);
    const int keys = static_cast<int>(kMaxRegistryKeyDepth);
    const auto layouts = [](int depth) {
        std::string page = "<CustomPages><CustomPage Name=\"P\">";
        for (int i = 0; i < depth; ++i)
            page += "<LinearLayout Id=\"l\">";
        for (int i = 0; i < depth; ++i)
            page += "</LinearLayout>";
        return test::dataXmlDocument({}, page + "</CustomPage></CustomPages>");
    };
    const auto registry = [](int depth) {
        return test::dataXmlDocument(test::featureStartTag("Reg") + test::registryFragmentWithNestedKeys(depth) +
                                     "</Feature>");
    };
    struct Case {
        const char* what;
        std::string atLimit;
        std::string pastLimit;
    };
    const Case cases[] = {
        // The root feature is the first of the nested ones.
        {"features", test::dataXmlWithNestedFeatures(features - 1), test::dataXmlWithNestedFeatures(features)},
        {"folders", nested("<Folder Name=\"a\" Flags=\"0\">", "</Folder>", folders),
         nested("<Folder Name=\"a\" Flags=\"0\">", "</Folder>", folders + 1)},
        {"registry keys", registry(keys), registry(keys + 1)},
        {"layouts", layouts(features), layouts(features + 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstallData data;
        ASSERT_TRUE(read(data, c.atLimit));
        const std::string written = write(data, false);
        InstallData again;
        EXPECT_TRUE(read(again, written));
        EXPECT_EQ(write(again, false), written);
        EXPECT_TRUE(xmllintAccepts(written));
        InstallData past;
        EXPECT_FALSE(read(past, c.pastLimit));
    }
}

TEST(DataXml, IncludePathsAreRelativeToTheDocumentFolder)
{
    EXPECT_EQ(makeRelativePath(u"\\Setup", u"\\Setup\\modules\\extra.xml"), u"modules\\extra.xml");
    EXPECT_EQ(makeRelativePath(u"\\SETUP/sub", u"\\Setup\\Other\\x.xml"), u"..\\Other\\x.xml");
    EXPECT_EQ(makeRelativePath(u"\\Setup", u"\\Data\\x.xml"), u"..\\Data\\x.xml");
    EXPECT_EQ(makeRelativePath(u"", u"\\x.xml"), u"");

    InstallData data;
    auto include = std::make_shared<InstallData>();
    include->setFilePath(u"\\Setup\\merge.xml");
    data.addInclude(include);
    data.setFilePath(u"data.xml");  // no folder: the include cannot be named
    EXPECT_NE(write(data, false).find(" <Includes/>\n"), std::string::npos);
    data.setFilePath(u"\\Setup\\data.xml");
    EXPECT_NE(write(data, false).find("  <IncludeFile>merge.xml</IncludeFile>\n"), std::string::npos);
}

class DataXmlHost : public test::DeviceFixture {};

// The document goes to its file through the host, and a write that fails at
// any step is reported, never success.
TEST_F(DataXmlHost, WritesThroughTheHostAndReportsAFailedWrite)
{
    device().makeStandardFolders();
    const auto host = std::make_shared<HalAccessWinCE>();
    InstallData data;
    ASSERT_TRUE(read(data, fixture("data.xml")));
    ASSERT_TRUE(writeInstallDataXml(*host, data, u"\\Program Files\\data.xml", true));
    EXPECT_EQ(device().readFile("Program Files/data.xml"), write(data, true));

    for (int step = 0; step < 3; ++step) {  // the open, the write, the close fails
        SCOPED_TRACE(step);
        test::HalFaultPlan plan;
        plan.failEveryOpen = step == 0;
        plan.shortWriteNumber = step == 1 ? 1 : 0;
        plan.failClose = step == 2;
        test::FaultInjectingHal failing(host, plan);
        test::DiagCapture log;
        EXPECT_FALSE(writeInstallDataXml(failing, data, u"\\Program Files\\data.xml", false));
        EXPECT_TRUE(log.contains(u"\\Program Files\\data.xml"));
    }
}

}  // namespace
}  // namespace druvex
