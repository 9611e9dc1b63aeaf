// The package installer of online features: planning the jobs and their
// temporary files, the presence check, and whole runs against the loopback
// server: packages that arrive byte for byte, damaged or resized packages
// that are never handed on, retry and skip answers, failed writes, a cancel
// in the middle, and the new-version download.
#include "liveupdate/package_installer.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "data/feature.h"
#include "data/package_sources.h"
#include "liveupdate/package_cache.h"
#include "liveupdate/recording_listener.h"
#include "liveupdate/web_downloader.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/host_fixture.h"
#include "support/loopback_http_server.h"
#include "support/recording_process_listener.h"

namespace druvex {
namespace {

using test::HttpReply;
using Events = std::vector<std::string>;

constexpr char16_t kPackagesFolder[] = u"\\Temp\\Packages";

SharedString wide(std::string_view text)
{
    return SharedString::fromCodePage(std::string(text).c_str(), 0);
}

std::string narrow(const SharedString& text)
{
    const SharedStringA utf8 = toUtf8(text);
    return std::string(utf8.c_str(), static_cast<std::size_t>(utf8.length()));
}

SharedString sha1Hex(std::string_view bytes)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    std::string hex;
    for (unsigned char byte : digest) {
        hex += "0123456789ABCDEF"[byte >> 4];
        hex += "0123456789ABCDEF"[byte & 15];
    }
    return wide(hex);
}

// Package-like bytes: every size gives other bytes.
std::string packageBytes(std::size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// The "No cache" store, counting what passes through it.
class RecordingCache final : public PackageCache {
public:
    explicit RecordingCache(std::shared_ptr<HalAccess> host) : inner_(std::move(host), kPackagesFolder) {}

    void downloadFolder(SharedString& folder) override { inner_.downloadFolder(folder); }
    SharedString findPackage(const InstallItem& item, bool& found) override { return inner_.findPackage(item, found); }
    void storePackage(SharedString& path, const SharedString& downloaded) override
    {
        stores.fetch_add(1);
        inner_.storePackage(path, downloaded);
    }
    bool removePackage(const SharedString& path) override { return inner_.removePackage(path); }

    std::atomic<int> stores{0};

private:
    NoPackageCache inner_;
};

// What the controller would give: its own downloader, sources and answers.
class FakeContext final : public PackageInstallerContext {
public:
    explicit FakeContext(const std::shared_ptr<HalAccess>& host) : cache(host), host_(host) {}

    WebDownloader& webDownloader() override { return downloader; }
    std::shared_ptr<HalAccess> targetHost() override { return host_; }
    PackageCache& packageCache() override { return cache; }
    const WStringMultimap& packageSources() override { return sources; }
    bool getSkipFeatureChoice() override { return skip.load(); }
    void setSkipFeatureChoice(bool value) override { skip.store(value); }
    std::int32_t getWizardMode() override { return mode; }
    void getNewVersionDownload(SharedString& url, std::uint64_t& size, SharedString& target) override
    {
        url = newVersionUrl;
        size = newVersionSize;
        target = newVersionTarget;
    }

    WebDownloader downloader;
    RecordingCache cache;
    WStringMultimap sources;
    std::atomic<bool> skip{false};
    std::int32_t mode = 2;
    SharedString newVersionUrl;
    std::uint64_t newVersionSize = 0;
    SharedString newVersionTarget;

private:
    std::shared_ptr<HalAccess> host_;
};

// The installation process's side: what became of each package.
class RecordingOwner final : public PackageInstallerListener {
public:
    void onPackageStarted(const FeaturePtr& feature, PackageJob&) override
    {
        record("started " + narrow(feature->getNameRef()));
    }
    void onPackageRate(std::uint64_t rate, std::uint64_t missing) override
    {
        std::lock_guard lock(mutex_);
        rates_.push_back(rate);
        missing_.push_back(missing);
        changed_.notify_all();
    }
    void onPackageReady(const FeaturePtr& feature, const SharedString& path) override
    {
        record("ready " + narrow(feature->getNameRef()) + " " + narrow(path));
    }
    void onPackageSkipped(const FeaturePtr& feature) override { record("skipped " + narrow(feature->getNameRef())); }
    void onAllPackagesHandled() override { record("all handled"); }
    void onPackagesFailed() override { record("failed"); }

    bool waitAllHandled()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] {
            return std::find(events_.begin(), events_.end(), "all handled") != events_.end();
        });
    }
    bool waitForData()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return !missing_.empty(); });
    }
    Events events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<std::uint64_t> missing() const
    {
        std::lock_guard lock(mutex_);
        return missing_;
    }

private:
    void record(std::string line)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(line));
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Events events_;
    std::vector<std::uint64_t> rates_;
    std::vector<std::uint64_t> missing_;
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
    FeaturePtr online(FakeContext& context, const std::string& name, const std::string& package,
                      bool skippable = false, bool withDigest = true)
    {
        FeaturePtr feature = makeFeaturePtr();
        feature->setName(wide(name));
        feature->setSkippable(skippable);
        feature->setCompressedSize(static_cast<std::int64_t>(package.size()));
        if (withDigest)
            feature->setDigest(sha1Hex(package));
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

FeaturePtr featureWithSources(FakeContext& context, std::u16string_view name, std::vector<PackageSource> sources)
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
    FakeContext context(host_);
    const SharedString http(u"http://127.0.0.1:9/p/");
    std::vector<FeaturePtr> features{
        featureWithSources(context, u"A", {{kSourceDownload, http + u"a", 10, 0}}),
        featureWithSources(context, u"Twice", {{kSourceDownload, http + u"t", 10, 0}, {kSourceArchiveEntry, u"T", 10, 0}}),
        featureWithSources(context, u"Archive", {{kSourceArchiveEntry, u"Feature/Archive", 10, 0}}),
        featureWithSources(context, u"KindOne", {{1, http + u"k", 10, 0}}),
        featureWithSources(context, u"Empty", {{kSourceDownload, http + u"e", 0, 0}}),
        featureWithSources(context, u"None", {}),
        featureWithSources(context, u"Sub/B", {{kSourceDownload, http + u"b", 7, 0}}),
        featureWithSources(context, u"C", {{kSourceDownload, http + u"c", 5, 1}}),
        nullptr,
    };
    RecordingOwner owner;
    PackageInstaller installer(context, owner);
    EXPECT_EQ(installer.packagesFolder(), kPackagesFolder);
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> local;
    installer.planDownloads(features, downloaded, local);

    EXPECT_EQ(namesOf(downloaded), (std::vector<std::string>{"A", "Sub/B", "C"}));
    EXPECT_EQ(namesOf(local), (std::vector<std::string>{"Twice", "Archive", "KindOne", "Empty", "None"}));
    ASSERT_EQ(installer.jobCount(), 3u);
    struct Expected {
        const char16_t* target;
        const char16_t* url;
        std::uint64_t size;
    };
    const Expected expected[] = {
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
    EXPECT_EQ(context.cache.stores.load(), 0);
}

TEST_F(PackageInstallerPlan, TheNewVersionDownloadIsOneJobNamedAfterTheUrl)
{
    FakeContext context(host_);
    context.mode = kWizardModeNewVersionDownload;
    context.newVersionUrl = u"http://127.0.0.1:9/files/v5/Setup_5.2.exe?build=7";
    context.newVersionSize = 1234;
    context.newVersionTarget = u"\\Temp\\Setup.exe";
    RecordingOwner owner;
    PackageInstaller installer(context, owner);
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> local;
    installer.planDownloads({featureWithSources(context, u"A", {{kSourceDownload, u"http://x/a", 10, 0}})},
                            downloaded, local);
    EXPECT_TRUE(downloaded.empty());
    EXPECT_TRUE(local.empty());
    ASSERT_EQ(installer.jobCount(), 1u);
    const auto job = installer.job(0);
    EXPECT_EQ(job->feature->getName(), u"Setup_5.2.exe");
    EXPECT_EQ(job->url, context.newVersionUrl);
    EXPECT_EQ(job->size, 1234u);
    EXPECT_EQ(job->target, u"\\Temp\\Setup.exe");
}

// Plans jobs for the features; which are downloaded is the planning tests' concern.
void plan(PackageInstaller& installer, const std::vector<FeaturePtr>& features)
{
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> local;
    installer.planDownloads(features, downloaded, local);
}

// Starts the installer's jobs and waits until all are handled.
void runAll(PackageInstaller& installer, RecordingOwner& owner, test::RecordingProcessListener& listener)
{
    installer.start(&listener);
    ASSERT_TRUE(owner.waitAllHandled());
}

TEST_F(PackageInstallerThreads, ThreeOnlineFeaturesArriveByteForByte)
{
    FakeContext context(host_);
    const std::string a = packageBytes(100000, 1);
    const std::string b = packageBytes(5, 2);
    const std::string c = packageBytes(70000, 3);
    FeaturePtr featureA = online(context, "A", a);
    FeaturePtr featureB = online(context, "B", b);
    featureB->setPrompt(u"Bee");
    featureB->setCompressedSize(0);  // no size known: nothing counts as missing
    FeaturePtr featureC = online(context, "C", c);
    featureC->setCompressedSize(static_cast<std::int64_t>(c.size()) + 100);
    FeaturePtr local = featureWithSources(context, u"Local", {{kSourceArchiveEntry, u"Feature/Local", 9, 0}});

    RecordingOwner owner;
    test::RecordingProcessListener listener;
    PackageInstaller installer(context, owner);
    std::vector<FeaturePtr> downloaded;
    std::vector<FeaturePtr> locals;
    installer.planDownloads({featureA, local, featureB, featureC}, downloaded, locals);
    ASSERT_EQ(downloaded.size(), 3u);
    ASSERT_TRUE(installer.checkPackagesPresent());
    runAll(installer, owner, listener);

    const std::string total = std::to_string(a.size() + b.size() + c.size());
    EXPECT_EQ(owner.events(), (Events{"started A", "ready A \\Temp\\Packages/tmp0000_A", "started B",
                                      "ready B \\Temp\\Packages/tmp0001_B", "started C",
                                      "ready C \\Temp\\Packages/tmp0002_C", "all handled"}));
    EXPECT_EQ(listener.events(), (Events{"download begins " + total, "download finished 0"}));
    EXPECT_EQ(packageFile("tmp0000_A"), a);
    EXPECT_EQ(packageFile("tmp0001_B"), b);
    EXPECT_EQ(packageFile("tmp0002_C"), c);
    EXPECT_EQ(context.cache.stores.load(), 3);

    // Progress counts the packages done before the current one, by display name.
    const auto progress = listener.progress();
    ASSERT_FALSE(progress.empty());
    for (std::size_t i = 1; i < progress.size(); ++i)
        EXPECT_LE(progress[i - 1].second, progress[i].second);
    EXPECT_EQ(progress.back(), (std::pair<std::string, std::uint64_t>{"C", a.size() + b.size() + c.size()}));
    EXPECT_NE(std::find(progress.begin(), progress.end(), std::pair<std::string, std::uint64_t>{"Bee", a.size() + 5}),
              progress.end());
    // What is missing never wraps below 0; C ends 100 bytes short of its size.
    const auto missing = owner.missing();
    EXPECT_EQ(missing.back(), 100u);
    EXPECT_LE(*std::max_element(missing.begin(), missing.end()), a.size());

    const auto requests = server_.requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].method, "HEAD");
    EXPECT_EQ(requests[3].method, "GET");
    EXPECT_EQ(requests[5].target, "/C.lzma");
}

// A package whose digest differs is deleted and asked about; the retry runs
// it again after the others, and its second failure asks whether to skip.
TEST_F(PackageInstallerThreads, ADamagedPackageIsRetriedThenSkipped)
{
    FakeContext context(host_);
    const std::string a = packageBytes(30000, 1);
    FeaturePtr featureA = online(context, "A", a, true);
    server_.setReply("/A.lzma", HttpReply::ok(packageBytes(30000, 9)));
    FeaturePtr featureB = online(context, "B", packageBytes(2000, 2));

    RecordingOwner owner;
    test::RecordingProcessListener listener;
    listener.retryAnswers = {true};
    listener.skipAnswers = {true};
    PackageInstaller installer(context, owner);
    plan(installer, {featureA, featureB});
    runAll(installer, owner, listener);

    EXPECT_EQ(listener.events(), (Events{"download begins 32000", "retry? A 3", "skip? A", "download finished 0"}));
    EXPECT_EQ(owner.events(), (Events{"started A", "started B", "ready B \\Temp\\Packages/tmp0001_B", "started A",
                                      "skipped A", "all handled"}));
    EXPECT_TRUE(context.skip.load());
    EXPECT_EQ(leftFiles(), (std::vector<std::string>{"tmp0001_B"}));
    EXPECT_TRUE(log_.contains(u"Bad digest"));
}

// Once the skip choice is on, a skippable feature that fails is skipped
// without a question, and so is one that a cancel ends; the others go on,
// or fail with the cancel.
TEST_F(PackageInstallerThreads, WithTheSkipChoiceOnASkippableFeatureIsSkippedWithoutAsking)
{
    struct Case {
        const char* what;
        bool cancelFirst;
        Events owned;
        std::string finished;
    };
    const Case cases[] = {
        {"a failed transfer", false,
         {"skipped A", "started B", "ready B \\Temp\\Packages/tmp0001_B", "all handled"}, "download finished 0"},
        {"a cancelled run", true, {"skipped A", "failed", "all handled"}, "download finished 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeContext context(host_);
        context.skip = true;
        FeaturePtr featureA = online(context, "A", packageBytes(3000, 1), true);
        server_.setReply("/A.lzma", HttpReply::withStatus(500, "Server Error", "no"));
        FeaturePtr featureB = online(context, "B", packageBytes(3000, 2));
        RecordingOwner owner;
        test::RecordingProcessListener listener;
        PackageInstaller installer(context, owner);
        plan(installer, {featureA, featureB});
        if (c.cancelFirst)
            installer.cancel();
        runAll(installer, owner, listener);

        EXPECT_EQ(listener.events(), (Events{"download begins 6000", c.finished}));
        EXPECT_EQ(owner.events(), c.owned);
    }
}

// Size and digest are the package's identity: a package that differs in
// either is never handed on, and nothing of it stays on the device.
TEST_F(PackageInstallerThreads, APackageThatDoesNotMatchIsNeverReady)
{
    const std::string good = packageBytes(20000, 1);
    HttpReply cut = HttpReply::ok(good);
    cut.cutAfter = 12000;
    struct Case {
        const char* what;
        HttpReply reply;
        bool withDigest;
        int status;
        const char16_t* logged;
    };
    const Case cases[] = {
        {"another digest", HttpReply::ok(packageBytes(20000, 2)), true, 3, u"Bad digest"},
        {"shorter than planned", HttpReply::ok(good.substr(0, 19990)), false, 3, u"Bad file size"},
        {"longer than planned", HttpReply::ok(good + "0123456789"), false, 4, u"Bad file size"},
        {"cut by the server", cut, true, 3, u"Bad file size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_.clear();
        FakeContext context(host_);
        FeaturePtr feature = online(context, "A", good, false, c.withDigest);
        server_.setReply("/A.lzma", c.reply);
        RecordingOwner owner;
        test::RecordingProcessListener listener;
        PackageInstaller installer(context, owner);
        plan(installer, {feature});
        runAll(installer, owner, listener);

        const std::string status = std::to_string(c.status);
        EXPECT_EQ(listener.events(),
                  (Events{"download begins 20000", "retry? A " + status, "download finished " + status}));
        EXPECT_EQ(owner.events(), (Events{"started A", "failed", "all handled"}));
        EXPECT_TRUE(leftFiles().empty());
        EXPECT_TRUE(log_.contains(c.logged));
    }
}

// A feature that cannot be skipped and is not tried again ends the run: the
// downloads still queued end as cancelled, without a question or any traffic,
// and so does every later request of the downloader.
TEST_F(PackageInstallerThreads, ADeclinedRetryCancelsEveryDownload)
{
    FakeContext context(host_);
    FeaturePtr featureA = online(context, "A", packageBytes(3000, 1));
    server_.setReply("/A.lzma", HttpReply::withStatus(404, "Not Found"));
    FeaturePtr featureB = online(context, "B", packageBytes(3000, 2), true);
    FeaturePtr featureC = online(context, "C", packageBytes(3000, 3));

    RecordingOwner owner;
    test::RecordingProcessListener listener;
    PackageInstaller installer(context, owner);
    plan(installer, {featureA, featureB, featureC});
    runAll(installer, owner, listener);

    EXPECT_EQ(listener.events(), (Events{"download begins 9000", "retry? A 2", "download finished 5"}));
    EXPECT_EQ(owner.events(), (Events{"failed", "failed", "failed", "all handled"}));
    EXPECT_EQ(server_.requestCount(), 1u);

    test::RecordingListener later;
    std::shared_ptr<DownloadRequest> request;
    context.downloader.enqueue(url("B"), {}, 1000, &later, request);
    ASSERT_TRUE(later.waitFinished());
    EXPECT_EQ(later.status(), kDownloadCancelled);
    EXPECT_EQ(server_.requestCount(), 1u);
}

// A package that cannot be written whole is refused at once (status 4) and
// deleted: a short file would pass the digest of the bytes received.
TEST_F(PackageInstallerThreads, AFailedWriteEndsTheRequestWithStatus4)
{
    struct Case {
        const char* what;
        test::HalFaultPlan plan;
        const char16_t* logged;
    };
    Case cases[] = {
        {"a failed write", {}, u"Failed writing to file"},
        {"a short write", {}, u"Failed writing to file"},
        {"a failed create", {}, u"Failed to create file \\Temp\\Packages/tmp0000_A"},
    };
    cases[0].plan.failWriteNumber = 2;
    cases[1].plan.shortWriteNumber = 1;
    cases[2].plan.failOpenContaining = u"tmp0000";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_.clear();
        auto faulty = std::make_shared<test::FaultInjectingHal>(host_, c.plan);
        FakeContext context(faulty);
        FeaturePtr feature = online(context, "A", packageBytes(200000, 1));
        RecordingOwner owner;
        test::RecordingProcessListener listener;
        PackageInstaller installer(context, owner);
        plan(installer, {feature});
        runAll(installer, owner, listener);

        EXPECT_EQ(listener.events(), (Events{"download begins 200000", "retry? A 4", "download finished 4"}));
        EXPECT_EQ(owner.events(), (Events{"started A", "failed", "all handled"}));
        EXPECT_TRUE(leftFiles().empty());
        EXPECT_TRUE(log_.contains(c.logged));
        EXPECT_TRUE(log_.contains(u"progress.onProgress"));
    }
}

// A retry starts the package from nothing: the file is made anew, not
// continued, and the progress goes back.
TEST_F(PackageInstallerThreads, ARetryStartsFromACleanState)
{
    FakeContext context(host_);
    const std::string a = packageBytes(50000, 1);
    FeaturePtr feature = online(context, "A", a);
    HttpReply cut = HttpReply::ok(a);
    cut.cutAfter = 30000;
    server_.queueReplies("/A.lzma", {cut});

    RecordingOwner owner;
    test::RecordingProcessListener listener;
    listener.retryAnswers = {true};
    PackageInstaller installer(context, owner);
    plan(installer, {feature});
    runAll(installer, owner, listener);

    EXPECT_EQ(listener.events(), (Events{"download begins 50000", "retry? A 3", "download finished 0"}));
    EXPECT_EQ(owner.events(),
              (Events{"started A", "started A", "ready A \\Temp\\Packages/tmp0000_A", "all handled"}));
    EXPECT_EQ(packageFile("tmp0000_A"), a);
    const auto progress = listener.progress();
    const auto back = std::adjacent_find(progress.begin(), progress.end(),
                                         [](const auto& x, const auto& y) { return y.second < x.second; });
    EXPECT_NE(back, progress.end());
    EXPECT_EQ(progress.back().second, a.size());
}

// A cancel in the middle of a transfer ends every job without a question,
// and the package half written is deleted.
TEST_F(PackageInstallerThreads, ACancelAsksNothingAndLeavesNoPartialFile)
{
    FakeContext context(host_);
    const std::string a = packageBytes(200000, 1);
    FeaturePtr featureA = online(context, "A", a);
    HttpReply stalled = HttpReply::ok(a);
    stalled.stallAt = {100000};
    server_.setReply("/A.lzma", stalled);
    FeaturePtr featureB = online(context, "B", packageBytes(3000, 2), true);
    FeaturePtr featureC = online(context, "C", packageBytes(3000, 3));

    RecordingOwner owner;
    test::RecordingProcessListener listener;
    listener.retryAnswers = {true, true, true};
    listener.skipAnswers = {true, true, true};
    PackageInstaller installer(context, owner);
    plan(installer, {featureA, featureB, featureC});
    installer.start(&listener);
    ASSERT_TRUE(owner.waitForData());
    ASSERT_TRUE(server_.waitForStalls(1));
    EXPECT_EQ(leftFiles(), (std::vector<std::string>{"tmp0000_A"}));
    installer.cancel();
    ASSERT_TRUE(owner.waitAllHandled());

    EXPECT_EQ(listener.events(), (Events{"download begins 206000", "download finished 5"}));
    EXPECT_EQ(owner.events(), (Events{"started A", "failed", "failed", "failed", "all handled"}));
    EXPECT_TRUE(leftFiles().empty());
    EXPECT_FALSE(context.skip.load());
    EXPECT_EQ(server_.requestCount(), 1u);
}

// The check asks the server for each package's size and gives up on the
// first that is missing or has another size.
TEST_F(PackageInstallerThreads, TheCheckFindsMissingAndResizedPackages)
{
    struct Case {
        const char* what;
        std::optional<HttpReply> replyB;
        bool present;
    };
    HttpReply resized = HttpReply::ok(packageBytes(3000, 2));
    resized.contentLength = 2999;
    const Case cases[] = {
        {"all there", std::nullopt, true},
        {"another size", resized, false},
        {"missing", HttpReply::withStatus(404, "Not Found"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        log_.clear();
        FakeContext context(host_);
        FeaturePtr featureA = online(context, "A", packageBytes(3000, 1));
        FeaturePtr featureB = online(context, "B", packageBytes(3000, 2));
        if (c.replyB)
            server_.setReply("/B.lzma", *c.replyB);
        RecordingOwner owner;
        PackageInstaller installer(context, owner);
        plan(installer, {featureA, featureB});
        EXPECT_EQ(installer.checkPackagesPresent(), c.present);
        EXPECT_EQ(installer.jobCount(), c.present ? 2u : 0u);
        EXPECT_EQ(installer.totalBytes(), c.present ? 6000u : 0u);
        EXPECT_EQ(log_.contains(u"********** Package at " + std::u16string(url("B").view()) + u" is not present **********"),
                  !c.present);
    }
    FakeContext context(host_);
    RecordingOwner owner;
    PackageInstaller empty(context, owner);
    EXPECT_TRUE(empty.checkPackagesPresent());
}

// The new installer is saved where the controller says and bypasses the cache.
TEST_F(PackageInstallerThreads, TheNewInstallerIsSavedAtItsTarget)
{
    FakeContext context(host_);
    const std::string setup = packageBytes(40000, 5);
    server_.setReply("/files/Setup_5.2.exe", HttpReply::ok(setup));
    context.mode = kWizardModeNewVersionDownload;
    context.newVersionUrl = wide(server_.url("/files/Setup_5.2.exe"));
    context.newVersionSize = setup.size();
    context.newVersionTarget = u"\\Temp\\Setup.exe";

    RecordingOwner owner;
    test::RecordingProcessListener listener;
    PackageInstaller installer(context, owner);
    plan(installer, {});
    ASSERT_TRUE(installer.checkPackagesPresent());
    runAll(installer, owner, listener);

    EXPECT_EQ(owner.events(), (Events{"started Setup_5.2.exe", "ready Setup_5.2.exe \\Temp\\Setup.exe", "all handled"}));
    EXPECT_EQ(device().readFile("Temp/Setup.exe"), setup);
    EXPECT_EQ(context.cache.stores.load(), 0);
}

}  // namespace
}  // namespace druvex
