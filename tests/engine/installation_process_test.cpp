// The installation process end to end on a test device: a product of three
// features installed from its archive through the installation page's silent
// run, then uninstalled; every host write of a small product failing in
// turn; an upgrade failing in turn, rolled back or not; a cancel; the
// product files written under temporary names, the installed log last.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <thread>
#include <utility>

#include "controller/installation_page_sink.h"
#include "core/path_text.h"
#include "controller/custom_action_hooks.h"
#include "core/xml_reader.h"
#include "data/previous_settings.h"
#include "engine/journaling_hal.h"
#include "engine/rollback_journal.h"
#include "feature_writer_fixture.h"
#include "installation_fixture.h"
#include "support/diag_capture.h"
#include "support/loopback_http_server.h"
#include "support/recording_process_listener.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::Bytes;
using test::InstallDevice;
using test::TestFeature;
using test::TestRun;
namespace fs = std::filesystem;

const char kRegistry[] =
    "<Registry><HKEY_LOCAL_MACHINE><Key Name=\"Software\" Flag=\"SystemReadOnly\">"
    "<Key Name=\"Druvex Survey\" Flag=\"Automatic\">"
    "<Value Name=\"Path\" Format=\"String\" Data=\"&lt;TARGETDIR&gt;\\bin\"/>"
    "<Value Name=\"Build\" Format=\"Dword\" Data=\"0x2A\"/>"
    "</Key></Key></HKEY_LOCAL_MACHINE></Registry>";
const char kShortcuts[] =
    "<Shortcuts><Shortcut Name=\"Survey\" LinkPos=\"MenuPrograms\" LinkedTo=\"&lt;TARGETDIR&gt;\\bin\\survey.exe\"/>"
    "</Shortcuts>";

Bytes randomBytes(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random() % 5 == 0 ? random() : 'a' + random() % 3);
    return bytes;
}

// Three features: the program with its registry key and shortcut, the help
// and the data; `files` per feature, of mixed sizes (every seventh of about
// `large` bytes), in nested folders.
std::vector<TestFeature> threeFeatures(int files, unsigned seed = 1, std::u16string version = u"1.0",
                                       std::size_t large = 70000)
{
    std::vector<TestFeature> features(3);
    features[0].name = u"Core";
    features[1].name = u"Help";
    features[2].name = u"Data";
    features[0].registry = kRegistry;
    features[0].shortcuts = kShortcuts;
    features[0].files["bin/survey.exe"] = randomBytes(9000, seed);
    for (TestFeature& feature : features) {
        feature.version = version;
        const std::string base = test::narrow(feature.name);
        for (int i = 0; i < files; ++i) {
            const std::string folder = i % 3 == 0 ? base : base + "/sub" + std::to_string(i % 2) + "/deep";
            const std::size_t size = i % 7 == 0 ? large + static_cast<std::size_t>(i) * 13 : 200 + i * 37;
            feature.files[folder + "/file" + std::to_string(i) + ".dat"] = randomBytes(size, seed * 1000 + i);
        }
    }
    return features;
}

class InstallationProcessThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        features_ = threeFeatures(12);
        test::writeSources(sources_.path(), features_);
        archive_ = test::buildProductArchive(sources_.path(), features_);
    }

    std::string destination() const { return "Program Files/Survey"; }
    std::string dataFolder() const { return std::string("Windows/_QuendaSuperInstaller/") + "druvex-survey-test"; }
    // The installed log the runs left on the device.
    std::unique_ptr<InstalledLog> installedLog(InstallDevice& device)
    {
        const std::string text = device.device().readFile(dataFolder() + "/InstalledLog.xml");
        auto log = std::make_unique<InstalledLog>();
        EXPECT_TRUE(log->loadFromBuffer(text.data(), text.size()));
        return log;
    }

    // diff -r of a feature's sources against the destination folder.
    std::string diffFeature(InstallDevice& device, const TestFeature& feature)
    {
        const fs::path source = sources_.path() / test::narrow(feature.name);
        const test::ToolResult diff = test::runTool("diff -r '" + source.string() + "' '" +
                                                    device.device().hostPath(destination()).string() + "' | grep -v '^Only in " +
                                                    device.device().hostPath(destination()).string() + "'");
        return std::string(diff.output.begin(), diff.output.end());
    }

    test::ScratchDir sources_;
    std::vector<TestFeature> features_;
    Bytes archive_;
};

TEST_F(InstallationProcessThreads, ThreeFeaturesInstallWithTheirRecordsAndTheProductFiles)
{
    InstallDevice device(archive_);
    TestRun run(device, features_, kModeInstall);
    ASSERT_TRUE(run.runSilently());
    EXPECT_EQ(run.controller().getResult(), kResultCompleted);

    for (const TestFeature& feature : features_)
        EXPECT_EQ(diffFeature(device, feature), "") << test::narrow(feature.name);
    // Nothing else in the destination than the features' files and "_config.xml".
    std::set<std::string> expected{"_config.xml"};
    for (const TestFeature& feature : features_) {
        for (const auto& [relative, bytes] : feature.files)
            expected.insert(relative);
    }
    std::set<std::string> installed;
    for (const auto& entry : fs::recursive_directory_iterator(device.device().hostPath(destination()))) {
        if (entry.is_regular_file())
            installed.insert(fs::relative(entry.path(), device.device().hostPath(destination())).generic_string());
    }
    EXPECT_EQ(installed, expected);

    SharedString path;
    EXPECT_TRUE(device.host()->readRegistryStringValue(kRegistryLocalMachine, SharedString(u"Software\\Druvex Survey"),
                                                       0, SharedString(u"Path"), path));
    EXPECT_EQ(path, u"\\Program Files\\Survey\\bin");
    std::uint32_t build = 0;
    EXPECT_TRUE(device.host()->readRegistryDwordValue(kRegistryLocalMachine, SharedString(u"Software\\Druvex Survey"),
                                                      0, SharedString(u"Build"), build));
    EXPECT_EQ(build, 42u);
    EXPECT_TRUE(device.device().exists("Windows/Start Menu/Programs/Survey.lnk"));

    EXPECT_TRUE(device.device().exists(destination() + "/_config.xml"));
    EXPECT_TRUE(device.device().exists(dataFolder() + "/data.xml"));
    const std::unique_ptr<InstalledLog> log = installedLog(device);
    ASSERT_EQ(log->getFeatureCount(), 3);
    EXPECT_EQ(log->getFeature(0)->getName(), u"Feature/Core");
    EXPECT_EQ(log->getFeature(0)->contentCount(), static_cast<int>(features_[0].files.size()));
    EXPECT_EQ(log->getFeature(0)->shortcutCount(), 1);
    EXPECT_EQ(log->getDestinationFolder(), test::kTestDestination);
    for (const char* leftover : {"/InstalledLog.xml.tmp", "/InstalledLog.xml.bak", "/data.xml.tmp", "/Rollback"})
        EXPECT_FALSE(device.device().exists(dataFolder() + leftover)) << leftover;
    // The silent run names the files it writes as it goes, a new name on a
    // line of its own.
    std::istringstream lines(run.output());
    std::string line;
    std::string previous;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(line.starts_with("\\Program Files\\Survey/")) << line;
        EXPECT_NE(line, previous);
        previous = line;
        ++count;
    }
    EXPECT_GT(count, 3);
}

// Every host write of a small product fails in turn, with the log-only
// answers of a silent run: the run ends installed, or rolled back with the
// device as it was (the work folder aside) and the result 4.
TEST_F(InstallationProcessThreads, AFailedWriteEndsInstalledOrRolledBack)
{
    const std::vector<TestFeature> small = threeFeatures(2, 7, u"1.0", 6000);
    test::ScratchDir sources;
    test::writeSources(sources.path(), small);
    const Bytes archive = test::buildProductArchive(sources.path(), small);

    int writes = 0;
    {
        InstallDevice device(archive);
        TestRun run(device, small, kModeInstall);
        ASSERT_TRUE(run.runSilently());
        writes = run.host().writeCount();
    }
    ASSERT_GT(writes, 10);
    int rolledBack = 0;
    for (int failing = 1; failing <= writes; ++failing) {
        SCOPED_TRACE("failing write " + std::to_string(failing));
        InstallDevice device(archive);
        test::HalFaultPlan plan;
        plan.failWriteNumber = failing;
        TestRun run(device, small, kModeInstall, plan);
        const auto before = device.snapshot({run.workFolder()});
        if (run.runSilently()) {
            EXPECT_EQ(run.controller().getResult(), kResultCompleted);
            EXPECT_TRUE(device.device().exists(dataFolder() + "/InstalledLog.xml"));
            continue;
        }
        ++rolledBack;
        EXPECT_EQ(run.controller().getResult(), kResultRolledBack);
        EXPECT_EQ(device.snapshot({run.workFolder()}), before);
    }
    // Every write of this product matters.
    EXPECT_EQ(rolledBack, writes);
}

// An upgrade of an installed version fails at each of its writes in turn.
// Rolled back, the earlier files and "InstalledLog.xml" are byte for byte as
// they were; with the rollback declined the run ends failed and nothing
// comes back.
class InstallationProcessRollbackThreads : public InstallationProcessThreads {
protected:
    void SetUp() override
    {
        oldVersion_ = threeFeatures(2, 7, u"1.0", 6000);
        newVersion_ = threeFeatures(2, 8, u"2.0", 6000);
        newVersion_[1].files["Help/added.txt"] = randomBytes(300, 99);
        newVersion_[2].files.erase(newVersion_[2].files.begin());
        test::writeSources(oldSources_.path(), oldVersion_);
        test::writeSources(newSources_.path(), newVersion_);
        oldArchive_ = test::buildProductArchive(oldSources_.path(), oldVersion_);
        newArchive_ = test::buildProductArchive(newSources_.path(), newVersion_);
    }

    // A device with the old version installed and the new archive in place.
    void installOldVersion(InstallDevice& device)
    {
        device.placeArchive(oldArchive_);
        {
            TestRun run(device, oldVersion_, kModeInstall);
            ASSERT_TRUE(run.runSilently());
        }
        device.placeArchive(newArchive_);
    }

    std::vector<TestFeature> oldVersion_;
    std::vector<TestFeature> newVersion_;
    test::ScratchDir oldSources_;
    test::ScratchDir newSources_;
    Bytes oldArchive_;
    Bytes newArchive_;
};

TEST_F(InstallationProcessRollbackThreads, AFailedUpgradeRolledBackLeavesTheEarlierVersion)
{
    int writes = 0;
    {
        InstallDevice device;
        installOldVersion(device);
        TestRun run(device, newVersion_, kModeUpdate);
        ASSERT_TRUE(run.runSilently());
        writes = run.host().writeCount();
        const std::string log = device.device().readFile(dataFolder() + "/InstalledLog.xml");
        EXPECT_NE(log.find("Help/added.txt"), std::string::npos);
    }
    ASSERT_GT(writes, 10);
    for (int failing = 1; failing <= writes; ++failing) {
        SCOPED_TRACE("failing write " + std::to_string(failing));
        InstallDevice device;
        installOldVersion(device);
        const std::string oldLog = device.device().readFile(dataFolder() + "/InstalledLog.xml");
        test::HalFaultPlan plan;
        plan.failWriteNumber = failing;
        TestRun run(device, newVersion_, kModeUpdate, plan);
        const auto before = device.snapshot({run.workFolder()});
        ASSERT_FALSE(run.runSilently());
        EXPECT_EQ(run.controller().getResult(), kResultRolledBack);
        EXPECT_EQ(device.device().readFile(dataFolder() + "/InstalledLog.xml"), oldLog);
        EXPECT_EQ(device.snapshot({run.workFolder()}), before);
    }
}

TEST_F(InstallationProcessRollbackThreads, ADeclinedRollbackEndsFailedWithNothingRestored)
{
    InstallDevice device;
    installOldVersion(device);
    const std::string oldProgram = device.device().readFile(destination() + "/bin/survey.exe");
    const std::string oldLog = device.device().readFile(dataFolder() + "/InstalledLog.xml");
    test::HalFaultPlan plan;
    plan.failOpenContaining = u"added.txt";
    TestRun run(device, newVersion_, kModeUpdate, plan);
    // Answers no to every question, the rollback's included.
    run.setUiCallback(std::make_shared<test::LockedFilesPrompt>());
    ASSERT_FALSE(run.runSilently());
    EXPECT_EQ(run.controller().getResult(), kResultFailed);
    // The program was replaced before the help failed, and stays replaced.
    const std::string program = device.device().readFile(destination() + "/bin/survey.exe");
    EXPECT_NE(program, oldProgram);
    EXPECT_EQ(program, std::string(newVersion_[0].files.at("bin/survey.exe").begin(),
                                   newVersion_[0].files.at("bin/survey.exe").end()));
    EXPECT_FALSE(device.device().exists(dataFolder() + "/Rollback"));
    // The installed log tells what stands: the program, no longer the help.
    EXPECT_NE(device.device().readFile(dataFolder() + "/InstalledLog.xml"), oldLog);
    const std::unique_ptr<InstalledLog> installed = installedLog(device);
    ASSERT_EQ(installed->getFeatureCount(), 1);
    EXPECT_EQ(installed->getFeature(0)->getName(), u"Feature/Core");
}

TEST_F(InstallationProcessThreads, ACanceledRunRollsBack)
{
    InstallDevice device(archive_);
    TestRun run(device, features_, kModeInstall);
    const auto before = device.snapshot({run.workFolder()});
    test::ProgressSink sink(&run.logic());
    run.logic().setSink(&sink);
    run.logic().startProcess();
    EXPECT_FALSE(sink.awaitEnd());
    run.logic().clearSink();
    // A run starts once: a second start installs nothing.
    run.logic().startProcess();
    run.logic().setSink(nullptr);
    EXPECT_EQ(run.controller().getResult(), kResultRolledBack);
    EXPECT_EQ(device.snapshot({run.workFolder()}), before);
}

// The page goes while the run writes (the wizard closed): nobody is left to
// answer, so the run is canceled and undone before the page is gone.
TEST_F(InstallationProcessThreads, ARunWhosePageGoesIsCanceledAndRolledBack)
{
    InstallDevice device(archive_);
    TestRun run(device, features_, kModeInstall);
    const auto before = device.snapshot({run.workFolder()});
    {
        test::ProgressSink sink;
        PageInstallationLogic logic(run.controller());
        logic.setSink(&sink);
        logic.startProcess();
        sink.awaitFirst();
        logic.clearSink();
    }
    EXPECT_EQ(run.controller().getResult(), kResultRolledBack);
    EXPECT_EQ(device.snapshot({run.workFolder()}), before);
}

// An uninstallation takes away all the installation brought, also when it
// is made as the start-up makes it: the installation page first, then the
// page list of the mode.
TEST_F(InstallationProcessThreads, UninstallationTakesEverythingAway)
{
    for (const bool pageFirst : {false, true}) {
        SCOPED_TRACE(pageFirst ? "page made before the mode" : "mode first");
        InstallDevice device(archive_);
        std::map<std::string, std::string> before;
        {
            TestRun run(device, features_, kModeInstall);
            before = device.snapshot({run.workFolder()});
            ASSERT_TRUE(run.runSilently());
        }
        TestRun uninstall(device, features_, pageFirst ? kModeNone : kModeUninstall);
        if (pageFirst) {
            uninstall.logic();
            uninstall.controller().getPageSequence().buildForMode(kModeUninstall);
        }
        ASSERT_TRUE(uninstall.runSilently());
        EXPECT_EQ(uninstall.controller().getResult(), kResultCompleted);
        auto after = device.snapshot({uninstall.workFolder()});
        // The folder every product keeps its data in stays.
        EXPECT_EQ(after.erase("Windows/_QuendaSuperInstaller"), 1u);
        EXPECT_EQ(after, before);
    }
}

// Records the files created for writing and the moves, in order.
class OrderRecordingHost final : public HalAccessWinCE {
public:
    FileHandle createFileForWrite(const SharedString& path) override
    {
        record("create " + test::narrow(getFileName(path).view()));
        return HalAccessWinCE::createFileForWrite(path);
    }
    bool moveFile(const SharedString& source, const SharedString& target) override
    {
        record("move " + test::narrow(getFileName(source).view()) + " " + test::narrow(getFileName(target).view()));
        return HalAccessWinCE::moveFile(source, target);
    }
    std::vector<std::string> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }

private:
    void record(std::string call)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

TEST_F(InstallationProcessThreads, ProductFilesAreRenamedIntoPlaceTheInstalledLogLast)
{
    InstallDevice device;
    auto host = std::make_shared<OrderRecordingHost>();
    device.replaceHost(host);
    device.placeArchive(archive_);
    // An installed log of the same product that does not parse.
    device.device().writeFile(dataFolder() + "/InstalledLog.xml", "<InstalledLog><Program");
    TestRun run(device, features_, kModeInstall);
    ASSERT_TRUE(run.runSilently());

    const std::vector<std::string> calls = host->calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "create InstalledLog.xml.tmp");
    EXPECT_EQ(calls.back(), "move InstalledLog.xml.tmp InstalledLog.xml");
    EXPECT_NE(std::find(calls.begin(), calls.end(), "move data.xml.tmp data.xml"), calls.end());
    EXPECT_EQ(std::find(calls.begin(), calls.end(), "create data.xml"), calls.end());
    // The unreadable log was set aside, not overwritten.
    EXPECT_EQ(calls.front(), "move InstalledLog.xml InstalledLog.xml.unreadable");
    EXPECT_EQ(device.device().readFile(dataFolder() + "/InstalledLog.xml.unreadable"), "<InstalledLog><Program");
    installedLog(device);
}

// A remover that answers from its script and notes each call.
class ScriptedLauncher final : public UninstallLauncher {
public:
    ScriptedLauncher(std::string name, UninstallOutcome answer, UninstallOutcome secondAnswer,
                     bool endsOnFailedStart, std::vector<std::string>& calls)
        : name_(std::move(name)), answer_(answer), secondAnswer_(secondAnswer), ends_(endsOnFailedStart),
          calls_(calls)
    {
    }
    bool endsRemovalsOnFailedStart() const override { return ends_; }
    UninstallOutcome run(UninstallCancelCallback*) override
    {
        calls_.push_back("run " + name_);
        return answer_;
    }
    UninstallOutcome runAfterFailedStart(UninstallCancelCallback*) override
    {
        calls_.push_back("second way " + name_);
        return secondAnswer_;
    }

private:
    std::string name_;
    UninstallOutcome answer_;
    UninstallOutcome secondAnswer_;
    bool ends_;
    std::vector<std::string>& calls_;
};

// The removers of older installations run in list order; what each answer
// does to the rest.
TEST(InstallationProcess, OlderInstallationsAreRemovedInListOrder)
{
    using Lines = std::vector<std::string>;
    constexpr UninstallOutcome ended = kUninstallEnded;
    constexpr UninstallOutcome notStarted = kUninstallNotStarted;
    constexpr UninstallOutcome abandoned = kUninstallAbandoned;
    constexpr UninstallOutcome failed = kUninstallFailed;
    const struct {
        const char* name;
        // Per remover: its answer, its second way's, whether a failed start ends all.
        std::vector<std::tuple<UninstallOutcome, UninstallOutcome, bool>> launchers;
        std::deque<int> goOn;
        bool removed;
        Lines calls;
        Lines events;
    } rows[] = {
        {"both end", {{ended, ended, false}, {ended, ended, false}}, {}, true, {"run 1", "run 2"},
         {"remove old 0 2", "removed old 0 2", "remove old 1 2", "removed old 1 2"}},
        {"the first given up", {{abandoned, ended, false}, {ended, ended, false}}, {}, false, {"run 1"},
         {"remove old 0 2"}},
        // The remover ran and the program is still there: nobody is asked to
        // force it, and the next remover does not run.
        {"the first ran and failed", {{failed, ended, false}, {ended, ended, false}}, {1}, false, {"run 1"},
         {"remove old 0 2"}},
        {"a failed start that ends all", {{notStarted, ended, true}, {ended, ended, false}}, {}, false, {"run 1"},
         {"remove old 0 2"}},
        {"a failed start, go on, the second way ends", {{notStarted, ended, false}, {ended, ended, false}}, {1}, true,
         {"run 1", "second way 1", "run 2"},
         {"remove old 0 2", "uninstall error 0 2", "removed old 0 2", "remove old 1 2", "removed old 1 2"}},
        {"a failed start, do not go on", {{notStarted, ended, false}}, {0}, false, {"run 1"},
         {"remove old 0 1", "uninstall error 0 1"}},
        {"a failed start, the second way fails too", {{notStarted, notStarted, false}}, {1}, false,
         {"run 1", "second way 1"}, {"remove old 0 1", "uninstall error 0 1"}},
    };
    InstallDevice device;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        InstallerOptions options;
        InstallerController controller(options, device.host(), device.host());
        Lines calls;
        int number = 0;
        for (const auto& [answer, second, ends] : row.launchers) {
            controller.getUninstallLaunchers().push_back(
                std::make_shared<ScriptedLauncher>(std::to_string(++number), answer, second, ends, calls));
        }
        test::RecordingProcessListener listener;
        listener.wordAnswers = row.goOn;
        InstallationProcess process(controller, controller.getPayloadArchive(), &listener);
        EXPECT_EQ(process.removeOldInstallations(), row.removed);
        EXPECT_EQ(calls, row.calls);
        EXPECT_EQ(listener.events(), row.events);
    }
}

// Answers the questions about a failed feature from its script, every
// other question no.
class FeatureErrorPrompt final : public test::ZeroAnswerUiCallback {
public:
    int ask(const std::string& question) override
    {
        if (question == "rollback")
            return 1;
        if (!question.starts_with("resume ") && !question.starts_with("skip install "))
            return 0;
        asked.push_back(question);
        return question.starts_with("resume ") ? resume : skip;
    }
    void showMessage(const SharedString& text, MessageSeverity severity, int) override
    {
        asked.push_back("message " + std::to_string(static_cast<int>(severity)) + " " + test::narrow(text.view()));
    }

    int skip = 0;
    int resume = 0;
    std::vector<std::string> asked;
};

// A package whose fifth write fails once: skipped, the feature is left out
// and marked in the installed log while the others install, and the run
// names it as left out; retried, it goes on from what verifies and
// everything is in place. Both questions say why the feature failed.
TEST_F(InstallationProcessThreads, AFailedFeatureIsSkippedOrRetried)
{
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip ? "skipped" : "retried");
        InstallDevice device(archive_);
        test::HalFaultPlan plan;
        plan.failWriteNumber = 5;
        TestRun run(device, features_, kModeInstall, plan);
        auto prompt = std::make_shared<FeatureErrorPrompt>();
        prompt->skip = skip ? 1 : 0;
        prompt->resume = 1;
        run.setUiCallback(prompt);
        ASSERT_TRUE(run.runSilently());
        EXPECT_EQ(run.controller().getResult(), kResultCompleted);
        ASSERT_FALSE(prompt->asked.empty());
        EXPECT_TRUE(prompt->asked[0].starts_with("skip install Core: ")) << prompt->asked[0];
        EXPECT_EQ(prompt->asked.size(), skip ? 1u : 2u);
        EXPECT_EQ(run.controller().getSkipFeatureChoice(), skip);
        EXPECT_EQ(run.controller().getSkippedFeatures(),
                  skip ? std::vector<SharedString>{SharedString(u"Core")} : std::vector<SharedString>{});

        const std::unique_ptr<InstalledLog> log = installedLog(device);
        ASSERT_EQ(log->getFeatureCount(), 3);
        EXPECT_EQ(diffFeature(device, features_[1]), "");
        EXPECT_EQ(diffFeature(device, features_[2]), "");
        if (skip) {
            EXPECT_TRUE(log->findFeature(u"Feature/Core")->getFailed());
            EXPECT_EQ(log->findFeature(u"Feature/Core")->contentCount(), 0);
            EXPECT_FALSE(device.device().exists(destination() + "/bin/survey.exe"));
            EXPECT_FALSE(device.device().exists("Windows/Start Menu/Programs/Survey.lnk"));
        } else {
            EXPECT_FALSE(log->findFeature(u"Feature/Core")->getFailed());
            EXPECT_EQ(diffFeature(device, features_[0]), "");
        }
    }
}

// A feature the program requires is never left out, whoever would answer
// yes: the question is whether to try again, and no ends the run, rolled
// back, with the feature and why it failed as the run's reason.
TEST_F(InstallationProcessThreads, ARequiredFeatureThatFailsIsNeverSkipped)
{
    InstallDevice device(archive_);
    test::HalFaultPlan plan;
    plan.failWriteNumber = 5;
    TestRun run(device, features_, kModeInstall, plan);
    run.features()[0]->setPresel(FeaturePreselection::Required);
    auto prompt = std::make_shared<FeatureErrorPrompt>();
    prompt->skip = 1;
    prompt->resume = 0;
    run.setUiCallback(prompt);
    EXPECT_FALSE(run.runSilently());
    ASSERT_EQ(prompt->asked.size(), 1u);
    EXPECT_TRUE(prompt->asked[0].starts_with("resume Core: ")) << prompt->asked[0];
    EXPECT_EQ(run.controller().getResult(), kResultRolledBack);
    EXPECT_TRUE(run.controller().getSkippedFeatures().empty());
    EXPECT_FALSE(device.device().exists(destination() + "/bin/survey.exe"));
    const std::string reason = test::narrow(run.controller().getFailureReason().view());
    EXPECT_TRUE(reason.starts_with("The feature Feature/Core could not be installed: ")) << reason;
}

// Needs one redistributable, which installs or fails as told.
class OneRedistributable final : public RedistributablesManager {
public:
    explicit OneRedistributable(bool installs) : installs_(installs) {}
    void loadDefinitions() override {}
    void registerDownloads() override {}
    void runChecks() override {}
    void evaluateRequired() override {}
    bool needsInstall() const override { return true; }
    bool installRequired(RedistributableInstallObserver* observer, SharedString& failedName) override
    {
        observer->onRedistributableStart(SharedString(u"Runtime 4"), 0, 1);
        observer->onRedistributableInstallerRun(SharedString(u"Runtime 4"));
        if (installs_)
            return true;
        failedName = u"Runtime 4";
        return false;
    }

private:
    bool installs_;
};

TEST_F(InstallationProcessThreads, AFailedRedistributableEndsTheRunBeforeAnyFile)
{
    for (const bool installs : {true, false}) {
        SCOPED_TRACE(installs ? "installed" : "failed");
        InstallDevice device(archive_);
        TestRun run(device, features_, kModeInstall);
        run.controller().setRedistributables(std::make_shared<OneRedistributable>(installs));
        run.controller().setRedistLastError(-5);
        auto prompt = std::make_shared<FeatureErrorPrompt>();
        run.setUiCallback(prompt);
        const auto before = device.snapshot({run.workFolder()});
        EXPECT_EQ(run.runSilently(), installs);
        EXPECT_EQ(run.output().starts_with("Runtime 4\n"), true) << run.output();
        if (installs) {
            EXPECT_TRUE(prompt->asked.empty());
            continue;
        }
        EXPECT_EQ(run.controller().getResult(), kResultFailed);
        ASSERT_EQ(prompt->asked.size(), 1u);
        EXPECT_NE(prompt->asked[0].find("Runtime 4"), std::string::npos) << prompt->asked[0];
        EXPECT_NE(prompt->asked[0].find("-5"), std::string::npos) << prompt->asked[0];
        EXPECT_EQ(device.snapshot({run.workFolder()}), before);
    }
}

// Notes the hooks the run reaches; one of them may fail, one may ask for a reboot.
class RecordingHooks final : public CustomActionHooks {
public:
    RecordingHooks(InstallerController& controller, std::string failing, std::string rebooting)
        : controller_(controller), failing_(std::move(failing)), rebooting_(std::move(rebooting))
    {
    }
    bool runHook(const SharedString& hook) override
    {
        const std::string name = test::narrow(hook.view());
        hooks.push_back(name);
        if (name == rebooting_)
            controller_.setRebootRequired(true);
        return name != failing_;
    }
    std::vector<std::string> hooks;

private:
    InstallerController& controller_;
    std::string failing_;
    std::string rebooting_;
};

TEST_F(InstallationProcessThreads, HooksRunInOrderAndAFailedOneEndsTheRun)
{
    const std::vector<std::string> order{"INSTALL-BEGIN",    "INSTALL-REDIST", "INSTALL-COPYFILES",
                                         "INSTALL-REGISTRY", "INSTALL-SCRIPT", "INSTALL-IIS",
                                         "INSTALL-EXIT"};
    {
        InstallDevice device(archive_);
        TestRun run(device, features_, kModeInstall);
        auto hooks = std::make_shared<RecordingHooks>(run.controller(), "", "INSTALL-EXIT");
        run.controller().setCustomActionHooks(hooks);
        ASSERT_TRUE(run.runSilently());
        EXPECT_EQ(hooks->hooks, order);
        // A reboot is due: the wizard's state waits for the installer after it.
        PreviousSettings saved(*device.host());
        bool corrupt = false;
        ASSERT_TRUE(saved.loadFromFile(run.controller().getPreviousSettingsPath(), corrupt));
        EXPECT_EQ(saved.getWizardMode(), kModeInstall);
        EXPECT_EQ(saved.getTargetDir(), test::kTestDestination);
        EXPECT_EQ(saved.getFeaturesToInstall().size(), 3u);
    }
    {
        InstallDevice device(archive_);
        TestRun run(device, features_, kModeInstall);
        auto hooks = std::make_shared<RecordingHooks>(run.controller(), "INSTALL-REGISTRY", "");
        run.controller().setCustomActionHooks(hooks);
        const auto before = device.snapshot({run.workFolder()});
        EXPECT_FALSE(run.runSilently());
        EXPECT_EQ(hooks->hooks, std::vector<std::string>(order.begin(), order.begin() + 4));
        EXPECT_EQ(run.controller().getResult(), kResultRolledBack);
        EXPECT_EQ(device.snapshot({run.workFolder()}), before);
        EXPECT_FALSE(device.device().exists(dataFolder() + "/PreviousSettings.xml"));
    }
}

// What a redistributable's own installer changed is beyond the journal: the
// rollback undoes the rest and says what stays, never that all is as before.
TEST_F(InstallationProcessThreads, ARollbackSaysWhatTheRedistributablesInstallersLeft)
{
    InstallDevice device(archive_);
    TestRun run(device, features_, kModeInstall);
    run.controller().setRedistributables(std::make_shared<OneRedistributable>(true));
    run.controller().setCustomActionHooks(std::make_shared<RecordingHooks>(run.controller(), "INSTALL-REGISTRY", ""));
    const auto before = device.snapshot({run.workFolder()});
    test::DiagCapture log;
    EXPECT_FALSE(run.runSilently());
    EXPECT_EQ(run.controller().getResult(), kResultRollbackIncomplete);
    EXPECT_EQ(device.snapshot({run.workFolder()}), before);
    std::string lines;
    for (const auto& line : log.lines())
        lines += test::narrow(line) + "\n";
    EXPECT_NE(lines.find("Rollback done, except for what the installers of the redistributables Runtime 4 changed: "
                         "no rollback undoes that"),
              std::string::npos)
        << lines;
    EXPECT_EQ(lines.find("as it was before"), std::string::npos) << lines;
}

// The help's package is not in the archive but on an update server: it is
// downloaded while the others unpack, and unpacked when it arrives.
TEST_F(InstallationProcessThreads, AnOnlineFeatureIsDownloadedAndUnpacked)
{
    std::vector<test::EntrySource> entries;
    test::buildProductArchive(sources_.path(), features_, &entries);
    const Bytes& package = entries[1].packed;
    test::LoopbackHttpServer server;
    server.setReply("/packages/help.lzma", test::HttpReply::ok(std::string(package.begin(), package.end())));

    InstallDevice device(archive_);
    TestRun run(device, features_, kModeInstall);
    const FeaturePtr& help = run.features()[1];
    run.controller().getPackageSources().eraseKey(*help);
    run.controller().getPackageSources().addIfAbsent(*help, kSourceDownload, fromUtf8(server.url("/packages/help.lzma")),
                                                     static_cast<std::uint32_t>(package.size()), 0);
    test::DiagCapture log;
    const bool ok = run.runSilently();
    std::string lines;
    for (const auto& line : log.lines())
        lines += test::narrow(line) + "\n";
    ASSERT_TRUE(ok) << lines;
    EXPECT_EQ(run.controller().getResult(), kResultCompleted);
    for (const TestFeature& feature : features_)
        EXPECT_EQ(diffFeature(device, feature), "") << test::narrow(feature.name);
    EXPECT_GE(server.requestCount(), 2u);
    // The downloaded package does not stay behind.
    const fs::path packages = device.device().hostPath(dataFolder() + "/Packages");
    EXPECT_TRUE(!fs::exists(packages) || fs::is_empty(packages));
}

}  // namespace
}  // namespace druvex
