// Loading the installer data from crafted archives on a test device, and the
// initialisation after it: error codes, "data.xml" beside "setup.dqres", the
// default archive, the "setup" rule, the first page, the target platform,
// package sources, prerequisite checks and the installed state.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "controller/controller_fixture.h"
#include "core/app_paths.h"
#include "data/content_tree.h"
#include "data/installed_log.h"
#include "data/installer_configuration.h"
#include "data/package_sources.h"
#include "data/scriptable.h"
#include "package_writer/package_writer.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

using test::Bytes;
using test::EntrySource;

constexpr char kLogPath[] = "Application Data/Installers/{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}/InstalledLog.xml";

Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

std::string dataXml(std::string_view program = "Survey", std::string_view variables = "",
                    std::string_view uuid = "{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}")
{
    return "<data><Version>3</Version><Variables><Variable Type=\"ProgramName\" Value=\"" + std::string(program) +
           "\"/><Variable Type=\"ProgramUuid\" Value=\"" + std::string(uuid) + "\"/>" + std::string(variables) +
           "</Variables></data>";
}

std::string installerInfo(std::string_view platform = "Controller", std::string_view targets = "Qm40")
{
    return "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"" + std::string(platform) +
           "\" TargetPlatMask=\"" + std::string(targets) + "\"/>";
}

EntrySource entry(std::u16string name, std::string_view content)
{
    return test::codedEntry(std::move(name), kPayloadMethodLzma, bytesOf(content));
}

std::vector<EntrySource> soundEntries(std::string_view data = dataXml(), std::string_view info = installerInfo())
{
    return {entry(u"Data", data), entry(u"InstallerInfo", info)};
}

// The installed log of a program with `features` features and one
// persistent variable.
std::string installedLog(const char16_t* program, int features = 1)
{
    InstalledLog log;
    log.setProgramName(SharedString(program));
    log.setDestinationFolder(SharedString(u"\\Program Files\\Survey"));
    for (int i = 0; i < features; ++i) {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(u"Feature/Core"));
        feature->addContent(std::make_shared<ContentFile>(SharedString(u"/Program Files/Survey/gone.exe")));
        log.addFeature(feature);
    }
    auto variable = InstallerVariable::create(SharedString(u"DATADIR"));
    variable->setPersistent(true);
    log.append(variable);
    Bytes bytes;
    EXPECT_TRUE(log.serialize(bytes));
    return std::string(bytes.begin(), bytes.end());
}

class ControllerLoad : public test::ControllerFixture {
protected:
    void SetUp() override
    {
        ControllerFixture::SetUp();
        device().makeFolder("Program Files/Druvex");
        setProgram(u"install.exe");
        source_->installerPath = SharedString(u"\\Application Data\\Installers");
    }
    void TearDown() override
    {
        ControllerFixture::TearDown();
        AppPaths::resetInstance();
    }

    void setProgram(std::u16string_view name)
    {
        AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\") + SharedString(name));
    }
    // A file in the program's folder; answers its device path.
    SharedString placeFile(std::string_view name, const Bytes& bytes)
    {
        device().writeFile("Program Files/Druvex/" + std::string(name), std::string(bytes.begin(), bytes.end()));
        return SharedString(u"\\Program Files\\Druvex\\") + fromUtf8(name);
    }
    SharedString placeArchive(const std::vector<EntrySource>& entries, std::string_view name = "payload.bin")
    {
        return placeFile(name, test::buildArchive(entries));
    }
    // A new controller loads the archive; answers the load's error code.
    int load(const SharedString& path, bool expected = true)
    {
        int error = -1;
        EXPECT_EQ(makeController().loadInstallData(path, error), expected) << error;
        return error;
    }
    // Loads a sound archive, then initialises; answers the initialisation's error code.
    int initialize(std::string_view data = dataXml(), std::string_view info = installerInfo(), bool expected = true)
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
    damagedData[3] ^= 0xFF;  // inside "Data", the first entry
    Bytes damagedDirectory = test::buildArchive(soundEntries());
    damagedDirectory[damagedDirectory.size() - 60] ^= 0xFF;
    auto withProject = [&](std::string_view project) {
        std::vector<EntrySource> entries = soundEntries();
        entries.push_back(entry(u"MergeProjectData_Tools", project));
        return placeArchive(entries);
    };
    const std::vector<std::tuple<const char*, std::function<SharedString()>, int>> rows = {
        {"no file", [] { return SharedString(u"\\Program Files\\Druvex\\missing.bin"); }, 100},
        {"damaged directory", [&] { return placeFile("dir.bin", damagedDirectory); }, 201},
        {"no archive", [&] { return placeFile("plain.bin", bytesOf("no archive here")); }, 202},
        {"no Data", [&] { return placeArchive({entry(u"InstallerInfo", installerInfo())}); }, 200},
        {"damaged Data", [&] { return placeFile("data.bin", damagedData); }, 201},
        {"Data does not parse", [&] { return placeArchive(soundEntries("<data><Version>2</Version></data>")); }, 202},
        {"no InstallerInfo", [&] { return placeArchive({entry(u"Data", dataXml())}); }, 200},
        {"InstallerInfo does not load", [&] { return placeArchive(soundEntries(dataXml(), "<Other/>")); }, 207},
        // Its product would have the root of all products' data as its folder.
        {"Data without ProgramUuid", [&] { return placeArchive(soundEntries(dataXml("Survey", "", ""))); }, 211},
        {"Data with a blank ProgramUuid", [&] { return placeArchive(soundEntries(dataXml("Survey", "", "  "))); }, 211},
        {"project without ProgramUuid", [&] { return withProject(dataXml("Tools", "", "")); }, 202},
        {"project of another program", [&] { return withProject(dataXml("Toolbox")); }, 202},
    };
    for (const auto& [what, place, code] : rows) {
        SCOPED_TRACE(what);
        EXPECT_EQ(load(place(), false), code);
    }
}

TEST_F(ControllerLoad, MergedProjectsAndThePristineSettingsAreTaken)
{
    std::vector<EntrySource> entries = soundEntries(dataXml("Survey", "<Variable Type=\"Author\" Value=\"D\"/>"));
    entries.push_back(entry(u"MergeProjectData_", "no document"));  // the prefix alone names no project
    entries.push_back(entry(u"MergeProjectData_X", dataXml("x")));  // names compare ignoring case
    EXPECT_EQ(load(placeArchive(entries)), 0);
    ASSERT_EQ(controller().getMergedProjects().size(), 1u);
    EXPECT_EQ(controller().getMergedProjects()[0]->getName(), SharedString(u"X"));
    EXPECT_EQ(controller().getSettings().getAuthor(), SharedString(u"D"));
    EXPECT_EQ(controller().getBuildConfiguration().getTargetPlatformMask(), platformMask(kPlatformQm40));
}

// A language made current before the installer data is read is reported
// (and made current all the same); once the data is read, it is not.
TEST_F(ControllerLoad, ALanguageWithoutInstallerDataIsReported)
{
    test::DiagCapture diag;
    makeController().setLanguage(1031, SharedString(u"Deutsch"));
    EXPECT_TRUE(diag.contains(u"DBGCHK  InstallerController_Language:224"));
    EXPECT_EQ(diag.dbgChkCount(), 1);
    EXPECT_EQ(controller().getLanguage(), 1031);

    // A load that fails leaves the controller without installer data.
    load(placeArchive(soundEntries("<data><Version>2</Version></data>")), false);
    diag.clear();
    controller().setLanguage(1033, SharedString(u"English"));
    EXPECT_EQ(diag.dbgChkCount(), 1);

    EXPECT_EQ(load(placeArchive(soundEntries())), 0);
    diag.clear();
    controller().setLanguage(1033, SharedString(u"English"));
    EXPECT_EQ(diag.dbgChkCount(), 0);
    EXPECT_EQ(controller().getLanguage(), 1033);
}

TEST_F(ControllerLoad, AnArchiveWithoutEntriesIsReportedAndTheLoadGoesOn)
{
    test::DiagCapture diag;
    EXPECT_EQ(load(placeArchive({}), false), 200);  // then the missing "Data" ends it
    EXPECT_TRUE(diag.contains(u"DBGCHK  source/dq/instlogic/InstallerController:292"));
    EXPECT_EQ(diag.dbgChkCount(), 1);

    diag.clear();
    EXPECT_EQ(load(placeArchive(soundEntries())), 0);
    EXPECT_EQ(diag.dbgChkCount(), 0);
}

TEST_F(ControllerLoad, DataXmlBesideASeparatePayloadOverridesTheArchivesData)
{
    const std::vector<std::tuple<const char*, const char*, const char16_t*, bool>> rows = {
        {"setup.dqres", nullptr, u"Survey", true},
        {"setup.dqres", "<data><Version>3</Vers", u"Survey", true},  // does not parse: ignored
        {"SETUP.DQRES", "beside", u"Beside", true},
        {"payload.bin", "beside", u"Survey", false},
    };
    for (const auto& [archive, beside, program, separate] : rows) {
        SCOPED_TRACE(archive);
        std::filesystem::remove(device().hostPath("Program Files/Druvex/data.xml"));
        if (beside)
            placeFile("data.xml", bytesOf(std::string(beside) == "beside" ? dataXml("Beside") : beside));
        EXPECT_EQ(load(placeArchive(soundEntries(), archive)), 0);
        EXPECT_EQ(controller().getProgramName(), SharedString(program));
        EXPECT_EQ(controller().isSeparatePayload(), separate);
        std::filesystem::remove(device().hostPath("Program Files/Druvex/" + std::string(archive)));
    }
}

// The data.xml an installation leaves beside the installed copy lists no
// files of custom actions; an action without files would run from an empty
// folder. The archive's own installer data gives them back, and only to the
// actions that have none.
TEST_F(ControllerLoad, CustomActionsWithoutFilesInDataXmlTakeThoseOfTheArchivesData)
{
    const auto action = [](const char* name, bool withFiles) {
        return "<CustomAction Name=\"" + std::string(name) +
               "\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" Version=\"\" "
               "ActionType=\"RunScript\" InstallerType=\"Both\" StoreLocation=\"InsideInstaller\" "
               "ExecutionMask=\"15\" Command=\"" + name + ".lua\" Param=\"\" PostInstallMode=\"DontShow\" "
               "PostInstallText=\"\">" +
               (withFiles ? "<Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"" +
                                std::string(name) + ".lua\" Flags=\"0\" OrigPath=\"\"/></Folder></Content>"
                          : "") +
               "</CustomAction>";
    };
    const auto withActions = [](const std::string& actions) {
        std::string data = dataXml();
        data.insert(data.find("</data>"), "<CustomActions>" + actions + "</CustomActions>");
        return data;
    };
    const auto files = [&](const char16_t* name) {
        const CustomActionPtr found = controller().getInstallData().findCustomAction(name);
        return found ? found->countFiles() : -1;
    };

    // Check and Report lose their files in data.xml; Own lists another of its own.
    std::string beside = withActions(action("Check", false) + action("Report", false) + action("Own", true));
    const std::string own = "<File Name=\"Own.lua\"";
    beside.replace(beside.find(own), own.size(), "<File Name=\"Other.lua\"");
    placeFile("data.xml", bytesOf(beside));
    const std::vector<EntrySource> entries =
        soundEntries(withActions(action("Check", true) + action("Own", true) + action("Unknown", true)));
    test::DiagCapture log;
    EXPECT_EQ(load(placeArchive(entries, "setup.dqres")), 0);
    EXPECT_EQ(files(u"Check"), 1);
    EXPECT_TRUE(controller().getInstallData().findCustomAction(u"Check")->hasContent());
    EXPECT_TRUE(log.contains(u"The files of custom action Check are those of the archive's installer data"));
    // An action the archive does not know keeps its empty list, one with its
    // own list keeps that.
    EXPECT_EQ(files(u"Report"), 0);
    const auto ownFolder =
        std::dynamic_pointer_cast<ContentFolder>(controller().getInstallData().findCustomAction(u"Own")->contentAt(0));
    ASSERT_TRUE(ownFolder);
    ASSERT_EQ(ownFolder->childCount(), 1);
    EXPECT_EQ(ownFolder->childAt(0)->getName(), SharedString(u"Other.lua"));
    EXPECT_TRUE(log.contains(u"Installer data taken from"));
    EXPECT_FALSE(log.contains(u"The files of custom action Own"));

    // An archive whose installer data does not read leaves data.xml's lists as they are.
    std::vector<EntrySource> damaged = soundEntries();
    damaged[0] = entry(u"Data", "<data><Version>3</Vers");
    test::DiagCapture second;
    EXPECT_EQ(load(placeArchive(damaged, "setup.dqres")), 0);
    EXPECT_EQ(files(u"Check"), 0);
    EXPECT_TRUE(second.contains(u"The installer data of the archive cannot be read"));
}

TEST_F(ControllerLoad, ADamagedDefaultArchiveFallsBackToTheProgramFileWithoutAnError)
{
    Bytes program = bytesOf("\x7f" "ELF program bytes");
    const Bytes archive = test::buildArchive(soundEntries(dataXml("Appended")), program.size());
    program.insert(program.end(), archive.begin(), archive.end());
    placeFile("install.exe", program);
    placeFile("setup.dqres", bytesOf("damaged"));
    EXPECT_EQ(load(SharedString()), 0);
    EXPECT_EQ(controller().getProgramName(), SharedString(u"Appended"));
    EXPECT_FALSE(controller().isSeparatePayload());
}

TEST_F(ControllerLoad, AProgramNamedSetupNeedsAnInstalledLogBesideIt)
{
    const std::vector<std::tuple<const char16_t*, bool, int>> rows = {
        {u"Setup.exe", false, 208}, {u"SETUP", false, 208}, {u"Setup.exe", true, 0}, {u"setup2.exe", false, 0}};
    for (const auto& [program, logBeside, code] : rows) {
        SCOPED_TRACE(toUtf8(SharedString(program)).c_str());
        setProgram(program);
        std::filesystem::remove(device().hostPath("Program Files/Druvex/InstalledLog.xml"));
        if (logBeside)
            device().writeFile("Program Files/Druvex/InstalledLog.xml", "x");
        EXPECT_EQ(initialize(dataXml(), installerInfo(), code == 0), code);
    }
}

TEST_F(ControllerLoad, TheFirstPageFollowsTheOptionsAndTheBuild)
{
    struct Row {
        const char* targets;
        bool createBackup;
        UpdateMode updateMode;
        bool forMobile;
        std::vector<WizardPageId> pages;
        bool stateLoaded;
        DeviceType device = DeviceType::TS_QM40;
        TargetPlatform platform = kPlatformQm40;
    };
    const Row rows[] = {
        {"Qm40", false, kUpdateModeNone, false, {kPagePrerequisites}, true},
        {"Qm40", true, kUpdateModeNone, false, {kPageInstallation, kPageEndInstall}, true},
        {"Qm40", true, kUpdateModeNewVersion, false, {kPagePrerequisites}, true},
        {"Qm40", false, kUpdateModeNone, true, {}, false},
        // A build for several devices takes the platform from the device
        // first, and with it reads the installed state.
        {"Qm40,Wm6", true, kUpdateModeNone, false, {kPageInstallation, kPageEndInstall}, true},
        {"Qm40,Wm6", true, kUpdateModeNone, false, {kPageInstallation, kPageEndInstall}, true,
         DeviceType::GENERIC_WIN_MOBILE6, kPlatformWm6},
        // A device the build does not serve: the platform stays open, and
        // without it nothing is read.
        {"Qm40,Wm6", true, kUpdateModeNone, false, {}, false, DeviceType::BRELLAN_RNVB, kPlatformCount},
    };
    for (const Row& row : rows) {
        options_ = InstallerOptions();
        options_.createBackup = row.createBackup;
        options_.updateMode = row.updateMode;
        options_.forMobile = row.forMobile;
        source_->deviceType = row.device;
        initialize(dataXml(), installerInfo("Controller", row.targets));
        EXPECT_EQ(controller().getPageSequence().getPages(), row.pages) << row.targets;
        EXPECT_EQ(controller().getPageSequence().getMode(), row.pages.size() == 2 ? kModeBackup : kModeNone);
        EXPECT_EQ(controller().isInstalledStateLoaded(), row.stateLoaded) << row.targets;
        EXPECT_EQ(controller().getTargetPlatform(), row.platform) << row.targets;
    }
}

TEST_F(ControllerLoad, TargetPlatformAndTetheringComeFromTheBuild)
{
    struct Row {
        const char* targets;
        const char* available;
        bool useHalWin;
        bool rebootAsAdmin;
        TargetPlatform platform;
        bool tethered;
    };
    const Row rows[] = {
        {"Qm40", "4", false, false, kPlatformQm40, true},
        {"Qm40,Wm6", "5", false, false, kPlatformCount, true},
        {"Win32", "16", false, false, kPlatformWin32, false},
        {"Qm40", "1", false, false, kPlatformQm40, false},  // not among the available platforms
        {"Qm40", "4", true, false, kPlatformQm40, false},
        {"Qm40,Wm6", "5", false, true, kPlatformWm6, true},
    };
    for (const Row& row : rows) {
        options_ = InstallerOptions();
        options_.useHalWin = row.useHalWin;
        options_.rebootAsAdmin = row.rebootAsAdmin;
        options_.platform = kPlatformWm6;
        initialize(dataXml("Survey", "<Variable Type=\"AvailablePlatforms\" Value=\"" + std::string(row.available) +
                                         "\"/>"),
                   installerInfo("PC", row.targets));
        EXPECT_EQ(controller().getTargetPlatform(), row.platform) << row.targets;
        EXPECT_EQ(controller().isTethered(), row.tethered) << row.targets;
    }
    EXPECT_EQ(controller().getBuildConfiguration().getTargetPlatformMask(), platformMask(kPlatformWm6));
}

TEST_F(ControllerLoad, ArchiveEntriesBecomePackageSources)
{
    std::vector<EntrySource> entries = soundEntries();
    entries.push_back(test::codedEntry(u"Feature_Core_1.0_AB.lzma", kPayloadMethodStored, Bytes(1234, 7)));
    ASSERT_EQ(load(placeArchive(entries)), 0);
    auto add = [](const FeaturePtr& parent, const char16_t* name, const char16_t* version, std::int64_t packed) {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(name));
        feature->setVersion(SharedString(version));
        feature->setDigest(SharedString(version).isEmpty() ? SharedString() : SharedString(u"AB"));
        feature->setCompressedSize(packed);
        parent->addSubFeature(feature);
        return feature;
    };
    const FeaturePtr core = add(controller().getInstallData().featureRoot(), u"Core", u"1.0", 5000);
    const FeaturePtr online = add(controller().getInstallData().featureRoot(), u"Online", u"2.0", 5000);
    const FeaturePtr empty = add(core, u"Empty", u"", 0);
    int error = -1;
    ASSERT_TRUE(controller().initialize(error));

    std::vector<PackageSource> sources;
    ASSERT_TRUE(controller().getPackageSources().equalRange(*core, sources));
    EXPECT_EQ(sources, (std::vector<PackageSource>{{4, SharedString(u"Feature_Core_1.0_AB.lzma"), 1234, 0}}));
    ASSERT_TRUE(controller().getPackageSources().equalRange(*empty, sources));  // nothing packed, nothing to fetch
    EXPECT_EQ(sources, (std::vector<PackageSource>{{4, SharedString(u"Feature_Core_Empty__.lzma"), 0, 0}}));
    EXPECT_FALSE(controller().getPackageSources().contains(*online));
}

TEST_F(ControllerLoad, ProductTranslationFilesBesideTheProgramAreFound)
{
    for (const char* name : {"DRUVEX_Installer-de-DE.lng", "druvex_installer-FR-fr.LNG", "DRUVEX_Installer-xx-XX.lng",
                             "Other-it-IT.lng", "DRUVEX_Installer-es-ES.txt"})
        device().writeFile("Program Files/Druvex/" + std::string(name), "");
    initialize();
    EXPECT_EQ(controller().getLanguageIdsAvailableAsFiles(), (std::set<std::uint16_t>{1031, 1036}));
    EXPECT_FALSE(controller().isForcedTranslation());
    device().writeFile("Program Files/Druvex/DRUVEX_Installer-force.lng", "");
    initialize();
    EXPECT_TRUE(controller().isForcedTranslation());
}

TEST_F(ControllerLoad, PrerequisiteChecksComeOneFolderEach)
{
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>").openFolder(u"FreeSpace");
    writer.addFile(u"check.LUA", bytesOf("function check(p) return 1 end"));
    writer.addFile(u"info.xml", bytesOf("<R><Requirement FullName=\"Free space\"/><Parameter>2048</Parameter></R>"));
    writer.addFile(u"empty.xml", {});
    writer.closeFolder().openFolder(u"OsVersion").addFile(u"Check.lua", bytesOf("-- os")).closeFolder();
    writer.addFile(u"loose.lua", bytesOf("-- in no folder"));
    std::vector<EntrySource> entries = soundEntries();
    entries.push_back(test::codedEntry(u"ExtraData/ReqInfo", kPayloadMethodLzma, writer.build()));
    entries.push_back(test::codedEntry(u"ExtraData/ReqInfoOther", kPayloadMethodLzma, writer.build()));
    ASSERT_EQ(load(placeArchive(entries)), 0);
    int error = -1;
    ASSERT_TRUE(controller().initialize(error));

    const auto& checks = controller().getPrerequisiteChecks();
    ASSERT_EQ(checks.size(), 2u);
    const PrerequisiteCheck& space = *checks.at(SharedString(u"FreeSpace"));
    EXPECT_EQ(space.getScript(), SharedString(u"function check(p) return 1 end"));
    EXPECT_EQ(space.getFullName(), SharedString(u"Free space"));
    ASSERT_EQ(space.parameterCount(), 1);
    const PrerequisiteCheck& os = *checks.at(SharedString(u"OsVersion"));
    EXPECT_EQ(os.getScript(), SharedString(u"-- os"));
    EXPECT_TRUE(os.getFullName().isEmpty());
}

TEST_F(ControllerLoad, TheInstalledLogOfTheProgramIsTakenOnce)
{
    device().writeFile(kLogPath, installedLog(u"SURVEY"));
    ASSERT_EQ(load(placeArchive(soundEntries())), 0);
    controller().setUninstallCompatibility(2);
    int error = -1;
    ASSERT_TRUE(controller().initialize(error));
    // The log asks for no newer installer: the installed one is not asked.
    EXPECT_EQ(controller().getUninstallCompatibility(), 1);
    EXPECT_TRUE(source_->startedProcessIds.empty());
    EXPECT_EQ(controller().getMissingFiles(), std::vector<SharedString>{SharedString(u"/Program Files/Survey/gone.exe")});
    EXPECT_EQ(controller().getInstalledFeatureMap().size(), 1u);
    EXPECT_EQ(controller().getDestinationFolder(), SharedString(u"\\Program Files\\Survey"));
    EXPECT_FALSE(controller().isForAnyone());
    EXPECT_NE(controller().getInstallData().findByName(u"DATADIR"), nullptr);

    // Loaded again, the variables are not copied a second time.
    controller().getInstallData().clear();
    EXPECT_TRUE(controller().loadInstalledLog());
    EXPECT_EQ(controller().getInstallData().findByName(u"DATADIR"), nullptr);
}

TEST_F(ControllerLoad, AnUninstallationRunChecksNoFilesAndStartsItsPages)
{
    device().writeFile(kLogPath, installedLog(u"Survey"));
    options_.uninstallMode = true;
    initialize();
    EXPECT_TRUE(controller().getMissingFiles().empty());
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeUninstall);
    EXPECT_EQ(controller().getPageSequence().getCurrentPageId(), kPageInstallation);
}

TEST_F(ControllerLoad, AnInstalledLogThatIsNoneOfOursCountsAsNotInstalled)
{
    const std::vector<std::tuple<const char*, std::string, ConfigMode, bool>> rows = {
        {"another program's", installedLog(u"Toolbox"), kConfigModeNone, true},
        {"without features", installedLog(u"Survey", 0), kConfigModeNone, false},
        {"in a make_config run", installedLog(u"Survey"), kConfigModeMake, false},
    };
    for (const auto& [what, content, configMode, foreign] : rows) {
        SCOPED_TRACE(what);
        device().writeFile(kLogPath, content);
        options_.configMode = configMode;
        initialize();
        EXPECT_EQ(controller().getInstalledLog()->getFeatureCount(), 0);
        EXPECT_TRUE(controller().getDestinationFolder().isEmpty());
        EXPECT_EQ(controller().getForeignInstalledLog() != nullptr, foreign);
    }
}

TEST_F(ControllerLoad, ADamagedInstalledLogIsLoggedAndKept)
{
    const std::string damaged = installedLog(u"Survey").substr(0, 120);
    device().writeFile(kLogPath, damaged);
    test::DiagCapture diag;
    initialize();
    EXPECT_EQ(controller().getInstalledLog()->getFeatureCount(), 0);
    EXPECT_TRUE(controller().getDestinationFolder().isEmpty());
    EXPECT_TRUE(diag.contains(u"InstalledLog.xml does not parse"));
    destroyController();
    EXPECT_EQ(device().readFile(kLogPath), damaged);
}

TEST_F(ControllerLoad, TheInstalledProgramsThemeIsTakenWhenTheDataAllowsIt)
{
    device().writeFile(kLogPath, installedLog(u"Survey"));
    device().writeFile("Program Files/Survey/_config.xml", "<data><Lang>de-DE</Lang><Theme>Gray</Theme></data>");
    device().makeFolder("Program Files/Survey/orvdata/images");
    const std::string blue = "<Variable Type=\"BkGndTheme\" Value=\"Blue\"/>";
    setImagesFolder(SharedString(u"\\Before"));
    initialize(dataXml("Survey", blue));
    EXPECT_EQ(getImagesFolder(), SharedString(u"\\Before"));

    initialize(dataXml("Survey", blue + "<Variable Type=\"BkGndThemeOverride\" Value=\"Yes\"/>"));
    EXPECT_EQ(controller().getInstallData().settings().getBackgroundTheme(), 3);
    EXPECT_EQ(controller().getSettings().getBackgroundTheme(), 3);  // a mode preparation keeps it
    EXPECT_EQ(getImagesFolder(), SharedString(u"\\Program Files\\Survey/orvdata\\images"));
    setImagesFolder(SharedString());
}

}  // namespace
}  // namespace druvex
