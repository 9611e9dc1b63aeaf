// The installer data container: its fixed tree, lookups by path, language
// templates, the sequence texts, platform entries, merging settings, the path
// and file-name patterns, custom page layouts and the scriptable items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/content_tree.h"
#include "data/install_data.h"
#include "data/scriptable.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Names = std::vector<SharedString>;

FeaturePtr addFeature(const FeaturePtr& parent, const char16_t* name)
{
    FeaturePtr feature = makeFeaturePtr();
    feature->setName(name);
    parent->addSubFeature(feature);
    return feature;
}

LanguageTemplatePtr languageTemplate(const char16_t* feature, bool main)
{
    auto result = std::make_shared<LanguageTemplate>();
    result->feature = feature;
    result->ismain = main;
    return result;
}

TEST(InstallData, FixedTreeAndLookupsByPathIgnoringCase)
{
    InstallData data;
    ASSERT_EQ(data.root()->subFeatureCount(), 2);
    EXPECT_EQ(data.featureRoot()->getMode(), FeatureMode::NotVisible);
    EXPECT_EQ(data.extraDataRoot()->getMode(), FeatureMode::NotVisible);
    EXPECT_EQ(data.extraDataRoot()->subFeatureCount(), 2);
    EXPECT_EQ(data.findItemByPath(u"ExtraData/EULA"), data.eulaItem());
    EXPECT_EQ(data.findItemByPath(u"extradata/redist")->getMode(), FeatureMode::Collapsed);

    const FeaturePtr core = addFeature(data.featureRoot(), u"Core");
    const FeaturePtr exportFeature = addFeature(core, u"Export");
    EXPECT_EQ(data.findItemByPath(u"Feature/Core/Export"), exportFeature);
    EXPECT_EQ(data.findItemByPath(u"feature/CORE"), core);
    for (const char16_t* missing : {u"Feature//Core", u"Feature/Core/", u"", u"Feature/Missing"})
        EXPECT_EQ(data.findItemByPath(missing), nullptr) << toUtf8(SharedString(missing)).c_str();
}

TEST(InstallData, MainLanguageTemplateChoice)
{
    InstallData one;
    one.addLanguageTemplate(languageTemplate(u"Help", false));
    EXPECT_EQ(one.mainLanguageTemplate()->feature, u"Help");

    InstallData two;
    two.addLanguageTemplate(languageTemplate(u"Help", false));
    two.addLanguageTemplate(languageTemplate(u"Manuals", false));
    EXPECT_EQ(two.mainLanguageTemplate()->feature, u"Help");
    two.addLanguageTemplate(languageTemplate(u"Tips", true));
    EXPECT_EQ(two.mainLanguageTemplate()->feature, u"Tips");
    EXPECT_EQ(InstallData().mainLanguageTemplate(), nullptr);
    EXPECT_EQ(InstallData().mainLanguageFeature(), nullptr);

    // An include's template for a feature taken already (ignoring case) is dropped.
    auto include = std::make_shared<InstallData>();
    include->addLanguageTemplate(languageTemplate(u"HELP", true));
    include->addLanguageTemplate(languageTemplate(u"Extras", false));
    one.addInclude(include);
    std::vector<LanguageTemplatePtr> collected;
    one.collectLanguageTemplates(collected);
    ASSERT_EQ(collected.size(), 2u);
    EXPECT_EQ(collected[1]->feature, u"Extras");

    const FeaturePtr help = addFeature(one.featureRoot(), u"help");
    EXPECT_EQ(one.mainLanguageFeature(), help);
}

TEST(InstallData, SequenceLookups)
{
    struct Case {
        const char16_t* sequence;
        const char16_t* anchor;
        Names names;
    } cases[] = {
        {u"[INSTALL-BEGIN]a,b;[INSTALL-EXIT]c;", u"INSTALL-BEGIN", {u"a", u"b"}},
        {u"[INSTALL-BEGIN]a,b;[INSTALL-EXIT]c;", u"INSTALL-EXIT", {u"c"}},
        {u"[INSTALL-BEGIN]a,b;[INSTALL-EXIT]c;", u"POST-ENTER", {}},
        {u"[INSTALL-BEGIN2]x;[INSTALL-BEGIN]y;", u"INSTALL-BEGIN", {u"y"}},
        {u"[X]INSTALL-BEGIN;[INSTALL-BEGIN]y;", u"INSTALL-BEGIN", {}},
        {u"[A]a, b;", u"A", {u"a", u" b"}},
        {u"[A]a,,b;", u"A", {u"a", u"", u"b"}},
        {u"[A];[B]b;", u"A", {}},
        {u"[A]a", u"A", {}},
        {u"[A]a;", u"", {}},
        {u"[a]x;", u"A", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sequenceNamesAfter(c.sequence, c.anchor), c.names) << toUtf8(SharedString(c.sequence)).c_str();

    EXPECT_EQ(allSequenceNames(u"[INSTALL-BEGIN]a,b;[INSTALL-EXIT]c;"), (Names{u"a", u"b", u"c"}));
    EXPECT_EQ(allSequenceNames(u"[A]a;[B]b"), (Names{u"a"}));

    InstallData data;
    data.setCustomActionsSequence(u"[PREREQ-ENTER]Check;");
    Names names;
    EXPECT_TRUE(data.customActionsAfter(u"PREREQ-ENTER", names));
    EXPECT_FALSE(data.customActionsAfter(u"POST-EXIT", names));
    EXPECT_TRUE(names.empty());
}

TEST(InstallData, PlatformEntriesFallBackOnTheDataSettings)
{
    InstallData data;
    data.settings().setAuthor(u"Druvex");
    data.settings().set(InstallerSettingKey::InstallFolderMobile, u"\\Program Files\\A");
    const SupportedPlatformPtr qm40 = data.platformEntry(kPlatformQm40);
    EXPECT_EQ(data.platformEntry(kPlatformQm40), qm40);
    EXPECT_EQ(data.platformCount(), 1);
    EXPECT_EQ(data.findPlatformIndex(kPlatformQm40), 0);
    EXPECT_EQ(data.findPlatformIndex(kPlatformWm6), -1);
    qm40->settings().set(InstallerSettingKey::InstallFolderMobile, u"\\ROMDisk\\A");
    EXPECT_EQ(qm40->settings().lookupRaw(InstallerSettingKey::InstallFolderMobile), u"\\ROMDisk\\A");
    EXPECT_EQ(qm40->settings().lookupRaw(InstallerSettingKey::Author), u"Druvex");

    qm40->setRequirement(u"MinOS", u"5.0");
    qm40->setRequirement(u"MinOS", u"6.0");
    qm40->setRequirement(u"", u"x");
    ASSERT_EQ(qm40->requirements().size(), 1u);
    EXPECT_EQ(qm40->requirements().begin()->second, u"6.0");
}

TEST(InstallData, AssignSettingsTakesTheOtherDataOverWithoutTheDefaults)
{
    InstallData base;
    base.settings().setAuthor(u"Old");
    base.settings().setProgramName(u"Kept");
    base.append(InstallerVariable::create(u"OLD"));

    InstallData other;
    other.setFilePath(u"\\Setup\\merge.xml");
    other.setBannerInterval(5000);
    other.settings().setAuthor(u"New");
    other.platformEntry(kPlatformWm6)->settings().set(InstallerSettingKey::Copyright, u"(c)");
    other.platformEntry(kPlatformWm6)->setRequirement(u"MinOS", u"5.0");
    const InstallerVariablePtr variable = InstallerVariable::create(u"NEW");
    variable->setValue(kPlatformAll, kVariableAllUsers, u"x");
    other.append(variable);

    base.assignSettings(other);
    EXPECT_EQ(base.filePath(), u"\\Setup\\merge.xml");
    EXPECT_EQ(base.bannerInterval(), 5000);
    EXPECT_EQ(base.settings().getAuthor(), u"New");
    EXPECT_EQ(base.settings().getProgramName(), u"Kept");
    const SupportedPlatformPtr wm6 = base.platformEntry(kPlatformWm6);
    EXPECT_EQ(wm6->settings().lookupRaw(InstallerSettingKey::Copyright), u"(c)");
    EXPECT_EQ(wm6->settings().lookupRaw(InstallerSettingKey::Author), u"New");
    EXPECT_EQ(wm6->requirements().size(), 1u);
    ASSERT_EQ(base.count(), 1);
    EXPECT_EQ(base.at(0)->getName(), u"NEW");
    EXPECT_NE(base.at(0), variable);  // a copy, not the other data's variable

    // The program's defaults stay defaults rather than becoming own values.
    InstallerSettings::Iterator entry;
    entry.start(base.settings());
    int own = 0;
    while (entry.next())
        ++own;
    EXPECT_EQ(own, 2);
}

TEST(InstallData, TargetPathPatternsSplit)
{
    SharedString root;
    SharedString rest;
    splitRoot(u"", root, rest);
    EXPECT_EQ(root, u"<TARGETDIR>");
    splitRoot(u"<TARGETDIR>\\lang/x", root, rest);
    EXPECT_EQ(root, u"<TARGETDIR>");
    EXPECT_EQ(rest, u"lang/x");
    splitRoot(u"solo", root, rest);
    EXPECT_EQ(root, u"solo");
    EXPECT_EQ(rest, u"");

    SharedString folder;
    SharedString file;
    splitTargetPath(u"<TARGETDIR>\\lang\\de\\survey_%d.lng", root, folder, file);
    EXPECT_EQ(root, u"<TARGETDIR>");
    EXPECT_EQ(folder, u"lang\\de");
    EXPECT_EQ(file, u"survey_%d.lng");
    splitTargetPath(u"<TARGETDIR>\\survey.lng", root, folder, file);
    EXPECT_EQ(folder, u"");
    EXPECT_EQ(file, u"survey.lng");

    Feature holder;
    setContentPath(holder, u"<TARGETDIR>\\lang/de", u"survey.lng");
    ASSERT_EQ(holder.contentCount(), 1);
    const auto lang = holder.contentAt(0)->childAt(0);
    EXPECT_EQ(lang->getName(), u"lang");
    EXPECT_EQ(lang->childAt(0)->childAt(0)->pathFromRoot(), u"<TARGETDIR>/lang/de/survey.lng");
    setContentPath(holder, u"<WINDOWS>", u"");
    EXPECT_EQ(holder.countFiles(), 0);
    EXPECT_EQ(holder.contentAt(0)->getName(), u"<WINDOWS>");
}

TEST(InstallData, WildcardPatterns)
{
    struct Case {
        const char16_t* name;
        const char16_t* pattern;
        bool match;
        std::uint16_t languageId;
    } cases[] = {
        {u"help_1031", u"help_%d", true, 1031},
        {u"help_", u"help_%D", false, 0},  // the pattern is not used up
        {u"help_x", u"help_%Dx", true, 0},
        {u"abc", u"abc*", false, 0},
        {u"abcd", u"abc*", true, 0},
        {u"a.chm", u"*.chm", true, 0},
        {u"A", u"a", true, 0},
        {u"", u"", true, 0},
        {u"", u"*", false, 0},
        {u"abc%", u"abc%", false, 0},
        {u"ab%x", u"ab%x", false, 0},
        {u"DRUVEX_Installer-de-DE.lng", u"DRUVEX_Installer-%5.lng", true, 1031},
        {u"DRUVEX_Installer-zz-ZZ.lng", u"DRUVEX_Installer-%5.lng", false, 0},
        {u"help_99999", u"help_%d", true, static_cast<std::uint16_t>(99999)},
    };
    for (const Case& c : cases) {
        std::uint16_t languageId = 7;
        EXPECT_EQ(wildcardMatch(c.name, c.pattern, languageId), c.match) << toUtf8(SharedString(c.name)).c_str();
        if (c.match) {
            EXPECT_EQ(languageId, c.languageId) << toUtf8(SharedString(c.name)).c_str();
        }
    }
    EXPECT_TRUE(wildcardMatchStrings(u"HELP_1031.CHM", u"help_%D.chm"));
}

TEST(InstallData, LayoutIdsAreUniqueAmongDirectChildren)
{
    LinearLayout root;
    auto first = std::make_shared<TextView>();
    first->id = u"Intro";
    EXPECT_TRUE(root.addChild(first));
    auto same = std::make_shared<EditBox>();
    same->id = u"INTRO";
    EXPECT_FALSE(root.addChild(same));
    EXPECT_TRUE(root.addChild(std::make_shared<TextView>()));
    EXPECT_TRUE(root.addChild(std::make_shared<TextView>()));  // empty ids never clash
    EXPECT_EQ(root.findChild(u"intro"), first);
    auto copy = std::static_pointer_cast<LinearLayout>(root.clone());
    EXPECT_NE(copy->childAt(0), first);
    EXPECT_EQ(copy->childAt(0)->id, u"Intro");
    EXPECT_TRUE(root.removeChild(first.get()));
    EXPECT_EQ(root.findChild(u"intro"), nullptr);

    CustomPage page;
    EXPECT_TRUE(page.supportsMode(kModeNone));
    EXPECT_FALSE(page.supportsMode(kModeInstall));
    page.supportedModes = 255;
    EXPECT_TRUE(page.supportsMode(kModeMaintenanceWithoutLog));
    EXPECT_FALSE(page.supportsMode(kModeDownload));
    // A mode number from a saved file beyond the mask's 32 bits shows nothing.
    page.supportedModes = -1;
    EXPECT_TRUE(page.supportsMode(wizardModeFromNumber(31)));
    EXPECT_FALSE(page.supportsMode(wizardModeFromNumber(32)));
    EXPECT_FALSE(page.supportsMode(wizardModeFromNumber(-1)));
    page.targetPlatMask = platformMask(kPlatformQm40);
    EXPECT_TRUE(page.matchesPlatform(kPlatformQm40));
    EXPECT_FALSE(page.matchesPlatform(kPlatformWin32));
}

TEST(InstallDataScriptable, RedistributableNameLists)
{
    Redistributable redist;
    redist.setName(u"vcrt");
    EXPECT_EQ(redist.addDependency(u"msi"), 1);
    EXPECT_EQ(redist.addDependency(u""), 1);
    EXPECT_EQ(redist.addSupersede(u"vcrt2005"), 1);
    EXPECT_EQ(redist.nameListCount(), 1);
    EXPECT_EQ(redist.nameListItem(0), u"msi");
    EXPECT_EQ(redist.nameListItem(1), u"");
    EXPECT_EQ(redist.supersedeAt(0), u"vcrt2005");
    EXPECT_EQ(redist.displayName(), u"vcrt");  // none of its own: the name

    test::DiagCapture log;
    PrerequisiteCheck check;
    EXPECT_EQ(check.nameListCount(), 0);
    EXPECT_EQ(check.nameListItem(0), u"");
    EXPECT_EQ(log.dbgChkCount(), 1);
}

TEST(InstallDataScriptable, PrerequisiteDescription)
{
    const std::string description =
        "<Check>\n"
        " <Requirement FullName=\"Enough memory\"/>\n"
        " <Parameter>64</Parameter>\n"
        " <Parameter></Parameter>\n"
        " <Parameter>MB</Parameter>\n"
        "</Check>\n";
    PrerequisiteCheck check;
    ASSERT_TRUE(check.parseXml(description.data(), description.size()));
    EXPECT_EQ(check.getFullName(), u"Enough memory");
    EXPECT_EQ(check.getPlatforms(), kPlatformMaskAll);
    ASSERT_EQ(check.parameterCount(), 2);
    EXPECT_EQ(check.parameterAt(1), u"MB");

    const std::string platforms = "<Requirement FullName=\"x\" Platforms=\"Qm40\"/>";
    PrerequisiteCheck qm40;
    ASSERT_TRUE(qm40.parseXml(platforms.data(), platforms.size()));
    EXPECT_EQ(qm40.getPlatforms(), platformMask(kPlatformQm40));

    const std::string unnamed = "<Requirement FullName=\"\"/>";
    EXPECT_FALSE(PrerequisiteCheck().parseXml(unnamed.data(), unnamed.size()));
    EXPECT_FALSE(PrerequisiteCheck().parseXml(unnamed.data(), 0));
    const std::string broken = "<Requirement FullName=\"x\">";
    EXPECT_FALSE(PrerequisiteCheck().parseXml(broken.data(), broken.size()));
}

}  // namespace
}  // namespace druvex
