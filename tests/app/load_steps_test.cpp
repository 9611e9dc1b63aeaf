// The application's steps of the controller's load on a test device: the
// theme bitmaps and the banners of a crafted installer archive written into
// the work folder, and the banner table the welcome page reads.
#include "app/load_steps.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "controller/controller_fixture.h"
#include "core/app_paths.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

using test::Bytes;
using test::EntrySource;

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

EntrySource stored(std::u16string name, std::string_view content)
{
    return test::codedEntry(std::move(name), kPayloadMethodStored, bytesOf(content));
}

std::string dataXml(std::string_view theme, std::string_view banners = "")
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n <Variables>\n"
           "  <Variable Type=\"ProgramName\" Value=\"Survey\"/>\n"
           "  <Variable Type=\"ProgramUuid\" Value=\"{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}\"/>\n"
           "  <Variable Type=\"BkGndTheme\" Value=\"" +
           std::string(theme) + "\"/>\n </Variables>\n" + std::string(banners) + "</data>\n";
}

// A banner element available on the screens given as {screen, format}.
std::string bannerElement(std::string_view baseName, std::vector<std::pair<const char*, const char*>> screens)
{
    std::string xml = "  <BannerElement OrigPath=\"\" BaseName=\"" + std::string(baseName) + "\" Link=\"\">\n";
    for (const auto& [screen, format] : screens) {
        xml += "   <BannerScreenElement Screen=\"" + std::string(screen) + "\" Available=\"Yes\" Format=\"" +
               std::string(format) + "\"/>\n";
    }
    return xml + "  </BannerElement>\n";
}

class ControllerLoadAppSteps : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        device().makeFolder("Program Files/Druvex");
        AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\install.exe"));
        setImagesFolder(SharedString(u"\\Before"));
    }
    void TearDown() override
    {
        setImagesFolder(SharedString());
        ControllerFixture::TearDown();
        AppPaths::resetInstance();
    }

    // A controller with the application's steps that loads an archive of
    // the entries and, with `initialize`, initialises.
    InstallerController& loadArchive(std::vector<EntrySource> entries, bool initialize = false)
    {
        entries.push_back(stored(u"InstallerInfo", "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlat=\"Win32\"/>"));
        const Bytes archive = test::buildArchive(entries);
        device().writeFile("Program Files/Druvex/payload.bin", std::string(archive.begin(), archive.end()));
        InstallerController& controller = makeController();
        controller.setApplicationServices(std::make_shared<InstallerAppServices>());
        int error = -1;
        EXPECT_TRUE(controller.loadInstallData(SharedString(u"\\Program Files\\Druvex\\payload.bin"), error)) << error;
        if (initialize) {
            EXPECT_TRUE(controller.initialize(error)) << error;
        }
        return controller;
    }

    static std::string workFolder() { return "Temp/DRUVEXInstaller" + std::to_string(::getpid()); }
    // The files in the work folder, by name.
    std::map<std::string, std::string> workFiles()
    {
        std::map<std::string, std::string> files;
        for (const auto& item : std::filesystem::directory_iterator(device().hostPath(workFolder())))
            files[item.path().filename().string()] = device().readFile(workFolder() + "/" + item.path().filename().string());
        return files;
    }
};

TEST_F(ControllerLoadAppSteps, ThemeBitmapsGoToTheWorkFolderNamedByTheTheme)
{
    struct Row {
        const char* theme;
        const char* suffix;
    };
    const Row rows[] = {
        {"Yellow", "_cs1"}, {"Tillora 2nd Skin", "_cs1"}, {"Blue", "_cs2"}, {"gray", "_cs3"},
        {"Green", "_cs4"},  {"Kemrin", ""},               {"Dark", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.theme);
        setImagesFolder(SharedString(u"\\Before"));
        InstallerController& controller = loadArchive({stored(u"Data", dataXml(row.theme)), stored(u"Theme", "plain"),
                                                       stored(u"Theme_ppc", "ppc"), stored(u"Theme_qvga", "no variant")});
        const std::string suffix = row.suffix;
        EXPECT_EQ(workFiles(), (std::map<std::string, std::string>{{"bkgnd_Druvex" + suffix + ".bmp", "plain"},
                                                                   {"bkgnd_Druvex_ppc" + suffix + ".bmp", "ppc"}}));
        EXPECT_EQ(getImagesFolder(), controller.getWorkFolder());
    }
}

TEST_F(ControllerLoadAppSteps, ABitmapThatCannotBeWrittenFailsTheStep)
{
    InstallerController& controller = loadArchive({stored(u"Data", dataXml("Blue")), stored(u"Theme_ic", "ic")});
    setImagesFolder(SharedString(u"\\Before"));
    std::filesystem::remove_all(device().hostPath(workFolder()));
    EXPECT_FALSE(extractThemeBitmaps(controller));
    EXPECT_EQ(getImagesFolder(), SharedString(u"\\Before"));
}

TEST_F(ControllerLoadAppSteps, BannersAreRecordedAndExtractedToTheWorkFolder)
{
    const std::string banners = "<Banners Interval=\"8000\">\n" +
                                bannerElement("welcome", {{"PPC", "Bmp"}, {"QVGA", "Jpeg"}, {"IC", "Jpeg"}}) +
                                bannerElement("second", {{"PPC", "Jpeg"}}) +
                                bannerElement("..\\outside", {{"PPC", "Bmp"}}) + "</Banners>\n";
    test::DiagCapture diag;
    InstallerController& controller = loadArchive(
        {stored(u"Data", dataXml("Dark", banners)), stored(u"Welcome_pc", "w1"), stored(u"Welcome_ppcH_3", "w2"),
         stored(u"Welcome_qvgaX", "not a variant"), stored(u"Banners/0_ppcV", "b0"), stored(u"Banners/1_ppcV_7", "b1"),
         stored(u"Banners/2_ppcV", "b2"), stored(u"Banners/0_qvga", "q0")},
        true);

    // The welcome banners first (at the start of the initialisation), then
    // the elements' banners by screen variant; the element for "IC" has no entry.
    const std::vector<BannerTableEntry> expected = {
        {SharedString(u"Welcome_pc"), 0},     {SharedString(u"Welcome_ppcH"), 3}, {SharedString(u"Banners/0_ppcV"), 0},
        {SharedString(u"Banners/1_ppcV"), 7}, {SharedString(u"Banners/2_ppcV"), 0}, {SharedString(u"Banners/0_qvga"), 0},
    };
    EXPECT_EQ(controller.getBannerTable(), expected);
    EXPECT_EQ(workFiles(), (std::map<std::string, std::string>{{"welcome_ppcV.bmp", "b0"},
                                                               {"second_ppcV.jpeg", "b1"},
                                                               {"welcome_qvga.jpeg", "q0"}}));
    EXPECT_TRUE(diag.contains(u"Extracted banner at " + std::u16string(controller.getWorkFolder().view()) +
                              u"/welcome_ppcV.bmp"));
    // A file name from the data must not lead out of the work folder.
    EXPECT_FALSE(device().exists("Temp/outside_ppcV.bmp"));
    EXPECT_TRUE(diag.contains(u"is no file name"));
}

TEST_F(ControllerLoadAppSteps, ATrailingNumberIsKeptBesideTheName)
{
    const std::vector<std::tuple<const char16_t*, const char16_t*, std::int32_t>> rows = {
        {u"Welcome_ppcV_12", u"Welcome_ppcV", 12}, {u"Welcome_ppcV", u"Welcome_ppcV", 0},
        {u"Banners/3_qvga_", u"Banners/3_qvga_", 0}, {u"Welcome_1x", u"Welcome_1x", 0},
        {u"Welcome_99999999999", u"Welcome", 2147483647},
    };
    for (const auto& [entry, name, number] : rows) {
        SharedString split;
        std::int32_t value = -1;
        splitBannerNumber(entry, split, value);
        EXPECT_EQ(split, SharedString(name));
        EXPECT_EQ(value, number);
    }
}

}  // namespace
}  // namespace druvex
