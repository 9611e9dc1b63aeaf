// The second example product, Field Suite (examples/), from end to end: the
// real druvex-setup program with the product's own installer data and build
// (two target platforms, help features per language under a language
// template, features that only group others), its files made by the
// product's generator in their small size. Its build for two platforms takes
// the platform of the device before any run chooses its pages, so that
// repairing and uninstalling find what is installed; later silent runs on
// the installed product keep every language feature it has; and the wizard
// installs the help of the language it runs in.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "data/installed_log.h"
#include "payload/entry_encoder.h"
#include "support/loopback_http_server.h"
#include "support/tmux_session.h"
#include "field_suite_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;
using test::filesBelow;
using test::kExamples;
using test::RunResult;
const std::vector<std::string> kPackages = {"Core",          "Maps",           "Help/English", "Help/French",
                                            "Help/German",   "Tools/Converter", "Tools/Radio", "Tools/Scanner"};

void replaceOnce(std::string& text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

class EndToEndFieldSuite : public test::FieldSuiteRuns {
protected:
    void SetUp() override
    {
        FieldSuiteRuns::SetUp();
        ASSERT_NO_FATAL_FAILURE(makeFieldSuite("--small"));
    }

    // Every package of the product, as the generator made it.
    std::vector<ProductFeature> packages() const { return packagesOf(kPackages, "1.0"); }
    // The packages that a device of the platform gets: the radio tool on
    // Windows Mobile 6, the scanner on Qm40.
    std::vector<ProductFeature> packagesFor(const std::string& platform) const
    {
        std::vector<ProductFeature> features;
        for (ProductFeature& feature : packages()) {
            if (feature.name != (platform == "Wm6" ? "Tools/Scanner" : "Tools/Radio"))
                features.push_back(std::move(feature));
        }
        return features;
    }
    // The French help 1.1 that the update server offers.
    ProductFeature frenchUpdate() const
    {
        return {"Help/French", "1.1", filesBelow(product_.path() / "updates" / "Help/French"), ""};
    }

    fs::path placeFieldSuite(const std::string& folder, const std::string& data)
    {
        return placeInstaller(folder, data, packages());
    }

    // The features the installed log lists below "Feature/Help/".
    std::set<std::string> installedLanguages()
    {
        std::map<std::string, std::string> versions;
        installedLogFiles(&versions);
        std::set<std::string> languages;
        for (const auto& [name, version] : versions) {
            if (name.starts_with("Feature/Help/"))
                languages.insert(name);
        }
        return languages;
    }

};

// Repair, update and uninstallation find the installed program of a build for
// two platforms: the device names its platform at start-up, and each run
// installs the tools of that platform only.
TEST_F(EndToEndFieldSuite, ABuildForTwoPlatformsServesTheDevicesPlatformInEveryRun)
{
    const fs::path setup = placeFieldSuite("FieldSuite", data_);
    const RunResult installed = run(setup, {"silent_mode"});
    expectCompleted(installed);
    EXPECT_NE(installed.log.find("The target platform is Wm6, the device's"), std::string::npos) << installed.log;
    EXPECT_NE(installed.log.find("runs wizard mode 2"), std::string::npos) << installed.log;
    expectInstalledFeatures(packagesFor("Wm6"));
    std::map<std::string, std::string> versions;
    installedLogFiles(&versions);
    for (const char* group : {"Feature/Help", "Feature/Tools"})
        EXPECT_TRUE(versions.contains(group)) << group;

    const std::string deleted = layout_.destination + "/tools/radio/radio-03.dat";
    fs::remove(device().hostPath(deleted));
    const RunResult repaired = run(setup, {"silent_mode"});
    expectCompleted(repaired);
    EXPECT_NE(repaired.log.find("runs wizard mode 9"), std::string::npos) << repaired.log;
    expectInstalledFeatures(packagesFor("Wm6"));

    device().writeFile(layout_.destination + "/my-notes.txt", "mine");
    const RunResult removed = run(setup, {"uninstall_mode", "silent_mode"});
    expectCompleted(removed);
    EXPECT_NE(removed.log.find("runs wizard mode 5"), std::string::npos) << removed.log;
    EXPECT_FALSE(device().exists(layout_.dataFolder + "/InstalledLog.xml"));
    EXPECT_EQ(deviceFiles(layout_.destination),
              (std::map<std::string, std::string>{{layout_.destination + "/my-notes.txt", "mine"}}));

    // A Qm40 device (its programs in \ROMDisk\Program, its launcher's
    // entries in \ROMDisk2\INI) gets the scanner and not the radio.
    device().writeDeviceFile("device.ini", "[Device]\nForceDeviceType=16\nOsVersion=5.2\n\n[Store:\\]\n"
                                           "Total=268435456\nFree=134217728\n");
    device().makeFolder("ROMDisk/Program");
    device().makeFolder("ROMDisk2/INI");
    const RunResult onQm40 = run(setup, {"silent_mode"});
    expectCompleted(onQm40);
    EXPECT_NE(onQm40.log.find("The target platform is Qm40, the device's"), std::string::npos) << onQm40.log;
    layout_.destination = "ROMDisk/Program/FieldSuite";
    expectInstalledFeatures(packagesFor("Qm40"));
}

// The installed program's help in every language stays through later silent
// runs of every kind, with the product's language template and without it.
TEST_F(EndToEndFieldSuite, LaterSilentRunsKeepEveryInstalledLanguageFeature)
{
    std::string withoutTemplate = data_;
    const std::string templatesEnd = "</LanguageTemplates>\n";
    const std::size_t from = withoutTemplate.find(" <LanguageTemplates>");
    const std::size_t to = withoutTemplate.find(templatesEnd);
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    withoutTemplate.erase(from, to + templatesEnd.size() - from);

    const ProductFeature french = frenchUpdate();
    test::Bytes package;
    ASSERT_TRUE(encodeLzmaEntry(packageOf(french.files), package));
    test::LoopbackHttpServer server;
    server.setReply("/suite/French-1.1.lzma", test::HttpReply::ok(std::string(package.begin(), package.end())));
    server.setReply("/suite/bulletin.xml",
                    test::HttpReply::ok("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<UpdateBulletin>\n"
                                        " <Installer InstallerVersion=\"5.1\"/>\n"
                                        " <Version Ver=\"1.1\" RevNum=\"1.1.11\">\n"
                                        "  <Feature Name=\"Feature/Help/French\" Prompt=\"French\" FullInst=\"Yes\" "
                                        "ReqSpace=\"1310720\" Version=\"1.1\" LocaleId=\"1036\" Digest=\"" +
                                        test::hexSha1(package) + "\" compressed-size=\"" +
                                        std::to_string(package.size()) +
                                        "\" url=\"French-1.1.lzma\" Presel=\"Default\" Mode=\"Expanded\"/>\n"
                                        " </Version>\n</UpdateBulletin>\n"));
    device().writeFile("Temp/FieldSuite.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<AdministrativeData>\n"
                       " <Language>1033</Language>\n"
                       " <Destination IsTethered=\"No\" TargetPlatform=\"Wm6\" TargetDir=\"\\Program "
                       "Files\\FieldSuite\" WipeOldInst=\"No\" IsForAnyone=\"Yes\"/>\n"
                       " <Misc UseOnlineFeature=\"No\" RevertToPreviousRevision=\"No\"/>\n"
                       " <FeaturesToInstall>\n  <Feature>Feature/Core</Feature>\n"
                       "  <Feature>Feature/Maps</Feature>\n  <Feature>Feature/Help/English</Feature>\n"
                       "  <Feature>Feature/Help/French</Feature>\n  <Feature>Feature/Help/German</Feature>\n"
                       "  <Feature>Feature/Tools/Converter</Feature>\n  <Feature>Feature/Tools/Radio</Feature>\n"
                       " </FeaturesToInstall>\n</AdministrativeData>\n");
    const std::set<std::string> allHelp{"Feature/Help/English", "Feature/Help/French", "Feature/Help/German"};

    const struct {
        const char* what;
        const char* folder;
        std::string data;
    } products[] = {{"with the language template", "Templated", data_},
                    {"without a language template", "Plain", withoutTemplate}};
    for (const auto& product : products) {
        SCOPED_TRACE(product.what);
        fs::remove_all(device().hostPath(layout_.destination));
        fs::remove_all(device().hostPath(layout_.dataFolder));
        const fs::path setup = placeFieldSuite(std::string(product.folder) + "-1.0", product.data);
        expectCompleted(run(setup, {"silent_mode"}));
        ASSERT_EQ(installedLanguages(), allHelp);

        std::string newer = product.data;
        replaceOnce(newer, "\"ProgramVersion\" Value=\"1.0\"", "\"ProgramVersion\" Value=\"1.1\"");
        const fs::path newerSetup = placeFieldSuite(std::string(product.folder) + "-1.1", newer);
        const struct {
            const char* what;
            fs::path program;
            std::vector<std::string> words;
            const char* mode;
        } runs[] = {
            {"the same installer again", setup, {"silent_mode"}, "6"},
            {"a configuration run", setup, {"use_config", "\\Temp\\FieldSuite.xml", "silent_mode"}, "6"},
            {"the installer of a newer version", newerSetup, {"silent_mode"}, "6"},
            {"an update of the features", newerSetup,
             {"update_mode", "features", "silent_mode", "override_live_update_url", server.url("/suite/bulletin.xml")},
             "3"},
        };
        std::vector<ProductFeature> expected = packagesFor("Wm6");
        for (const auto& later : runs) {
            SCOPED_TRACE(later.what);
            const RunResult result = run(later.program, later.words);
            expectCompleted(result);
            EXPECT_NE(result.log.find(std::string("runs wizard mode ") + later.mode), std::string::npos)
                << result.log;
            const std::set<std::string> languages = installedLanguages();
            for (const std::string& language : allHelp)
                EXPECT_TRUE(languages.contains(language)) << language << " is gone";
            if (later.words[0] == "update_mode") {
                for (ProductFeature& feature : expected) {
                    if (feature.name == "Help/French")
                        feature = french;
                }
            }
            expectInstalledFeatures(expected);
        }
    }
}

// With a language template that writes "lng.ini" files, each help feature
// names its language's file in the folder it fills (the file created there
// last), and the English help leaves an empty "lng.ini" in the folder the
// template's pattern names. The installed log lists each with its feature,
// so that the uninstallation takes them away with the rest.
TEST_F(EndToEndFieldSuite, ATemplateThatWritesLanguageIniFilesNamesEachLanguagesFile)
{
    std::string data = data_;
    replaceOnce(data, "inigen=\"None\"", "inigen=\"LikeDruvex\"");
    const fs::path setup = placeFieldSuite("FieldSuite", data);
    expectCompleted(run(setup, {"silent_mode"}));

    const std::string& destination = layout_.destination;
    const std::map<std::string, std::string> written{{destination + "/lng.ini", ""},
                                                     {destination + "/help/fr/lng.ini", "topic-029.html"},
                                                     {destination + "/help/de/lng.ini", "topic-029.html"}};
    std::map<std::string, std::string> found;
    for (const auto& [path, text] : deviceFiles(destination)) {
        if (path.ends_with("/lng.ini"))
            found[path] = text;
    }
    EXPECT_EQ(found, written);

    const test::Bytes bytes = test::readFileBytes(device().hostPath(layout_.dataFolder + "/InstalledLog.xml"));
    InstalledLog log;
    ASSERT_TRUE(log.loadFromBuffer(bytes.data(), bytes.size()));
    std::map<std::string, std::string> listed;
    for (int index = 0; index < log.getFeatureCount(); ++index) {
        const FeaturePtr& feature = log.getFeature(index);
        for (const auto& item : feature->contentFolder()->children()) {
            std::string name = test::narrow(item->getName().view());
            std::replace(name.begin(), name.end(), '\\', '/');
            if (name.ends_with("/lng.ini"))
                listed[name.substr(name.find_first_not_of('/'))] = test::narrow(feature->getName().view());
        }
    }
    EXPECT_EQ(listed, (std::map<std::string, std::string>{{destination + "/lng.ini", "Feature/Help/English"},
                                                          {destination + "/help/fr/lng.ini", "Feature/Help/French"},
                                                          {destination + "/help/de/lng.ini", "Feature/Help/German"}}));

    expectCompleted(run(setup, {"uninstall_mode", "silent_mode"}));
    if (device().exists(destination)) {
        EXPECT_EQ(deviceFiles(destination), (std::map<std::string, std::string>{}));
    }
}

// The wizard runs in the device's language (English here): walked with Next
// alone, it installs the English help with the others and records English as
// the program's language.
TEST_F(EndToEndFieldSuite, TheWizardInstallsTheHelpOfItsLanguage)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    const fs::path setup = placeFieldSuite("FieldSuite", data_);
    test::TmuxSession::Options options;
    // The terminal library keeps what it allocates to the end of the program.
    options.environment = {{"DRUVEX_DEVICE", device().directory().string()}, {"ASAN_OPTIONS", "detect_leaks=0"}};
    test::TmuxSession session({setup.string()}, options);
    for (const char* page : {"Click Next to continue.", "Welcome to the setup of Field Suite.", "Space available:",
                             "Space required:"}) {
        ASSERT_TRUE(session.waitFor(page)) << session.lastScreen();
        session.sendKeys({"Enter"});
    }
    ASSERT_TRUE(session.waitFor("Field Suite has been installed on the device.")) << session.lastScreen();
    session.sendKeys({"Enter"});
    ASSERT_EQ(session.waitForExit(), 0) << session.lastScreen();

    expectInstalledFeatures(packagesFor("Wm6"));
    const test::Bytes bytes = test::readFileBytes(device().hostPath(layout_.dataFolder + "/InstalledLog.xml"));
    InstalledLog log;
    ASSERT_TRUE(log.loadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_EQ(log.getLanguageId(), 1033);
}

}  // namespace
}  // namespace druvex
