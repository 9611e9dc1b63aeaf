// The installer language: the choice from the offered languages and the
// device's user locale, the pairing of language templates with features, the
// "Additional Languages" feature, the features a language selects and the
// language of an installed program.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "controller/controller_fixture.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/package_sources.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

struct Language {
    const char16_t* name;
    std::uint16_t id;
};

class LanguageSelection : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        makeController();
    }

    InstallData& data() { return controller().getInstallData(); }

    void setUserLocale(unsigned lcid)
    {
        DeviceConfig config = device().config();
        config.userLocale = lcid;
        device().reconfigure(config);
    }

    // A feature under the feature root with one sub-feature per language,
    // and a language template naming it.
    FeaturePtr addLanguageFeature(const char16_t* name, std::vector<Language> languages,
                                  std::int32_t mode = kLanguageSelectedOnly, bool main = false)
    {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(name));
        EXPECT_TRUE(data().featureRoot()->addSubFeature(feature));
        for (const Language& language : languages)
            addSub(feature, language.name, language.id);
        auto languageTemplate = std::make_shared<LanguageTemplate>();
        languageTemplate->feature = SharedString(name);
        languageTemplate->installMode = mode;
        languageTemplate->ismain = main;
        data().addLanguageTemplate(languageTemplate);
        return feature;
    }
    static FeaturePtr addSub(const FeaturePtr& parent, const char16_t* name, std::uint16_t id)
    {
        FeaturePtr sub = makeFeaturePtr();
        sub->setName(SharedString(name));
        sub->setLocaleId(id);
        EXPECT_TRUE(parent->addSubFeature(sub));
        return sub;
    }
    FeaturePtr item(const char16_t* path) { return data().findItemByPath(path); }

    std::set<std::u16string> selectedNames()
    {
        std::set<std::u16string> names;
        for (const FeaturePtr& feature : controller().getSelectedFeatures())
            names.emplace(feature->getName().view());
        return names;
    }
    // Each sub-feature as "<Name> <LocaleId>:" and its component features.
    static std::vector<std::string> describeSubs(const Feature& feature)
    {
        std::vector<std::string> subs;
        for (int i = 0; i < feature.subFeatureCount(); ++i) {
            const Feature& sub = *feature.subFeatureAt(i);
            std::string text = toUtf8(sub.getNameRef()).c_str() + (" " + std::to_string(sub.getLocaleId()) + ":");
            for (const SharedString& component : sub.componentFeatures())
                text += std::string(" ") + toUtf8(component).c_str();
            subs.push_back(text);
        }
        return subs;
    }
    void buildLanguages()
    {
        controller().buildLanguageTemplateMap();
        controller().buildAdditionalLanguages();
    }
};

TEST_F(LanguageSelection, TheLanguageComesFromTheOfferAndTheUserLocale)
{
    struct Row {
        std::vector<Language> offered;
        unsigned userLocale;
        std::uint16_t chosen;
    };
    const Row rows[] = {
        {{{u"Deutsch", 1031}, {u"English", 1033}}, 2055, 1031},  // German of Switzerland: German
        {{{u"Espanol", 3082}, {u"English", 1033}}, 1034, 3082},  // traditional Spanish read as modern
        {{{u"Srpski", 2074}, {u"English", 1033}}, 3098, 2074},
        {{{u"Chinese PRC", 2052}, {u"Chinese Taiwan", 1028}}, 3076, 1028},  // sub-language 1 of Chinese
        {{{u"Chinese PRC", 2052}, {u"Chinese HK", 3076}}, 5124, 2052},      // the smallest Chinese
        {{{u"Chinese", 4}, {u"Chinese Taiwan", 1028}}, 3076, 1028},         // sub-language 1 before none
        {{{u"Francais", 1036}}, 1031, 1036},                                 // the first feature
        {{{u"Custom", 972}, {u"English", 1033}}, 1031, 972},                 // whatever the locale
        {{{u"Deutsch", 1031}, {u"English", 1033}, {u"Francais", 1036}}, 1040, 1033},  // no Italian: English
        {{{u"b German", 1031}, {u"a French", 1036}}, 1040, 1036},  // first by name, not the smallest id
        {{{u"Neutral", 0}}, 1031, 0},
        {{}, 1031, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.userLocale);
        makeController();
        addLanguageFeature(u"Lang", row.offered, kLanguageSelectedOnly, true);
        setUserLocale(row.userLocale);
        EXPECT_EQ(controller().chooseLanguage(), row.chosen);
    }
}

TEST_F(LanguageSelection, TheFirstPairingOfATemplateWins)
{
    const FeaturePtr help = addLanguageFeature(u"Help", {{u"de", 1031}});
    for (const char16_t* name : {u"HELP", u"Missing"}) {  // the same feature again; no feature
        auto languageTemplate = std::make_shared<LanguageTemplate>();
        languageTemplate->feature = SharedString(name);
        data().addLanguageTemplate(languageTemplate);
    }

    controller().buildLanguageTemplateMap();
    ASSERT_EQ(controller().getLanguageTemplateMap().pairs().size(), 1u);
    EXPECT_EQ(controller().findLanguageTemplate(help.get()), data().languageTemplateAt(0));
    EXPECT_EQ(controller().findLanguageTemplate(data().featureRoot().get()), nullptr);
}

TEST_F(LanguageSelection, AdditionalLanguagesListEveryLanguageOfTheOthersFeatures)
{
    addLanguageFeature(u"Help", {{u"de", 1031}, {u"en", 1033}}, kLanguageUserSelectOthers, true);
    addLanguageFeature(u"Tools", {{u"en", 1033}, {u"fr", 1036}, {u"custom", 972}}, kLanguageUserSelectOthers);
    addLanguageFeature(u"Maps", {{u"it", 1040}});  // selects only: not offered for adding
    buildLanguages();

    const FeaturePtr additional = controller().findAdditionalLanguagesFeature();
    ASSERT_NE(additional, nullptr);
    EXPECT_EQ(additional->getPrompt(), SharedString(u"Additional Languages"));
    EXPECT_EQ(describeSubs(*additional), (std::vector<std::string>{
                                             "German 1031: Feature/Help/de Feature/Tools/en",
                                             "English 1033: Feature/Help/en Feature/Tools/en",
                                             "French 1036: Feature/Help/en Feature/Tools/fr",
                                         }));
    std::vector<PackageSource> sources;
    ASSERT_TRUE(controller().getPackageSources().equalRange(*additional->subFeatureAt(2), sources));
    EXPECT_EQ(sources, (std::vector<PackageSource>{{4, SharedString(u"Feature/AdditionalLanguages/French"), 0, 0}}));
    EXPECT_TRUE(controller().getPackageSources().contains(*additional));
}

TEST_F(LanguageSelection, AdditionalLanguagesNeedTwoLanguages)
{
    addLanguageFeature(u"Help", {{u"en", 1033}, {u"neutral", 0}}, kLanguageUserSelectOthers);
    addLanguageFeature(u"Tools", {{u"en", 1033}, {u"custom", 972}}, kLanguageUserSelectOthers);
    buildLanguages();
    EXPECT_EQ(controller().findAdditionalLanguagesFeature(), nullptr);
}

TEST_F(LanguageSelection, AnExistingAdditionalLanguagesFeatureIsReused)
{
    addLanguageFeature(u"Help", {{u"de", 1031}, {u"en", 1033}}, kLanguageUserSelectOthers);
    const FeaturePtr existing = makeFeaturePtr();
    existing->setName(SharedString(u"additionallanguages"));
    data().featureRoot()->addSubFeature(existing);
    addSub(existing, u"Deutsch", 1031)->addComponentFeature(SharedString(u"Feature/Stale"));
    buildLanguages();
    EXPECT_EQ(controller().findAdditionalLanguagesFeature(), existing);
    EXPECT_EQ(describeSubs(*existing),
              (std::vector<std::string>{"Deutsch 1031: Feature/Help/de", "English 1033: Feature/Help/en"}));
}

TEST_F(LanguageSelection, LanguagesOfOneEnglishNameGetOneSubFeature)
{
    // English of the US and of Britain are both "English": the second gets
    // no sub-feature rather than one that hangs in no tree.
    addLanguageFeature(u"Help", {{u"us", 1033}, {u"gb", 2057}}, kLanguageUserSelectOthers);
    test::DiagCapture diag;
    buildLanguages();
    ASSERT_NE(controller().findAdditionalLanguagesFeature(), nullptr);
    EXPECT_EQ(describeSubs(*controller().findAdditionalLanguagesFeature()),
              std::vector<std::string>{"English 1033: Feature/Help/us"});
    EXPECT_TRUE(diag.contains(u"No additional language 2057"));
}

TEST_F(LanguageSelection, ALanguageSelectsItsFeaturesAndKeepsTheAddedOnes)
{
    addLanguageFeature(u"Help", {{u"de", 1031}, {u"en", 1033}, {u"fr", 1036}}, kLanguageUserSelectOthers, true);
    addLanguageFeature(u"Tools", {{u"en", 1033}, {u"fr", 1036}});
    addLanguageFeature(u"Pics", {{u"a", 1033}, {u"b", 0}}, kLanguageInstallAll);
    buildLanguages();

    controller().setLanguage(1031, SharedString(u"Deutsch"));
    EXPECT_EQ(selectedNames(), (std::set<std::u16string>{u"Feature/Help/de", u"Feature/Tools/en", u"Feature/Pics/a",
                                                         u"Feature/Pics/b"}));

    // The user adds German and picks French of the tools by hand.
    controller().selectFeature(item(u"Feature/AdditionalLanguages/German"));
    controller().selectFeature(item(u"Feature/Tools/fr"));
    controller().setLanguage(1036, SharedString(u"Français"));
    EXPECT_EQ(controller().getLanguage(), 1036);
    EXPECT_EQ(controller().getLanguageCode(), SharedString(u"Français"));
    EXPECT_EQ(selectedNames(),
              (std::set<std::u16string>{u"Feature/AdditionalLanguages/German", u"Feature/Help/de",
                                        u"Feature/Help/fr", u"Feature/Tools/fr", u"Feature/Pics/a",
                                        u"Feature/Pics/b"}));
}

TEST_F(LanguageSelection, TheSameLanguageAgainOnlyAddsWhatItSelects)
{
    addLanguageFeature(u"Help", {{u"de", 1031}, {u"en", 1033}, {u"fr", 1036}}, kLanguageSelectedOnly, true);
    addLanguageFeature(u"Pics", {{u"a", 1033}, {u"b", 0}}, kLanguageInstallAll);
    buildLanguages();
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    // Installed earlier, or picked by hand: the French help and the
    // English one, which no language of its own would select.
    controller().selectFeature(item(u"Feature/Help/fr"));
    controller().selectFeature(item(u"Feature/Help/en"));
    const std::set<std::u16string> chosen{u"Feature/Help/de", u"Feature/Help/en", u"Feature/Help/fr",
                                          u"Feature/Pics/a", u"Feature/Pics/b"};
    ASSERT_EQ(selectedNames(), chosen);

    // The installed language made current once more keeps every selection.
    controller().deselectFeature(item(u"Feature/Pics/b"));
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    EXPECT_EQ(selectedNames(), chosen);

    // Another language still chooses the language features anew.
    controller().setLanguage(1036, SharedString(u"Français"));
    EXPECT_EQ(selectedNames(),
              (std::set<std::u16string>{u"Feature/Help/fr", u"Feature/Pics/a", u"Feature/Pics/b"}));
}

TEST_F(LanguageSelection, TheLicenceFollowsTheLanguage)
{
    addSub(data().eulaItem(), u"Deutsch", 1031);
    addSub(data().eulaItem(), u"English", 1033);
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    controller().setEula(controller().findEula());
    const EulaRecordPtr german = controller().getEula();
    controller().setLanguage(0, SharedString(u"ignored"));  // only the licence is looked at: it still serves
    EXPECT_EQ(controller().getLanguage(), 1031);
    EXPECT_EQ(controller().getEula(), german);
    controller().setLanguage(1033, SharedString(u"English"));
    EXPECT_EQ(controller().getEula(), nullptr);
    // The installed licence is taken when it is this language's.
    controller().getInstalledLog()->setEula(german);
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    EXPECT_TRUE(InstallerController::isSameEula(controller().getEula(), german));
}

TEST_F(LanguageSelection, TheInstalledLanguageIsAddedWhenMissingAndMadeCurrent)
{
    const FeaturePtr help = addLanguageFeature(u"Help", {{u"de", 1031}, {u"en", 1033}}, kLanguageSelectedOnly, true);
    controller().buildLanguageTemplateMap();
    controller().getInstalledLog()->setLanguage(1031, SharedString(u"Deutsch"));
    controller().applyInstalledLanguage();
    EXPECT_EQ(help->subFeatureCount(), 2);
    EXPECT_EQ(selectedNames(), std::set<std::u16string>{u"Feature/Help/de"});

    controller().getInstalledLog()->setLanguage(1040, SharedString(u"Italiano"));
    controller().applyInstalledLanguage();
    EXPECT_EQ(controller().getLanguage(), 1040);
    EXPECT_EQ(controller().getLanguageCode(), SharedString(u"Italiano"));
    EXPECT_EQ(help->findSubFeatureByLocale(1040)->getNameRef(), SharedString(u"Italiano"));
    EXPECT_EQ(selectedNames(), std::set<std::u16string>{u"Feature/Help/Italiano"});
}

}  // namespace
}  // namespace druvex
