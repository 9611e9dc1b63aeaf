// An installation whose packages are decoded on the installation thread
// alone, and the same with four decoders ahead of it on other threads: the
// device, the installed log, the log's lines and every notification of the
// listener are the same; so are the ends of a run with a damaged second
// package, one canceled during the third and one whose device refuses the
// writes of the fourth. The packages are small but coded with a dictionary
// smaller still, and the decoders' pool holds a few pieces: the decoders
// ahead wrap their dictionaries, copy pieces out and wait for room, as they
// do with a large product.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "engine/installation_process.h"
#include "installation_fixture.h"
#include "support/diag_capture.h"
#include "support/recording_process_listener.h"

namespace druvex {
namespace {

using test::Bytes;
using test::InstallDevice;
using test::TestFeature;
using test::TestRun;

// Four features of files of many sizes (some incompressible, some larger
// than a decoder's dictionary), the third one's files in a folder of its own.
std::vector<TestFeature> fourFeatures()
{
    std::vector<TestFeature> features(4);
    const std::u16string names[] = {u"Core", u"Maps", u"Third", u"Help"};
    std::mt19937 random(7);
    for (std::size_t index = 0; index < features.size(); ++index) {
        TestFeature& feature = features[index];
        feature.name = names[index];
        const std::string folder = index == 2 ? "third" : "common/sub" + std::to_string(index);
        for (int file = 0; file < 14; ++file) {
            const std::size_t size = file % 5 == 0 ? 70000 + random() % 50000 : 100 + random() % 12000;
            Bytes bytes(size);
            for (std::uint8_t& byte : bytes)
                byte = static_cast<std::uint8_t>(file % 4 == 3 ? random() : 'a' + random() % 4);
            feature.files[folder + "/file" + std::to_string(file) + ".dat"] = std::move(bytes);
        }
    }
    features[0].registry =
        "<Registry><HKEY_LOCAL_MACHINE><Key Name=\"Software\" Flag=\"SystemReadOnly\">"
        "<Key Name=\"Druvex Survey\" Flag=\"Automatic\">"
        "<Value Name=\"Path\" Format=\"String\" Data=\"&lt;TARGETDIR&gt;\"/>"
        "</Key></Key></HKEY_LOCAL_MACHINE></Registry>";
    return features;
}

// What a run leaves: the device, the installed log, the log's lines, the
// listener's notifications (without the remaining time, which follows the
// clock) and the run's result.
struct RunRecord {
    std::map<std::string, std::string> device;
    std::string installedLog;
    std::vector<std::u16string> logLines;
    std::vector<std::string> events;
    std::vector<std::pair<std::string, std::uint64_t>> progress;
    InstallResult result = kResultCompleted;
};

enum class Trouble { None, DamagedSecond, CancelDuringThird, FailedWritesOfFourth };

class InstallationDecodersThreads : public ::testing::Test {
protected:
    void SetUp() override
    {
        features_ = fourFeatures();
        test::writeSources(sources_.path(), features_);
        std::vector<test::EntrySource> entries;
        archive_ = test::buildProductArchive(sources_.path(), features_, &entries, "64KiB");
        setDecodeAheadPoolForTests(4 * 16384, 16384);
        // Where each package's bytes lie in the archive: back to back from its start.
        std::size_t offset = 0;
        for (const test::EntrySource& entry : entries) {
            packageOffsets_.push_back(offset);
            offset += entry.packed.size();
        }
        packageSizes_ = entries;
    }
    void TearDown() override
    {
        ::unsetenv("DRUVEX_DECODE_THREADS");
        setDecodeAheadPoolForTests(0, 0);
    }

    Bytes archiveFor(Trouble trouble) const
    {
        Bytes archive = archive_;
        if (trouble == Trouble::DamagedSecond) {
            const std::size_t middle = packageOffsets_[1] + packageSizes_[1].packed.size() / 2;
            for (std::size_t at = middle; at < middle + 4096; ++at)
                archive[at] = 0xFF;
        }
        return archive;
    }

    // The host's writes of a sound run until the fourth feature has
    // reported progress.
    int writesIntoTheFourth()
    {
        int writes = 0;
        runOnce(1, Trouble::None, &writes);
        return writes;
    }

    RunRecord runOnce(unsigned decoders, Trouble trouble, int* writesIntoFourth = nullptr, int failWrite = 0)
    {
        ::setenv("DRUVEX_DECODE_THREADS", std::to_string(decoders).c_str(), 1);
        RunRecord record;
        InstallDevice device(archiveFor(trouble));
        test::HalFaultPlan plan;
        plan.failWriteNumber = failWrite;
        plan.error = kErrorDiskFull;
        TestRun run(device, features_, kModeInstall, plan);
        test::DiagCapture log;
        test::RecordingProcessListener listener;
        // Skip a failed feature; roll a failed run back.
        listener.wordAnswers = {1, 1, 1};
        InstallationProcess process(run.controller(), run.controller().getPayloadArchive(), &listener);
        bool canceled = false;
        listener.onEvent = [&](const std::string& line) {
            if (writesIntoFourth && *writesIntoFourth == 0 && line.starts_with("bytes ") &&
                line.find("/sub3/") != std::string::npos)
                *writesIntoFourth = run.host().writeCount();
            if (trouble == Trouble::CancelDuringThird && !canceled && line.starts_with("bytes ") &&
                line.find("/third/") != std::string::npos) {
                canceled = true;
                process.cancel();
            }
        };
        process.start();
        listener.awaitEnd();
        record.device = device.snapshot({run.workFolder()});
        const std::string logPath = "Windows/_QuendaSuperInstaller/druvex-survey-test/InstalledLog.xml";
        record.installedLog = device.device().exists(logPath) ? device.device().readFile(logPath) : std::string();
        record.logLines = log.lines();
        for (const std::string& event : listener.events()) {
            if (!event.starts_with("remaining "))
                record.events.push_back(event);
        }
        record.progress = listener.progress();
        record.result = run.controller().getResult();
        return record;
    }

    void expectSameRuns(Trouble trouble, int failWrite = 0)
    {
        const RunRecord one = runOnce(1, trouble, nullptr, failWrite);
        const RunRecord four = runOnce(4, trouble, nullptr, failWrite);
        EXPECT_EQ(four.result, one.result);
        EXPECT_EQ(four.device, one.device);
        EXPECT_EQ(four.installedLog, one.installedLog);
        EXPECT_EQ(four.logLines, one.logLines);
        EXPECT_EQ(four.events, one.events);
        EXPECT_EQ(four.progress, one.progress);
        last_ = one;
    }

    test::ScratchDir sources_;
    std::vector<TestFeature> features_;
    Bytes archive_;
    std::vector<std::size_t> packageOffsets_;
    std::vector<test::EntrySource> packageSizes_;
    RunRecord last_;
};

bool contains(const std::vector<std::string>& events, const std::string& event)
{
    return std::find(events.begin(), events.end(), event) != events.end();
}

TEST_F(InstallationDecodersThreads, ASoundInstallationIsTheSameWithFourDecoders)
{
    expectSameRuns(Trouble::None);
    EXPECT_EQ(last_.result, kResultCompleted);
    EXPECT_EQ(last_.events.back(), "succeeded");
    for (const TestFeature& feature : features_) {
        for (const auto& [relative, bytes] : feature.files)
            EXPECT_EQ(last_.device.count("Program Files/Survey/" + relative), 1u) << relative;
    }
}

TEST_F(InstallationDecodersThreads, ADamagedSecondPackageIsSkippedTheSameWay)
{
    expectSameRuns(Trouble::DamagedSecond);
    EXPECT_TRUE(contains(last_.events, "skip feature? Maps: its package could not be unpacked"));
    EXPECT_EQ(last_.events.back(), "succeeded");
    EXPECT_EQ(last_.device.count("Program Files/Survey/common/sub3/file1.dat"), 1u);
}

TEST_F(InstallationDecodersThreads, ACancelDuringTheThirdRollsBackTheSameWay)
{
    expectSameRuns(Trouble::CancelDuringThird);
    EXPECT_EQ(last_.result, kResultRolledBack);
    EXPECT_TRUE(contains(last_.events, "rollback? 0 0"));
    EXPECT_EQ(last_.events.back(), "failed");
    EXPECT_EQ(last_.device.count("Program Files/Survey/third/file0.dat"), 0u);
}

TEST_F(InstallationDecodersThreads, AFullDeviceDuringTheFourthEndsTheSameWay)
{
    const int writes = writesIntoTheFourth();
    ASSERT_GT(writes, 0);
    expectSameRuns(Trouble::FailedWritesOfFourth, writes + 3);
    // The question says why the feature failed.
    EXPECT_TRUE(contains(last_.events, "skip feature? Help: the store is full"));
    EXPECT_EQ(last_.device.count("Program Files/Survey/third/file13.dat"), 1u);
}

}  // namespace
}  // namespace druvex
