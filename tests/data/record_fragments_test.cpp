// The feature record fragments of a package: each reader on a fragment as a
// package carries it, the elements of other kinds passed over, and the
// refusals, after which what was read stays with the feature.
#include <gtest/gtest.h>

#include <span>
#include <string>

#include "data/feature.h"
#include "data/record_fragments.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Parser = bool (*)(Feature&, std::span<const std::uint8_t>);

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

// One fragment holding a record of every kind, the file association complete.
const std::string kMixed = fragment(
    "Records",
    " <Shortcut Name=\"Survey\" LinkPos=\"Desktop\" LinkedTo=\"&lt;TARGETDIR&gt;\\survey.exe\"/>\n"
    " <EnvironmentVar Name=\"SURVEY_HOME\" Value=\"&lt;TARGETDIR&gt;\"/>\n"
    " <FileAssociation ProgId=\"Survey.Job\" Description=\"Job\" IconPath=\"x.ico\">\n"
    "  <FileExtensions>\n   <FileExtension Name=\".job\" Command=\"\" ExpAssReset=\"None\"/>\n  </FileExtensions>\n"
    " </FileAssociation>\n"
    " <FeatureScript Name=\"s\" ExecutionTime=\"onInstall\" Script=\"return 0\"/>\n"
    " <AppPool Name=\"SurveyPool\"/>\n"
    " <WebSite Name=\"Default Web Site\" Port=\"80\" SiteNumber=\"1\"/>\n");

TEST(RecordFragments, ShortcutsOfAPackageAreAddedAndNamelessOnesPassedOver)
{
    const std::string xml = fragment(
        "Shortcuts",
        " <Shortcut Name=\"Field Survey\" LinkPos=\"menuprograms\" LinkedTo=\"&lt;TARGETDIR&gt;\\survey.exe\""
        " FolderName=\"Survey Suite\"/>\n"
        " <Shortcut Name=\"\" LinkPos=\"Desktop\" LinkedTo=\"x.exe\"/>\n"
        " <Shortcut Name=\"Manual\" LinkPos=\"Desktop\" LinkedTo=\"&lt;TARGETDIR&gt;\\manual.pdf\""
        " IconPath=\"&lt;TARGETDIR&gt;\\survey.exe\" IconIndex=\"2\"/>\n");
    auto feature = makeFeaturePtr();
    ASSERT_TRUE(parseShortcutsXmlFragment(*feature, bytes(xml)));
    ASSERT_EQ(feature->shortcutCount(), 2);
    const Shortcut& menu = *feature->shortcutAt(0);
    EXPECT_EQ(menu.name, u"Field Survey");
    EXPECT_EQ(menu.linkPos, kLinkMenuPrograms);
    EXPECT_EQ(menu.linkedTo, u"<TARGETDIR>\\survey.exe");
    EXPECT_EQ(menu.folderName, u"Survey Suite");
    EXPECT_EQ(menu.iconIndex, 0);
    const Shortcut& manual = *feature->shortcutAt(1);
    EXPECT_EQ(manual.linkPos, kLinkDesktop);
    EXPECT_EQ(manual.iconPath, u"<TARGETDIR>\\survey.exe");
    EXPECT_EQ(manual.iconIndex, 2);

    // A shortcut of one attribute is refused; the one before it stays.
    auto refused = makeFeaturePtr();
    EXPECT_FALSE(parseShortcutsXmlFragment(
        *refused, bytes(fragment("Shortcuts", " <Shortcut Name=\"A\" LinkedTo=\"a.exe\"/>\n <Shortcut Name=\"B\"/>\n"))));
    ASSERT_EQ(refused->shortcutCount(), 1);
    EXPECT_EQ(refused->shortcutAt(0)->name, u"A");
}

TEST(RecordFragments, EnvironmentVariablesAndFeatureScriptsAreAppended)
{
    auto feature = makeFeaturePtr();
    ASSERT_TRUE(parseEnvironmentVarsXmlFragment(
        *feature, bytes(fragment("EnvironmentVars",
                                 " <EnvironmentVar Name=\"PATH\" Value=\"&lt;TARGETDIR&gt;\\bin\" Type=\"system\""
                                 " AddMode=\"Create\" Placement=\"Prefix\" RepInUpgrade=\"No\" WasPresent=\"no\""
                                 " RemoveTrailingSlash=\"Yes\"/>\n"
                                 " <EnvironmentVar Name=\"SURVEY_HOME\" Value=\"&lt;TARGETDIR&gt;\"/>\n"))));
    ASSERT_EQ(feature->environmentVarCount(), 2);
    const EnvironmentVar& path = *feature->environmentVarAt(0);
    EXPECT_EQ(path.value, u"<TARGETDIR>\\bin");
    EXPECT_EQ(path.type, kEnvTypeSystem);
    EXPECT_EQ(path.addMode, kEnvAddCreate);
    EXPECT_EQ(path.placement, kEnvPlacePrefix);
    EXPECT_FALSE(path.removeOnUninstall);
    EXPECT_EQ(path.wasPresent, kEnvWasPresentNo);
    EXPECT_TRUE(path.removeTrailingSlash);
    const EnvironmentVar& home = *feature->environmentVarAt(1);
    EXPECT_EQ(home.type, kEnvTypeAuto);
    EXPECT_EQ(home.addMode, kEnvAddSet);
    EXPECT_EQ(home.placement, kEnvPlaceReplace);
    EXPECT_TRUE(home.removeOnUninstall);
    EXPECT_EQ(home.wasPresent, kEnvWasPresentUnknown);

    ASSERT_TRUE(parseFeatureScriptsXmlFragment(
        *feature, bytes(fragment("FeatureScripts",
                                 " <FeatureScript Name=\"register\" ExecutionTime=\"onInstall\""
                                 " Script=\"Hal.Log(&quot;in&quot;)\"/>\n"
                                 " <FeatureScript Name=\"unregister\" ExecutionTime=\"ONUNINSTALL\" Script=\"x = 1\"/>\n"))));
    ASSERT_EQ(feature->featureScriptCount(), 2);
    EXPECT_EQ(feature->featureScriptAt(0)->script, u"Hal.Log(\"in\")");
    EXPECT_EQ(feature->featureScriptAt(0)->executionTime, kScriptOnInstall);
    EXPECT_EQ(feature->featureScriptAt(1)->executionTime, kScriptOnUninstall);
}

TEST(RecordFragments, FileAssociationsInARowAreReadWhole)
{
    const std::string xml = fragment(
        "FileAssociations",
        " <FileAssociation ProgId=\"Survey.Job\" Description=\"Survey job\" IconPath=\"&lt;TARGETDIR&gt;\\job.ico\""
        " IconIndex=\"1\">\n"
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
    EXPECT_EQ(job.progId, u"Survey.Job");
    EXPECT_EQ(job.iconIndex, 1);
    ASSERT_EQ(job.extensionCount(), 2);
    const FileExtension& first = *job.extensionAt(0);
    EXPECT_EQ(first.name, u".job");
    EXPECT_TRUE(first.expAssReset);
    EXPECT_EQ(first.actionCount(), 2);
    EXPECT_EQ(first.actionArguments(kVerbOpen), u"\"%1\"");
    EXPECT_EQ(first.actionArguments(kVerbPrint), u"/p \"%1\"");
    EXPECT_FALSE(job.extensionAt(1)->expAssReset);
    EXPECT_EQ(feature->fileAssociationAt(1)->progId, u"Survey.Code");
    EXPECT_EQ(feature->fileAssociationAt(1)->iconIndex, -1);
    EXPECT_EQ(feature->fileAssociationAt(1)->extensionCount(), 0);
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
        ASSERT_EQ(feature->fileAssociationCount(), 1) << body;
        EXPECT_EQ(feature->fileAssociationAt(0)->progId, u"A");
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
    const AppPool& pool = *web.appPoolAt(0);
    EXPECT_EQ(pool.dotNetVersion, u"v2.0");
    EXPECT_EQ(pool.queueLength, 1000);
    EXPECT_EQ(pool.managedMode, kPipelineClassic);
    EXPECT_FALSE(pool.enable32);
    EXPECT_EQ(pool.identity, kIdentityLocalSystem);
    EXPECT_EQ(pool.idleTimeout, 0);
    EXPECT_EQ(pool.maxProcesses, 2);
    ASSERT_EQ(web.webSiteCount(), 1);
    const WebSite& site = *web.webSiteAt(0);
    EXPECT_EQ(site.port, 8080);
    EXPECT_EQ(site.siteNumber, 1);
    ASSERT_EQ(site.applicationCount(), 2);
    EXPECT_EQ(site.applicationAt(0)->sourcePath, u"<TARGETDIR>\\web");
    EXPECT_EQ(site.applicationAt(1)->sourcePath, u"<TARGETDIR>");  // the default
    EXPECT_EQ(site.applicationAt(1)->appPool, u"SurveyPool");

    auto refused = makeFeaturePtr();
    EXPECT_FALSE(parseIisXmlFragment(*refused, bytes(fragment("Web", " <Application Name=\"a\"/>\n"))));
    EXPECT_FALSE(parseIisXmlFragment(
        *refused, bytes(fragment("Web", " <WebSite Name=\"a\">\n  <WebSite Name=\"b\"/>\n </WebSite>\n"))));
    EXPECT_EQ(refused->webServer().webSiteCount(), 0);
}

TEST(RecordFragments, EachReaderTakesOnlyItsOwnKind)
{
    struct Case {
        const char* what;
        Parser parse;
        int (*count)(const Feature&);
    } cases[] = {
        {"shortcuts", parseShortcutsXmlFragment, [](const Feature& f) { return f.shortcutCount(); }},
        {"environment", parseEnvironmentVarsXmlFragment, [](const Feature& f) { return f.environmentVarCount(); }},
        {"associations", parseFileAssociationsXmlFragment, [](const Feature& f) { return f.fileAssociationCount(); }},
        {"scripts", parseFeatureScriptsXmlFragment, [](const Feature& f) { return f.featureScriptCount(); }},
        {"web server",
         parseIisXmlFragment,
         [](const Feature& f) { return f.webServer().appPoolCount() + f.webServer().webSiteCount(); }},
    };
    for (const Case& c : cases) {
        auto feature = makeFeaturePtr();
        ASSERT_TRUE(c.parse(*feature, bytes(kMixed))) << c.what;
        const int own = c.count(*feature);
        EXPECT_EQ(own, c.parse == parseIisXmlFragment ? 2 : 1) << c.what;
        EXPECT_EQ(recordCount(*feature), own) << c.what;
    }
}

TEST(RecordFragments, AnEmptyOrBrokenFragmentIsRefused)
{
    const Parser parsers[] = {parseShortcutsXmlFragment, parseEnvironmentVarsXmlFragment,
                              parseFileAssociationsXmlFragment, parseFeatureScriptsXmlFragment, parseIisXmlFragment};
    for (const Parser parse : parsers) {
        auto feature = makeFeaturePtr();
        EXPECT_FALSE(parse(*feature, {}));
        EXPECT_FALSE(parse(*feature, bytes("<Records><Shortcut Name='x' LinkedTo='y'/></Records>")));
        EXPECT_FALSE(parse(*feature, bytes("<Records>")));
        EXPECT_FALSE(feature->hasContent());
        EXPECT_EQ(recordCount(*feature), 0);
    }
}

}  // namespace
}  // namespace druvex
