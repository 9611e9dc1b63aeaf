// A language file put into the "update" folder beside the installer: the real
// druvex-setup installs it in place of the one its archive carries, copied
// byte for byte from that folder, and lists it in the installed log.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDestination;
using test::ProductFeature;

const char kTemplate[] =
    " <LanguageTemplates><LanguageTemplate feature=\"Help\" pattern=\"&lt;TARGETDIR&gt;\\Lang\\help_%d.lng\" "
    "inigen=\"None\" ismain=\"Yes\" installMode=\"SelLanguageOnly\"/></LanguageTemplates>\n";

const char kEnglish[] =
    "<SubFeatures><Feature Name=\"English\" Prompt=\"English\" FullInst=\"Yes\" ReqSpace=\"1024\" Digest=\"\" "
    "Timestamp=\"0\" Version=\"1.0\" Desc=\"\" Presel=\"Default\" Mode=\"Expanded\" LocaleId=\"1033\"/></SubFeatures>";

// Every byte value, over several blocks of the copy and a part of one.
std::string binaryText(std::size_t size)
{
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return text;
}

class EndToEndUpdateFolder : public test::EndToEndRuns {};

TEST_F(EndToEndUpdateFolder, ALanguageFileOfTheUpdateFolderIsInstalledByteForByte)
{
    std::vector<ProductFeature> features = test::productFeatures();
    features[2].elements = kEnglish;
    const std::map<std::string, std::string> shipped{{"Lang/help_1033.lng", "the English help the archive ships"}};
    const fs::path setup = placeInstaller(
        "Setup", dataXml(features, "", "", kTemplate), features,
        {test::codedEntry(u"Feature_Help_English_1.0_.lzma", kPayloadMethodLzma, packageOf(shipped))});
    const std::string update = binaryText(10000);
    device().writeFile("Temp/Setup/update/help_1033.lng", update);

    const test::RunResult result = run(setup, {"silent_mode"});
    const std::string& log = result.log;
    ASSERT_EQ(result.status, 0) << log;
    EXPECT_NE(log.find("Installing Feature/Help/English"), std::string::npos) << log;
    const std::string installed = device().readFile(kDestination + "/Lang/help_1033.lng");
    EXPECT_EQ(installed.size(), update.size());
    EXPECT_TRUE(installed == update) << "the installed language file differs from the update folder's";
    // The file stays in the update folder, and the installed log lists it
    // with the feature's other files.
    EXPECT_TRUE(device().readFile("Temp/Setup/update/help_1033.lng") == update);
    EXPECT_TRUE(installedLogFiles().contains(kDestination + "/Lang/help_1033.lng"));
    for (const ProductFeature& feature : features) {
        for (const auto& [name, text] : feature.files)
            EXPECT_TRUE(device().readFile(kDestination + "/" + name) == text) << name;
    }
}

}  // namespace
}  // namespace druvex
