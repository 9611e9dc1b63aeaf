// The redistributables manager: the list read from the archive with its
// package sources, check answers kept by name with their log lines, the
// required list from the features to install, the custom actions of the run
// and the dependencies, the worst result, packages that must be downloaded,
// and the installation step.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "controller/controller_fixture.h"
#include "controller/engine_doubles.h"
#include "controller/custom_action_hooks.h"
#include "controller/redistributable_installer.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "data/redist_info.h"
#include "fileutil/file_util.h"
#include "payload/payload_archive.h"
#include "payload/payload_test_support.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Names = std::vector<SharedString>;
using Lines = std::vector<std::u16string>;

// vcrt is present, net and app are not, old cannot be installed here, and
// unchecked has no check script. app depends on net and vcrt.
constexpr char kList[] = R"(<?xml version="1.0" encoding="utf-8"?>
<RedistInfo>
 <Redistributable Name="vcrt" Version="9.0" Digest="AA11" compressed-size="7" DisplayName="C runtime">
  <Check>function check() return 1, "present" end</Check>
 </Redistributable>
 <Redistributable Name="net" Version="3.5" Digest="BB22" compressed-size="900" url="http://updates.test/net.lzma">
  <Check>function check() return 0, "not installed" end</Check>
 </Redistributable>
 <Redistributable Name="old" Digest="CC33">
  <Check>function check() return -2, "Needs a newer system" end</Check>
 </Redistributable>
 <Redistributable Name="app" Digest="DD44" url="http://updates.test/app.lzma">
  <Dependency>net</Dependency>
  <Dependency>vcrt</Dependency>
  <Check>function check() if DQ_GetVariableValue("APP_DONE") == "yes" then return 1, "" end return 0, "" end</Check>
 </Redistributable>
 <Redistributable Name="unchecked" Digest="EE55"/>
</RedistInfo>
)";

class RecordingObserver final : public RedistributableInstallObserver {
public:
    void onRedistributableStart(const SharedString& displayName, int index, int count) override
    {
        started.push_back(displayName + u" " + fromUtf8(std::to_string(index) + "/" + std::to_string(count)));
    }
    Names started;
};

class Redistributables : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        test::ControllerFixture::SetUp();
        makeController();
        openArchive("Temp/setup.dqres", kList);
    }

    void openArchive(const std::string& path, std::string_view list)
    {
        const test::Bytes archive = test::buildArchive(
            {test::codedEntry(u"ExtraData/Redist/RedistInfo", kPayloadMethodLzma, test::toBytes(list)),
             test::codedEntry(u"ExtraData_Redist_vcrt", kPayloadMethodStored, test::toBytes("package"))});
        device().writeFile(path, std::string(archive.begin(), archive.end()));
        int error = 0;
        ASSERT_TRUE(controller().getPayloadArchive().open(u"\\" + fromUtf8(path), error));
    }

    RedistributableInstaller& manager()
    {
        return dynamic_cast<RedistributableInstaller&>(controller().getRedistributables());
    }

    // A custom action of the run that requires the redistributables.
    void require(std::initializer_list<const char16_t*> names)
    {
        const auto action = std::make_shared<CustomAction>();
        action->setName(u"Action" + fromUtf8(std::to_string(++actions_)));
        for (const char16_t* name : names)
            action->addRequiredRedist(name);
        InstallData& data = controller().getInstallData();
        data.addCustomAction(action);
        data.setCustomActionsSequence(data.customActionsSequence() + u"[INSTALL-EXIT]" + action->getNameRef() + u";");
    }

    std::vector<PackageSource> sourcesOf(const char16_t* name)
    {
        std::vector<PackageSource> sources;
        for (const RedistributablePtr& item : manager().getDefinitions()) {
            if (item->getNameRef() == name)
                controller().getPackageSources().equalRange(*item, sources);
        }
        return sources;
    }

    int actions_ = 0;
};

TEST_F(Redistributables, DefinitionsAndTheirSources)
{
    manager().loadDefinitions();
    Names names;
    for (const RedistributablePtr& item : manager().getDefinitions())
        names.push_back(item->getNameRef());
    EXPECT_EQ(names, (Names{u"vcrt", u"net", u"old", u"app", u"unchecked"}));
    EXPECT_EQ(manager().getDefinitions()[0]->displayName(), u"C runtime");
    EXPECT_EQ(manager().getDefinitions()[3]->nameListCount(), 2);

    const std::int32_t entry = controller().getPayloadArchive().findEntry(u"ExtraData_Redist_vcrt");
    ASSERT_GE(entry, 0);
    const auto packed = static_cast<std::uint32_t>(controller().getPayloadArchive().entryAt(entry).packedSize);
    EXPECT_EQ(sourcesOf(u"vcrt"),
              (std::vector<PackageSource>{{kSourceArchiveEntry, u"ExtraData_Redist_vcrt", packed, 0}}));
    EXPECT_TRUE(sourcesOf(u"net").empty());

    manager().registerDownloads();
    EXPECT_EQ(sourcesOf(u"net"),
              (std::vector<PackageSource>{{kSourceDownload, u"http://updates.test/net.lzma", 900, 0}}));
}

TEST_F(Redistributables, ChecksAreKeptByNameAndTheWorstResultCarriesItsMessage)
{
    manager().loadDefinitions();
    test::DiagCapture diag;
    manager().runChecks();
    const Lines lines = diag.lines();
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + 6),
              (Lines{u"Checking redistributable vcrt", u"result: 1 present", u"Checking redistributable net",
                     u"result: 0 not installed", u"Checking redistributable old", u"result: -2 Needs a newer system"}));
    EXPECT_TRUE(diag.contains(u"********** Redistributable unchecked has no check script **********"));

    RedistributableCheck answer;
    ASSERT_TRUE(manager().getCheckResult(u"VCRT", answer));
    EXPECT_EQ(answer.result, 1);
    EXPECT_EQ(answer.message, u"present");
    ASSERT_TRUE(manager().getCheckResult(u"old", answer));
    EXPECT_EQ(answer.result, -2);
    EXPECT_FALSE(manager().getCheckResult(u"unchecked", answer));

    SharedString message = u"untouched";
    manager().evaluateRequired();
    EXPECT_TRUE(manager().getWorstResult(message));
    EXPECT_FALSE(controller().needsRedistributables());

    require({u"vcrt", u"net"});
    controller().needsRedistributables();
    EXPECT_TRUE(manager().getWorstResult(message));
    EXPECT_EQ(message, u"untouched");
    EXPECT_TRUE(manager().needsInstall());

    require({u"old"});
    manager().evaluateRequired();
    EXPECT_FALSE(manager().getWorstResult(message));
    EXPECT_EQ(message, u"Needs a newer system");

    // An answer missing for a required name is reported and passed over.
    diag.clear();
    require({u"unchecked"});
    manager().evaluateRequired();
    EXPECT_FALSE(manager().getWorstResult(message));
    EXPECT_EQ(diag.dbgChkCount(), 1);
}

TEST_F(Redistributables, RequiredListAndPackagesToDownload)
{
    manager().loadDefinitions();
    manager().runChecks();
    // A feature the run installs requires vcrt; one not selected requires nothing.
    for (const char16_t* name : {u"Core", u"Extra"}) {
        const FeaturePtr feature = makeFeaturePtr();
        feature->setName(name);
        feature->addRequiredRedist(name == std::u16string_view(u"Core") ? u"vcrt" : u"old");
        controller().getInstallData().featureRoot()->addSubFeature(feature);
        if (name == std::u16string_view(u"Core"))
            controller().selectFeature(feature);
    }
    manager().evaluateRequired();
    EXPECT_EQ(manager().getRequired(), (Names{u"vcrt"}));
    EXPECT_FALSE(manager().needsInstall());
    EXPECT_FALSE(manager().isPackageMissing());

    // Dependencies come before the redistributable that needs them.
    require({u"app"});
    manager().evaluateRequired();
    EXPECT_EQ(manager().getRequired(), (Names{u"vcrt", u"net", u"app"}));
    EXPECT_EQ(manager().getRedistributablesToInstall(), (Names{u"net", u"app"}));
    EXPECT_TRUE(manager().needsInstall());
    // net is not present and has no entry in the archive.
    EXPECT_TRUE(manager().isPackageMissing());

    // An action that does not run in this mode requires nothing.
    controller().getInstallData().findCustomAction(u"Action1")->executionMask = 2;
    controller().buildPageSequenceForMode(kModeInstall);
    manager().evaluateRequired();
    EXPECT_EQ(manager().getRequired(), (Names{u"vcrt"}));

    controller().buildPageSequenceForMode(kModeDownload);
    manager().evaluateRequired();
    EXPECT_TRUE(manager().getRequired().empty());
}

TEST_F(Redistributables, InstallationRunsEachSetupElevatedInItsFolder)
{
    manager().loadDefinitions();
    manager().registerDownloads();
    manager().runChecks();
    require({u"app"});
    manager().evaluateRequired();
    ASSERT_EQ(manager().getRedistributablesToInstall(), (Names{u"net", u"app"}));

    const auto unpacker = std::make_shared<test::FakeUnpacker>();
    unpacker->files = {{"setup.lua", "function install() DQ_SetVariableValue('APP_DONE', 'yes') "
                                     "DQ_SetVariableValue('FOLDER', DQ_GetCustomActionExecFolder()) return true end"}};
    controller().setPackageFolderUnpacker(unpacker);
    RecordingObserver observer;
    SharedString failed = u"x";
    EXPECT_TRUE(manager().installRequired(&observer, failed));
    EXPECT_TRUE(failed.isEmpty());
    EXPECT_EQ(observer.started, (Names{u"net 0/2", u"app 1/2"}));
    const SharedString redist = controller().getWorkFolder() + u"\\Redist\\";
    EXPECT_EQ(unpacker->requests, (Names{u"net|2|http://updates.test/net.lzma|" + redist + u"net",
                                          u"app|2|http://updates.test/app.lzma|" + redist + u"app"}));
    EXPECT_EQ(controller().expandVariables(u"<FOLDER>"), redist + u"app");
    // The check ran again after the installation.
    RedistributableCheck answer;
    ASSERT_TRUE(manager().getCheckResult(u"app", answer));
    EXPECT_EQ(answer.result, 1);

    // A setup that answers false fails with the error it set.
    unpacker->files = {{"setup.lua", "function install() DQ_SetRedistLastError(true, 1603) return false end"}};
    require({u"old"});
    manager().evaluateRequired();
    EXPECT_FALSE(manager().installRequired(nullptr, failed));
    EXPECT_EQ(failed, u"net");
    EXPECT_EQ(controller().getRedistLastError(), 1603);
}

TEST_F(Redistributables, OneThatCannotGoOnThisMachineIsNotTried)
{
    manager().loadDefinitions();
    manager().runChecks();
    require({u"old"});
    manager().evaluateRequired();
    const auto unpacker = std::make_shared<test::FakeUnpacker>();
    controller().setPackageFolderUnpacker(unpacker);
    SharedString failed;
    test::DiagCapture diag;
    EXPECT_FALSE(manager().installRequired(nullptr, failed));
    EXPECT_EQ(failed, u"old");
    EXPECT_EQ(controller().getRedistLastError(), -2);
    EXPECT_TRUE(unpacker->requests.empty());
    EXPECT_TRUE(diag.contains(u"Redistributable old cannot be installed: Needs a newer system"));
}

TEST(RedistInfo, RefusedDocumentsKeepWhatCameBefore)
{
    struct Case {
        const char* document;
        bool ok;
        std::size_t kept;
    };
    const Case cases[] = {
        {"<RedistInfo><Redistributable Name=\"a\"/><Redistributable Name=\"b\"/></RedistInfo>", true, 2},
        {"<RedistInfo><Redistributable Name=\"a\"/><Redistributable Name=\"A\"/></RedistInfo>", false, 1},
        {"<RedistInfo><Redistributable Name=\"\"/></RedistInfo>", false, 0},
        {"<RedistInfo><Check>x</Check></RedistInfo>", false, 0},
        {"<RedistInfo><Redistributable Name=\"a\"><Redistributable Name=\"b\"/></Redistributable></RedistInfo>",
         false, 1},
        {"<RedistInfo><Redistributable Name=\"a\"></RedistInfo>", false, 1},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        std::vector<RedistributablePtr> list;
        EXPECT_EQ(parseRedistInfo(c.document, std::strlen(c.document), list), c.ok) << c.document;
        EXPECT_EQ(list.size(), c.kept) << c.document;
    }
}

// Each name is looked up among all before it, without regard to case (also
// beyond ASCII: U+00C5 and U+00E5 are one letter), over a list of thousands.
TEST(RedistInfo, ALongListKeepsItsOrderAndRefusesANameRepeatedInAnotherCase)
{
    std::string document = "<RedistInfo>";
    for (int i = 2999; i >= 0; --i)
        document += "<Redistributable Name=\"R\xC3\x85" + std::to_string(i) + "\"/>";
    const std::string whole = document + "</RedistInfo>";
    std::vector<RedistributablePtr> list;
    ASSERT_TRUE(parseRedistInfo(whole.data(), whole.size(), list));
    ASSERT_EQ(list.size(), 3000u);
    EXPECT_EQ(list.front()->getNameRef(), u"R\u00C52999");
    EXPECT_EQ(list.back()->getNameRef(), u"R\u00C50");

    const std::string repeated = document + "<Redistributable Name=\"r\xC3\xA5" "1234\"/></RedistInfo>";
    EXPECT_FALSE(parseRedistInfo(repeated.data(), repeated.size(), list));
    EXPECT_EQ(list.size(), 3000u);
    const std::string other = document + "<Redistributable Name=\"r\xC3\xA5" "3000\"/></RedistInfo>";
    EXPECT_TRUE(parseRedistInfo(other.data(), other.size(), list));
    EXPECT_EQ(list.size(), 3001u);
}

}  // namespace
}  // namespace druvex
