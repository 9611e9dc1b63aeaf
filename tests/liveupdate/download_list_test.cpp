// Download lists on a test device: a batch announced and advanced per file,
// failed files deleted and never kept, the batch's one end report, a
// teardown that waits for an end report under way, and targets that stay
// inside the device folder.
#include "liveupdate/download_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "liveupdate/liveupdate_test_text.h"
#include "liveupdate/recording_listener.h"
#include "liveupdate/web_downloader.h"
#include "support/diag_capture.h"
#include "support/fault_injecting_hal.h"
#include "support/held_report.h"
#include "support/host_fixture.h"
#include "support/loopback_http_server.h"

namespace druvex {
namespace {

using test::HttpReply;
using test::RecordingListener;
using test::wide;
const auto sha1Hex = test::wideSha1;
using Events = std::vector<std::string>;

class DownloadListThreads : public test::HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        device().makeFolder("Lang");
        server_.setReply("/lng_de.lng", HttpReply::ok("Deutsch"));
        server_.setReply("/lng_fr.lng", HttpReply::ok("Francais"));
        server_.setReply("/lng_es.lng", HttpReply::ok("Espanol"));
    }

    SharedString url(std::string_view path) const { return wide(server_.url(path)); }

    test::LoopbackHttpServer server_;
    test::DiagCapture log_;
};

TEST_F(DownloadListThreads, BatchOfThreeAnnouncesAndAdvances)
{
    RecordingListener batch;
    WebDownloader downloader;
    DownloadList list(host_, downloader, &batch);
    list.add(u"\\Lang\\lng_de.lng", 1031, sha1Hex("Deutsch"), url("/lng_de.lng"));
    list.add(u"\\Lang\\lng_fr.lng", 1036, sha1Hex("Francais"), url("/lng_fr.lng"));
    list.add(u"\\Lang\\lng_es.lng", 3082, {}, url("/lng_es.lng"));
    EXPECT_EQ(list.count(), 3u);
    list.startAll();
    ASSERT_TRUE(batch.waitFinished());
    EXPECT_EQ(batch.events(), (Events{"length 30720", "finished 0"}));
    EXPECT_EQ(batch.pieces(), 3);
    EXPECT_EQ(batch.dataBytes(), 30720u);
    EXPECT_EQ(batch.finishers(), std::vector{list.item(2)->request.get()});
    EXPECT_EQ(list.item(1)->id, 1036);
    EXPECT_EQ(device().readFile("Lang/lng_de.lng"), "Deutsch");
    EXPECT_EQ(device().readFile("Lang/lng_fr.lng"), "Francais");
    EXPECT_EQ(device().readFile("Lang/lng_es.lng"), "Espanol");

    list.clear();
    EXPECT_EQ(list.count(), 0u);
    EXPECT_EQ(list.item(0), nullptr);
}

// A file whose size or digest does not match is deleted, never kept; the
// batch goes on and ends with its last file's status.
TEST_F(DownloadListThreads, FailedFilesAreDeletedAndDoNotAdvance)
{
    HttpReply cut = HttpReply::ok("Francais");
    cut.cutAfter = 5;
    server_.setReply("/lng_fr.lng", cut);
    server_.setReply("/lng_es.lng", HttpReply::withStatus(404, "Not Found", "no"));
    RecordingListener batch;
    WebDownloader downloader;
    DownloadList list(host_, downloader, &batch);
    list.add(u"\\Lang\\lng_de.lng", 1031, sha1Hex("Something else"), url("/lng_de.lng"));
    list.add(u"\\Lang\\lng_fr.lng", 1036, {}, url("/lng_fr.lng"));
    list.add(u"\\Lang\\lng_it.lng", 1040, sha1Hex("Italiano"), url("/lng_de.lng"));
    list.add(u"\\Lang\\lng_es.lng", 3082, {}, url("/lng_es.lng"));
    list.startAll();
    ASSERT_TRUE(batch.waitFinished());
    EXPECT_EQ(batch.events(), (Events{"length 40960", "finished 2"}));
    EXPECT_EQ(batch.pieces(), 0);
    EXPECT_FALSE(device().exists("Lang/lng_de.lng"));
    EXPECT_FALSE(device().exists("Lang/lng_fr.lng"));
    EXPECT_FALSE(device().exists("Lang/lng_it.lng"));
    EXPECT_FALSE(device().exists("Lang/lng_es.lng"));
    EXPECT_TRUE(log_.contains(u"Bad digest"));
    EXPECT_TRUE(log_.contains(u"Bad file size"));
}

// One file that fails: without a length its target is never opened; a file
// that does not close cleanly may not hold what arrived; a request that fails
// before its file was opened leaves a file already there alone.
TEST_F(DownloadListThreads, ASingleFailedFileIsNeverKept)
{
    HttpReply noLength = HttpReply::ok("Deutsch");
    noLength.omitLength = true;
    test::HalFaultPlan failClose;
    failClose.failClose = true;
    const struct {
        const char* what;
        std::optional<HttpReply> reply;
        test::HalFaultPlan faults;
        const char* path;
        const char* earlier;
        Events events;
        const char16_t* logged;
    } cases[] = {
        {"no length", noLength, {}, "/lng_de.lng", nullptr, {"length 10240", "finished 4"}, nullptr},
        {"a failed close", std::nullopt, failClose, "/lng_de.lng", nullptr, {"length 10240", "finished 3"},
         u"Failed closing the file"},
        {"a failed request", std::nullopt, {}, "/not_there.lng", "installed earlier", {"length 10240", "finished 2"},
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(device().hostPath("Lang/lng_de.lng"));
        if (c.earlier)
            device().writeFile("Lang/lng_de.lng", c.earlier);
        server_.setReply("/lng_de.lng", c.reply.value_or(HttpReply::ok("Deutsch")));
        RecordingListener batch;
        WebDownloader downloader;
        DownloadList list(std::make_shared<test::FaultInjectingHal>(host_, c.faults), downloader, &batch);
        list.add(u"\\Lang\\lng_de.lng", 1031, sha1Hex("Deutsch"), url(c.path));
        list.startAll();
        ASSERT_TRUE(batch.waitFinished());
        EXPECT_EQ(batch.events(), c.events);
        EXPECT_EQ(batch.pieces(), 0);
        EXPECT_EQ(device().exists("Lang/lng_de.lng"), c.earlier != nullptr);
        if (c.earlier) {
            EXPECT_EQ(device().readFile("Lang/lng_de.lng"), c.earlier);
        }
        if (c.logged) {
            EXPECT_TRUE(log_.contains(c.logged));
        }
    }
}

// A list that goes away while its files download cancels them: no request
// calls into a freed item afterwards.
TEST_F(DownloadListThreads, DestroyingARunningListCancelsIt)
{
    HttpReply stalled = HttpReply::ok("Deutsch");
    stalled.stallAt = {3};
    server_.setReply("/lng_de.lng", stalled);
    RecordingListener batch;
    WebDownloader downloader;
    std::shared_ptr<DownloadRequest> request;
    {
        DownloadList list(host_, downloader, &batch);
        list.add(u"\\Lang\\lng_de.lng", 1031, {}, url("/lng_de.lng"));
        list.add(u"\\Lang\\lng_fr.lng", 1036, {}, url("/lng_fr.lng"));
        list.startAll();
        ASSERT_TRUE(server_.waitForStalls(1));
        request = list.item(0)->request;
    }
    EXPECT_EQ(request->state(), kRequestCancelled);
    server_.releaseStalls();
    downloader.shutdown();
    EXPECT_EQ(batch.events(), Events{"length 20480"});
    EXPECT_FALSE(device().exists("Lang/lng_de.lng"));
    EXPECT_FALSE(device().exists("Lang/lng_fr.lng"));
    EXPECT_EQ(server_.requestCount(), 1u);
}

// A batch listener that holds the list's report of an arrived file.
class HeldBatchListener final : public DownloadListener {
public:
    void onContentLength(DownloadRequest&, std::uint64_t) override {}
    void onBegin(DownloadRequest&) override {}
    bool onData(DownloadRequest&, std::uint32_t, std::uint32_t, const std::uint8_t*) override
    {
        held.hold();
        return true;
    }
    void onFinished(DownloadRequest&, int status, bool&) override { held.note("finished " + std::to_string(status)); }

    test::HeldReport held;
};

// The worker marks a request finished before it reports its end, so a cancel
// finds nothing to stop while that report runs: clearing or destroying the
// list must still wait for it, or the report goes on in freed items.
TEST_F(DownloadListThreads, TakingAListApartWaitsForAnEndReportUnderWay)
{
    for (const bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "destroyed" : "cleared");
        HeldBatchListener batch;
        WebDownloader downloader;
        auto list = std::make_unique<DownloadList>(host_, downloader, &batch);
        list->add(u"\\Lang\\lng_de.lng", 1031, {}, url("/lng_de.lng"));
        list->startAll();
        ASSERT_TRUE(batch.held.waitHeld());
        batch.held.tearDown([&] { destroy ? list.reset() : list->clear(); });
        EXPECT_EQ(batch.held.events(), (Events{"held", "teardown", "left", "finished 0", "gone"}));
        EXPECT_EQ(device().readFile("Lang/lng_de.lng"), "Deutsch");
    }
}

TEST_F(DownloadListThreads, CancelAllBeforeTheBatchRuns)
{
    RecordingListener busy, batch;
    WebDownloader downloader;
    // Keeps the worker busy, so that the batch stays queued.
    HttpReply stalled = HttpReply::ok("0123456789");
    stalled.stallAt = {4};
    server_.setReply("/stall", stalled);
    std::shared_ptr<DownloadRequest> running;
    downloader.enqueue(url("/stall"), {}, 0, &busy, running);
    ASSERT_TRUE(busy.waitForData(4));

    DownloadList list(host_, downloader, &batch);
    list.add(u"\\Lang\\lng_de.lng", 1031, {}, url("/lng_de.lng"));
    list.add(u"\\Lang\\lng_fr.lng", 1036, {}, url("/lng_fr.lng"));
    list.startAll();
    list.cancelAll();
    EXPECT_EQ(batch.events(), (Events{"length 20480", "finished 5"}));
    EXPECT_EQ(list.item(0)->request->state(), kRequestCancelled);
    EXPECT_EQ(list.item(1)->request->state(), kRequestCancelled);
    server_.releaseStalls();
    ASSERT_TRUE(busy.waitFinished());
    EXPECT_EQ(server_.requestCount(), 1u);
    EXPECT_FALSE(device().exists("Lang/lng_de.lng"));
}

// A downloader that was shut down ends each request at once, on the thread
// that queues it: the batch still hears the announced total first, and its
// end before startAll returns.
TEST_F(DownloadListThreads, AShutDownDownloaderEndsTheBatchAfterItsAnnouncement)
{
    WebDownloader downloader;
    downloader.shutdown();
    for (const int files : {1, 2}) {
        RecordingListener batch;
        DownloadList list(host_, downloader, &batch);
        list.add(u"\\Lang\\lng_de.lng", 1031, {}, url("/lng_de.lng"));
        if (files == 2)
            list.add(u"\\Lang\\lng_fr.lng", 1036, {}, url("/lng_fr.lng"));
        list.startAll();
        EXPECT_EQ(batch.events(), (Events{"length " + std::to_string(10240 * files), "finished 5"})) << files;
        EXPECT_EQ(list.item(0)->request->state(), kRequestFinished);
    }
    EXPECT_EQ(server_.requestCount(), 0u);
    EXPECT_FALSE(device().exists("Lang/lng_de.lng"));
}

// Addresses and targets come from a bulletin: none may reach outside the
// device folder or read a local file.
TEST_F(DownloadListThreads, TargetsAndAddressesStayInsideTheDevice)
{
    RecordingListener batch;
    WebDownloader downloader;
    DownloadList list(host_, downloader, &batch);
    list.add(u"\\..\\..\\..\\escaped.lng", 1, {}, url("/lng_de.lng"));
    list.add(u"\\Lang\\..\\..\\escaped2.lng", 2, {}, url("/lng_de.lng"));
    list.add(u"\\Lang\\local.lng", 3, {}, u"file:///etc/hostname");
    list.add(u"\\Lang\\dots.lng", 4, {}, url("/../../lng_fr.lng"));
    list.startAll();
    ASSERT_TRUE(batch.waitFinished());
    EXPECT_EQ(batch.status(), kDownloadOk);

    EXPECT_FALSE(std::filesystem::exists(device().directory() / "escaped.lng"));
    EXPECT_FALSE(std::filesystem::exists(device().directory().parent_path() / "escaped.lng"));
    EXPECT_FALSE(std::filesystem::exists(device().directory() / "escaped2.lng"));
    EXPECT_FALSE(device().exists("Lang/local.lng"));
    // The dots name a file on the server, never where it is written.
    EXPECT_EQ(device().readFile("Lang/dots.lng"), "Francais");
    EXPECT_EQ(server_.requestCount(), 3u);
    for (const test::RecordedRequest& request : server_.requests())
        EXPECT_EQ(request.target.find(".."), std::string::npos);
}

}  // namespace
}  // namespace druvex
