// The prerequisites logic without the network: the device check against
// device profiles, build configurations, settings and requirement scripts;
// the payload check with its progress, damage, pause, resume and stop; the
// end of the page, the silent run and earlier installations.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "controller/engine_doubles.h"
#include "controller/fake_earlier_installations.h"
#include "controller/prerequisites_fixture.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "data/scriptable.h"
#include "payload/payload_archive.h"

namespace druvex {
namespace {

using test::Bytes;
using test::EntrySource;

std::vector<EntrySource> payloadEntries()
{
    return {test::codedEntry(u"Data", kPayloadMethodLzma, test::sampleData(3000, 1)),
            test::codedEntry(u"Features/Maps", kPayloadMethodLzma, test::sampleData(40000, 2)),
            test::codedEntry(u"Features/Roads", kPayloadMethodStored, test::sampleData(5000, 3)),
            test::codedEntry(u"TranslationMap", kPayloadMethodStored, test::sampleData(100, 4))};
}

class PrerequisitesOffline : public test::PrerequisitesFixture {
protected:
    // The progress reports a whole check of the archive gives, in order.
    std::vector<std::string> expectedProgress()
    {
        const PayloadArchive& archive = controller().getPayloadArchive();
        std::uint64_t total = 0;
        for (std::uint32_t i = 0; i < archive.entryCount(); ++i)
            total += archive.entryAt(static_cast<std::int32_t>(i)).packedSize;
        std::vector<std::string> progress;
        std::uint64_t done = 0;
        for (std::uint32_t i = 0; i < archive.entryCount(); ++i) {
            done += archive.entryAt(static_cast<std::int32_t>(i)).packedSize;
            progress.push_back("progress " + std::to_string(done * 100 / total));
        }
        return progress;
    }

    // The logic over the sound archive; the check pauses itself, from its own
    // thread, after the first entry while `pauseNext_` is set.
    PagePrerequisitesLogic& makePausingLogic()
    {
        makePrerequisitesProduct();
        openArchive(test::buildArchive(payloadEntries()));
        PagePrerequisitesLogic& logic = makeLogic();
        pauseNext_ = true;
        sink_.onProgress = [this, &logic](std::uint64_t) {
            if (std::exchange(pauseNext_, false))
                logic.pauseChecks();
        };
        return logic;
    }

    bool pauseNext_ = false;
};

using PrerequisitesOfflineThreads = PrerequisitesOffline;

TEST_F(PrerequisitesOffline, TheDeviceCheckAnswersEachCase)
{
    constexpr std::int32_t kQm40 = 1 << kPlatformQm40;
    constexpr std::int32_t kWin32 = 1 << kPlatformWin32;
    constexpr std::int32_t kWin64 = 1 << kPlatformWin64;
    struct Row {
        const char* what;
        const char* deviceIni;
        std::int32_t mask;
        std::int32_t installerPlatform;
        std::optional<ConnectionState> connection;
        const char16_t* allow32On64;
        const char16_t* minOs;
        // The requirement of the platform's entry: no requirement when null,
        // one without a check script when empty.
        const char* script;
        bool useHalWin;
        int expected;
        std::u16string text;
        TargetPlatform platform;
    };
    const Row rows[] = {
        {"a served controller", "ForceDeviceType=16", kQm40, kInstallerPlatformController, {}, nullptr, nullptr,
         nullptr, false, 1, u"", kPlatformQm40},
        {"a requirement refuses", "ForceDeviceType=16", kQm40, kInstallerPlatformController, {}, nullptr, nullptr,
         "function check(p) return 0, 'needs ' .. p end", false, 2, u"needs 2048", kPlatformQm40},
        {"a requirement without script", "ForceDeviceType=16", kQm40, kInstallerPlatformController, {}, nullptr,
         nullptr, "", false, 2, u"", kPlatformQm40},
        {"a requirement met with 1.0", "ForceDeviceType=16", kQm40, kInstallerPlatformController, {}, nullptr,
         nullptr, "function check(p) return '1.0', 'unused' end", false, 1, u"", kPlatformQm40},
        {"access denied", "ForceDeviceType=16", kQm40, kInstallerPlatformController,
         ConnectionState::ACCESS_DENIED, nullptr, nullptr, nullptr, false, 3, u"", kPlatformUnknown},
        {"a controller not served", "ForceDeviceType=3", kQm40, kInstallerPlatformController, {}, nullptr, nullptr,
         nullptr, false, 5, u"", kPlatformWm6},
        {"no device connected", "ForceDeviceType=16", kQm40, kInstallerPlatformPC, ConnectionState::DEVICE_NOT_FOUND,
         nullptr, nullptr, nullptr, false, 6, u"", kPlatformUnknown},
        {"no device here", "ForceDeviceType=16", kQm40, kInstallerPlatformController,
         ConnectionState::DEVICE_NOT_FOUND, nullptr, nullptr, nullptr, false, 7, u"", kPlatformUnknown},
        {"64-bit system, 32-bit build", "ForceDeviceType=22", kWin32, kInstallerPlatformPC, {}, u"No", nullptr,
         nullptr, false, 8, u"", kPlatformWin64},
        {"64-bit system allowed the 32-bit build", "ForceDeviceType=22", kWin32, kInstallerPlatformPC, {}, u"Yes",
         nullptr, nullptr, false, 1, u"", kPlatformWin32},
        {"32-bit system, 64-bit build", "ForceDeviceType=21", kWin64, kInstallerPlatformPC, {}, nullptr, nullptr,
         nullptr, false, 9, u"", kPlatformWin32},
        {"a desktop not served", "ForceDeviceType=21", kQm40, kInstallerPlatformPC, {}, nullptr, nullptr, nullptr,
         false, 10, u"", kPlatformWin32},
        {"a system too old", "ForceDeviceType=21\nOsVersion=6.0", kWin32, kInstallerPlatformPC, {}, nullptr,
         u"Windows 7", nullptr, false, 10, u"Windows 7", kPlatformWin32},
        {"a system new enough", "ForceDeviceType=21\nOsVersion=6.1", kWin32, kInstallerPlatformPC, {}, nullptr,
         u"Windows 7", nullptr, false, 1, u"", kPlatformWin32},
        {"the desktop host", "ForceDeviceType=21", kQm40, kInstallerPlatformPC, {}, nullptr, nullptr, nullptr, true,
         1, u"", kPlatformUnknown},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        useDeviceProfile(row.deviceIni);
        source_->connection = row.connection;
        options_.useHalWin = row.useHalWin;
        InstallerController& controller = makePrerequisitesProduct(row.mask);
        controller.getBuildConfiguration().setInstallerPlatform(row.installerPlatform);
        if (row.allow32On64)
            setSetting(InstallerSettingKey::Allow32bitsOn64Os, row.allow32On64);
        if (row.minOs)
            setSetting(InstallerSettingKey::MinOSVersion, row.minOs);
        if (row.script) {
            controller.getInstallData().platformEntry(row.platform)->setRequirement(SharedString(u"FreeSpace"),
                                                                                    SharedString(u"2048"));
            if (*row.script) {
                auto check = std::make_shared<PrerequisiteCheck>();
                check->setScript(fromUtf8(row.script));
                controller.getPrerequisiteChecks()[SharedString(u"FreeSpace")] = check;
            }
        }

        PagePrerequisitesLogic& logic = makeLogic();
        SharedString text;
        DeviceType type = DeviceType::NONE;
        TargetPlatform platform = kPlatformCount;
        EXPECT_EQ(logic.checkDevice(text, type, platform), row.expected);
        EXPECT_EQ(text, SharedString(row.text));
        EXPECT_EQ(platform, row.platform);
        if (row.useHalWin) {
            EXPECT_EQ(type, DeviceType::EMULATED);
        }
    }
}

// Only a result that is exactly the number 1 meets a requirement: a fraction
// is no integer 1, and no text may be converted out of range.
TEST_F(PrerequisitesOffline, ARequirementIsMetOnlyByExactlyOne)
{
    const struct {
        const char* result;  // the Lua expression "check" answers first
        bool met;
    } rows[] = {
        {"1", true},       {"1.0", true},     {"'1'", true},      {"'1.0'", true},  {"'1e0'", true},
        {"1.5", false},    {"'1.9'", false},  {"0.999", false},   {"2", false},     {"0", false},
        {"-1", false},     {"'1e30'", false}, {"1e30", false},    {"'-1e30'", false}, {"'1abc'", false},
        {"'0x1'", false},  {"math.huge", false}, {"-math.huge", false}, {"0/0", false}, {"true", false},
        {"nil", false},    {"''", false},
    };
    useDeviceProfile("ForceDeviceType=16");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.result);
        InstallerController& controller = makePrerequisitesProduct();
        controller.getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        controller.getInstallData().platformEntry(kPlatformQm40)->setRequirement(SharedString(u"FreeSpace"),
                                                                                 SharedString(u"2048"));
        auto check = std::make_shared<PrerequisiteCheck>();
        check->setScript(fromUtf8("function check(p) return " + std::string(row.result) + ", 'refused' end"));
        controller.getPrerequisiteChecks()[SharedString(u"FreeSpace")] = check;

        SharedString text;
        DeviceType type = DeviceType::NONE;
        TargetPlatform platform = kPlatformCount;
        EXPECT_EQ(makeLogic().checkDevice(text, type, platform), row.met ? 1 : 2);
        EXPECT_EQ(text, SharedString(row.met ? u"" : u"refused"));
    }
}

TEST_F(PrerequisitesOffline, TheDeviceCheckSetsTheTargetPlatformAndEndsOfflineWhenRefused)
{
    useDeviceProfile("ForceDeviceType=16");

    makePrerequisitesProduct();
    makeLogic().runDeviceAndOnlineChecks();
    EXPECT_EQ(controller().getTargetPlatform(), kPlatformQm40);
    EXPECT_TRUE(logic().isPlatformAccepted());
    EXPECT_FALSE(logic().isOffline());
    // No update server configured: the online checks end at once.
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"device check", "device 1  16", "online finished"}));

    makePrerequisitesProduct(1 << kPlatformWm6);
    makeLogic().runDeviceAndOnlineChecks();
    EXPECT_FALSE(logic().isPlatformAccepted());
    EXPECT_TRUE(logic().isOffline());
    EXPECT_TRUE(logic().isOnlineFinished());
    EXPECT_EQ(controller().getTargetPlatform(), kPlatformCount);
    EXPECT_FALSE(logic().onNext());
}

TEST_F(PrerequisitesOffline, ThePayloadIsCheckedOncePerProcess)
{
    makePrerequisitesProduct();
    openArchive(test::buildArchive(payloadEntries()));
    makeLogic().startChecks();
    ASSERT_TRUE(sink_.waitFor("payload 1 3"));
    std::vector<std::string> expected = expectedProgress();
    ASSERT_EQ(expected.back(), "progress 100");
    expected.push_back("payload 1 3");
    EXPECT_EQ(sink_.events(), expected);
    EXPECT_EQ(logic().getCheckState(), kPayloadCheckPassed);

    // A later prerequisites page of the process reports the check passed at once.
    makeLogic();
    EXPECT_EQ(logic().getCheckState(), kPayloadCheckPassedEarlier);
    logic().startChecks();
    EXPECT_EQ(sink_.events().back(), "payload 1 5");
}

TEST_F(PrerequisitesOffline, AnArchiveOfEmptyEntriesIsWhollyChecked)
{
    makePrerequisitesProduct();
    openArchive(test::buildArchive({test::codedEntry(u"Data", kPayloadMethodStored, {}),
                                    test::codedEntry(u"Features/Empty", kPayloadMethodStored, {})}));
    makeLogic().startChecks();
    ASSERT_TRUE(sink_.waitFor("payload 1 3"));
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"progress 100", "progress 100", "payload 1 3"}));
}

TEST_F(PrerequisitesOffline, AFlippedByteInAFeaturePackageEndsTheCheckDamaged)
{
    makePrerequisitesProduct();
    const std::vector<EntrySource> entries = payloadEntries();
    Bytes archive = test::buildArchive(entries);
    // The entries' data lie one after the other from the start: the middle
    // of the second one, the feature package "Features/Maps".
    archive[entries[0].packed.size() + entries[1].packed.size() / 2] ^= 0x20;
    openArchive(archive);
    makeLogic().startChecks();
    ASSERT_TRUE(sink_.waitFor("payload 0 4"));
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{expectedProgress().front(), "payload 0 4"}));
    EXPECT_EQ(logic().getCheckState(), kPayloadCheckDamaged);
    EXPECT_FALSE(logic().onNext());
    // Nothing passed: the next page checks again.
    makeLogic();
    EXPECT_EQ(logic().getCheckState(), kPayloadCheckNotStarted);
}

TEST_F(PrerequisitesOffline, RunsThatNeedNoCheckReportItPassedAtOnce)
{
    const std::vector<std::function<void(InstallerOptions&)>> runs = {
        [](InstallerOptions& options) { options.configMode = kConfigModeMake; },
        [](InstallerOptions& options) { options.checkForUpdates = true; },
    };
    for (const auto& run : runs) {
        options_ = InstallerOptions();
        run(options_);
        makePrerequisitesProduct();
        makeLogic().startChecks();
        // Reported on this thread, before startChecks returned.
        EXPECT_EQ(sink_.events().back(), "payload 1 3");
        EXPECT_EQ(logic().getCheckState(), kPayloadCheckPassed);
    }
}

TEST_F(PrerequisitesOfflineThreads, APausedCheckGoesOnWithTheNextEntryWhenResumed)
{
    // Paused after its first entry: it must stop before the second.
    PagePrerequisitesLogic& logic = makePausingLogic();
    const std::vector<std::string> progress = expectedProgress();
    logic.startChecks();
    ASSERT_TRUE(sink_.waitFor(progress[0]));
    EXPECT_EQ(logic.getCheckState(), kPayloadCheckPaused);
    EXPECT_EQ(sink_.events(), std::vector<std::string>{progress[0]});

    logic.resumeChecks();
    ASSERT_TRUE(sink_.waitFor("payload 1 3"));
    std::vector<std::string> expected = progress;
    expected.push_back("payload 1 3");
    EXPECT_EQ(sink_.events(), expected);
}

TEST_F(PrerequisitesOfflineThreads, StoppingAPausedCheckEndsItWithoutAReport)
{
    PagePrerequisitesLogic& logic = makePausingLogic();
    const std::vector<std::string> progress = expectedProgress();
    // A stop that found the check paused, whether before or after it went to
    // wait, must wake it: a lost wake-up would end the program at the join's
    // limit instead.
    for (int round = 0; round < 3; ++round) {
        pauseNext_ = true;
        logic.startChecks();
        ASSERT_TRUE(sink_.waitFor(progress[0]));
        logic.stopChecks();
        EXPECT_EQ(sink_.events(), std::vector<std::string>{progress[0]});
        EXPECT_EQ(logic.getCheckState(), kPayloadCheckPaused);
        sink_.clear();
    }
    // Started again, a check runs to its end.
    pauseNext_ = false;
    logic.startChecks();
    ASSERT_TRUE(sink_.waitFor("payload 1 3"));
}

TEST_F(PrerequisitesOffline, TheUpdateServerRuleDecidesAnOfflineRun)
{
    const auto leaveOffline = [&](int answer) {
        ui_->noUpdateServerAnswer = answer;
        makeLogic().runDeviceAndOnlineChecks();
        return logic().finishChecks();
    };
    useDeviceProfile("ForceDeviceType=16");

    // Nothing installed: the run goes on offline, in the install mode.
    makePrerequisitesProduct();
    EXPECT_TRUE(leaveOffline(0));
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeInstall);
    EXPECT_EQ(ui_->noUpdateServerQuestions, 0);

    // Another program's installation, whose features are unknown: no going on.
    makePrerequisitesProduct();
    auto foreign = std::make_shared<InstalledLog>();
    foreign->setProgramName(SharedString(u"Old Survey"));
    controller().setForeignInstalledLog(foreign);
    EXPECT_FALSE(leaveOffline(1));
    ASSERT_EQ(ui_->shown.size(), 1u);
    EXPECT_EQ(std::get<0>(ui_->shown[0]),
              u"Failed estabilishing a connection to the update server.\nThe installation cannot continue.");

    // An installed program with features: the user decides.
    for (const int answer : {0, 1}) {
        makePrerequisitesProduct();
        addFeature(u"Maps");
        addInstalled(u"Feature/Maps");
        writeInstalledLog(*controller().getInstalledLog());
        EXPECT_EQ(leaveOffline(answer), answer == 1);
        EXPECT_EQ(ui_->noUpdateServerQuestions, 1);
    }
}

TEST_F(PrerequisitesOffline, ASilentRunTakesThePlatformFoundUnlessAnotherIsSet)
{
    useDeviceProfile("ForceDeviceType=16");

    makePrerequisitesProduct();
    openArchive(test::buildArchive(payloadEntries()));
    EXPECT_TRUE(makeLogic().runUnattended());
    EXPECT_EQ(controller().getTargetPlatform(), kPlatformQm40);
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeInstall);
    // The payload was checked on this thread: its reports came before the end.
    EXPECT_EQ(sink_.events().back(), "payload 1 3");

    makePrerequisitesProduct();
    controller().setTargetPlatform(kPlatformWm6);
    EXPECT_FALSE(makeLogic().runUnattended());
}

TEST_F(PrerequisitesOffline, AnotherProgramIsRemovedOnlyWhenTheUserAgrees)
{
    struct Row {
        int agree;
        bool removes;
        std::int32_t compatibility;
        bool stop;
        bool removed;
        int removerCalls;
        std::u16string shown;
    };
    const Row rows[] = {
        {1, true, 1, false, true, 1, u""},
        {1, false, 1, true, false, 1, u"An error occurred while uninstalling Old Survey.\nThe installation cannot continue."},
        {0, true, 1, true, false, 0, u""},
        {1, true, 3, true, false, 0, u"You must uninstall Old Survey before continuing."},
    };
    for (const Row& row : rows) {
        makePrerequisitesProduct();
        auto foreign = std::make_shared<InstalledLog>();
        foreign->setProgramName(SharedString(u"Old Survey"));
        controller().setForeignInstalledLog(foreign);
        controller().setUninstallCompatibility(row.compatibility);
        ui_->alreadyInstalledAnswer = row.agree;
        test::RunJournal runs;
        auto factory = std::make_shared<test::ScriptedFactory>(runs);
        factory->removes = row.removes;
        controller().setInstallationProcessFactory(factory);
        controller().getUninstallLaunchers() = {std::make_shared<test::StubUninstallLauncher>()};
        makeLogic();
        bool stop = false;
        bool removed = false;
        logic().evaluatePreviousInstallation(stop, removed);
        EXPECT_EQ(stop, row.stop);
        EXPECT_EQ(removed, row.removed);
        // Once removed, the installation does not remove the program again.
        EXPECT_EQ(controller().getUninstallLaunchers().empty(), row.removed);
        EXPECT_EQ(controller().getForeignInstalledLog() == nullptr, row.removed);
        EXPECT_EQ(std::count(runs.calls.begin(), runs.calls.end(), "remove old"), row.removerCalls);
        EXPECT_EQ(ui_->shown.empty() ? std::u16string() : std::get<0>(ui_->shown[0]), row.shown);
    }
}

TEST_F(PrerequisitesOffline, LeavingThePageEndsTheRunWhereAnEarlierInstallationOrMissingRightsStandInTheWay)
{
    // Nothing stands in the way.
    makePrerequisitesProduct();
    makeLogic();
    EXPECT_TRUE(logic().confirmEarlierInstallations());
    EXPECT_EQ(controller().getResult(), kResultCompleted);
    EXPECT_TRUE(ui_->shown.empty());

    // A newer version of the program in maintenance: the question (answered
    // no by the test double) ends the run.
    makePrerequisitesProduct();
    controller().setInstalledVersionComparison(1);
    makeLogic();
    // As finishChecks leaves it.
    controller().buildPageSequenceForMode(kModeMaintenance);
    EXPECT_FALSE(logic().confirmEarlierInstallations());
    EXPECT_EQ(controller().getResult(), kResultFailed);

    // Another program this installer cannot remove: told, and the end.
    makePrerequisitesProduct();
    auto foreign = std::make_shared<InstalledLog>();
    foreign->setProgramName(SharedString(u"Old Survey"));
    controller().setForeignInstalledLog(foreign);
    controller().setUninstallCompatibility(3);
    makeLogic();
    EXPECT_FALSE(logic().confirmEarlierInstallations());
    EXPECT_EQ(controller().getResult(), kResultFailed);
    ASSERT_EQ(ui_->shown.size(), 1u);
    EXPECT_EQ(std::get<0>(ui_->shown[0]), u"You must uninstall Old Survey before continuing.");

    // An installation for everyone, and no administrator rights: told.
    DeviceConfig config = device().config();
    config.administrator = false;
    device().reconfigure(config);
    makePrerequisitesProduct();
    auto everyone = std::make_shared<test::StubUninstallLauncher>();
    everyone->forAllUsers = true;
    controller().getUninstallLaunchers() = {everyone};
    makeLogic();
    EXPECT_FALSE(logic().confirmEarlierInstallations());
    EXPECT_EQ(controller().getResult(), kResultFailed);
    ASSERT_EQ(ui_->shown.size(), 1u);
    EXPECT_EQ(std::get<0>(ui_->shown[0]), u"The installation requires administrative rights.");
    EXPECT_EQ(std::get<1>(ui_->shown[0]), kMessageError);
}

// Next does one thing, whoever presses it: the wizard's page after its
// checks, and a silent run, given the same answers, reach the same mode and
// the same end. A silent run used to go on past an earlier installation that
// stopped the wizard.
TEST_F(PrerequisitesOffline, TheWizardAndASilentRunLeaveThePageAlike)
{
    useDeviceProfile("ForceDeviceType=16");
    const auto installedLog = [this](const char16_t* program, const char16_t* version) {
        InstalledLog log;
        log.setProgramName(SharedString(program));
        log.setProgramVersion(VersionNumber::fromText(version));
        log.setInstallerVersion(VersionNumber::fromText(u"5.1"));
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(SharedString(u"Feature/Maps"));
        log.addFeature(feature);
        writeInstalledLog(log);
    };
    struct Row {
        const char* what;
        std::function<void()> place;
        PrerequisitesNext next;
        WizardMode mode;
    };
    const Row rows[] = {
        {"nothing installed", [] {}, PrerequisitesNext::kGoOn, kModeInstall},
        {"an older version", [&] { installedLog(u"Survey Pro", u"4.0"); }, PrerequisitesNext::kGoOn, kModeMaintenance},
        // The test's callback declines the downgrade.
        {"a newer version", [&] { installedLog(u"Survey Pro", u"4.2"); }, PrerequisitesNext::kEndRun, kModeMaintenance},
    };
    const auto prepare = [&] {
        makePrerequisitesProduct();
        addFeature(u"Maps");
        (void)controller().loadInstalledState();
        openArchive(test::buildArchive(payloadEntries()));
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::filesystem::remove_all(device().hostPath(productFolder()));
        row.place();

        prepare();
        ui_->noUpdateServerAnswer = 1;
        makeLogic().runDeviceAndOnlineChecks();
        ASSERT_TRUE(logic().isOnlineFinished());
        EXPECT_EQ(logic().leaveWithNext(), row.next);
        EXPECT_EQ(controller().getPageSequence().getMode(), row.mode);
        const InstallResult wizardResult = controller().getResult();

        prepare();
        EXPECT_EQ(makeLogic().runUnattended(), row.next == PrerequisitesNext::kGoOn);
        EXPECT_EQ(controller().getPageSequence().getMode(), row.mode);
        EXPECT_EQ(controller().getResult(), wizardResult);
        EXPECT_EQ(wizardResult, row.next == PrerequisitesNext::kEndRun ? kResultFailed : kResultCompleted);
    }

    // Another program in the product's data folder, on a device the
    // installer does not run on: the person is told to uninstall it first; a
    // silent run has nobody to do that, and goes on to the installation,
    // which starts that program's own remover.
    std::filesystem::remove_all(device().hostPath(productFolder()));
    installedLog(u"Other Program", u"4.0");
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "wizard");
        prepare();
        controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformPC);
        ASSERT_TRUE(controller().getForeignInstalledLog());
        if (silent) {
            EXPECT_TRUE(makeLogic().runUnattended());
            EXPECT_EQ(controller().getPageSequence().getMode(), kModeInstall);
            EXPECT_EQ(controller().getUninstallLaunchers().size(), 1u);
            EXPECT_TRUE(ui_->shown.empty());
        } else {
            bool stop = false;
            bool removed = false;
            makeLogic().evaluatePreviousInstallation(stop, removed);
            EXPECT_TRUE(stop);
            ASSERT_EQ(ui_->shown.size(), 1u);
        }
    }
}

TEST_F(PrerequisitesOffline, InstallationsForEveryoneNeedAdministratorRights)
{
    const auto launcher = [](bool forAllUsers) {
        auto stub = std::make_shared<test::StubUninstallLauncher>();
        stub->forAllUsers = forAllUsers;
        return stub;
    };
    for (const bool administrator : {true, false}) {
        DeviceConfig config = device().config();
        config.administrator = administrator;
        device().reconfigure(config);

        // No remover: the flag stays as it was.
        makePrerequisitesProduct().setForAnyone(false);
        EXPECT_FALSE(makeLogic().checkPreviousInstallations());
        EXPECT_FALSE(controller().isForAnyone());

        controller().getUninstallLaunchers() = {launcher(false), launcher(true)};
        EXPECT_EQ(logic().checkPreviousInstallations(), !administrator);
        EXPECT_TRUE(controller().isForAnyone());

        controller().getUninstallLaunchers() = {launcher(false)};
        EXPECT_FALSE(logic().checkPreviousInstallations());
        EXPECT_FALSE(controller().isForAnyone());
    }
}

}  // namespace
}  // namespace druvex
