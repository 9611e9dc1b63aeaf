// The installed log: "InstalledLog.xml" written byte for byte as the golden
// file holds it, read back and written again unchanged, the documents the
// reader refuses (leaving an empty log), and a save that fails half-way
// leaving the previous file in place.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/xml_reader.h"
#include "data/content_tree.h"
#include "data/installed_log.h"
#include "fileutil/file_util.h"
#include "host/wince_hal_access.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/fault_injecting_hal.h"
#include "support/shared_string_print.h"
#include "test_data_files.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string serialized(const InstalledLog& log)
{
    Bytes bytes;
    EXPECT_TRUE(log.serialize(bytes));
    return std::string(bytes.begin(), bytes.end());
}

bool load(InstalledLog& log, const std::string& xml)
{
    return log.loadFromBuffer(xml.data(), xml.size());
}

void addFile(Feature& feature, const char16_t* path, std::int32_t flags = 0)
{
    auto file = std::make_shared<ContentFile>(SharedString(path));
    file->setFlags(flags);
    feature.addContent(file);
}

// What the golden file holds: every field of the log set, two features with
// files, records and registry, a feature script with markup in it.
void fill(InstalledLog& log)
{
    log.setProgramName(u"Survey Pro & Office");
    log.setProgramVersion(VersionNumber::fromText(u"4.1.2"));
    log.setDailyBuild(true);
    log.setRevisionNumber(VersionNumber::fromText(u"7.0.12"));
    log.setInstallerVersion(VersionNumber::fromText(u"5.1"));
    log.setMinAutoVersion(VersionNumber::fromText(u"5.0.3"));
    log.setInstalledForAllUsers(true);
    log.setOwner(u"technician");
    log.setDestinationFolder(u"\\Program Files\\Survey Pro");
    log.setLanguage(1031, u"Deutsch");
    log.setEula(std::make_shared<EulaRecord>(EulaRecord{u"License", 1031, u"ExtraData/EULA/Deutsch"}));
    log.setSupportFlags(kInstalledLogSupportsRoboActions);
    log.addPendingRegistration(u"\\Program Files\\Survey Pro\\bin\\gps.dll");
    log.addPendingRegistration(u"\\Windows\\survey_ocx.dll");

    auto jobs = InstallerVariable::create(u"JOBFOLDER");
    jobs->setPersistent(true);
    jobs->setValue(kPlatformControllers, kVariableAllUsers, u"<MYDOCUMENTS>\\Jobs");
    jobs->setValue(kPlatformQm40, kVariableAllUsers, u"\\Storage Card\\Jobs");
    log.append(jobs);

    auto core = makeFeaturePtr();
    ASSERT_TRUE(core->setName(u"Feature/Core"));
    core->clearContent();
    core->setPrompt(u"Core <program>");
    core->setVersion(u"4.1.2");
    core->setDigest(u"0123456789ABCDEF0123456789ABCDEF01234567");
    core->setTimestamp(1715900000);
    core->setReqSpace(2048000);
    core->setPresel(FeaturePreselection::Required);
    core->addComponentFeature(u"Feature/Help");
    addFile(*core, u"/Program Files/Survey Pro/bin/survey.exe");
    addFile(*core, u"/Program Files/Survey Pro/bin/gps.dll", 2);
    addFile(*core, u"/Windows/survey_ocx.dll");
    auto shortcut = std::make_shared<Shortcut>();
    shortcut->name = u"Survey Pro";
    shortcut->linkPos = kLinkMenuPrograms;
    shortcut->linkedTo = u"<TARGETDIR>\\bin\\survey.exe";
    core->addShortcut(shortcut);
    auto key = std::make_shared<regmodel::RegistryKey>(u"Software\\Druvex\\Survey", regmodel::kKeyPersistent);
    key->addChild(std::make_shared<regmodel::RegistryValue>(u"Path", regmodel::kValueString, u"<TARGETDIR>"));
    core->getRegistry().getRoot(regmodel::kRootLocalMachine)->addChild(key);
    auto script = std::make_shared<FeatureScript>();
    script->name = u"cleanup";
    script->script = u"if a < b then Hal:deleteFile(\"x\") end";
    script->executionTime = kScriptOnUninstall;
    core->addFeatureScript(script);
    log.addFeature(core);

    auto help = makeFeaturePtr();
    ASSERT_TRUE(help->setName(u"Feature/Help/English"));
    help->clearContent();
    help->setLocaleId(1033);
    help->setVersion(u"4.1");
    help->setFailed(true);
    addFile(*help, u"/Program Files/Survey Pro/help/en/index.htm");
    log.addFeature(help);
}

TEST(InstalledLog, TheFilledLogWritesTheGoldenFileAndReadsBackByteForByte)
{
    const std::string expected = test::testDataText("statefiles/InstalledLog-golden.xml");
    InstalledLog log;
    fill(log);
    EXPECT_EQ(serialized(log), expected);

    InstalledLog reread;
    reread.setOwner(u"left over");
    ASSERT_TRUE(load(reread, expected));
    EXPECT_EQ(serialized(reread), expected);

    // The getters other Parts read, and the pieces a byte compare would not tell apart.
    EXPECT_EQ(reread.getProgramName(), u"Survey Pro & Office");
    EXPECT_EQ(reread.getProgramVersion(), VersionNumber::fromText(u"4.1.2"));
    EXPECT_TRUE(reread.isDailyBuild());
    EXPECT_EQ(reread.getRevisionNumber().toText(), u"7.0.12");
    EXPECT_EQ(reread.getInstallerVersion().toText(), u"5.1");
    EXPECT_EQ(reread.getMinAutoVersion().toText(), u"5.0.3");
    EXPECT_TRUE(reread.isInstalledForAllUsers());
    EXPECT_EQ(reread.getOwner(), u"technician");
    EXPECT_EQ(reread.getDestinationFolder(), u"\\Program Files\\Survey Pro");
    EXPECT_EQ(reread.getLanguageId(), 1031);
    EXPECT_EQ(reread.getLanguageName(), u"Deutsch");
    ASSERT_TRUE(reread.getEula());
    EXPECT_EQ(reread.getEula()->localeId, 1031);
    EXPECT_EQ(reread.getSupportFlags() & kInstalledLogSupportsRoboActions, kInstalledLogSupportsRoboActions);
    ASSERT_EQ(reread.getPendingRegistrationCount(), 2u);
    EXPECT_EQ(reread.getPendingRegistration(1), u"\\Windows\\survey_ocx.dll");
    ASSERT_EQ(reread.count(), 1);
    EXPECT_TRUE(reread.at(0)->isPersistent());
    EXPECT_EQ(reread.at(0)->getExactValue(kPlatformQm40, kVariableAllUsers), u"\\Storage Card\\Jobs");

    ASSERT_EQ(reread.getFeatureCount(), 2);
    const Feature& core = *reread.getFeature(0);
    EXPECT_EQ(core.getName(), u"Feature/Core");
    EXPECT_EQ(core.parent(), nullptr);
    ASSERT_EQ(core.contentCount(), 3);
    EXPECT_TRUE(core.contentAt(0)->isFile());
    EXPECT_EQ(core.contentAt(0)->getName(), u"/Program Files/Survey Pro/bin/survey.exe");
    EXPECT_EQ(core.contentAt(1)->getFlags(), 2);
    EXPECT_EQ(core.getTimestamp(), 1715900000);
    EXPECT_EQ(core.componentFeatureCount(), 1);
    EXPECT_EQ(core.shortcutCount(), 1);
    EXPECT_EQ(core.featureScriptAt(0)->script, u"if a < b then Hal:deleteFile(\"x\") end");
    EXPECT_TRUE(core.hasRegistry());
    EXPECT_TRUE(reread.getFeature(1)->getFailed());
    EXPECT_EQ(reread.findFeature(u"feature/help/ENGLISH"), reread.getFeature(1));
    EXPECT_EQ(reread.findFeature(u"Help/English"), nullptr);
    EXPECT_THROW(reread.getFeature(2), std::out_of_range);
}

TEST(InstalledLog, AnEmptyLogLeavesOutWhatItDoesNotHold)
{
    InstalledLog log;
    const std::string written = serialized(log);
    EXPECT_EQ(written.find("InstalledProgramRevisionNumber"), std::string::npos);
    EXPECT_EQ(written.find("<Eula"), std::string::npos);
    InstalledLog reread;
    ASSERT_TRUE(load(reread, written));
    EXPECT_EQ(serialized(reread), written);
    EXPECT_EQ(reread.getFeatureCount(), 0);
    EXPECT_EQ(reread.getEula(), nullptr);

    // clear() gets back to exactly this state from a filled log.
    fill(log);
    log.clear();
    EXPECT_EQ(serialized(log), written);

    ASSERT_TRUE(test::toolInstalled("xmllint"));
    fill(log);
    const std::string filled = serialized(log);
    const test::ToolResult lint = test::runTool("xmllint --noout - 2>&1", Bytes(filled.begin(), filled.end()));
    EXPECT_EQ(lint.exitCode, 0) << std::string(lint.output.begin(), lint.output.end());
}

TEST(InstalledLog, RefusedDocumentsLeaveAnEmptyLog)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n";
    const char* refused[] = {
        "",
        "<InstalledLog>",                                       // does not parse
        "<data><Version>3</Version></data>",                    // another document
        "<InstalledLog><File Name=\"/x\"/></InstalledLog>",     // a file outside a feature
        "<InstalledLog><Features><Feature Prompt=\"x\"/></Features></InstalledLog>",  // no Name
        "<InstalledLog><Features><Feature Name=\"F\"><InstalledFiles><File Flags=\"1\"/></InstalledFiles>"
        "</Feature></Features></InstalledLog>",                 // a file without its path
        "<InstalledLog><Definition platform=\"All\">x</Definition></InstalledLog>",
        "<InstalledLog><HKEY_LOCAL_MACHINE/></InstalledLog>",   // registry outside a feature
        "<InstalledLog><Shortcut Name=\"a\" LinkedTo=\"b\"/></InstalledLog>",
        "<InstalledLog><Features><Feature Name=\"F\"><Feature Name=\"G\"/></Feature></Features></InstalledLog>",
    };
    for (const char* body : refused) {
        SCOPED_TRACE(body);
        InstalledLog log;
        fill(log);
        const std::string document = *body ? head + body : std::string();
        XmlParseError error;
        EXPECT_FALSE(log.loadFromBuffer(document.data(), document.size(), &error));
        EXPECT_STRNE(error.rule, "");
        EXPECT_EQ(log.getFeatureCount(), 0);
        EXPECT_EQ(log.count(), 0);
        EXPECT_TRUE(log.getProgramName().isEmpty());
    }

    // The reason names the element refused.
    const std::string wrongRoot = head + "<data><Version>3</Version></data>";
    XmlParseError error;
    InstalledLog log;
    EXPECT_FALSE(log.loadFromBuffer(wrongRoot.data(), wrongRoot.size(), &error));
    EXPECT_STREQ(error.rule, kXmlRuleHandlerRefused);
    EXPECT_EQ(error.offset, head.size());

    // Elements it does not know are passed over, so later builds may add some.
    ASSERT_TRUE(load(log, head + "<installedlog><Later x=\"1\"/><program Name=\"P\" InstalledProgramVersion=\"a.b\"/>"
                                 "</installedlog>"));
    EXPECT_EQ(log.getProgramName(), u"P");
    EXPECT_EQ(log.getProgramVersion().partCount(), 0);
}

class InstalledLogFile : public test::DeviceFixture {
protected:
    std::shared_ptr<HalAccessWinCE> host_ = std::make_shared<HalAccessWinCE>();
};

// The log is the only record of what is installed: a save that fails must not
// cost the one already there.
TEST_F(InstalledLogFile, AFailedSaveLeavesThePreviousLogInPlace)
{
    device().makeFolder("Survey");
    const SharedString path = u"\\Survey\\InstalledLog.xml";
    InstalledLog first;
    first.setProgramName(u"First");
    ASSERT_TRUE(first.saveToFile(*host_, path));
    const std::string before = device().readFile("Survey/InstalledLog.xml");
    EXPECT_EQ(before, serialized(first));

    InstalledLog second;
    fill(second);
    test::HalFaultPlan plan;
    plan.failWriteNumber = 1;
    test::FaultInjectingHal failing(host_, plan);
    test::DiagCapture diag;
    EXPECT_FALSE(second.saveToFile(failing, path));
    EXPECT_TRUE(diag.contains(u"The installed log cannot be written to \\Survey\\InstalledLog.xml.tmp"));
    EXPECT_EQ(device().readFile("Survey/InstalledLog.xml"), before);
    EXPECT_FALSE(device().exists("Survey/InstalledLog.xml.tmp"));

    ASSERT_TRUE(second.saveToFile(*host_, path));
    Bytes bytes;
    ASSERT_TRUE(readFileToBuffer(*host_, bytes, path));
    InstalledLog reread;
    ASSERT_TRUE(reread.loadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_EQ(reread.getFeatureCount(), 2);
    EXPECT_FALSE(device().exists("Survey/InstalledLog.xml.bak"));
}

}  // namespace
}  // namespace druvex
