// Full backups and their restore on a test device with the program
// installed: the data folder backed up by a silent "create_backup" run,
// checked and extracted by 7-Zip, and brought back by a silent run with a
// restore; every answer of readBackupInfo from crafted backups with the
// welcome page's message; abandoned backups; hostile backups; a restore
// that fails at each write in turn.
#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <zlib.h>

#include "../controller/recording_ui_callback.h"
#include "../payload/seven_zip_fixture.h"
#include "controller/installation_page_sink.h"
#include "controller/page_welcome_logic.h"
#include "engine/full_backup_restore.h"
#include "installation_fixture.h"
#include "payload/seven_zip_reader.h"
#include "payload/seven_zip_writer.h"
#include "support/recording_process_listener.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;
using test::HalFaultPlan;
using test::InstallDevice;
using test::TestFeature;
using test::TestRun;
namespace fs = std::filesystem;

const std::string kData = "Program Files/Survey/Data";
const char16_t kArchive[] = u"\\Backups\\survey.7z";
const std::string kArchiveFile = "Backups/survey.7z";

// Text that compresses a little, different for each seed.
std::string jobText(std::size_t lines, unsigned seed)
{
    std::string text;
    for (std::size_t i = 0; i < lines; ++i)
        text += "P" + std::to_string(i) + " " + std::to_string((i * 7919 + seed * 104729) % 1000003) + " " +
                std::to_string((i * 31 + seed) % 977) + ".25\n";
    return text;
}

InstallerOptions backupOptions(std::u16string_view folder = u"Data")
{
    InstallerOptions options;
    options.createBackup = true;
    options.createBackupText1 = SharedString(kArchive);
    options.createBackupText2 = SharedString(folder);
    return options;
}

// The program installed on a device, with its data folder: the settings, a
// note, jobs in nested folders, an empty job and an empty job folder.
class BackupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestFeature core;
        core.name = u"Core";
        core.files["bin/survey.exe"] = test::toBytes("the program");
        features_ = {core};
        test::writeSources(sources_.path(), features_);
        device_.placeArchive(test::buildProductArchive(sources_.path(), features_));
        TestRun install(device_, features_, kModeInstall);
        ASSERT_TRUE(install.runSilently());

        data_ = {{"settings.xml", "<Settings Units=\"m\" Instrument=\"TS16\"/>\n"},
                 {"notes.txt", "field notes\n"},
                 {"Jobs/Site 1/points.job", jobText(9000, 1)},
                 {"Jobs/Site 1/lines.job", jobText(40, 2)},
                 {"Jobs/Site 2/deep/stakeout.job", jobText(700, 3)},
                 {"Jobs/empty.job", ""}};
        writeData(data_);
        device().makeFolder(kData + "/Jobs/Site 3");
    }

    test::TestDevice& device() { return device_.device(); }

    void writeData(const std::map<std::string, std::string>& files)
    {
        for (const auto& [name, content] : files) {
            device().makeFolder(fs::path(kData + "/" + name).parent_path().generic_string());
            device().writeFile(kData + "/" + name, content);
        }
    }

    // Every file below `folder` with its bytes, and every folder as "<folder>".
    std::map<std::string, std::string> tree(const std::string& folder = kData)
    {
        std::map<std::string, std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(device().hostPath(folder))) {
            const std::string name = fs::relative(entry.path(), device().hostPath(folder)).generic_string();
            found[name] = entry.is_directory() ? std::string("<folder>")
                                               : device().readFile(folder + "/" + name);
        }
        return found;
    }

    std::shared_ptr<FullBackupRestore> attach(TestRun& run)
    {
        auto backups = std::make_shared<FullBackupRestore>(run.controller());
        run.controller().setFullBackupReader(backups);
        run.controller().setInstallationProcessFactory(std::make_shared<EngineProcessFactory>(backups));
        return backups;
    }

    // The backup run on the calling thread, through a process that is never
    // started (its host is the controller's: the fault-injecting one).
    std::int32_t backUp(TestRun& run, const std::shared_ptr<FullBackupRestore>& backups)
    {
        InstallationProcess process(run.controller(), run.controller().getPayloadArchive(), nullptr, backups);
        return backups->runBackup(process);
    }
    bool restore(TestRun& run, const std::shared_ptr<FullBackupRestore>& backups, const char16_t* path = kArchive)
    {
        run.controller().setRestore(true);
        run.controller().setBackupPath(SharedString(path));
        InstallationProcess process(run.controller(), run.controller().getPayloadArchive(), nullptr, backups);
        return backups->runRestore(process);
    }
    std::int32_t backUpOnce(InstallerOptions options = backupOptions())
    {
        TestRun run(device_, features_, kModeBackup, {}, std::move(options));
        return backUp(run, attach(run));
    }

    // What lies in the folder of the archive.
    std::set<std::string> backupFolder()
    {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(device().hostPath("Backups")))
            names.insert(entry.path().filename().string());
        return names;
    }

    test::ScratchDir sources_;
    std::vector<TestFeature> features_;
    InstallDevice device_;
    std::map<std::string, std::string> data_;
};

// --- Through the installation page's silent run ----------------------------------------

class FullBackupThreads : public BackupTest {};

TEST_F(FullBackupThreads, ASilentBackupThatSevenZipAcceptsAndASilentRestoreBringBackTheDataFolder)
{
    ASSERT_TRUE(test::toolInstalled("7zz"));
    const std::map<std::string, std::string> backedUp = tree();
    {
        TestRun run(device_, features_, kModeBackup, {}, backupOptions());
        attach(run);
        ASSERT_TRUE(run.runSilently());
        EXPECT_EQ(run.controller().getResult(), kResultCompleted);
    }
    EXPECT_EQ(backupFolder(), std::set<std::string>{"survey.7z"});

    const std::string archive = "'" + device().hostPath(kArchiveFile).string() + "'";
    const test::ToolResult tested = test::runTool("7zz t " + archive + " 2>&1");
    EXPECT_EQ(tested.exitCode, 0) << std::string(tested.output.begin(), tested.output.end());
    test::ScratchDir extracted;
    const test::ToolResult unpacked =
        test::runTool("7zz x -o'" + extracted.path().string() + "' " + archive + " 2>&1");
    ASSERT_EQ(unpacked.exitCode, 0) << std::string(unpacked.output.begin(), unpacked.output.end());
    // 7-Zip gives the data folder back, with the backup information beside it.
    BackupInfo info;
    ASSERT_EQ(readBackupInfoXml(test::readFileBytes(extracted.path() / "info.xml"), info), BackupInfoRead::Read);
    EXPECT_EQ(info.programName, u"Survey Pro");
    EXPECT_EQ(info.programVersion, u"1.0");
    EXPECT_EQ(info.dataFolder, u"Data");
    fs::remove(extracted.path() / "info.xml");
    const test::ToolResult diff =
        test::runTool("diff -r '" + extracted.path().string() + "' '" + device().hostPath(kData).string() + "'");
    EXPECT_EQ(diff.exitCode, 0) << std::string(diff.output.begin(), diff.output.end());

    // The data folder damaged: files gone, changed, a folder gone, one added.
    fs::remove(device().hostPath(kData + "/Jobs/Site 1/points.job"));
    fs::remove_all(device().hostPath(kData + "/Jobs/Site 3"));
    device().writeFile(kData + "/notes.txt", "overwritten");
    device().writeFile(kData + "/Jobs/new.job", "made after the backup");
    {
        TestRun run(device_, features_, kModeMaintenance);
        attach(run);
        run.controller().setRestore(true);
        run.controller().setBackupPath(SharedString(kArchive));
        ASSERT_TRUE(run.runSilently());
        EXPECT_EQ(run.controller().getRestoreResult(), kRestoreDone);
    }
    std::map<std::string, std::string> expected = backedUp;
    expected["Jobs/new.job"] = "made after the backup";
    EXPECT_EQ(tree(), expected);
    // CRC for CRC, as the restore compared them.
    const std::string& job = data_["Jobs/Site 1/points.job"];
    std::uint32_t restored = 0;
    ASSERT_TRUE(computeFileCrc32(device_.host(), SharedString(u"\\Program Files\\Survey\\Data\\Jobs\\Site 1\\points.job"),
                                 restored));
    EXPECT_EQ(restored, crc32(0, reinterpret_cast<const Bytef*>(job.data()), static_cast<uInt>(job.size())));
}

// Initialisation resets the page list to the installation page, which makes
// its logic and run, before it builds the backup's mode on it: the run backs
// up all the same.
TEST_F(FullBackupThreads, ARunMadeBeforeItsModeWasBuiltBacksUp)
{
    TestRun run(device_, features_, kModeNone, {}, backupOptions());
    attach(run);
    run.logic();
    run.controller().getPageSequence().buildForMode(kModeBackup);
    ASSERT_TRUE(run.runSilently());
    EXPECT_EQ(backupFolder(), std::set<std::string>{"survey.7z"});
}

// The page's Cancel while the archive is being compressed: the run ends
// canceled, and the earlier backup at that path is still there, whole.
TEST_F(FullBackupThreads, ACanceledBackupLeavesNoArchiveAndTheEarlierOneStands)
{
    device().writeFile(kArchiveFile, "the earlier backup");
    TestRun run(device_, features_, kModeBackup, {}, backupOptions());
    attach(run);
    test::ProgressSink sink(&run.logic());
    run.logic().setSink(&sink);
    run.logic().startProcess();
    EXPECT_FALSE(sink.awaitEnd());
    run.logic().clearSink();
    EXPECT_EQ(run.controller().getResult(), kResultCanceled);
    EXPECT_EQ(device().readFile(kArchiveFile), "the earlier backup");
    EXPECT_EQ(backupFolder(), std::set<std::string>{"survey.7z"});
}

// --- readBackupInfo and the welcome page -------------------------------------------------

// What a crafted backup holds: entries in order, as (name, content).
struct CraftedBackup {
    const char* what;
    std::vector<std::pair<std::string, std::string>> entries;
    BackupCheck code;
    const char16_t* message;
    std::function<void(Bytes&)> damage = nullptr;
};

std::string infoXml(const BackupInfo& info)
{
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(writeBackupInfoXml(info, bytes));
    return std::string(bytes.begin(), bytes.end());
}

BackupInfo ourInfo(std::u16string_view version = u"1.0")
{
    BackupInfo info;
    info.programName = SharedString(u"Survey Pro");
    info.programUuid = SharedString(test::kTestProgramUuid);
    info.programVersion = SharedString(version);
    info.dataFolder = SharedString(u"Data");
    info.created = SharedString(u"2024-05-17T09:41:07Z");
    return info;
}

class ReadBackupInfo : public BackupTest {
protected:
    // The entries through the 7z writer into Backups/crafted.7z, then damaged.
    void craft(const CraftedBackup& backup)
    {
        device().makeFolder("Backups");
        device().makeFolder("Craft");
        SevenZipWriter writer;
        ASSERT_TRUE(writer.open(device_.host(), SharedString(u"\\Backups\\crafted.7z")));
        int index = 0;
        for (const auto& [name, content] : backup.entries) {
            const std::string source = "Craft/" + std::to_string(index++);
            device().writeFile(source, content);
            ASSERT_TRUE(writer.addPath(test::devicePath(source), test::shared(name))) << name;
        }
        ASSERT_TRUE(writer.close(nullptr));
        if (!backup.damage)
            return;
        Bytes bytes = test::readFileBytes(device().hostPath("Backups/crafted.7z"));
        backup.damage(bytes);
        test::writeFileBytes(device().hostPath("Backups/crafted.7z"), bytes);
    }
};

constexpr char16_t kNotValid[] = u"The selected full backup is not valid.";
constexpr char16_t kMissing[] =
    u"The selected full backup doesn't contain required configuration files.\nPlease regenerate the backup.";
constexpr char16_t kInvalid[] =
    u"The selected full backup contains invalid configuration files.\nPlease regenerate the backup.";
constexpr char16_t kIncompatible[] =
    u"The selected full backup is not compatible with this installer version.\nPlease regenerate the backup.";
constexpr char16_t kFuture[] =
    u"The selected full backup is made for a future program version. It cannot be used for this program version.";

TEST_F(ReadBackupInfo, EachAnswerFromACraftedBackupWithTheWelcomePagesMessage)
{
    const std::string settings = "<Settings Units=\"m\"/>\n";
    const std::string info = infoXml(ourInfo());
    BackupInfo otherProgram = ourInfo();
    otherProgram.programName = SharedString(u"Road Pro");
    otherProgram.programUuid = SharedString(u"druvex-road-test");
    BackupInfo noFolder = ourInfo();
    noFolder.dataFolder = SharedString();
    BackupInfo climbingFolder = ourInfo();
    climbingFolder.dataFolder = SharedString(u"\\Program Files\\Survey\\..\\..\\Windows");
    std::string bigSettings = "<Settings>\n";
    for (int i = 0; i < 400; ++i)
        bigSettings += " <Value Name=\"v" + std::to_string(i) + "\" Data=\"" + jobText(1, i) + "\"/>\n";
    bigSettings += "</Settings>\n";
    const auto flipMiddleOfData = [](Bytes& bytes) { bytes[32 + (bytes.size() - 32) / 4] ^= 0x5A; };

    const CraftedBackup rows[] = {
        {"valid", {{"settings.xml", settings}, {"info.xml", info}, {"Jobs/a.job", "a"}}, kBackupValid, nullptr},
        {"an older version", {{"settings.xml", settings}, {"info.xml", infoXml(ourInfo(u"0.9.5"))}}, kBackupValid,
         nullptr},
        {"not an archive", {}, kBackupNotValid, kNotValid, [](Bytes& bytes) { bytes = test::toBytes("plain text"); }},
        {"damaged data", {{"settings.xml", bigSettings}, {"info.xml", info}}, kBackupNotValid, kNotValid,
         flipMiddleOfData},
        {"another program's", {{"settings.xml", settings}, {"info.xml", infoXml(otherProgram)}}, kBackupNotValid,
         kNotValid},
        {"no information", {{"settings.xml", settings}, {"Jobs/info.xml", info}}, kBackupMissingFiles, kMissing},
        {"no settings", {{"info.xml", info}, {"Settings.XML", settings}}, kBackupMissingFiles, kMissing},
        {"settings not closed", {{"settings.xml", "<Settings>"}, {"info.xml", info}}, kBackupInvalidFiles, kInvalid},
        {"empty settings", {{"settings.xml", ""}, {"info.xml", info}}, kBackupInvalidFiles, kInvalid},
        {"no data folder", {{"settings.xml", settings}, {"info.xml", infoXml(noFolder)}}, kBackupInvalidFiles,
         kInvalid},
        {"a data folder that climbs", {{"settings.xml", settings}, {"info.xml", infoXml(climbingFolder)}},
         kBackupInvalidFiles, kInvalid},
        {"format 2",
         {{"settings.xml", settings},
          {"info.xml", "<BackupInfo Format=\"2\"><Program Name=\"Survey Pro\" Version=\"1.0\"/></BackupInfo>"}},
         kBackupIncompatible, kIncompatible},
        {"a later version", {{"settings.xml", settings}, {"info.xml", infoXml(ourInfo(u"1.0.1"))}},
         kBackupFutureVersion, kFuture},
    };
    TestRun run(device_, features_, kModeMaintenance);
    const auto backups = attach(run);
    auto ui = std::make_shared<test::RecordingUiCallback>();
    run.controller().setUiCallback(ui);
    for (const CraftedBackup& row : rows) {
        SCOPED_TRACE(row.what);
        craft(row);
        const SharedString path(u"\\Backups\\crafted.7z");
        run.controller().setBackupPath(SharedString());
        EXPECT_EQ(backups->readBackupInfo(path), row.code);
        // A valid backup is kept for the restore, with its description.
        EXPECT_EQ(run.controller().getBackupPath(), row.code == kBackupValid ? path : SharedString());
        EXPECT_EQ(run.controller().getBackupDescription().empty(), row.code != kBackupValid);

        ui->shown.clear();
        PageWelcomeLogic welcome(run.controller(), kModeMaintenance);
        welcome.setRestore(true);
        welcome.setBackupPath(path);
        EXPECT_EQ(welcome.validateBackup(), row.code == kBackupValid);
        if (row.message) {
            ASSERT_EQ(ui->shown.size(), 1u);
            EXPECT_EQ(std::get<0>(ui->shown[0]), row.message);
        } else {
            EXPECT_TRUE(ui->shown.empty());
        }
    }

    craft(rows[0]);
    ASSERT_EQ(backups->readBackupInfo(SharedString(u"\\Backups\\crafted.7z")), kBackupValid);
    std::vector<std::u16string> lines;
    for (const SharedString& line : run.controller().getBackupDescription())
        lines.emplace_back(line.view());
    EXPECT_EQ(lines, (std::vector<std::u16string>{u"Backup of Survey Pro 1.0 made on 2024-05-17T09:41:07Z",
                                                  u"Data folder: Data", u"settings.xml", u"Jobs/a.job"}));
}

// --- The backup ------------------------------------------------------------------------------

class FullBackup : public BackupTest {};

// A backup that cannot be finished, whatever step fails, deletes what it
// wrote and leaves the earlier backup at its path as it was; so does one
// refused before it starts.
TEST_F(FullBackup, AnAbandonedBackupLeavesNoArchiveAndTheEarlierOneStands)
{
    device().writeFile(kArchiveFile, "the earlier backup");
    const auto untouched = [&] {
        EXPECT_EQ(device().readFile(kArchiveFile), "the earlier backup");
        EXPECT_EQ(backupFolder(), std::set<std::string>{"survey.7z"});
    };
    {
        SCOPED_TRACE("a job that cannot be read");
        HalFaultPlan plan;
        plan.failOpenContaining = u"stakeout";
        TestRun run(device_, features_, kModeBackup, plan, backupOptions());
        EXPECT_EQ(backUp(run, attach(run)), kBackupFailed);
        untouched();
    }
    {
        SCOPED_TRACE("no settings file");
        fs::rename(device().hostPath(kData + "/settings.xml"), device().hostPath("settings.xml"));
        EXPECT_EQ(backUpOnce(), kBackupFailed);
        untouched();
        fs::rename(device().hostPath("settings.xml"), device().hostPath(kData + "/settings.xml"));
    }
    {
        SCOPED_TRACE("an info.xml of the data folder's own");
        device().writeFile(kData + "/Info.xml", "mine");
        EXPECT_EQ(backUpOnce(), kBackupFailed);
        untouched();
        fs::remove(device().hostPath(kData + "/Info.xml"));
    }
    for (const char16_t* folder : {u"", u"Data\\..\\..", u"\\Missing"}) {
        SCOPED_TRACE(test::narrow(std::u16string_view(folder)));
        EXPECT_EQ(backUpOnce(backupOptions(folder)), kBackupFailed);
        untouched();
    }
    // Every write failing in turn, until the backup goes through.
    for (int write = 1;; ++write) {
        SCOPED_TRACE(write);
        ASSERT_LT(write, 200);
        TestRun run(device_, features_, kModeBackup, {}, backupOptions());
        const auto backups = attach(run);
        HalFaultPlan plan;
        plan.failWriteNumber = run.host().writeCount() + write;
        run.host().setPlan(plan);
        const std::int32_t code = backUp(run, backups);
        run.host().setPlan({});
        if (code == kBackupDone) {
            EXPECT_EQ(backupFolder(), std::set<std::string>{"survey.7z"});
            EXPECT_EQ(backups->readBackupInfo(SharedString(kArchive)), kBackupValid);
            break;
        }
        EXPECT_EQ(code, kBackupFailed);
        untouched();
    }
}

// The installation page hears a backup and a restore begin with their size
// in KB and end with the whole in KB and percent.
TEST_F(FullBackup, BothReportTheirProgressInKilobytesAndPercent)
{
    TestRun run(device_, features_, kModeBackup, {}, backupOptions());
    const auto backups = attach(run);
    const auto progressOf = [&](auto step) {
        test::RecordingProcessListener listener;
        InstallationProcess process(run.controller(), run.controller().getPayloadArchive(), &listener, backups);
        EXPECT_TRUE(step(process));
        return listener.events();
    };
    const std::vector<std::string> backup =
        progressOf([&](InstallationProcess& process) { return backups->runBackup(process) == kBackupDone; });
    SevenZipReader reader;
    ASSERT_TRUE(reader.open(device_.host(), SharedString(kArchive)));
    // The backup counts what it reads; the restore what it decodes, which is
    // the same bytes.
    const std::string kilobytes = std::to_string(reader.unpackedSize() >> 10);
    reader.close();
    ASSERT_GE(backup.size(), 3u);
    EXPECT_EQ(backup.front(), "backup " + kilobytes + " 0");
    EXPECT_EQ(backup.back(), "backup progress " + kilobytes + " 0 100");

    run.controller().setRestore(true);
    run.controller().setBackupPath(SharedString(kArchive));
    fs::remove_all(device().hostPath(kData));
    const std::vector<std::string> restore =
        progressOf([&](InstallationProcess& process) { return backups->runRestore(process); });
    ASSERT_GE(restore.size(), 3u);
    EXPECT_EQ(restore.front(), "restore " + kilobytes + " 0");
    EXPECT_EQ(restore.back(), "backup progress " + kilobytes + " 0 100");
}

// A backup of a data folder named from the root, with the archive inside
// that very folder: the archive does not back itself up, and the folder
// named is what a restore writes into.
TEST_F(FullBackup, ADataFolderFromTheRootAndAnArchiveInsideIt)
{
    InstallerOptions options = backupOptions(u"\\Program Files\\Survey\\Data");
    options.createBackupText1 = SharedString(u"\\Program Files\\Survey\\Data\\backup.7z");
    device().writeFile(kData + "/backup.7z", "an earlier backup in the folder");
    EXPECT_EQ(backUpOnce(options), kBackupDone);

    TestRun run(device_, features_, kModeMaintenance);
    const auto backups = attach(run);
    const SharedString archive(u"\\Program Files\\Survey\\Data\\backup.7z");
    ASSERT_EQ(backups->readBackupInfo(archive), kBackupValid);
    std::vector<std::u16string> names;
    for (const SharedString& line : run.controller().getBackupDescription())
        names.emplace_back(line.view());
    EXPECT_EQ(std::count(names.begin(), names.end(), u"backup.7z"), 0);
    EXPECT_EQ(names[1], u"Data folder: \\Program Files\\Survey\\Data");
}

// --- The restore -----------------------------------------------------------------------------

class FullRestore : public BackupTest {};

// Whatever names a backup's entries carry, a restore writes nothing outside
// the data folder the backup names, and nothing at all when it refuses one.
TEST_F(FullRestore, AHostileBackupRestoresNothingAnywhere)
{
    device().writeFile(kData + "/zz/evil.txt", "evil");
    device().writeFile(kData + "/zzzzzevil.txt", "evil");
    ASSERT_EQ(backUpOnce(), kBackupDone);
    const Bytes sound = test::readFileBytes(device().hostPath(kArchiveFile));
    fs::remove_all(device().hostPath(kData));
    TestRun run(device_, features_, kModeMaintenance);
    const auto backups = attach(run);
    const auto before = device_.snapshot({run.workFolder()});
    for (const auto& [from, to] : std::vector<std::pair<std::string_view, std::string_view>>{
             {"zz/evil.txt", "../evil.txt"},
             {"zzzzzevil.txt", "/tmp/evil.txt"},
             {"zzzzzevil.txt", "..\\..\\evil.tx"},
             {"zzzzzevil.txt", "c:/x/evil.txt"},
             {"zz/evil.txt", "zz/../../.."}}) {
        SCOPED_TRACE(std::string(to));
        Bytes hostile = sound;
        test::patchHeader(hostile, test::utf16(from), test::utf16(to));
        test::writeFileBytes(device().hostPath("Backups/hostile.7z"), hostile);
        EXPECT_FALSE(restore(run, backups, u"\\Backups\\hostile.7z"));
        fs::remove(device().hostPath("Backups/hostile.7z"));
        EXPECT_EQ(device_.snapshot({run.workFolder()}), before);
    }
}

// Every write of a restore failing in turn, and every write coming up short:
// each file of the data folder is then either as it was or as the backup
// holds it, and no temporary file is left; the restore that goes through
// gives the backup's files. A second restore finds nothing to write.
TEST_F(FullRestore, ARestoreThatFailsHalfWayLeavesEachFileAsItWasOrAsBackedUp)
{
    ASSERT_EQ(backUpOnce(), kBackupDone);
    const std::map<std::string, std::string> backedUp = tree();
    std::map<std::string, std::string> before;
    for (const auto& [name, content] : data_)
        before[name] = content + "changed since";
    before.erase("Jobs/Site 1/lines.job");
    const auto resetData = [&] {
        fs::remove_all(device().hostPath(kData));
        writeData(before);
    };

    for (const bool shortWrites : {false, true}) {
        for (int write = 1;; ++write) {
            SCOPED_TRACE((shortWrites ? "short write " : "failed write ") + std::to_string(write));
            ASSERT_LT(write, 200);
            resetData();
            TestRun run(device_, features_, kModeMaintenance);
            const auto backups = attach(run);
            HalFaultPlan plan;
            (shortWrites ? plan.shortWriteNumber : plan.failWriteNumber) = run.host().writeCount() + write;
            run.host().setPlan(plan);
            const bool restored = restore(run, backups);
            run.host().setPlan({});
            const std::map<std::string, std::string> now = tree();
            for (const auto& [name, content] : before)
                EXPECT_TRUE(now.contains(name)) << name << " is gone";
            for (const auto& [name, content] : now) {
                EXPECT_FALSE(name.ends_with("~")) << name;
                if (content == "<folder>")
                    continue;
                const auto old = before.find(name);
                const auto backup = backedUp.find(name);
                EXPECT_TRUE((old != before.end() && old->second == content) ||
                            (backup != backedUp.end() && backup->second == content))
                    << name;
            }
            if (!restored)
                continue;
            EXPECT_EQ(now, backedUp);
            const int writes = run.host().writeCount();
            EXPECT_TRUE(restore(run, backups));
            EXPECT_EQ(run.host().writeCount(), writes);
            break;
        }
    }
}

}  // namespace
}  // namespace druvex
