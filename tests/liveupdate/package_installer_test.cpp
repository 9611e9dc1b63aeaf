// The package installer of online features: planning the jobs and their
// temporary files, the presence check, and whole runs against the loopback
// server: packages that arrive byte for byte, damaged or resized packages
// that are never handed on, retry and skip answers, failed writes and a
// cancel in the middle.
#include "liveupdate/package_installer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/feature.h"
#include "data/package_sources.h"
#include "liveupdate/fake_live_update_context.h"
#include "liveupdate/liveupdate_test_text.h"
#include "liveupdate/recording_listener.h"
#include "liveupdate/recording_package_owner.h"
#include "liveupdate/web_downloader.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/host_fixture.h"
#include "support/loopback_http_server.h"
#include "support/recording_process_listener.h"

namespace druvex {
namespace {

using test::HttpReply;
using test::narrow;
using test::packageBytes;
using test::wide;
using Events = std::vector<std::string>;

constexpr char16_t kPackagesFolder[] = u"\\Temp\\Packages";

// One run's parts: the controller's side, the installation process's side,
// the progress listener and the installer.
struct InstallerRun {
    explicit InstallerRun(std::shared_ptr<HalAccess> host) : context(std::move(host)), installer(context, owner) {}

    // Plans jobs for the features; which are downloaded is the planning tests' concern.
    void plan(const std::vector<FeaturePtr>& features)
    {
        std::vector<FeaturePtr> downloaded;
        std::vector<FeaturePtr> local;
        installer.planDownloads(features, downloaded, local);
    }
    // Starts the installer's jobs and waits until all are handled.
    void runAll()
    {
        installer.start(&listener);
        ASSERT_TRUE(owner.waitAllHandled());
    }

    test::FakeLiveUpdateContext context;
    test::RecordingPackageOwner owner;
    test::RecordingProcessListener listener;
    PackageInstaller installer;
};

class PackageInstallerFixture : public test::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        device().makeFolder("Temp/Packages");
    }

    // A feature whose package the server holds: one download source with
    // the package's size, and the package's digest unless `withDigest` is off.
    FeaturePtr online(test::FakeLiveUpdateContext& context, const std::string& name, const std::string& package,
                      bool skippable = false, bool withDigest = true)
    {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(wide(name));
        feature->setSkippable(skippable);
        feature->setCompressedSize(static_cast<std::int64_t>(package.size()));
        if (withDigest)
            feature->setDigest(test::wideSha1(package));
        server_.setReply("/" + name + ".lzma", HttpReply::ok(package));
        context.sources.addIfAbsent(*feature, kSourceDownload, url(name), static_cast<std::uint32_t>(package.size()),
                                    0);
        return feature;
    }

    SharedString url(const std::string& name) const { return wide(server_.url("/" + name + ".lzma")); }

    // The files left in the packages folder.
    std::vector<std::string> leftFiles()
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(device().hostPath("Temp/Packages")))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string packageFile(std::string_view name) { return device().readFile("Temp/Packages/" + std::string(name)); }

    test::LoopbackHttpServer server_;
    test::DiagCapture log_;
};

class PackageInstallerPlan : public PackageInstallerFixture {};
class PackageInstallerThreads : public PackageInstallerFixture {};

FeaturePtr featureWithSources(test::FakeLiveUpdateContext& context, std::u16string_view name,
                              std::vector<PackageSource> sources)
{
    FeaturePtr feature = makeFeaturePtr();
    feature->setName(SharedString(name));
    feature->setDigest(SharedString(u"D_") + SharedString(name));
    for (const PackageSource& source : sources)
        context.sources.addIfAbsent(*feature, source.sourceKind, source.location, source.sizeLow, source.sizeHigh);
    return feature;
}

std::vector<std::string> namesOf(const std::vector<FeaturePtr>& features)
{
    std::vector<std::string> names;
    for (const FeaturePtr& feature : features)
        names.push_back(narrow(feature->getName()));
    return names;
}

// Only features with exactly one source, a download with a size, are
// downloaded; the counter of the file names runs over those alone.
TEST_F(PackageInstallerPlan, OnlineFeaturesGetNumberedTemporaryFiles)
{
    InstallerRun run(host_);
    PackageInstaller& installer = run.installer;
    const SharedString http(u"http://127.0.0.1:9/p/");
    std::vector<FeaturePtr> features{
        featureWithSources(run.context, u"A", {{kSourceDownload, http + u"a", 10, 0}}),
        featureWithSources(run.context, u"Twice",
                           {{kSourceDownload, http + u"t", 10, 0}, {kSourceArchiveEntry, u"T", 10, 0}}),
        featureWithSources(run.context, u"Archive", {{kSourceArchiveEntry, u"Feature/Archive", 10, 0}}),
        featureWithSources(run.context, u"KindOne", {{1, http + u"k", 10, 0}}),
        featureWithSources(run.context, u"Empty", {{kSourceDownload, http + u"e", 0, 0}}),
        featureWithSources(run.context, u"None", {}),
        featureWithSources(run.context, u"Sub/B", {{kSourceDownload, http + u"b", 7, 0}}),
        featureWithSources(run.context, u"C", {{kSourceDownload, http + u"c", 5, 1}}),
        nullptr,
    };
    EXPECT_EQ(installer.packagesFolder(), kPackagesFolder);
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> local;
    installer.planDownloads(features, downloaded, local);

    EXPECT_EQ(namesOf(downloaded), (std::vector<std::string>{"A", "Sub/B", "C"}));
    EXPECT_EQ(namesOf(local), (std::vector<std::string>{"Twice", "Archive", "KindOne", "Empty", "None"}));
    ASSERT_EQ(installer.jobCount(), 3u);
    const struct {
        const char16_t* target;
        const char16_t* url;
        std::uint64_t size;
    } expected[] = {
        {u"\\Temp\\Packages/tmp0000_A", u"a", 10},
        // A separator in a Name would put the file elsewhere.
        {u"\\Temp\\Packages/tmp0001_Sub_B", u"b", 7},
        {u"\\Temp\\Packages/tmp0002_C", u"c", (1ull << 32) + 5},
    };
    for (std::size_t i = 0; i < 3; ++i) {
        const auto job = installer.job(i);
        EXPECT_EQ(job->target, expected[i].target);
        EXPECT_EQ(job->url, http + expected[i].url);
        EXPECT_EQ(job->size, expected[i].size);
        EXPECT_EQ(job->digest, SharedString(u"D_") + job->feature->getNameRef());
        EXPECT_EQ(job->feature, downloaded[i]);
    }
    EXPECT_EQ(installer.totalBytes(), 22u + (1ull << 32));

    // Jobs without a feature, size, URL or target are not made.
    installer.addPackage(nullptr, http, 1, u"x");
    installer.addPackage(features[0], http, 0, u"x");
    installer.addPackage(features[0], {}, 1, u"x");
    installer.addPackage(features[0], http, 1, {});
    EXPECT_EQ(installer.jobCount(), 3u);

    // The job list is the installer's until it is reset.
    installer.reset();
    EXPECT_EQ(installer.jobCount(), 0u);
    EXPECT_EQ(installer.totalBytes(), 0u);
    EXPECT_EQ(run.context.cache.stores.load(), 0);
}

TEST_F(PackageInstallerPlan, TheNewVersionDownloadIsOneJobNamedAfterTheUrl)
{
    InstallerRun run(host_);
    run.context.builtModes = {kModeDownload};
    run.context.setNewVersionDownload(u"http://127.0.0.1:9/files/v5/Setup_5.2.exe?build=7", 1234,
                                      u"\\Temp\\Setup.exe");
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> local;
    run.installer.planDownloads({featureWithSources(run.context, u"A", {{kSourceDownload, u"http://x/a", 10, 0}})},
                                downloaded, local);
    EXPECT_TRUE(downloaded.empty());
    EXPECT_TRUE(local.empty());
    ASSERT_EQ(run.installer.jobCount(), 1u);
    const auto job = run.installer.job(0);
    EXPECT_EQ(job->feature->getName(), u"Setup_5.2.exe");
    EXPECT_EQ(job->url, run.context.newUrl);
    EXPECT_EQ(job->size, 1234u);
    EXPECT_EQ(job->target, u"\\Temp\\Setup.exe");
}

TEST_F(PackageInstallerThreads, ThreeOnlineFeaturesArriveByteForByte)
{
    InstallerRun run(host_);
    const std::string a = packageBytes(100000, 1);
    const std::string b = packageBytes(5, 2);
    const std::string c = packageBytes(70000, 3);
    FeaturePtr featureA = online(run.context, "A", a);
    FeaturePtr featureB = online(run.context, "B", b);
    featureB->setPrompt(u"Bee");
    featureB->setCompressedSize(0);  // no size known: nothing counts as missing
    FeaturePtr featureC = online(run.context, "C", c);
    featureC->setCompressedSize(static_cast<std::int64_t>(c.size()) + 100);
    FeaturePtr local = featureWithSources(run.context, u"Local", {{kSourceArchiveEntry, u"Feature/Local", 9, 0}});

    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> locals;
    run.installer.planDownloads({featureA, local, featureB, featureC}, downloaded, locals);
    ASSERT_EQ(downloaded.size(), 3u);
    ASSERT_TRUE(run.installer.checkPackagesPresent());
    run.runAll();

    const std::string total = std::to_string(a.size() + b.size() + c.size());
    EXPECT_EQ(run.owner.events(), (Events{"started A", "ready A \\Temp\\Packages/tmp0000_A", "started B",
                                          "ready B \\Temp\\Packages/tmp0001_B", "started C",
                                          "ready C \\Temp\\Packages/tmp0002_C", "all handled"}));
    EXPECT_EQ(run.listener.events(), (Events{"download begins " + total, "download finished 0"}));
    EXPECT_EQ(packageFile("tmp0000_A"), a);
    EXPECT_EQ(packageFile("tmp0001_B"), b);
    EXPECT_EQ(packageFile("tmp0002_C"), c);
    EXPECT_EQ(run.context.cache.stores.load(), 3);

    // Progress counts the packages done before the current one, by display name.
    const auto progress = run.listener.progress();
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_LE(progress[i - 1].second, progress[i].second);
    EXPECT_EQ(progress.back(), (std::pair<std::string, std::uint64_t>{"C", a.size() + b.size() + c.size()}));
    EXPECT_NE(std::find(progress.begin(), progress.end(), std::pair<std::string, std::uint64_t>{"Bee", a.size() + 5}),
              progress.end());
    // What is missing never wraps below 0; C ends 100 bytes short of its size.
    const auto missing = run.owner.missing();
    EXPECT_EQ(missing.back(), 100u);
    EXPECT_LE(*std::max_element(missing.begin(), missing.end()), a.size());

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[3].method, "GET");
    EXPECT_EQ(requests[5].target, "/C.lzma");
}

// A package whose digest differs is deleted and asked about; the retry runs
// it again, and its second failure asks whether to skip.
TEST_F(PackageInstallerThreads, ADamagedPackageIsRetriedThenSkipped)
{
    InstallerRun run(host_);
    FeaturePtr featureA = online(run.context, "A", packageBytes(30000, 1), true);
    server_.setReply("/A.lzma", HttpReply::ok(packageBytes(30000, 9)));
    FeaturePtr featureB = online(run.context, "B", packageBytes(2000, 2));
    run.listener.retryAnswers = {true};
    run.listener.skipAnswers = {true};
    run.plan({featureA, featureB});
    run.runAll();

    EXPECT_EQ(run.listener.events(),
              (Events{"download begins 32000", "retry? A 3", "skip? A", "download finished 0"}));
    // A's first failure may come before B is queued: the two packages'
    // events interleave as the threads run, each in its own order.
    const Events owned = run.owner.events();
    const auto of = [&owned](const std::string& name) {
        Events mine;
        for (const std::string& event : owned) {
            if (event.ends_with(" " + name) || event.find(" " + name + " ") != std::string::npos)
                mine.push_back(event);
        }
        return mine;
    };
    EXPECT_EQ(of("A"), (Events{"started A", "started A", "skipped A"})) << testing::PrintToString(owned);
    EXPECT_EQ(of("B"), (Events{"started B", "ready B \\Temp\\Packages/tmp0001_B"})) << testing::PrintToString(owned);
    ASSERT_EQ(owned.size(), 6u);
    EXPECT_EQ(owned.back(), "all handled");
    EXPECT_TRUE(run.context.skip.load());
    EXPECT_EQ(leftFiles(), (std::vector<std::string>{"tmp0001_B"}));
    EXPECT_TRUE(log_.contains(u"Bad digest"));
}

// Once the skip choice is on, a skippable feature that fails is skipped
// without a question, and so is one that a cancel ends; the others go on,
// or fail with the cancel.
TEST_F(PackageInstallerThreads, WithTheSkipChoiceOnASkippableFeatureIsSkippedWithoutAsking)
{
    const struct {
        const char* what;
        bool cancelFirst;
        Events owned;
        std::string finished;
    } cases[] = {
        {"a failed transfer", false,
         {"skipped A", "started B", "ready B \\Temp\\Packages/tmp0001_B", "all handled"}, "download finished 0"},
        {"a cancelled run", true, {"skipped A", "failed", "all handled"}, "download finished 5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        InstallerRun run(host_);
        run.context.skip = true;
        FeaturePtr featureA = online(run.context, "A", packageBytes(3000, 1), true);
        server_.setReply("/A.lzma", HttpReply::withStatus(500, "Server Error", "no"));
        FeaturePtr featureB = online(run.context, "B", packageBytes(3000, 2));
        run.plan({featureA, featureB});
        if (c.cancelFirst)
            run.installer.cancel();
        run.runAll();

        EXPECT_EQ(run.listener.events(), (Events{"download begins 6000", c.finished}));
        EXPECT_EQ(run.owner.events(), c.owned);
    }
}

// Size and digest are the package's identity: a package that differs in
// either is never handed on, and nothing of it stays on the device. A
// package that cannot be written whole is refused at once (status 4) and
// deleted: a short file would pass the digest of the bytes received.
TEST_F(PackageInstallerThreads, APackageThatDoesNotMatchOrIsNotWrittenWholeIsNeverReady)
{
    const std::string good = packageBytes(200000, 1);
    HttpReply cut = HttpReply::ok(good);
    cut.cutAfter = 120000;
    struct Case {
        const char* what;
        std::optional<HttpReply> reply;
        test::HalFaultPlan faults;
        bool withDigest;
        int status;
        const char16_t* logged;
    };
    Case cases[] = {
        {"another digest", HttpReply::ok(packageBytes(20000, 2)), {}, true, 3, u"Bad digest"},
        {"shorter than planned", HttpReply::ok(good.substr(0, 199990)), {}, false, 3, u"Bad file size"},
        {"longer than planned", HttpReply::ok(good + "0123456789"), {}, false, 4, u"Bad file size"},
        {"cut by the server", cut, {}, true, 3, u"Bad file size"},
        {"a failed write", std::nullopt, {}, true, 4, u"Failed writing to file"},
        {"a short write", std::nullopt, {}, true, 4, u"Failed writing to file"},
        {"a failed create", std::nullopt, {}, true, 4, u"Failed to create file \\Temp\\Packages/tmp0000_A"},
    };
    cases[4].faults.failWriteNumber = 2;
    cases[5].faults.shortWriteNumber = 1;
    cases[6].faults.failOpenContaining = u"tmp0000";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_.clear();
        const bool faulty = !c.reply;
        std::shared_ptr<HalAccess> target = host_;
        if (faulty)
            target = std::make_shared<test::FaultInjectingHal>(host_, c.faults);
        InstallerRun run(target);
        FeaturePtr feature = online(run.context, "A", good, false, c.withDigest);
        if (c.reply)
            server_.setReply("/A.lzma", *c.reply);
        run.plan({feature});
        run.runAll();

        const std::string status = std::to_string(c.status);
        EXPECT_EQ(run.listener.events(),
                  (Events{"download begins 200000", "retry? A " + status, "download finished " + status}));
        EXPECT_EQ(run.owner.events(), (Events{"started A", "failed", "all handled"}));
        EXPECT_TRUE(leftFiles().empty());
        EXPECT_TRUE(log_.contains(c.logged));
        if (faulty) {
            EXPECT_TRUE(log_.contains(u"progress.onProgress"));
        }
    }
}

// A feature that cannot be skipped and is not tried again ends the run: the
// downloads still queued end as cancelled, without a question or any traffic,
// and so does every later request of the downloader.
TEST_F(PackageInstallerThreads, ADeclinedRetryCancelsEveryDownload)
{
    InstallerRun run(host_);
    FeaturePtr featureA = online(run.context, "A", packageBytes(3000, 1));
    server_.setReply("/A.lzma", HttpReply::withStatus(404, "Not Found"));
    FeaturePtr featureB = online(run.context, "B", packageBytes(3000, 2), true);
    FeaturePtr featureC = online(run.context, "C", packageBytes(3000, 3));
    run.plan({featureA, featureB, featureC});
    run.runAll();

    EXPECT_EQ(run.listener.events(), (Events{"download begins 9000", "retry? A 2", "download finished 5"}));
    EXPECT_EQ(run.owner.events(), (Events{"failed", "failed", "failed", "all handled"}));
    EXPECT_EQ(server_.requestCount(), 1u);

    test::RecordingListener later;
    std::shared_ptr<DownloadRequest> request;
    run.context.downloader.enqueue(url("B"), {}, 1000, &later, request);
    ASSERT_TRUE(later.waitFinished());
    EXPECT_EQ(later.status(), kDownloadCancelled);
    EXPECT_EQ(server_.requestCount(), 1u);
}

// A retry starts the package from nothing: the file is made anew, not
// continued, and the progress goes back.
TEST_F(PackageInstallerThreads, ARetryStartsFromACleanState)
{
    InstallerRun run(host_);
    const std::string a = packageBytes(50000, 1);
    FeaturePtr feature = online(run.context, "A", a);
    HttpReply cut = HttpReply::ok(a);
    cut.cutAfter = 30000;
    server_.queueReplies("/A.lzma", {cut});
    run.listener.retryAnswers = {true};
    run.plan({feature});
    run.runAll();

    EXPECT_EQ(run.listener.events(), (Events{"download begins 50000", "retry? A 3", "download finished 0"}));
    EXPECT_EQ(run.owner.events(),
              (Events{"started A", "started A", "ready A \\Temp\\Packages/tmp0000_A", "all handled"}));
    EXPECT_EQ(packageFile("tmp0000_A"), a);
    const auto progress = run.listener.progress();
    const auto back = std::adjacent_find(progress.begin(), progress.end(),
                                         [](const auto& x, const auto& y) { return y.second < x.second; });
    EXPECT_NE(back, progress.end());
    EXPECT_EQ(progress.back().second, a.size());
}

// A cancel in the middle of a transfer ends every job without a question,
// and the package half written is deleted.
TEST_F(PackageInstallerThreads, ACancelAsksNothingAndLeavesNoPartialFile)
{
    InstallerRun run(host_);
    const std::string a = packageBytes(200000, 1);
    FeaturePtr featureA = online(run.context, "A", a);
    HttpReply stalled = HttpReply::ok(a);
    stalled.stallAt = {100000};
    server_.setReply("/A.lzma", stalled);
    FeaturePtr featureB = online(run.context, "B", packageBytes(3000, 2), true);
    FeaturePtr featureC = online(run.context, "C", packageBytes(3000, 3));
    run.listener.retryAnswers = {true, true, true};
    run.listener.skipAnswers = {true, true, true};
    run.plan({featureA, featureB, featureC});
    run.installer.start(&run.listener);
    ASSERT_TRUE(run.owner.waitForData());
    ASSERT_TRUE(server_.waitForStalls(1));
    EXPECT_EQ(leftFiles(), (std::vector<std::string>{"tmp0000_A"}));
    run.installer.cancel();
    ASSERT_TRUE(run.owner.waitAllHandled());

    EXPECT_EQ(run.listener.events(), (Events{"download begins 206000", "download finished 5"}));
    EXPECT_EQ(run.owner.events(), (Events{"started A", "failed", "failed", "failed", "all handled"}));
    EXPECT_TRUE(leftFiles().empty());
    EXPECT_FALSE(run.context.skip.load());
    EXPECT_EQ(server_.requestCount(), 1u);
}

// The check asks the server for each package's size and gives up on the
// first that is missing or has another size.
TEST_F(PackageInstallerThreads, TheCheckFindsMissingAndResizedPackages)
{
    HttpReply resized = HttpReply::ok(packageBytes(3000, 2));
    resized.contentLength = 2999;
    const struct {
        const char* what;
        std::optional<HttpReply> replyB;
        bool present;
    } cases[] = {
        {"all there", std::nullopt, true},
        {"another size", resized, false},
        {"missing", HttpReply::withStatus(404, "Not Found"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log_.clear();
        InstallerRun run(host_);
        FeaturePtr featureA = online(run.context, "A", packageBytes(3000, 1));
        FeaturePtr featureB = online(run.context, "B", packageBytes(3000, 2));
        if (c.replyB)
            server_.setReply("/B.lzma", *c.replyB);
        run.plan({featureA, featureB});
        FeaturePtr missing;
        EXPECT_EQ(run.installer.checkPackagesPresent(&missing), c.present);
        // The run names the feature whose package is not there.
        EXPECT_EQ(missing, c.present ? nullptr : featureB);
        EXPECT_EQ(run.installer.jobCount(), c.present ? 2u : 0u);
        EXPECT_EQ(run.installer.totalBytes(), c.present ? 6000u : 0u);
        EXPECT_EQ(log_.contains(u"********** Package at " + std::u16string(url("B").view()) +
                                u" is not present **********"),
                  !c.present);
    }
    InstallerRun empty(host_);
    EXPECT_TRUE(empty.installer.checkPackagesPresent());
}

}  // namespace
}  // namespace druvex
