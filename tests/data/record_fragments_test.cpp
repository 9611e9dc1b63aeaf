// The feature record fragments of a package: each reader on a fragment as a
// package carries it, the elements of other kinds passed over, and the
// refusals, after which what was read stays with the feature.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "core/xml_reader.h"
#include "data/feature.h"
#include "data/record_fragments.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Parser = bool (*)(Feature&, std::span<const std::uint8_t>, XmlParseError*);

std::span<const std::uint8_t> bytes(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string fragment(const char* root, const std::string& body)
{
    return std::string("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<") + root + ">\n" + body + "</" +
           root + ">\n";
}

int recordCount(const Feature& feature)
{
    return feature.shortcutCount() + feature.environmentVarCount() + feature.fileAssociationCount() +
           feature.featureScriptCount() + feature.webServer().appPoolCount() + feature.webServer().webSiteCount();
}

TEST(RecordFragments, ShortcutsOfAPackageAreAddedAndNamelessOnesPassedOver)
{
    const std::string xml = fragment(
        "Shortcuts",
        " <Shortcut Name=\"Field Survey\" LinkPos=\"menuprograms\" LinkedTo=\"&lt;TARGETDIR&gt;\\survey.exe\""
        " FolderName=\"Survey Suite\"/>\n"
        " <Shortcut Name=\"\" LinkPos=\"Desktop\" LinkedTo=\"x.exe\"/>\n"
        " <Shortcut Name=\"Manual\" LinkPos=\"Desktop\" LinkedTo=\"&lt;TARGETDIR&gt;\\manual.pdf\" IconIndex=\"2\"/>\n");
    auto feature = makeFeaturePtr();
    ASSERT_TRUE(parseShortcutsXmlFragment(*feature, bytes(xml)));
    ASSERT_EQ(feature->shortcutCount(), 2);
    EXPECT_EQ(feature->shortcutAt(0)->linkPos, kLinkMenuPrograms);
    EXPECT_EQ(feature->shortcutAt(0)->linkedTo, u"<TARGETDIR>\\survey.exe");
    EXPECT_EQ(feature->shortcutAt(1)->name, u"Manual");
    EXPECT_EQ(feature->shortcutAt(1)->iconIndex, 2);

    // A shortcut of one attribute is refused; the one before it stays.
    auto refused = makeFeaturePtr();
    EXPECT_FALSE(parseShortcutsXmlFragment(
        *refused, bytes(fragment("Shortcuts", " <Shortcut Name=\"A\" LinkedTo=\"a.exe\"/>\n <Shortcut Name=\"B\"/>\n"))));
    EXPECT_EQ(refused->shortcutCount(), 1);
}

TEST(RecordFragments, EnvironmentVariablesAndFeatureScriptsAreAppended)
{
    auto feature = makeFeaturePtr();
    ASSERT_TRUE(parseEnvironmentVarsXmlFragment(
        *feature, bytes(fragment("EnvironmentVars",
                                 " <EnvironmentVar Name=\"PATH\" Value=\"&lt;TARGETDIR&gt;\\bin\" Type=\"System\""
                                 " AddMode=\"Create\" Placement=\"Prefix\" RepInUpgrade=\"No\"/>\n"
                                 " <EnvironmentVar Name=\"SURVEY_HOME\" Value=\"&lt;TARGETDIR&gt;\"/>\n"))));
    ASSERT_EQ(feature->environmentVarCount(), 2);
    EXPECT_EQ(feature->environmentVarAt(0)->placement, kEnvPlacePrefix);
    EXPECT_FALSE(feature->environmentVarAt(0)->removeOnUninstall);
    EXPECT_EQ(feature->environmentVarAt(1)->name, u"SURVEY_HOME");

    ASSERT_TRUE(parseFeatureScriptsXmlFragment(
        *feature, bytes(fragment("FeatureScripts",
                                 " <FeatureScript Name=\"register\" ExecutionTime=\"onInstall\""
                                 " Script=\"Hal.Log(&quot;in&quot;)\"/>\n"
                                 " <FeatureScript Name=\"unregister\" ExecutionTime=\"ONUNINSTALL\" Script=\"x = 1\"/>\n"))));
    ASSERT_EQ(feature->featureScriptCount(), 2);
    EXPECT_EQ(feature->featureScriptAt(0)->script, u"Hal.Log(\"in\")");
    EXPECT_EQ(feature->featureScriptAt(1)->executionTime, kScriptOnUninstall);
    EXPECT_EQ(feature->environmentVarCount(), 2);
}

TEST(RecordFragments, FileAssociationsInARowAreReadWhole)
{
    const std::string xml = fragment(
        "FileAssociations",
        " <FileAssociation ProgId=\"Survey.Job\" Description=\"Survey job\" IconPath=\"&lt;TARGETDIR&gt;\\job.ico\">\n"
        "  <FileExtensions>\n"
        "   <FileExtension Name=\".job\" Command=\"&lt;TARGETDIR&gt;\\survey.exe\" ExpAssReset=\"RemoveAll\">\n"
        "    <FileActions>\n"
        "     <FileAction Type=\"open\" Arguments=\"&quot;%1&quot;\"/>\n"
        "     <FileAction Type=\"print\" Arguments=\"/p &quot;%1&quot;\"/>\n"
        "    </FileActions>\n"
        "   </FileExtension>\n"
        "   <FileExtension Name=\".jxl\" Command=\"\" ExpAssReset=\"None\"/>\n"
        "  </FileExtensions>\n"
        " </FileAssociation>\n"
        " <FileAssociation ProgId=\"Survey.Code\" Description=\"\" IconPath=\"\"/>\n");
    auto feature = makeFeaturePtr();
    ASSERT_TRUE(parseFileAssociationsXmlFragment(*feature, bytes(xml)));
    ASSERT_EQ(feature->fileAssociationCount(), 2);
    const FileAssociation& job = *feature->fileAssociationAt(0);
    ASSERT_EQ(job.extensionCount(), 2);
    EXPECT_EQ(job.extensionAt(0)->actionArguments(kVerbPrint), u"/p \"%1\"");
    EXPECT_EQ(job.extensionAt(0)->actionCount(), 2);
    EXPECT_FALSE(job.extensionAt(1)->expAssReset);
    EXPECT_EQ(feature->fileAssociationAt(1)->progId, u"Survey.Code");
}

TEST(RecordFragments, FileAssociationsOutOfOrderAreRefused)
{
    const std::string complete = " <FileAssociation ProgId=\"A\"/>\n";
    const char* refused[] = {
        // An action lacking its arguments or its verb.
        " <FileAssociation ProgId=\"B\">\n  <FileExtension Name=\".b\">\n"
        "   <FileAction Type=\"open\"/>\n  </FileExtension>\n </FileAssociation>\n",
        " <FileAssociation ProgId=\"B\">\n  <FileExtension Name=\".b\">\n"
        "   <FileAction Arguments=\"%1\"/>\n  </FileExtension>\n </FileAssociation>\n",
        // Elements outside what must hold them, or inside one of their own kind.
        " <FileExtension Name=\".b\"/>\n",
        " <FileAction Type=\"open\" Arguments=\"%1\"/>\n",
        " <FileAssociation ProgId=\"B\">\n  <FileAssociation ProgId=\"C\"/>\n </FileAssociation>\n",
        " <FileAssociation ProgId=\"B\">\n  <FileExtension Name=\".b\">\n"
        "   <FileExtension Name=\".c\"/>\n  </FileExtension>\n </FileAssociation>\n",
        // Not well-formed.
        " <FileAssociation ProgId=\"B\">\n",
    };
    for (const char* body : refused) {
        auto feature = makeFeaturePtr();
        EXPECT_FALSE(parseFileAssociationsXmlFragment(*feature, bytes(fragment("FileAssociations", complete + body))))
            << body;
        EXPECT_EQ(feature->fileAssociationCount(), 1) << body;
    }
}

TEST(RecordFragments, WebServerSettingsTakePoolsAndSitesWithTheirApplications)
{
    const std::string xml = fragment(
        "InternetInformationServices",
        " <AppPools>\n"
        "  <AppPool Name=\"SurveyPool\" DotNETVersion=\"v2.0\" QueueLength=\"1000\" ManagedMode=\"Classic\""
        " Enable32=\"No\" Identity=\"LocalSystem\" IdleTimeout=\"0\" MaxProcesses=\"2\"/>\n"
        " </AppPools>\n"
        " <WebSites>\n"
        "  <WebSite Name=\"Default Web Site\" Port=\"8080\" SiteNumber=\"1\">\n"
        "   <Applications>\n"
        "    <Application Name=\"survey\" SourcePath=\"&lt;TARGETDIR&gt;\\web\" AppPool=\"SurveyPool\"/>\n"
        "    <Application Name=\"api\" AppPool=\"SurveyPool\"/>\n"
        "   </Applications>\n"
        "  </WebSite>\n"
        " </WebSites>\n");
    auto feature = makeFeaturePtr();
    ASSERT_TRUE(parseIisXmlFragment(*feature, bytes(xml)));
    const InternetInformationServices& web = feature->webServer();
    ASSERT_EQ(web.appPoolCount(), 1);
    EXPECT_EQ(web.appPoolAt(0)->managedMode, kPipelineClassic);
    EXPECT_EQ(web.appPoolAt(0)->identity, kIdentityLocalSystem);
    ASSERT_EQ(web.webSiteCount(), 1);
    EXPECT_EQ(web.webSiteAt(0)->port, 8080);
    ASSERT_EQ(web.webSiteAt(0)->applicationCount(), 2);
    EXPECT_EQ(web.webSiteAt(0)->applicationAt(1)->appPool, u"SurveyPool");

    auto refused = makeFeaturePtr();
    EXPECT_FALSE(parseIisXmlFragment(*refused, bytes(fragment("Web", " <Application Name=\"a\"/>\n"))));
    EXPECT_FALSE(parseIisXmlFragment(
        *refused, bytes(fragment("Web", " <WebSite Name=\"a\">\n  <WebSite Name=\"b\"/>\n </WebSite>\n"))));
    EXPECT_EQ(refused->webServer().webSiteCount(), 0);
}

TEST(RecordFragments, EachReaderTakesOnlyItsOwnKind)
{
    // One fragment with a record of every kind.
    const std::string mixed = fragment(
        "Records",
        " <Shortcut Name=\"Survey\" LinkPos=\"Desktop\" LinkedTo=\"survey.exe\"/>\n"
        " <EnvironmentVar Name=\"SURVEY_HOME\" Value=\"&lt;TARGETDIR&gt;\"/>\n"
        " <FileAssociation ProgId=\"Survey.Job\">\n  <FileExtension Name=\".job\"/>\n </FileAssociation>\n"
        " <FeatureScript Name=\"s\" ExecutionTime=\"onInstall\" Script=\"return 0\"/>\n"
        " <AppPool Name=\"SurveyPool\"/>\n"
        " <WebSite Name=\"Default Web Site\"/>\n");
    struct Case {
        Parser parse;
        int (*count)(const Feature&);
        int expected;
    } cases[] = {
        {parseShortcutsXmlFragment, [](const Feature& f) { return f.shortcutCount(); }, 1},
        {parseEnvironmentVarsXmlFragment, [](const Feature& f) { return f.environmentVarCount(); }, 1},
        {parseFileAssociationsXmlFragment, [](const Feature& f) { return f.fileAssociationCount(); }, 1},
        {parseFeatureScriptsXmlFragment, [](const Feature& f) { return f.featureScriptCount(); }, 1},
        {parseIisXmlFragment,
         [](const Feature& f) { return f.webServer().appPoolCount() + f.webServer().webSiteCount(); }, 2},
    };
    for (const Case& c : cases) {
        auto feature = makeFeaturePtr();
        ASSERT_TRUE(c.parse(*feature, bytes(mixed), nullptr));
        EXPECT_EQ(c.count(*feature), c.expected);
        EXPECT_EQ(recordCount(*feature), c.expected);
    }
}

TEST(RecordFragments, AnEmptyOrBrokenFragmentIsRefused)
{
    const Parser parsers[] = {parseShortcutsXmlFragment, parseEnvironmentVarsXmlFragment,
                              parseFileAssociationsXmlFragment, parseFeatureScriptsXmlFragment, parseIisXmlFragment};
    for (const Parser parse : parsers) {
        auto feature = makeFeaturePtr();
        EXPECT_FALSE(parse(*feature, {}, nullptr));
        XmlParseError error;
        EXPECT_FALSE(parse(*feature, bytes("<Records><Shortcut Name='x' LinkedTo='y'/></Records>"), &error));
        EXPECT_EQ(error.offset, 19u);
        EXPECT_STREQ(error.rule, "an attribute value is not in double quotes");
        EXPECT_FALSE(parse(*feature, bytes("<Records>"), nullptr));
        EXPECT_FALSE(feature->hasContent());
    }
}

}  // namespace
}  // namespace druvex
