// The language chosen on the prerequisites page, from end to end: druvex-setup
// in tmux on a test device whose system font is DejaVu Sans (in its Windows
// folder, named by its registry). The installer offers English, German and
// Chinese help under its main language template and carries a German
// translation of its texts. The page offers the languages whose own names
// the font can show (not Chinese); choosing German shows the page in German
// at once, and the installation installs the German help and records German
// as the program's language.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "data/installed_log.h"
#include "end_to_end_fixture.h"
#include "support/crash_test_device.h"
#include "support/external_tool.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;

const char kDejaVuSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::string languageFeature(const std::string& name, const std::string& lcid)
{
    return "      <Feature Name=\"" + name + "\" Prompt=\"" + name +
           "\" FullInst=\"Yes\" ReqSpace=\"65536\" Digest=\"\" Timestamp=\"0\" Version=\"1.0\" Desc=\"\" "
           "Presel=\"Not preselected\" Mode=\"Expanded\" LocaleId=\"" + lcid + "\"/>\n";
}

class EndToEndLanguageChoice : public test::EndToEndRuns {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        ASSERT_TRUE(fs::exists(kDejaVuSans));
        EndToEndRuns::SetUp();
        fs::copy_file(kDejaVuSans, device().hostPath("Windows/DejaVuSans.ttf"));
        device().writeDeviceFile("registry.reg", "DRUVEX-REGISTRY 1\n\n[HKEY_LOCAL_MACHINE\\System\\GDI\\SysFnt]\n"
                                                 "\"Nm\"=\"DejaVu Sans\"\n");
    }

    // The product: Core, and Help whose language sub-features the main
    // language template installs one at a time.
    fs::path placeProduct()
    {
        const std::vector<ProductFeature> core = {test::productFeatures()[0]};
        std::string data = test::dataXml(core);
        const std::string help =
            "    <Feature Name=\"Help\" Prompt=\"Help\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" "
            "Version=\"\" Desc=\"\" Presel=\"Not preselected\" Mode=\"Expanded\" LocaleId=\"0\">\n     <SubFeatures>\n" +
            languageFeature("English", "1033") + languageFeature("German", "1031") +
            languageFeature("Chinese", "2052") + "     </SubFeatures>\n    </Feature>\n";
        data.insert(data.find("   </SubFeatures>\n  </Feature>\n </Features>"), help);
        data.insert(data.find("</data>"),
                    " <LanguageTemplates>\n  <LanguageTemplate feature=\"Help\" pattern=\"&lt;TARGETDIR&gt;\" "
                    "inigen=\"None\" ismain=\"Yes\" installMode=\"SelLanguageOnly\"/>\n </LanguageTemplates>\n");
        packages_ = core;
        for (const char* language : {"English", "German", "Chinese"}) {
            packages_.push_back({std::string("Help/") + language, "1.0",
                                 {{std::string("help-") + language + ".txt", std::string(language) + " help\n"}}, ""});
        }
        const std::string german = "[Prerequisites][Voraussetzungen]\r\n"
                                   "[Click Next to continue.][Klicken Sie auf Weiter.]\r\n"
                                   "[Next >][Weiter >]\r\n[Cancel][Abbrechen]\r\n[Language:][Sprache:]\r\n";
        return placeInstaller(
            "Setup", data, packages_,
            {test::codedEntry(u"TranslationMap", kPayloadMethodStored,
                              test::translationMap({test::mapRecord(1031, u"Deutsch")})),
             test::codedEntry(u"Translation_1031", kPayloadMethodLzma, test::translationFile(german))});
    }

    std::vector<ProductFeature> packages_;
};

TEST_F(EndToEndLanguageChoice, TheChosenLanguageShowsAtOnceAndItsHelpIsInstalled)
{
    const fs::path setup = placeProduct();
    auto session = startWizard(setup);
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    ASSERT_TRUE(session->waitFor("Language:")) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("English"), std::string::npos) << session->lastScreen();

    // Back from Next to the list of languages, and the next one in it.
    session->sendKeys({"BTab", "Down"});
    ASSERT_TRUE(session->waitFor("Klicken Sie auf Weiter.")) << session->lastScreen();
    EXPECT_TRUE(test::containsInOrder(session->lastScreen(),
                                      {"Voraussetzungen", "Sprache:", "Deutsch", "Weiter >", "Abbrechen"}))
        << session->lastScreen();
    // Chinese is not on offer: the font cannot show its name. The list is
    // at its end.
    session->sendKeys({"Down"});
    session->sendKeys({"Enter"});
    ASSERT_NO_FATAL_FAILURE(finishFirstInstallation(*session));

    expectInstalledFeatures({packages_[0], packages_[2]});
    const test::Bytes bytes = test::readFileBytes(device().hostPath(layout_.dataFolder + "/InstalledLog.xml"));
    InstalledLog log;
    ASSERT_TRUE(log.loadFromBuffer(bytes.data(), bytes.size()));
    EXPECT_EQ(log.getLanguageId(), 1031);
    const std::string programLog = logOf(setup);
    EXPECT_NE(programLog.find("The language Chinese (2052) is not offered: the device's fonts cannot show its name"),
              std::string::npos)
        << programLog;
    EXPECT_NE(programLog.find("The installer's language is now 1031"), std::string::npos) << programLog;
}

// A device without the file of its system font gives nothing to judge the
// names by: every language is offered, Chinese too.
TEST_F(EndToEndLanguageChoice, WithoutItsSystemFontTheDeviceIsOfferedEveryLanguage)
{
    fs::remove(device().hostPath("Windows/DejaVuSans.ttf"));
    const fs::path setup = placeProduct();
    auto session = startWizard(setup);
    ASSERT_TRUE(session->waitFor("Language:")) << session->lastScreen();
    session->sendKeys({"BTab", "Up"});
    ASSERT_TRUE(session->waitFor("中文")) << session->lastScreen();
    session->sendKeys({"Escape"});
    ASSERT_TRUE(session->waitFor("Are you sure you want to exit the installer?")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
    EXPECT_NE(logOf(setup).find("The device holds no file of its system font: every language is offered"),
              std::string::npos);
}

}  // namespace
}  // namespace druvex
