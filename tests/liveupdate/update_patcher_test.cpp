// The update patcher: what a bulletin's status lets it take, what applying
// changes and what it leaves, when a bulletin's feature differs from an
// installed one, and refused bulletins that leave nothing to apply.
#include "liveupdate/update_patcher.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "data/feature.h"
#include "data/install_data.h"
#include "liveupdate/fake_live_update_context.h"
#include "liveupdate/update_bulletin.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

std::string utf8(const SharedString& text)
{
    return SharedStringA::fromWide(text.c_str(), 65001).c_str();
}

// Each feature with a Version (the fixed nodes have none): full name,
// update state, Version, Digest.
void dumpTree(const Feature& feature, std::string& out)
{
    for (int i = 0; i < feature.subFeatureCount(); ++i) {
        const Feature& sub = *feature.subFeatureAt(i);
        if (!sub.getVersion().isEmpty())
            out += utf8(sub.getName()) + " state=" + std::to_string(sub.getUpdateState()) + " ver=" +
                   utf8(sub.getVersion()) + " digest=" + utf8(sub.getDigest()) + "\n";
        dumpTree(sub, out);
    }
}

std::string dump(test::FakeLiveUpdateContext& context)
{
    std::string out;
    dumpTree(*context.data.root(), out);
    const InstallerVariablePtr jobs = context.data.findByName(u"JOBDIR");
    out += "JOBDIR=" + (jobs ? utf8(jobs->getValue(kPlatformAll, kVariableAllUsers)) : std::string("-")) + "\n";
    return out;
}

bool load(test::FakeLiveUpdateContext& context, std::string_view xml)
{
    return context.patcher.loadBulletin(xml.data(), xml.size());
}

// The installed program: Feature/Survey 4.1 and the variable JOBDIR.
void installSurvey(test::FakeLiveUpdateContext& context)
{
    FeaturePtr survey = makeFeaturePtr();
    survey->setName(u"Survey");
    survey->setVersion(u"4.1");
    survey->setDigest(u"OLD");
    survey->setTimestamp(100);
    ASSERT_TRUE(context.data.featureRoot()->addSubFeature(survey));
    InstallerVariablePtr jobs = InstallerVariable::create(u"JOBDIR");
    jobs->setValue(kPlatformAll, kVariableAllUsers, u"\\Old");
    context.data.append(jobs);
}

std::string bulletinWithStatus(std::string_view status)
{
    return "<B><BulletinStatus>" + std::string(status) + R"(</BulletinStatus><Version Ver="4.2">
  <Feature Name="Feature/Survey" Prompt="Survey" Version="4.2" Digest="NEW" Timestamp="200"/>
  <Feature Name="Feature/Survey/Roads" Prompt="Roads" Version="4.2" Platforms="Qm40"/>
  <Feature Name="Feature/Maps" Prompt="Maps" Version="1.0"/>
  <Feature Name="Docs" Prompt="Docs" Version="1.0"/>
  <InstallerVariable name="JOBDIR"><Definition platform="All">\New</Definition></InstallerVariable>
 </Version></B>)";
}

TEST(UpdatePatcher, StatusAndApplyDecideWhatChanges)
{
    const struct {
        const char* status;
        bool apply;
        const char* expected;
    } cases[] = {
        {"Normal", true,
         "Feature/Survey state=1 ver=4.2 digest=NEW\n"
         "Feature/Survey/Roads state=2 ver=4.2 digest=\n"
         "Feature/Maps state=2 ver=1.0 digest=\n"
         "ExtraData/Docs state=2 ver=1.0 digest=\n"
         "JOBDIR=\\New\n"},
        {"Normal", false,
         "Feature/Survey state=0 ver=4.1 digest=OLD\n"
         "Feature/Survey/Roads state=2 ver=4.2 digest=\n"
         "Feature/Maps state=2 ver=1.0 digest=\n"
         "ExtraData/Docs state=2 ver=1.0 digest=\n"
         "JOBDIR=\\Old\n"},
        {"OnlyPlatformIndependent", true,
         "Feature/Survey state=1 ver=4.2 digest=NEW\n"
         "Feature/Maps state=2 ver=1.0 digest=\n"
         "ExtraData/Docs state=2 ver=1.0 digest=\n"
         "JOBDIR=\\New\n"},
        {"Rejected", true,
         "Feature/Survey state=0 ver=4.1 digest=OLD\n"
         "JOBDIR=\\Old\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.status) + (c.apply ? " applied" : " looked at"));
        test::FakeLiveUpdateContext context;
        installSurvey(context);
        ASSERT_TRUE(load(context, bulletinWithStatus(c.status)));
        EXPECT_TRUE(context.patcher.hasVersionRecord());
        EXPECT_TRUE(context.patcher.applyBulletin(c.apply));
        EXPECT_EQ(dump(context), c.expected);
        // A second application finds what the first added and adds nothing.
        EXPECT_TRUE(context.patcher.applyBulletin(c.apply));
        EXPECT_EQ(dump(context), c.expected);
    }
}

TEST(UpdatePatcher, AddedFeatureIsACopyNamedByItsLastPart)
{
    test::FakeLiveUpdateContext context;
    installSurvey(context);
    ASSERT_TRUE(load(context, R"(<B><Version Ver="2">
  <Feature Name="Feature/Survey/Roads" Prompt="Roads" Version="2" url="pkg/roads.lzma" LocaleId="1031">
   <ComponentFeature>Feature/Survey</ComponentFeature>
  </Feature></Version></B>)"));
    ASSERT_TRUE(context.patcher.applyBulletin(false));
    const FeaturePtr roads = context.data.findItemByPath(u"Feature/Survey/Roads");
    ASSERT_NE(roads, nullptr);
    const FeaturePtr held = context.patcher.getBulletin()->getLatestVersion()->getFeature(0);
    EXPECT_NE(roads, held);
    EXPECT_EQ(roads->getNameRef(), u"Roads");
    EXPECT_EQ(held->getNameRef(), u"Feature/Survey/Roads");
    // Addresses are resolved against the context's live-update address.
    EXPECT_EQ(roads->getUrl(), u"http://127.0.0.1:8080/p/pkg/roads.lzma");
    EXPECT_EQ(roads->getLocaleId(), 1031);
    ASSERT_EQ(roads->componentFeatureCount(), 1);
    EXPECT_EQ(*roads->componentFeatures().begin(), u"Feature/Survey");
}

TEST(UpdatePatcher, FeatureWithoutParentIsReportedAndLeftOut)
{
    test::FakeLiveUpdateContext context;
    installSurvey(context);
    ASSERT_TRUE(load(context, R"(<B><Version Ver="2">
  <Feature Name="Feature/Nowhere/Roads" Prompt="Roads" Version="2"/>
  <Feature Name="Feature/Survey/Maps" Prompt="Maps" Version="2"/></Version></B>)"));
    test::DiagCapture log;
    EXPECT_TRUE(context.patcher.applyBulletin(true));
    EXPECT_TRUE(log.contains(u"DBGCHK  UpdatePatcher:81")) << ::testing::PrintToString(log.lines());
    EXPECT_EQ(context.data.findItemByPath(u"Feature/Nowhere"), nullptr);
    EXPECT_NE(context.data.findItemByPath(u"Feature/Survey/Maps"), nullptr);
}

TEST(UpdatePatcher, RefusedBulletinLeavesNothingToApply)
{
    test::FakeLiveUpdateContext context;
    installSurvey(context);
    EXPECT_FALSE(context.patcher.applyBulletin(true));
    ASSERT_TRUE(load(context, bulletinWithStatus("Normal")));
    const std::string before = dump(context);
    // Valid features first, then a hostile address: nothing of it is taken.
    test::DiagCapture log;
    EXPECT_FALSE(load(context, R"(<B><Version Ver="4.3">
  <Feature Name="Feature/Maps" Prompt="Maps" Version="1.1"/>
  <InstallerVariable name="JOBDIR"><Definition platform="All">\Evil</Definition></InstallerVariable>
  <Feature Name="Feature/Survey" Prompt="Survey" Version="4.3" url="file:///etc/passwd"/>
 </Version></B>)"));
    EXPECT_TRUE(log.contains(u"Update bulletin refused at byte "));
    EXPECT_FALSE(context.patcher.hasVersionRecord());
    EXPECT_FALSE(context.patcher.applyBulletin(true));
    EXPECT_EQ(dump(context), before);
}

TEST(UpdatePatcher, BulletinFeatureDiffers)
{
    const struct {
        const char* what;
        int mode;
        bool installedFailed;
        const char16_t* installedVersion;
        const char16_t* bulletinVersion;
        const char16_t* bulletinDigest;
        std::int64_t bulletinTimestamp;
        bool installedCheck;
        bool differs;
    } cases[] = {
        {"installed one failed", 0, true, u"1.0", u"1.0", u"X", 100, true, true},
        {"installed-check flag", 0, false, u"1.0", u"1.0", u"Y", 200, true, false},
        {"equal digests", 0, false, u"1.0", u"1.0", u"X", 200, false, false},
        {"other digest, later", 0, false, u"1.0", u"1.0", u"Y", 200, false, true},
        {"other digest, earlier", 0, false, u"1.0", u"1.0", u"Y", 50, false, false},
        {"other digest, same time", 0, false, u"1.0", u"1.0", u"Y", 100, false, false},
        {"other digest, earlier, mode 3", 3, false, u"1.0", u"1.0", u"Y", 50, false, true},
        {"other version", 0, false, u"1.0", u"1.1", u"X", 50, false, true},
        {"versions compared as text", 0, false, u"1.0", u"1.0.0", u"X", 100, false, true},
        {"bulletin without version", 0, false, u"1.0", u"", u"Y", 200, false, false},
        {"neither has a version", 0, false, u"", u"", u"Y", 200, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FeaturePtr installed = makeFeaturePtr();
        installed->setVersion(c.installedVersion);
        installed->setDigest(u"X");
        installed->setTimestamp(100);
        installed->setFailed(c.installedFailed);
        FeaturePtr candidate = makeFeaturePtr();
        candidate->setVersion(c.bulletinVersion);
        candidate->setDigest(c.bulletinDigest);
        candidate->setTimestamp(c.bulletinTimestamp);
        candidate->setInstalledCheck(c.installedCheck);
        EXPECT_EQ(bulletinFeatureDiffers(c.mode, *installed, *candidate), c.differs);
    }
}

TEST(UpdatePatcher, EachKindOfInstallerTakesItsPackagesFromTheServer)
{
    const struct {
        const char16_t* url;
        bool fullInst;
        const char16_t* version;
        bool web;
        bool full;
    } rows[] = {
        {u"http://127.0.0.1/maps.lzma", true, u"2.0", true, true},
        {u"https://127.0.0.1/maps.lzma", false, u"", true, true},
        // A feature the full installer carries, without a Version to replace it by.
        {u"http://127.0.0.1/maps.lzma", true, u"", true, false},
        {u"", false, u"2.0", false, false},
        {u"file:///etc/passwd", false, u"2.0", false, false},
        {u"ftp://127.0.0.1/maps.lzma", false, u"2.0", false, false},
    };
    for (const auto& row : rows) {
        Feature feature;
        feature.setUrl(SharedString(row.url));
        feature.setFullInst(row.fullInst);
        feature.setVersion(SharedString(row.version));
        const std::string what = utf8(SharedString(row.url)) + " " + utf8(SharedString(row.version));
        EXPECT_EQ(acceptsItemForInstallerType(kInstallerTypeWeb, feature), row.web) << what;
        EXPECT_EQ(acceptsItemForInstallerType(kInstallerTypeFull, feature), row.full) << what;
        EXPECT_EQ(acceptsItemForInstallerType(kInstallerTypeBoth, feature), row.full) << what;
    }
}

}  // namespace
}  // namespace druvex
