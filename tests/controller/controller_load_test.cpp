// Loading the installer data from crafted archives on a test device, and the
// initialisation after it: error codes, "data.xml" beside "setup.dqres",
// merged projects, the "setup" rule, the first page, package sources, the
// target platform, product translation files, the prerequisite checks and
// the installed state.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "controller/controller_fixture.h"
#include "core/app_paths.h"
#include "core/translate_text.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/installer_variable.h"
#include "data/package_sources.h"
#include "data/scriptable.h"
#include "package_writer/package_writer.h"
#include "payload/payload_archive.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

using test::Bytes;
using test::codedEntry;
using test::EntrySource;

constexpr char kUuid[] = "{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}";
constexpr char kProductData[] = "Application Data/Installers/{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}";

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

std::string textOf(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Installer data naming the program, with more variables and elements.
std::string dataXml(std::string_view program = "Survey", std::string_view variables = "",
                    std::string_view elements = "", std::string_view uuid = kUuid)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n <Variables>\n";
    xml += "  <Variable Type=\"ProgramName\" Value=\"" + std::string(program) + "\"/>\n";
    if (!uuid.empty())
        xml += "  <Variable Type=\"ProgramUuid\" Value=\"" + std::string(uuid) + "\"/>\n";
    xml += std::string(variables) + " </Variables>\n" + std::string(elements) + "</data>\n";
    return xml;
}

std::string installerInfo(std::string_view platform = "Controller", std::string_view targets = "Qm40")
{
    return "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"" + std::string(platform) +
           "\" TargetPlatMask=\"" + std::string(targets) + "\"/>";
}

EntrySource entry(std::u16string name, std::string_view content, std::uint32_t method = kPayloadMethodLzma)
{
    return codedEntry(std::move(name), method, bytesOf(content));
}

std::vector<EntrySource> soundEntries(std::string_view data = dataXml(), std::string_view info = installerInfo())
{
    return {entry(u"Data", data), entry(u"InstallerInfo", info, kPayloadMethodStored)};
}

class ControllerLoad : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        device().makeFolder("Program Files/Druvex");
        device().makeFolder("Application Data/Installers");
        setProgram(u"install.exe");
        source_->installerPath = SharedString(u"\\Application Data\\Installers");
        clearTranslationTable();
    }
    void TearDown() override
    {
        clearTranslationTable();
        ControllerFixture::TearDown();
        AppPaths::resetInstance();
    }

    // The program file, in "\Program Files\Druvex".
    void setProgram(std::u16string_view name)
    {
        AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\") + SharedString(name));
    }
    // An archive of the entries as a file in the program's folder; answers its device path.
    SharedString placeArchive(const std::vector<EntrySource>& entries, std::string_view name = "payload.bin")
    {
        return placeFile(name, test::buildArchive(entries));
    }
    SharedString placeFile(std::string_view name, const Bytes& bytes)
    {
        device().writeFile("Program Files/Druvex/" + std::string(name), textOf(bytes));
        return SharedString(u"\\Program Files\\Druvex\\") + fromUtf8(name);
    }

    // A new controller that loads the archive at `path`; answers the load's error code.
    int load(const SharedString& path, bool expected = true)
    {
        InstallerController& controller = makeController();
        int error = -1;
        EXPECT_EQ(controller.loadInstallData(path, error), expected) << error;
        return error;
    }
    // Loads a sound archive (with `data`), then initialises; answers the
    // initialisation's error code.
    int loadAndInitialize(std::string_view data = dataXml(), std::string_view info = installerInfo(),
                          bool expected = true)
    {
        EXPECT_EQ(load(placeArchive(soundEntries(data, info))), 0);
        int error = -1;
        EXPECT_EQ(controller().initialize(error), expected) << error;
        return error;
    }
};

TEST_F(ControllerLoad, EachDamageGivesItsErrorCode)
{
    Bytes damagedData = test::buildArchive(soundEntries());
    damagedData[3] ^= 0xFF;  // inside the first entry, "Data": its check word no longer matches
    Bytes damagedDirectory = test::buildArchive(soundEntries());
    damagedDirectory[damagedDirectory.size() - 60] ^= 0xFF;

    struct Row {
        const char* what;
        std::function<SharedString()> place;
        int code;
    };
    const Row rows[] = {
        {"no such file", [] { return SharedString(u"\\Program Files\\Druvex\\missing.bin"); }, 100},
        {"damaged directory", [&] { return placeFile("dir.bin", damagedDirectory); }, 201},
        {"no archive at all", [&] { return placeFile("plain.bin", bytesOf("no archive here")); }, 202},
        {"no Data", [&] { return placeArchive({entry(u"InstallerInfo", installerInfo())}); }, 200},
        {"damaged Data", [&] { return placeFile("data.bin", damagedData); }, 201},
        {"Data does not parse", [&] { return placeArchive(soundEntries("<data><Version>2</Version></data>")); }, 202},
        {"no InstallerInfo", [&] { return placeArchive({entry(u"Data", dataXml())}); }, 200},
        {"InstallerInfo does not load", [&] { return placeArchive(soundEntries(dataXml(), "<Other/>")); }, 207},
        {"merged project without ProgramUuid",
         [&] {
             std::vector<EntrySource> entries = soundEntries();
             entries.push_back(entry(u"MergeProjectData_Tools", dataXml("Tools", "", "", "")));
             return placeArchive(entries);
         },
         202},
        {"merged project of another program",
         [&] {
             std::vector<EntrySource> entries = soundEntries();
             entries.push_back(entry(u"MergeProjectData_Tools", dataXml("Toolbox")));
             return placeArchive(entries);
         },
         202},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(load(row.place(), false), row.code);
    }
}

TEST_F(ControllerLoad, ASoundArchiveLoadsDataBuildAndMergedProjects)
{
    std::vector<EntrySource> entries =
        soundEntries(dataXml("Survey", "  <Variable Type=\"TreatLq5AsQm40\" Value=\"Yes\"/>\n"));
    entries.push_back(entry(u"MergeProjectData_", "not a document"));  // the prefix alone names no project
    entries.push_back(entry(u"MergeProjectData_X", dataXml("x")));    // the name ignoring case
    resetTreatLq5AsQm40ForTests();
    test::DiagCapture diag;

    EXPECT_EQ(load(placeArchive(entries)), 0);

    EXPECT_EQ(controller().getProgramName(), SharedString(u"Survey"));
    EXPECT_EQ(controller().getSettings().getProgramName(), SharedString(u"Survey"));
    EXPECT_EQ(controller().getBuildConfiguration().getInstallerPlatform(), kInstallerPlatformController);
    EXPECT_EQ(controller().getBuildConfiguration().getTargetPlatformMask(), platformMask(kPlatformQm40));
    ASSERT_EQ(controller().getMergedProjects().size(), 1u);
    EXPECT_EQ(controller().getMergedProjects()[0]->getName(), SharedString(u"X"));
    EXPECT_FALSE(controller().isSeparatePayload());
    EXPECT_EQ(platformFromDeviceType(20), kPlatformQm40);  // the LQ5 counts as a Qm40 now
    EXPECT_EQ(diag.dbgChkCount(), 0);
    resetTreatLq5AsQm40ForTests();
}

TEST_F(ControllerLoad, AnEmptyArchiveIsReportedAndFailsForWantOfData)
{
    test::DiagCapture diag;
    EXPECT_EQ(load(placeArchive({}), false), 200);
    EXPECT_TRUE(diag.contains(u"source/dq/instlogic/InstallerController:292"));
}

TEST_F(ControllerLoad, DataXmlBesideASeparatePayloadOverridesTheArchivesData)
{
    struct Row {
        const char* archive;
        const char* dataXml;  // null: none
        const char16_t* program;
        bool separate;
    };
    const Row rows[] = {
        {"setup.dqres", nullptr, u"Survey", true},
        {"setup.dqres", "beside", u"Beside", true},
        {"SETUP.DQRES", "beside", u"Beside", true},
        {"setup.dqres", "broken", u"Survey", true},  // ignored, the archive's data is used
        {"payload.bin", "beside", u"Survey", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.archive) + " " + (row.dataXml ? row.dataXml : "-"));
        std::filesystem::remove(device().hostPath("Program Files/Druvex/data.xml"));
        if (row.dataXml) {
            const std::string text =
                std::string(row.dataXml) == "broken" ? std::string("<data><Version>3</Vers") : dataXml("Beside");
            device().writeFile("Program Files/Druvex/data.xml", text);
        }
        const SharedString path = placeArchive(soundEntries(), row.archive);
        EXPECT_EQ(load(path), 0);
        EXPECT_EQ(controller().getProgramName(), SharedString(row.program));
        EXPECT_EQ(controller().isSeparatePayload(), row.separate);
        std::filesystem::remove(device().hostPath("Program Files/Druvex/" + std::string(row.archive)));
    }
}

TEST_F(ControllerLoad, TheDefaultArchiveFallsBackToTheProgramFile)
{
    // A damaged "setup.dqres" beside the program: the archive appended to
    // the program file is used, and the load reports no error.
    Bytes program = bytesOf("\x7f" "ELF program bytes");
    const Bytes archive = test::buildArchive(soundEntries(dataXml("Appended")), program.size());
    program.insert(program.end(), archive.begin(), archive.end());
    placeFile("install.exe", program);
    placeFile("setup.dqres", bytesOf("damaged"));

    EXPECT_EQ(load(SharedString()), 0);
    EXPECT_EQ(controller().getProgramName(), SharedString(u"Appended"));
    EXPECT_FALSE(controller().isSeparatePayload());

    placeArchive(soundEntries(dataXml("Separate")), "setup.dqres");
    EXPECT_EQ(load(SharedString()), 0);
    EXPECT_EQ(controller().getProgramName(), SharedString(u"Separate"));
    EXPECT_TRUE(controller().isSeparatePayload());
}

TEST_F(ControllerLoad, AProgramNamedSetupNeedsAnInstalledLogBesideIt)
{
    struct Row {
        const char16_t* program;
        bool logBeside;
        int code;
    };
    const Row rows[] = {
        {u"Setup.exe", false, 208},
        {u"SETUP", false, 208},
        {u"Setup.exe", true, 0},
        {u"install.exe", false, 0},
        {u"setup2.exe", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(toUtf8(SharedString(row.program)).c_str());
        setProgram(row.program);
        std::filesystem::remove(device().hostPath("Program Files/Druvex/InstalledLog.xml"));
        if (row.logBeside)
            device().writeFile("Program Files/Druvex/InstalledLog.xml", "<InstalledLog/>");
        EXPECT_EQ(loadAndInitialize(dataXml(), installerInfo(), row.code == 0), row.code);
    }
}

TEST_F(ControllerLoad, TheFirstPageFollowsTheOptions)
{
    struct Row {
        const char* what;
        bool createBackup;
        std::int32_t updateMode;
        bool forMobile;
        std::vector<WizardPageId> pages;
        WizardMode mode;
    };
    const Row rows[] = {
        {"a normal run", false, kUpdateModeNone, false, {kPagePrerequisites}, kModeNone},
        {"a backup run", true, kUpdateModeNone, false, {kPageInstallation, kPageEndInstall}, kModeBackup},
        {"a backup and newversion run", true, kUpdateModeNewVersion, false, {kPagePrerequisites}, kModeNone},
        {"a run for a mobile device", false, kUpdateModeNone, true, {}, kModeNone},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        options_ = InstallerOptions();
        options_.createBackup = row.createBackup;
        options_.updateMode = row.updateMode;
        options_.forMobile = row.forMobile;
        loadAndInitialize();
        EXPECT_EQ(controller().getPageSequence().getPages(), row.pages);
        EXPECT_EQ(controller().getPageSequence().getMode(), row.mode);
        EXPECT_EQ(controller().isInstalledStateLoaded(), !row.forMobile);
    }

    // A build for several devices does not load the installed state.
    options_ = InstallerOptions();
    options_.createBackup = true;
    loadAndInitialize(dataXml(), installerInfo("Controller", "Qm40,Wm6"));
    EXPECT_FALSE(controller().isInstalledStateLoaded());
    EXPECT_TRUE(controller().getPageSequence().getPages().empty());
}

TEST_F(ControllerLoad, TargetPlatformAndTetheringComeFromTheBuild)
{
    struct Row {
        const char* what;
        const char* installerPlatform;
        const char* targets;
        const char* available;  // AvailablePlatforms
        bool useHalWin;
        bool rebootAsAdmin;
        TargetPlatform platform;
        bool tethered;
    };
    const Row rows[] = {
        {"one device", "Controller", "Qm40", "4", false, false, kPlatformQm40, true},
        {"two devices", "PC", "Qm40,Wm6", "5", false, false, kPlatformCount, true},
        {"a desktop", "PC", "Win32", "16", false, false, kPlatformWin32, false},
        {"not available", "Controller", "Qm40", "1", false, false, kPlatformQm40, false},
        {"the host's windows", "Controller", "Qm40", "4", true, false, kPlatformQm40, false},
        {"a relaunch for Wm6", "PC", "Qm40,Wm6", "5", false, true, kPlatformWm6, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        options_ = InstallerOptions();
        options_.useHalWin = row.useHalWin;
        options_.rebootAsAdmin = row.rebootAsAdmin;
        options_.platform = kPlatformWm6;
        const std::string available =
            "  <Variable Type=\"AvailablePlatforms\" Value=\"" + std::string(row.available) + "\"/>\n";
        loadAndInitialize(dataXml("Survey", available), installerInfo(row.installerPlatform, row.targets));
        EXPECT_EQ(controller().getTargetPlatform(), row.platform);
        EXPECT_EQ(controller().isTethered(), row.tethered);
        if (row.rebootAsAdmin) {
            EXPECT_EQ(controller().getBuildConfiguration().getTargetPlatformMask(), platformMask(kPlatformWm6));
        }
        EXPECT_NE(controller().getDestination(), nullptr);
    }
}

TEST_F(ControllerLoad, ArchiveEntriesBecomePackageSources)
{
    std::vector<EntrySource> entries = soundEntries();
    entries.push_back(codedEntry(u"Feature_Core_1.0_AB.lzma", kPayloadMethodStored, Bytes(1234, 7)));
    entries.push_back(codedEntry(u"ExtraData_EULA_English__.lzma", kPayloadMethodStored, Bytes(10, 1)));
    ASSERT_EQ(load(placeArchive(entries)), 0);

    InstallData& data = controller().getInstallData();
    auto add = [](const FeaturePtr& parent, const char16_t* name, const char16_t* version, const char16_t* digest,
                  std::int64_t compressed) {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(name));
        feature->setVersion(SharedString(version));
        feature->setDigest(SharedString(digest));
        feature->setCompressedSize(compressed);
        EXPECT_TRUE(parent->addSubFeature(feature));
        return feature;
    };
    const FeaturePtr core = add(data.featureRoot(), u"Core", u"1.0", u"AB", 5000);
    const FeaturePtr online = add(data.featureRoot(), u"Online", u"1.0", u"CD", 5000);
    const FeaturePtr empty = add(core, u"Empty", u"", u"", 0);
    const FeaturePtr licence = add(data.eulaItem(), u"English", u"", u"", 10);

    int error = -1;
    ASSERT_TRUE(controller().initialize(error));

    std::vector<PackageSource> sources;
    ASSERT_TRUE(controller().getPackageSources().equalRange(*core, sources));
    EXPECT_EQ(sources, (std::vector<PackageSource>{{kSourceArchiveEntry, SharedString(u"Feature_Core_1.0_AB.lzma"),
                                                    1234, 0}}));
    ASSERT_TRUE(controller().getPackageSources().equalRange(*licence, sources));
    EXPECT_EQ(sources[0].sizeLow, 10u);
    // No entry, nothing packed: available without bytes.
    ASSERT_TRUE(controller().getPackageSources().equalRange(*empty, sources));
    EXPECT_EQ(sources, (std::vector<PackageSource>{{kSourceArchiveEntry, SharedString(u"Feature_Core_Empty__.lzma"),
                                                    0, 0}}));
    // No entry for a packed feature: it must come from elsewhere.
    EXPECT_FALSE(controller().getPackageSources().contains(*online));
}

TEST_F(ControllerLoad, TranslationFilesBesideTheProgramAreFound)
{
    device().writeFile("Program Files/Druvex/DRUVEX_Installer-de-DE.lng", "[Save][Speichern]\n");
    device().writeFile("Program Files/Druvex/druvex_installer-FR-fr.LNG", "");
    device().writeFile("Program Files/Druvex/DRUVEX_Installer-xx-XX.lng", "");
    device().writeFile("Program Files/Druvex/Other-de-DE.lng", "");
    loadAndInitialize();
    EXPECT_EQ(controller().getLanguageIdsAvailableAsFiles(), (std::set<std::uint16_t>{1031, 1036}));
    EXPECT_FALSE(controller().isForcedTranslation());

    device().writeFile("Program Files/Druvex/DRUVEX_Installer-Force.lng", test::utf16leFromUtf8("\uFEFF[Save][Gem]\n"));
    loadAndInitialize();
    EXPECT_TRUE(controller().isForcedTranslation());
    EXPECT_EQ(translateText("Save"), SharedString(u"Gem"));
}

TEST_F(ControllerLoad, PrerequisiteChecksComeOneFolderEach)
{
    const std::string description =
        "<Requirements><Requirement FullName=\"Free space\" Platforms=\"Qm40\"/>"
        "<Parameter>2048</Parameter></Requirements>";
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>");
    writer.openFolder(u"FreeSpace");
    writer.addFile(u"check.LUA", bytesOf("function check(p) return 1, '' end"));
    writer.addFile(u"info.xml", bytesOf(description));
    writer.addFile(u"empty.xml", {});
    writer.closeFolder();
    writer.openFolder(u"OsVersion");
    writer.addFile(u"Check.lua", bytesOf("function check() return 0, 'old' end"));
    writer.closeFolder();
    writer.addFile(u"loose.lua", bytesOf("-- in no folder"));
    writer.closeFolder();

    std::vector<EntrySource> entries = soundEntries();
    entries.push_back(codedEntry(u"ExtraData/ReqInfo", kPayloadMethodLzma, writer.build()));
    entries.push_back(codedEntry(u"ExtraData/ReqInfoOther", kPayloadMethodLzma, writer.build()));
    ASSERT_EQ(load(placeArchive(entries)), 0);
    int error = -1;
    ASSERT_TRUE(controller().initialize(error));

    const auto& checks = controller().getPrerequisiteChecks();
    ASSERT_EQ(checks.size(), 2u);
    const PrerequisiteCheck& space = *checks.at(SharedString(u"FreeSpace"));
    EXPECT_EQ(space.getScript(), SharedString(u"function check(p) return 1, '' end"));
    EXPECT_EQ(space.getFullName(), SharedString(u"Free space"));
    EXPECT_EQ(space.getPlatforms(), platformMask(kPlatformQm40));
    ASSERT_EQ(space.parameterCount(), 1);
    EXPECT_EQ(space.parameterAt(0), SharedString(u"2048"));
    const PrerequisiteCheck& os = *checks.at(SharedString(u"OsVersion"));
    EXPECT_EQ(os.getScript(), SharedString(u"function check() return 0, 'old' end"));
    EXPECT_TRUE(os.getFullName().isEmpty());
    EXPECT_EQ(os.parameterCount(), 0);
}

// An installed log of the program in the product data folder.
Bytes installedLogBytes(const char16_t* program, int features = 1)
{
    InstalledLog log;
    log.setProgramName(SharedString(program));
    log.setProgramVersion(VersionNumber::fromText(u"1.0"));
    log.setDestinationFolder(SharedString(u"\\Program Files\\Survey"));
    log.setInstalledForAllUsers(false);
    for (int i = 0; i < features; ++i) {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(u"Feature/Core"));
        log.addFeature(feature);
    }
    auto variable = InstallerVariable::create(SharedString(u"DATADIR"));
    variable->setPersistent(true);
    variable->setValue(kPlatformAll, 0, SharedString(u"\\Data"));
    log.append(variable);
    Bytes bytes;
    EXPECT_TRUE(log.serialize(bytes));
    return bytes;
}

TEST_F(ControllerLoad, TheInstalledLogOfTheProgramIsTaken)
{
    device().writeFile(std::string(kProductData) + "/InstalledLog.xml", textOf(installedLogBytes(u"SURVEY")));
    ASSERT_EQ(load(placeArchive(soundEntries())), 0);
    std::vector<std::string> steps;
    InstallerController::LoadSteps& hooks = controller().getLoadSteps();
    hooks.queryInstalledInstaller = [&] { steps.push_back("query"); };
    hooks.checkInstalledFeatureFiles = [&] { steps.push_back("check files"); };
    hooks.compareInstalledVersion = [&] { steps.push_back("compare"); };
    int error = -1;
    ASSERT_TRUE(controller().initialize(error));

    EXPECT_EQ(steps, (std::vector<std::string>{"query", "check files", "compare"}));
    EXPECT_TRUE(controller().isInstalledStateLoaded());
    EXPECT_EQ(controller().getInstalledLog()->getFeatureCount(), 1);
    EXPECT_EQ(controller().getDestinationFolder(), SharedString(u"\\Program Files\\Survey"));
    EXPECT_FALSE(controller().isForAnyone());
    EXPECT_NE(controller().getInstallData().findByName(u"DATADIR"), nullptr);
    EXPECT_EQ(controller().getForeignInstalledLog(), nullptr);

    // Loaded again (the prerequisites page does so): the variables are not
    // copied a second time.
    controller().getInstallData().clear();
    steps.clear();
    EXPECT_TRUE(controller().loadInstalledLog());
    EXPECT_EQ(steps, (std::vector<std::string>{"query", "check files", "compare"}));
    EXPECT_EQ(controller().getInstallData().findByName(u"DATADIR"), nullptr);
}

TEST_F(ControllerLoad, AnUninstallationRunChecksNoFilesAndStartsItsPages)
{
    device().writeFile(std::string(kProductData) + "/InstalledLog.xml", textOf(installedLogBytes(u"Survey")));
    options_.uninstallMode = true;
    ASSERT_EQ(load(placeArchive(soundEntries())), 0);
    std::vector<std::string> steps;
    InstallerController::LoadSteps& hooks = controller().getLoadSteps();
    hooks.checkInstalledFeatureFiles = [&] { steps.push_back("check files"); };
    hooks.compareInstalledVersion = [&] { steps.push_back("compare"); };
    hooks.startUninstallation = [&] { steps.push_back("uninstall"); };
    int error = -1;
    ASSERT_TRUE(controller().initialize(error));
    EXPECT_EQ(steps, (std::vector<std::string>{"compare", "uninstall"}));
    EXPECT_TRUE(controller().getPageSequence().getPages().empty());
}

TEST_F(ControllerLoad, AnInstalledLogThatIsNoneOfOursIsSetAside)
{
    struct Row {
        const char* what;
        std::string content;  // empty: no file
        bool foreign;
    };
    const Row rows[] = {
        {"none", "", false},
        {"another program's", textOf(installedLogBytes(u"Toolbox")), true},
        {"without features", textOf(installedLogBytes(u"Survey", 0)), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove(device().hostPath(std::string(kProductData) + "/InstalledLog.xml"));
        if (!row.content.empty())
            device().writeFile(std::string(kProductData) + "/InstalledLog.xml", row.content);
        loadAndInitialize();
        EXPECT_TRUE(controller().isInstalledStateLoaded());
        EXPECT_EQ(controller().getInstalledLog()->getFeatureCount(), 0);
        EXPECT_TRUE(controller().getDestinationFolder().isEmpty());
        ASSERT_EQ(controller().getForeignInstalledLog() != nullptr, row.foreign);
        if (row.foreign) {
            EXPECT_EQ(controller().getForeignInstalledLog()->getProgramName(), SharedString(u"Toolbox"));
        }
    }
}

TEST_F(ControllerLoad, ADamagedInstalledLogIsLoggedAndKept)
{
    const std::string damaged = textOf(installedLogBytes(u"Survey")).substr(0, 120);
    const std::string path = std::string(kProductData) + "/InstalledLog.xml";
    device().writeFile(path, damaged);
    test::DiagCapture diag;

    loadAndInitialize();
    EXPECT_EQ(controller().getInstalledLog()->getFeatureCount(), 0);
    EXPECT_TRUE(controller().getDestinationFolder().isEmpty());
    EXPECT_TRUE(diag.contains(u"InstalledLog.xml does not parse"));
    EXPECT_TRUE(diag.contains(u"the program counts as not installed"));
    destroyController();
    EXPECT_EQ(device().readFile(path), damaged);
}

TEST_F(ControllerLoad, AMakeConfigRunReadsNoInstalledLog)
{
    device().writeFile(std::string(kProductData) + "/InstalledLog.xml", textOf(installedLogBytes(u"Survey")));
    options_.configMode = kConfigModeMake;
    loadAndInitialize();
    EXPECT_EQ(controller().getInstalledLog()->getFeatureCount(), 0);
}

TEST_F(ControllerLoad, TheInstalledProgramsThemeIsTakenWhenTheDataAllowsIt)
{
    device().writeFile(std::string(kProductData) + "/InstalledLog.xml", textOf(installedLogBytes(u"Survey")));
    device().writeFile("Program Files/Survey/_config.xml",
                       "<?xml version=\"1.0\" encoding=\"utf-8\"?><data><Lang>de-DE</Lang><Theme>Gray</Theme></data>");
    device().makeFolder("Program Files/Survey/orvdata/images");
    const std::string themed = "  <Variable Type=\"BkGndTheme\" Value=\"Blue\"/>\n";
    const std::string override = "  <Variable Type=\"BkGndThemeOverride\" Value=\"Yes\"/>\n";

    setImagesFolder(SharedString(u"\\Before"));
    loadAndInitialize(dataXml("Survey", themed));
    EXPECT_EQ(controller().getInstallData().settings().getBackgroundTheme(), 2);
    EXPECT_EQ(getImagesFolder(), SharedString(u"\\Before"));

    loadAndInitialize(dataXml("Survey", themed + override));
    EXPECT_EQ(controller().getInstallData().settings().getBackgroundTheme(), 3);
    EXPECT_EQ(controller().getSettings().getBackgroundTheme(), 3);
    EXPECT_EQ(getImagesFolder(), SharedString(u"\\Program Files\\Survey/orvdata\\images"));
    setImagesFolder(SharedString());
}

}  // namespace
}  // namespace druvex
