// Install items and features: naming and full paths, the sub-feature tree,
// language matching, component features, content tests, clone and
// assignFrom, and the archive names of packed items.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "data/content_tree.h"
#include "data/custom_action.h"
#include "data/feature.h"
#include "data/scriptable.h"
#include "support/shared_string_print.h"
#include "support/small_stack.h"

namespace druvex {
namespace {

FeaturePtr named(const char16_t* name, std::uint16_t localeId = 0)
{
    FeaturePtr feature = makeFeaturePtr();
    feature->setName(name);
    feature->setLocaleId(localeId);
    return feature;
}

TEST(FeatureNames, RenameKeepsTheSpellingWhenOnlyTheCaseDiffers)
{
    FeaturePtr parent = named(u"Feature");
    FeaturePtr tools = named(u"Tools");
    FeaturePtr help = named(u"Help");
    ASSERT_TRUE(parent->addSubFeature(tools));
    ASSERT_TRUE(parent->addSubFeature(help));

    EXPECT_TRUE(tools->setName(u"TOOLS"));
    EXPECT_EQ(tools->getNameRef(), u"Tools");
    EXPECT_FALSE(tools->setName(u"help"));
    EXPECT_FALSE(tools->setName(u""));
    EXPECT_TRUE(tools->setName(u"Extras"));
    EXPECT_FALSE(parent->addSubFeature(named(u"extras")));
    EXPECT_FALSE(parent->addSubFeature(makeFeaturePtr()));
    EXPECT_FALSE(parent->addSubFeature(nullptr));
    // Lookups follow renames and removals.
    EXPECT_EQ(parent->findSubFeatureByName(u"EXTRAS"), tools);
    EXPECT_EQ(parent->findSubFeatureByName(u"Tools"), nullptr);
    EXPECT_TRUE(parent->addSubFeature(named(u"Tools")));
    ASSERT_TRUE(parent->removeSubFeature(tools.get()));
    EXPECT_EQ(parent->findSubFeatureByName(u"extras"), nullptr);
    EXPECT_TRUE(parent->addSubFeature(named(u"Extras")));
    EXPECT_TRUE(tools->setName(u"Help"));  // no longer a sibling of the other Help
}

// Siblings added in descending order, looked up without regard to case (also
// beyond ASCII: U+00C5 and U+00E5 are one letter).
TEST(FeatureNames, ManySiblingsAreFoundByNameIgnoringCase)
{
    const auto name = [](const char16_t* prefix, int number) {
        std::u16string text = prefix;
        for (const char digit : std::to_string(number))
            text += static_cast<char16_t>(digit);
        return text;
    };
    FeaturePtr parent = named(u"Feature");
    for (int i = 999; i >= 0; --i)
        ASSERT_TRUE(parent->addSubFeature(named(name(u"F\u00C5", i).c_str())));
    EXPECT_EQ(parent->subFeatureCount(), 1000);
    EXPECT_EQ(parent->subFeatureAt(0)->getNameRef(), u"F\u00C5999");  // in the order added
    for (const int i : {0, 7, 500, 999}) {
        const FeaturePtr found = parent->findSubFeatureByName(name(u"f\u00E5", i));
        ASSERT_NE(found, nullptr) << i;
        EXPECT_EQ(found->getNameRef(), name(u"F\u00C5", i));
    }
    EXPECT_FALSE(parent->addSubFeature(named(u"f\u00E5123")));
    EXPECT_EQ(parent->findSubFeatureByName(u"F\u00C51000"), nullptr);
}

// Trees built in code have no depth limit: cloning and freeing them never
// recurse on their depth.
TEST(FeatureTree, DeepTreesAreClonedAndFreedWithoutRecursion)
{
    test::runOnSmallStack([] {
        FeaturePtr root = named(u"Feature");
        Feature* feature = root.get();
        for (int i = 0; i < 50'000; ++i) {
            FeaturePtr sub = named(u"f");
            ASSERT_TRUE(feature->addSubFeature(sub));
            feature = sub.get();
        }
        const FeaturePtr copy = Feature::clone(*root, true);
        int depth = 0;
        for (const Feature* walk = copy.get(); walk->subFeatureCount() > 0; walk = walk->subFeatureAt(0).get())
            ++depth;
        EXPECT_EQ(depth, 50'000);
    });
}

TEST(FeatureTree, FullPathsRemovalAndLoops)
{
    FeaturePtr root = makeFeaturePtr();
    FeaturePtr feature = named(u"Feature");
    FeaturePtr a = named(u"A");
    FeaturePtr b = named(u"B");
    root->addSubFeature(feature);
    feature->addSubFeature(a);
    ASSERT_TRUE(a->addSubFeature(b));
    // The full path skips unnamed ancestors.
    EXPECT_EQ(a->getName(), u"Feature/A");
    EXPECT_EQ(b->getName(), u"Feature/A/B");
    EXPECT_EQ(b->getNameRef(), u"B");
    EXPECT_TRUE(a->hasNamedParent());
    EXPECT_FALSE(feature->hasNamedParent());
    // A feature never becomes its own descendant.
    EXPECT_FALSE(b->addSubFeature(a));
    EXPECT_FALSE(a->addSubFeature(a));

    // Removal needs a named parent and the very feature.
    EXPECT_FALSE(root->removeSubFeature(feature.get()));
    EXPECT_FALSE(feature->removeSubFeature(named(u"A").get()));
    EXPECT_TRUE(feature->removeSubFeature(a.get()));
    EXPECT_EQ(feature->subFeatureCount(), 0);
    EXPECT_EQ(a->parent(), nullptr);
    EXPECT_THROW(feature->subFeatureAt(0), std::out_of_range);

    // Sub-features outliving their parent forget it.
    feature.reset();
    root.reset();
    EXPECT_EQ(a->getName(), u"A");
    EXPECT_EQ(b->getName(), u"A/B");
    a.reset();
    EXPECT_EQ(b->parent(), nullptr);
    EXPECT_EQ(b->getName(), u"B");
}

TEST(FeatureLanguages, MatchScoresFollowPrimaryAndSubLanguage)
{
    struct Case {
        std::uint16_t wanted;
        std::uint16_t candidate;
        int score;
    } cases[] = {
        {1031, 1033, 3}, {1031, 0, 2},    {1031, 1036, 1},  // other primary language
        {3079, 7, 5},    {3079, 1031, 6}, {1031, 3079, 4},  // same primary language
    };
    for (const Case& c : cases)
        EXPECT_EQ(Feature::languageMatchScore(c.wanted, c.candidate), c.score) << c.wanted << " " << c.candidate;
}

TEST(FeatureLanguages, ExactLocaleFirstThenTheBestScoreThenTheFirst)
{
    struct Case {
        std::vector<std::uint16_t> locales;
        std::uint16_t wanted;
        std::uint16_t found;
    } cases[] = {
        {{1033, 0}, 1031, 1033},
        {{2055, 1031}, 1031, 1031},
        {{7, 3079}, 1031, 7},
        {{7, 1031}, 3079, 1031},
        {{1036, 1040}, 1031, 1036},
    };
    for (const Case& c : cases) {
        FeaturePtr help = named(u"Help");
        int index = 0;
        for (const std::uint16_t locale : c.locales)
            help->addSubFeature(named(index++ == 0 ? u"first" : u"second", locale));
        ASSERT_NE(help->findSubFeatureForLanguage(c.wanted), nullptr);
        EXPECT_EQ(help->findSubFeatureForLanguage(c.wanted)->getLocaleId(), c.found) << c.wanted;
    }
    EXPECT_EQ(named(u"Empty")->findSubFeatureForLanguage(1031), nullptr);
}

TEST(FeatureComponents, ComponentsSortedWithTheInvertedAnswerRedistributablesDistinct)
{
    FeaturePtr feature = named(u"Core");
    EXPECT_FALSE(feature->addComponentFeature(u"Feature/Tools"));
    EXPECT_FALSE(feature->addComponentFeature(u"Feature/Help"));
    EXPECT_TRUE(feature->addComponentFeature(u"Feature/Help"));
    EXPECT_FALSE(feature->addComponentFeature(u"Feature/help"));  // ordinal: another name
    EXPECT_FALSE(feature->addComponentFeature(u""));
    ASSERT_EQ(feature->componentFeatureCount(), 3);
    EXPECT_EQ(std::vector<SharedString>(feature->componentFeatures().begin(), feature->componentFeatures().end()),
              (std::vector<SharedString>{u"Feature/Help", u"Feature/Tools", u"Feature/help"}));

    // Required redistributables are distinct and named; a shortcut needs a name.
    EXPECT_FALSE(feature->addRequiredRedist(u""));
    EXPECT_TRUE(feature->addRequiredRedist(u"vcrt"));
    EXPECT_TRUE(feature->addRequiredRedist(u"vcrt"));
    EXPECT_EQ(feature->requiredRedistCount(), 1);
    EXPECT_FALSE(feature->addShortcut(std::make_shared<Shortcut>()));
}

TEST(FeatureContent, TargetFoldersCountOnlyWithChildren)
{
    FeaturePtr feature = named(u"Core");
    EXPECT_FALSE(feature->hasContent());  // the lone empty "<TARGETDIR>"
    EXPECT_EQ(feature->contentAt(0)->getName(), u"<TARGETDIR>");
    EXPECT_THROW(feature->contentAt(1), std::out_of_range);

    feature->clearContent();
    feature->addContent(std::make_shared<ContentFolder>(u"installdir"));
    EXPECT_FALSE(feature->hasContent());
    feature->contentAt(0)->addChild(std::make_shared<ContentFile>(u"a.dll"));
    EXPECT_TRUE(feature->hasContent());
    EXPECT_FALSE(feature->hasFolderFiles());
    feature->contentAt(0)->childAt(0)->setFlags(kContentFlagFolderFile);
    EXPECT_TRUE(feature->hasFolderFiles());

    FeaturePtr other = named(u"Other");
    other->clearContent();
    other->addContent(std::make_shared<ContentFolder>(u"<WINDOWS>"));
    EXPECT_TRUE(other->hasContent());

    FeaturePtr registryOnly = named(u"Registry");
    registryOnly->getRegistry().getRoot(regmodel::kRootLocalMachine)->addChild(
        std::make_shared<regmodel::RegistryKey>(u"Software"));
    EXPECT_TRUE(registryOnly->hasContent());
    EXPECT_TRUE(registryOnly->hasRegistry());
}

FeaturePtr populated()
{
    FeaturePtr source = named(u"Core");
    source->setPrompt(u"Core");
    source->setDesc(u"desc");
    source->setPresel(FeaturePreselection::Required);
    source->setMode(FeatureMode::NotVisible);
    source->setSkippable(true);
    source->setStoreFileTimes(false);
    source->setFailed(true);
    source->setInstallAsAdmin(true);
    source->setLocaleId(1031);
    source->setTotalFiles(5);
    source->setEqReqSpace(77);
    source->setUpdateState(kFeatureAddedByUpdate);
    source->setInstalledCheck(true);
    source->setVersion(u"4.1");
    source->addComponentFeature(u"Feature/Help");
    source->contentAt(0)->addChild(std::make_shared<ContentFile>(u"a.dll"));
    auto shortcut = std::make_shared<Shortcut>();
    shortcut->name = u"Survey";
    source->addShortcut(shortcut);
    source->addEnvironmentVar(std::make_shared<EnvironmentVar>());
    auto association = std::make_shared<FileAssociation>();
    association->addExtension(std::make_shared<FileExtension>());
    source->addFileAssociation(association);
    source->addFeatureScript(std::make_shared<FeatureScript>());
    source->getRegistry().getRoot(regmodel::kRootCurrentUser)->addChild(std::make_shared<regmodel::RegistryKey>(u"K"));
    source->webServer().addAppPool(std::make_shared<AppPool>());
    source->addSubFeature(named(u"Sub"));
    return source;
}

TEST(FeatureCopies, CloneCopiesStateAndRecordsDeeplyButNotTheCounters)
{
    const FeaturePtr source = populated();
    const FeaturePtr copy = Feature::clone(*source, false);
    EXPECT_EQ(copy->getNameRef(), u"Core");
    EXPECT_EQ(copy->getDesc(), u"desc");
    EXPECT_EQ(copy->getPresel(), FeaturePreselection::Required);
    EXPECT_EQ(copy->getMode(), FeatureMode::NotVisible);
    EXPECT_TRUE(copy->getSkippable());
    EXPECT_FALSE(copy->getStoreFileTimes());
    EXPECT_TRUE(copy->getFailed());
    EXPECT_TRUE(copy->getInstallAsAdmin());
    EXPECT_EQ(copy->getLocaleId(), 1031);
    EXPECT_EQ(copy->getVersion(), u"4.1");
    EXPECT_EQ(copy->componentFeatureCount(), 1);
    EXPECT_EQ(copy->countFiles(), 1);
    EXPECT_TRUE(copy->hasRegistry());
    EXPECT_EQ(copy->webServer().appPoolCount(), 1);
    EXPECT_EQ(copy->getTotalFiles(), 0);
    EXPECT_EQ(copy->getEqReqSpace(), 0);
    EXPECT_EQ(copy->getUpdateState(), kFeatureUnchanged);
    EXPECT_FALSE(copy->getInstalledCheck());
    EXPECT_EQ(copy->subFeatureCount(), 0);
    EXPECT_EQ(Feature::clone(*source, true)->subFeatureAt(0)->getName(), u"Core/Sub");

    // Nothing is shared: edits of the copy leave the source as it was.
    copy->shortcutAt(0)->name = u"Changed";
    copy->fileAssociationAt(0)->extensionAt(0)->command = u"x";
    copy->contentAt(0)->childAt(0)->setName(u"b.dll");
    copy->webServer().appPoolAt(0)->name = u"pool";
    EXPECT_EQ(source->shortcutAt(0)->name, u"Survey");
    EXPECT_EQ(source->fileAssociationAt(0)->extensionAt(0)->command, u"");
    EXPECT_EQ(source->contentAt(0)->childAt(0)->getName(), u"a.dll");
    EXPECT_EQ(source->webServer().appPoolAt(0)->name, u"");
}

TEST(FeatureCopies, AssignFromTakesTheDescriptionOnly)
{
    const FeaturePtr target = populated();
    FeaturePtr bulletin = named(u"Other");
    bulletin->setPrompt(u"New prompt");
    bulletin->setPresel(FeaturePreselection::Default);
    bulletin->setFullInst(false);
    bulletin->setPlatforms(16);
    bulletin->setDigest(u"ABCD");
    bulletin->setUrl(u"http://x/y.lzma");
    bulletin->setCompressedSize(9);

    target->assignFrom(*bulletin);
    EXPECT_EQ(target->getPrompt(), u"New prompt");
    EXPECT_EQ(target->getDesc(), u"desc");  // an empty description keeps the old one
    EXPECT_EQ(target->getPresel(), FeaturePreselection::Default);
    EXPECT_EQ(target->getPlatforms(), 16);
    EXPECT_EQ(target->getDigest(), u"ABCD");
    EXPECT_EQ(target->getUrl(), u"http://x/y.lzma");
    EXPECT_EQ(target->getCompressedSize(), 9);
    EXPECT_EQ(target->componentFeatureCount(), 0);
    EXPECT_EQ(target->getNameRef(), u"Core");
    EXPECT_TRUE(target->isFullInst());
    EXPECT_TRUE(target->getFailed());
    EXPECT_FALSE(target->getStoreFileTimes());
    EXPECT_EQ(target->countFiles(), 1);
    EXPECT_EQ(target->subFeatureCount(), 1);
    EXPECT_EQ(target->shortcutCount(), 1);
}

TEST(FeatureItems, ArchiveNamesByStorageKindAndDisplayName)
{
    FeaturePtr feature = named(u"Feature");
    FeaturePtr core = named(u"Core");
    feature->addSubFeature(core);
    core->setVersion(u"4.1");
    core->setDigest(u"AB12");
    EXPECT_EQ(getArchiveName(*core, true), u"Feature_Core_4.1_AB12.lzma");
    EXPECT_EQ(getArchiveName(*core, false), u"Core_4.1_AB12.lzma");
    EXPECT_EQ(getArchivePath(u"\\Temp", *core, true), u"\\Temp/Feature_Core_4.1_AB12.lzma");

    Redistributable redist;
    redist.setName(u"vcrt");
    redist.setVersion(u"9.0");
    redist.setDigest(u"FF");
    EXPECT_EQ(getArchiveName(redist, true), u"ExtraData_Redist_vcrt_9.0_FF.lzma");

    CustomAction action;
    action.setName(u"scripts/check");
    EXPECT_EQ(getArchiveName(action, true), u"scripts_check__.lzma");

    EXPECT_EQ(core->getDisplayName(), u"Core");  // falls back on the name
    core->setPrompt(u"Survey core");
    EXPECT_EQ(core->getDisplayName(), u"Survey core");
}

TEST(FeatureItems, ModeAndPreselectionTextsCompareExactly)
{
    EXPECT_EQ(featureModeFromText(u"Collapsed"), FeatureMode::Collapsed);
    EXPECT_EQ(featureModeFromText(u"Not visible"), FeatureMode::NotVisible);
    EXPECT_EQ(featureModeFromText(u"collapsed"), FeatureMode::Expanded);
    EXPECT_EQ(featureModeText(static_cast<FeatureMode>(9)), u"Expanded");
    EXPECT_EQ(featurePreselectionFromText(u"Unattended only"), FeaturePreselection::Default);
    EXPECT_EQ(featurePreselectionFromText(u"required"), FeaturePreselection::NotPreselected);
    EXPECT_EQ(featurePreselectionText(FeaturePreselection::Required), u"Required");
    EXPECT_EQ(makeFeaturePtr()->getMode(), FeatureMode::Collapsed);
}

}  // namespace
}  // namespace druvex
