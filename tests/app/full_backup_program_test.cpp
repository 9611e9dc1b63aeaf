// Full backups with the real program on a test device where the program is
// installed: a silent "create_backup" run writes a backup of the data folder
// that 7-Zip accepts, and a silent "use_config" run whose configuration names
// that backup under FullBackup brings back a job deleted since.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "data/installed_log.h"
#include "data/feature.h"
#include "program_fixture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

constexpr char kUuid[] = "{6F1A2B3C-4D5E-4F60-8A9B-0C1D2E3F4A5B}";
const std::string kData = "Program Files/Survey/Data";

class FullBackupProgram : public test::InstallerApp {
protected:
    void SetUp() override
    {
        InstallerApp::SetUp();
        // A device of the platform the installer serves.
        device().writeDeviceFile("device.ini", "[Device]\nForceDeviceType=16\n");
        const std::string data = std::string("<data><Version>3</Version><Variables>") +
                                 "<Variable Type=\"ProgramName\" Value=\"Survey Pro\"/>" +
                                 "<Variable Type=\"ProgramVersion\" Value=\"1.0\"/>" +
                                 "<Variable Type=\"ProgramUuid\" Value=\"" + kUuid + "\"/></Variables></data>";
        const std::string info =
            "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"Qm40\"/>";
        test::writeFileBytes(programFolder() / "setup.dqres",
                             test::buildArchive({test::codedEntry(u"Data", kPayloadMethodLzma, test::toBytes(data)),
                                                 test::codedEntry(u"InstallerInfo", kPayloadMethodLzma,
                                                                  test::toBytes(info))}));

        // The program as an earlier run left it: its installed log, and the
        // field program's data.
        InstalledLog log;
        log.setProgramName(SharedString(u"Survey Pro"));
        log.setProgramVersion(VersionNumber::fromText(u"1.0"));
        log.setInstallerVersion(VersionNumber::fromText(u"5.1"));
        log.setDestinationFolder(SharedString(u"\\Program Files\\Survey"));
        FeaturePtr core = makeFeaturePtr();
        core->setName(SharedString(u"Feature/Core"));
        core->setVersion(SharedString(u"1.0"));
        log.addFeature(core);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(log.serialize(bytes));
        device().makeFolder(std::string("Windows/_QuendaSuperInstaller/") + kUuid);
        test::writeFileBytes(device().hostPath(std::string("Windows/_QuendaSuperInstaller/") + kUuid +
                                               "/InstalledLog.xml"),
                             bytes);
        device().makeFolder(kData + "/Jobs/Site 1");
        device().writeFile(kData + "/settings.xml", "<Settings Units=\"m\"/>\n");
        std::string points;
        for (int i = 0; i < 2000; ++i)
            points += "P" + std::to_string(i) + " " + std::to_string(i * 7919 % 10007) + "\n";
        device().writeFile(kData + "/Jobs/Site 1/points.job", points);
        device().writeFile(kData + "/Jobs/notes.txt", "notes");
    }

    std::string archive() { return test::quoted(device().hostPath("Backups/survey.7z")); }

    test::ProgramRun backUp() { return run("silent_mode create_backup '\\Backups\\survey.7z' Data"); }
};

TEST_F(FullBackupProgram, ASilentBackupRunWritesABackupThatSevenZipAccepts)
{
    ASSERT_TRUE(test::toolInstalled("7zz"));
    const test::ProgramRun result = backUp();
    ASSERT_EQ(result.status, 0) << result.err << logs();
    const test::ToolResult tested = test::runTool("7zz t " + archive() + " 2>&1");
    EXPECT_EQ(tested.exitCode, 0) << test::textOf(tested.output);
    EXPECT_NE(test::textOf(tested.output).find("Everything is Ok"), std::string::npos) << test::textOf(tested.output);
    const test::ToolResult listed = test::runTool("7zz l -slt " + archive() + " 2>&1");
    for (const char* name : {"Path = settings.xml\n", "Path = info.xml\n", "Path = Jobs/Site 1/points.job\n"})
        EXPECT_NE(test::textOf(listed.output).find(name), std::string::npos) << name << test::textOf(listed.output);
    EXPECT_NE(logs().find("Exit code 0 (0x00000000), process status 0"), std::string::npos) << logs();
}

TEST_F(FullBackupProgram, ASilentConfigurationRunNamingTheBackupBringsBackADeletedFile)
{
    ASSERT_EQ(backUp().status, 0) << logs();
    const std::string points = device().readFile(kData + "/Jobs/Site 1/points.job");
    fs::remove(device().hostPath(kData + "/Jobs/Site 1/points.job"));
    device().writeFile("Program Files/Druvex/restore.xml",
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<AdministrativeData>\n"
                       " <Language>1033</Language>\n"
                       " <Destination IsTethered=\"No\" TargetPlatform=\"Qm40\" TargetDir=\"\\Program Files\\Survey\" "
                       "WipeOldInst=\"No\" IsForAnyone=\"No\"/>\n"
                       " <Misc UseOnlineFeature=\"No\" RevertToPreviousRevision=\"No\"/>\n"
                       " <FeaturesToInstall>\n  <Feature>Feature/Core</Feature>\n </FeaturesToInstall>\n"
                       " <FullBackup Restore=\"Yes\" Path=\"\\Backups\\survey.7z\"/>\n"
                       " <RebootInfo Revision=\"40\" WizardMode=\"6\" StartingPage=\"2\"/>\n"
                       "</AdministrativeData>\n");
    const test::ProgramRun result = run("silent_mode use_config '\\Program Files\\Druvex\\restore.xml'");
    ASSERT_EQ(result.status, 0) << result.err << logs();
    EXPECT_EQ(device().readFile(kData + "/Jobs/Site 1/points.job"), points);
    EXPECT_NE(logs().find("Restored 3 files from \\Backups\\survey.7z (2 already as the backup holds them)"),
              std::string::npos)
        << logs();
}

}  // namespace
}  // namespace druvex
