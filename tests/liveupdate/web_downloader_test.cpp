// The web downloader against real servers on 127.0.0.1: the status of every
// kind of failure, cancellation, retry, shutdown while a server stalls, the
// proxy, the HEAD probe, and Python's http.server as an independent server.
#include "liveupdate/web_downloader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "liveupdate/liveupdate_test_text.h"
#include "liveupdate/recording_listener.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/fake_http_clock.h"
#include "support/loopback_http_server.h"
#include "support/python_http_server.h"

namespace druvex {
namespace {

using test::HttpReply;
using test::RecordingListener;
using test::sha1Hex;
using test::wide;
using Events = std::vector<std::string>;

class WebDownloaderThreads : public test::DeviceFixture {
protected:
    void TearDown() override
    {
        setUseProxy(false);
        DeviceFixture::TearDown();
    }

    SharedString url(std::string_view path) const { return wide(server_.url(path)); }

    // Queues one request and waits for its end.
    std::shared_ptr<DownloadRequest> fetch(WebDownloader& downloader, const SharedString& address,
                                           RecordingListener& listener, std::string_view digest = {},
                                           std::uint32_t timeout = 0)
    {
        std::shared_ptr<DownloadRequest> request;
        downloader.enqueue(address, wide(digest), timeout, &listener, request);
        EXPECT_TRUE(listener.waitFinished());
        return request;
    }

    // A request that keeps the worker busy until the server is released.
    void occupy(WebDownloader& downloader, RecordingListener& listener, std::shared_ptr<DownloadRequest>& request)
    {
        HttpReply stalled = HttpReply::ok("0123456789");
        stalled.stallAt = {4};
        server_.setReply("/stall", stalled);
        downloader.enqueue(url("/stall"), {}, 0, &listener, request);
        ASSERT_TRUE(listener.waitForData(4));
    }

    test::LoopbackHttpServer server_;
    test::DiagCapture log_;
};

TEST_F(WebDownloaderThreads, FaultMatrix)
{
    const std::string body = "payload bytes";
    server_.setReply("/ok", HttpReply::ok(body));
    HttpReply noLength = HttpReply::ok("abc");
    noLength.omitLength = true;
    server_.setReply("/nolength", noLength);
    server_.setReply("/missing", HttpReply::withStatus(404, "Not Found", "<html>no</html>"));
    server_.setReply("/moved", HttpReply::redirect(server_.url("/ok")));
    HttpReply silent;
    silent.closeWithoutReply = true;
    server_.setReply("/silent", silent);
    HttpReply cut = HttpReply::ok("0123456789");
    cut.cutAfter = 9;
    server_.setReply("/cut", cut);
    HttpReply longer = HttpReply::ok("0123456789");
    longer.contentLength = 20;
    server_.setReply("/long", longer);
    HttpReply shorter = HttpReply::ok("0123456789");
    shorter.contentLength = 5;
    server_.setReply("/short", shorter);
    HttpReply noStatusLine;
    noStatusLine.raw = "no status line here\r\n";
    server_.setReply("/nostatus", noStatusLine);
    HttpReply chunkCut;
    chunkCut.raw = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n";
    server_.setReply("/chunkcut", chunkCut);
    test::LoopbackHttpServer gone;
    const SharedString goneUrl = wide(gone.url("/ok"));
    gone.stop();

    const struct {
        const char* name;
        SharedString url;
        std::string digest;
        int status;
        std::size_t requests;
        Events events;
        std::string data;
        std::u16string_view logged;
    } cases[] = {
        {"complete", url("/ok"), sha1Hex(body), 0, 1, {"length 13", "begin", "finished 0"}, body,
         u"returned 0"},
        {"no length", url("/nolength"), "", 0, 1, {"begin", "finished 0"}, "abc", u"returned 0"},
        {"file url", u"file:///etc/passwd", "", 1, 0, {"finished 1"}, "", u"Error invoking InternetConnect"},
        {"not a url", u"notaurl", "", 1, 0, {"finished 1"}, "", u"Error invoking InternetConnect"},
        {"404", url("/missing"), "", 2, 1, {"finished 2"}, "", u"Error during parseForHttpResultOk"},
        {"302", url("/moved"), "", 2, 1, {"finished 2"}, "", u"Error during parseForHttpResultOk"},
        {"server gone", goneUrl, "", 2, 0, {"finished 2"}, "", u"Error invoking HttpSendRequest"},
        {"no reply", url("/silent"), "", 2, 1, {"finished 2"}, "", u"Error invoking HttpSendRequest"},
        {"no status line", url("/nostatus"), "", 2, 1, {"finished 2"}, "", u"Error invoking HttpSendRequest"},
        {"truncated", url("/cut"), "", 3, 1, {"length 10", "begin", "finished 3"}, "012345678", u"Bad file size"},
        {"wrong length", url("/long"), "", 3, 1, {"length 20", "begin", "finished 3"}, "0123456789",
         u"Bad file size"},
        {"longer than announced", url("/short"), sha1Hex("0123456789"), 3, 1,
         {"length 5", "begin", "finished 3"}, "01234", u"Bad digest"},
        {"wrong digest", url("/ok"), sha1Hex("other"), 3, 1, {"length 13", "begin", "finished 3"}, body,
         u"********** Bad digest **********"},
        {"lower-case digest", url("/ok"), sha1Hex(body, false), 3, 1, {"length 13", "begin", "finished 3"}, body,
         u"Bad digest"},
        {"cut chunks", url("/chunkcut"), "", 3, 1, {"begin", "finished 3"}, "hello",
         u"Error invoking Unknown error in download"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log_.clear();
        const std::size_t before = server_.requestCount();
        RecordingListener listener;
        WebDownloader downloader;
        fetch(downloader, c.url, listener, c.digest);
        downloader.shutdown();
        EXPECT_EQ(listener.status(), c.status);
        EXPECT_EQ(listener.events(), c.events);
        EXPECT_EQ(listener.data(), c.data);
        EXPECT_EQ(server_.requestCount() - before, c.requests);
        EXPECT_TRUE(log_.contains(u"<--- Starting downloading file at " + std::u16string(c.url.view())));
        EXPECT_TRUE(log_.contains(u"<--- Download of file at " + std::u16string(c.url.view()) + u" returned " +
                                  static_cast<char16_t>(u'0' + c.status)));
        EXPECT_TRUE(log_.contains(c.logged));
    }
    for (const test::RecordedRequest& request : server_.requests()) {
        EXPECT_EQ(request.header("User-Agent"), "DruvexInstaller/3.0");
        EXPECT_EQ(request.method, "GET");
    }
}

TEST_F(WebDownloaderThreads, ARefusedPieceEndsWithFour)
{
    server_.setReply("/ok", HttpReply::ok("data"));
    RecordingListener listener;
    WebDownloader downloader;
    listener.refuseData = true;
    fetch(downloader, url("/ok"), listener);
    EXPECT_EQ(listener.status(), kDownloadRefused);
    EXPECT_EQ(listener.pieces(), 1);
    EXPECT_TRUE(log_.contains(u"********** progress.onProgress **********"));
}

// A server that goes quiet: the idle time-out passes on the fake clock.
TEST_F(WebDownloaderThreads, IdleTimeOutBeforeTheReplyAndWithinTheBody)
{
    HttpReply beforeReply = HttpReply::ok("late");
    beforeReply.stallBeforeReply = true;
    server_.setReply("/before", beforeReply);
    HttpReply midBody = HttpReply::ok("0123456789");
    midBody.stallAt = {4};
    server_.setReply("/mid", midBody);
    for (const bool inBody : {false, true}) {
        test::FakeHttpClock clock;
        RecordingListener listener;
        WebDownloader downloader(&clock);
        std::shared_ptr<DownloadRequest> request;
        downloader.enqueue(url(inBody ? "/mid" : "/before"), {}, 300, &listener, request);
        ASSERT_TRUE(server_.waitForStalls(1));
        if (inBody) {
            ASSERT_TRUE(listener.waitForData(4));
        }
        clock.advance(301);
        ASSERT_TRUE(listener.waitFinished());
        EXPECT_EQ(listener.status(), inBody ? kDownloadTransferFailed : kDownloadRequestFailed);
        server_.releaseStalls();
    }
}

TEST_F(WebDownloaderThreads, CancelAQueuedRequest)
{
    RecordingListener busy, queued;
    WebDownloader downloader;
    std::shared_ptr<DownloadRequest> running, waiting;
    occupy(downloader, busy, running);
    downloader.enqueue(url("/ok"), {}, 0, &queued, waiting);
    downloader.cancel(waiting);
    // Reported on this thread before cancel returned.
    EXPECT_EQ(queued.events(), Events{"finished 5"});
    EXPECT_EQ(queued.finishThreads(), std::vector{std::this_thread::get_id()});
    EXPECT_EQ(waiting->state(), kRequestCancelled);
    downloader.cancel(waiting);
    EXPECT_EQ(queued.events(), Events{"finished 5"});

    server_.releaseStalls();
    ASSERT_TRUE(busy.waitFinished());
    EXPECT_EQ(busy.status(), kDownloadOk);
    EXPECT_NE(busy.finishThreads()[0], std::this_thread::get_id());
    // Cancelling a finished request does nothing.
    downloader.cancel(running);
    EXPECT_EQ(busy.events(), (Events{"length 10", "begin", "finished 0"}));
    EXPECT_EQ(server_.requestCount(), 1u);
}

TEST_F(WebDownloaderThreads, CancelARunningRequest)
{
    RecordingListener busy, next;
    WebDownloader downloader;
    std::shared_ptr<DownloadRequest> running, after;
    occupy(downloader, busy, running);
    downloader.cancel(running);
    EXPECT_EQ(busy.events(), (Events{"length 10", "begin", "finished 5"}));
    EXPECT_EQ(busy.finishThreads(), std::vector{std::this_thread::get_id()});

    // The worker moves on at once, while the server still stalls.
    server_.setReply("/next", HttpReply::ok("next"));
    fetch(downloader, url("/next"), next);
    EXPECT_EQ(next.status(), kDownloadOk);
    EXPECT_EQ(server_.stalledCount(), 1u);
    server_.releaseStalls();
    downloader.shutdown();
    EXPECT_EQ(busy.events(), (Events{"length 10", "begin", "finished 5"}));
    EXPECT_EQ(busy.data(), "0123");
}

TEST_F(WebDownloaderThreads, CancelAllEndsEverythingForGood)
{
    RecordingListener busy, queued, later;
    WebDownloader downloader;
    std::shared_ptr<DownloadRequest> running, waiting, late;
    occupy(downloader, busy, running);
    downloader.enqueue(url("/ok"), {}, 0, &queued, waiting);
    downloader.cancelAll();
    ASSERT_TRUE(busy.waitFinished());
    ASSERT_TRUE(queued.waitFinished());
    EXPECT_EQ(busy.status(), kDownloadCancelled);
    EXPECT_EQ(queued.events(), Events{"finished 5"});
    // A request reported at cancelAll is finished: a later cancel does not
    // report it a second time.
    downloader.cancel(waiting);
    EXPECT_EQ(queued.events(), Events{"finished 5"});

    fetch(downloader, url("/ok"), later);
    EXPECT_EQ(later.events(), Events{"finished 5"});
    EXPECT_EQ(server_.requestCount(), 1u);
    server_.releaseStalls();
}

TEST_F(WebDownloaderThreads, RetryFetchesTheWholeFileAgain)
{
    HttpReply cut = HttpReply::ok("0123456789");
    cut.cutAfter = 6;
    server_.queueReplies("/r", {cut});
    server_.setReply("/r", HttpReply::ok("0123456789"));
    RecordingListener listener;
    WebDownloader downloader;
    listener.retryOn = [](int status, int count) { return status == kDownloadTransferFailed && count == 1; };
    std::shared_ptr<DownloadRequest> request;
    downloader.enqueue(url("/r"), wide(sha1Hex("0123456789")), 0, &listener, request);
    ASSERT_TRUE(listener.waitFinished(2));
    EXPECT_EQ(listener.events(),
              (Events{"length 10", "begin", "finished 3", "length 10", "begin", "finished 0"}));
    EXPECT_EQ(listener.data(), "0123456789");
    EXPECT_EQ(server_.requestCount(), 2u);
    EXPECT_EQ(request->state(), kRequestFinished);
}

// A retry asked for while the downloader is being stopped is not run, but the
// listener that asked still hears an end.
TEST_F(WebDownloaderThreads, ARetryRefusedByAStopStillEnds)
{
    server_.setReply("/gone", HttpReply::withStatus(404, "Not Found"));
    RecordingListener listener;
    WebDownloader downloader;
    listener.retryOn = [&](int, int count) {
        if (count == 1)
            downloader.cancelAll();
        return count == 1;
    };
    std::shared_ptr<DownloadRequest> request;
    downloader.enqueue(url("/gone"), {}, 0, &listener, request);
    ASSERT_TRUE(listener.waitFinished(2));
    EXPECT_EQ(listener.events(), (Events{"finished 2", "finished 5"}));
    EXPECT_EQ(server_.requestCount(), 1u);
}

// Listener calls hold no lock of the queue: a listener may queue the next
// request from its end report.
TEST_F(WebDownloaderThreads, AListenerMayQueueFromItsEndReport)
{
    server_.setReply("/a", HttpReply::ok("first"));
    server_.setReply("/b", HttpReply::ok("second"));
    RecordingListener first, second;
    WebDownloader downloader;
    std::shared_ptr<DownloadRequest> next;
    first.retryOn = [&](int, int) {
        downloader.enqueue(url("/b"), {}, 0, &second, next);
        return false;
    };
    fetch(downloader, url("/a"), first);
    ASSERT_TRUE(second.waitFinished());
    EXPECT_EQ(second.status(), kDownloadOk);
    EXPECT_EQ(second.data(), "second");
}

TEST_F(WebDownloaderThreads, ShutdownDoesNotWaitForAStalledServer)
{
    RecordingListener busy, queued, afterwards;
    auto downloader = std::make_unique<WebDownloader>();
    std::shared_ptr<DownloadRequest> running, waiting, late;
    occupy(*downloader, busy, running);
    downloader->enqueue(url("/ok"), {}, 0, &queued, waiting);
    // Would end the program after 5,000 ms if the worker waited for the server.
    downloader->shutdown();
    EXPECT_EQ(server_.stalledCount(), 1u);
    EXPECT_EQ(busy.events(), (Events{"length 10", "begin", "finished 5"}));
    EXPECT_EQ(queued.events(), Events{"finished 5"});

    downloader->enqueue(url("/ok"), {}, 0, &afterwards, late);
    EXPECT_EQ(afterwards.events(), Events{"finished 5"});
    downloader.reset();

    // Nothing arrives after the downloader is gone, whatever the server does.
    server_.releaseStalls();
    server_.stop();
    EXPECT_EQ(busy.events(), (Events{"length 10", "begin", "finished 5"}));
    EXPECT_EQ(queued.events(), Events{"finished 5"});
    EXPECT_EQ(afterwards.events(), Events{"finished 5"});
    EXPECT_EQ(server_.requestCount(), 1u);
}

TEST_F(WebDownloaderThreads, DestroyingTheDownloaderEndsItsRequests)
{
    RecordingListener busy, queued;
    std::shared_ptr<DownloadRequest> running, waiting;
    {
        WebDownloader downloader;
        occupy(downloader, busy, running);
        downloader.enqueue(url("/ok"), {}, 0, &queued, waiting);
    }
    const Events busyEvents = busy.events(), queuedEvents = queued.events();
    EXPECT_EQ(busyEvents.back(), "finished 5");
    EXPECT_EQ(queuedEvents, Events{"finished 5"});
    server_.releaseStalls();
    server_.stop();
    EXPECT_EQ(busy.events(), busyEvents);
    EXPECT_EQ(queued.events(), queuedEvents);
}

TEST_F(WebDownloaderThreads, ProxyOfTheDeviceProfile)
{
    server_.setReply("/p", HttpReply::ok("via proxy"));
    DeviceConfig config = device().config();
    config.proxy = wide("127.0.0.1:" + std::to_string(server_.port()));
    device().reconfigure(config);
    EXPECT_FALSE(getUseProxy());
    setUseProxy(true);
    EXPECT_TRUE(getUseProxy());
    RecordingListener listener;
    WebDownloader downloader;
    fetch(downloader, u"http://update.invalid/p", listener);
    EXPECT_EQ(listener.status(), kDownloadOk);
    EXPECT_EQ(listener.data(), "via proxy");
    ASSERT_EQ(server_.requestCount(), 1u);
    EXPECT_EQ(server_.requests()[0].target, "http://update.invalid/p");
}

class ProbeSizeThreads : public WebDownloaderThreads {};

TEST_F(ProbeSizeThreads, HeadRequestAndAnnouncedLength)
{
    server_.setReply("/pkg.lzma", HttpReply::ok("0123456789"));
    server_.setReply("/missing", HttpReply::withStatus(404, "Not Found", "no"));
    test::LoopbackHttpServer gone;
    const SharedString goneUrl = wide(gone.url("/pkg.lzma"));
    gone.stop();
    WebDownloader downloader;
    const struct {
        SharedString url;
        std::uint64_t expected;
        bool present;
    } cases[] = {
        {url("/pkg.lzma"), 10, true},  {url("/pkg.lzma"), 0, true},  {url("/pkg.lzma"), 11, false},
        {url("/pkg.lzma"), 9, false},  {url("/missing"), 0, false},  {url("/missing"), 2, false},
        {goneUrl, 0, false},           {u"file:///etc/passwd", 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(downloader.probeSize(c.url, 10000, c.expected), c.present) << toUtf8(c.url).c_str();
    EXPECT_EQ(server_.requestCount(), 6u);
    for (const test::RecordedRequest& request : server_.requests())
        EXPECT_EQ(request.method, "HEAD");
}

// Python's http.server, which no one here wrote, as the other side.
TEST_F(WebDownloaderThreads, FetchesFromPythonHttpServer)
{
    test::ScratchDir folder;
    std::string content;
    for (int i = 0; i < 100000; ++i)
        content += static_cast<char>((i * 7919) >> 3);
    test::writeFileBytes(folder.path() / "big.bin", test::Bytes(content.begin(), content.end()));
    test::PythonHttpServer python(folder.path());
    ASSERT_TRUE(python.running()) << "python3's http.server did not start (scripts/test installs python3)";
    RecordingListener ok, missing;
    WebDownloader downloader;
    fetch(downloader, wide(python.url("/big.bin")), ok, sha1Hex(content));
    EXPECT_EQ(ok.status(), kDownloadOk);
    EXPECT_EQ(ok.events().front(), "length 100000");
    EXPECT_EQ(ok.data(), content);
    fetch(downloader, wide(python.url("/none.bin")), missing);
    EXPECT_EQ(missing.events(), Events{"finished 2"});
    EXPECT_TRUE(downloader.probeSize(wide(python.url("/big.bin")), 10000, 100000));
    EXPECT_FALSE(downloader.probeSize(wide(python.url("/big.bin")), 10000, 99999));
}

}  // namespace
}  // namespace druvex
