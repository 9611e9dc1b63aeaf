// The HTTP layer against a real server on 127.0.0.1: what it sends, what it
// refuses to fetch, how it reports each failure, the idle time-out and the
// stop request, the proxy of the device profile, and the connection state.
#include "platform/http_request.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>

#include "platform/device_config.h"
#include "platform/network_state.h"
#include "support/device_fixture.h"
#include "support/fake_http_clock.h"
#include "support/loopback_http_server.h"

namespace druvex {
namespace {

using test::HttpReply;

class RecordingReceiver final : public HttpReceiver {
public:
    bool onHeaders(const std::string& block) override
    {
        std::lock_guard lock(mutex_);
        headers = block;
        ++headerCalls;
        return acceptHeaders;
    }
    bool onBody(const std::uint8_t* data, std::size_t size) override
    {
        {
            std::lock_guard lock(mutex_);
            body.append(reinterpret_cast<const char*>(data), size);
        }
        arrived_.notify_all();
        return true;
    }
    bool shouldStop() override { return stop.load(); }

    bool waitForBody(std::size_t size)
    {
        std::unique_lock lock(mutex_);
        return arrived_.wait_for(lock, std::chrono::seconds(20), [&] { return body.size() >= size; });
    }
    std::string receivedBody()
    {
        std::lock_guard lock(mutex_);
        return body;
    }

    bool acceptHeaders = true;
    std::atomic<bool> stop{false};
    std::string headers;
    int headerCalls = 0;

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::string body;
};

HttpResult get(const std::string& url, RecordingReceiver& receiver, HttpRequestOptions options = {})
{
    return performHttpRequest(url, options, receiver);
}

class HttpLayerThreads : public test::DeviceFixture {
protected:
    test::LoopbackHttpServer server_;
};

TEST_F(HttpLayerThreads, SendsThePlainRequestOfTheDeviceAndHeadAsksForHeadersOnly)
{
    server_.setReply("/a.txt", HttpReply::ok("hello"));
    RecordingReceiver receiver;
    const HttpResult result = get(server_.url("/a.txt"), receiver);
    EXPECT_EQ(result.failure, HttpFailure::None);
    EXPECT_TRUE(result.headersComplete);
    EXPECT_EQ(receiver.receivedBody(), "hello");
    EXPECT_EQ(receiver.headers, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n");
    ASSERT_EQ(server_.requestCount(), 1u);
    const test::RecordedRequest request = server_.requests()[0];
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.target, "/a.txt");
    EXPECT_EQ(request.header("User-Agent"), "DruvexInstaller/3.0");
    EXPECT_EQ(request.header("Accept-Encoding"), "");

    // HEAD asks for the headers only.
    server_.setReply("/p.lzma", HttpReply::ok("0123456789"));
    RecordingReceiver head;
    HttpRequestOptions options;
    options.head = true;
    EXPECT_EQ(get(server_.url("/p.lzma"), head, options).failure, HttpFailure::None);
    EXPECT_EQ(server_.requests().at(1).method, "HEAD");
    EXPECT_NE(head.headers.find("Content-Length: 10\r\n"), std::string::npos);
    EXPECT_EQ(head.receivedBody(), "");
}

TEST_F(HttpLayerThreads, OnlyHttpAndHttpsAreFetched)
{
    const std::string port = std::to_string(server_.port());
    std::string withZero = server_.url("/a");
    withZero += '\0';
    withZero += "b";
    for (const std::string& url : {std::string("file:///etc/passwd"), "ftp://127.0.0.1:" + port + "/x",
                                   "dict://127.0.0.1:" + port + "/x", std::string("notaurl"), std::string(),
                                   std::string("http://"), withZero}) {
        RecordingReceiver receiver;
        const HttpResult result = get(url, receiver);
        EXPECT_EQ(result.failure, HttpFailure::Open) << url;
        EXPECT_EQ(receiver.headerCalls, 0) << url;
    }
    EXPECT_EQ(server_.requestCount(), 0u);
}

TEST_F(HttpLayerThreads, RedirectsAreNotFollowed)
{
    server_.setReply("/old", HttpReply::redirect(server_.url("/new")));
    server_.setReply("/new", HttpReply::ok("new"));
    RecordingReceiver receiver;
    EXPECT_EQ(get(server_.url("/old"), receiver).failure, HttpFailure::None);
    EXPECT_EQ(receiver.headers.rfind("HTTP/1.1 302 Found\r\n", 0), 0u);
    EXPECT_EQ(receiver.receivedBody(), "moved");
    EXPECT_EQ(server_.requestCount(), 1u);
}

TEST_F(HttpLayerThreads, BodiesArriveAsSent)
{
    // With decoding on, these bytes would fail as gzip data.
    HttpReply reply = HttpReply::ok("not really gzip");
    reply.headers.emplace_back("Content-Encoding", "gzip");
    server_.setReply("/z", reply);
    RecordingReceiver receiver;
    EXPECT_EQ(get(server_.url("/z"), receiver).failure, HttpFailure::None);
    EXPECT_EQ(receiver.receivedBody(), "not really gzip");
}

TEST_F(HttpLayerThreads, InformationalRepliesAreDropped)
{
    HttpReply reply;
    reply.raw = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    server_.setReply("/c", reply);
    RecordingReceiver receiver;
    EXPECT_EQ(get(server_.url("/c"), receiver).failure, HttpFailure::None);
    EXPECT_EQ(receiver.headers, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
    EXPECT_EQ(receiver.headerCalls, 1);
}

TEST_F(HttpLayerThreads, FailuresByPhase)
{
    HttpReply silent;
    silent.closeWithoutReply = true;
    server_.setReply("/silent", silent);
    HttpReply cut = HttpReply::ok("0123456789");
    cut.cutAfter = 9;
    server_.setReply("/cut", cut);
    HttpReply noStatusLine;
    noStatusLine.raw = "just bytes, no status line\r\n";
    server_.setReply("/nine", noStatusLine);
    test::LoopbackHttpServer gone;
    const std::string goneUrl = gone.url("/x");
    gone.stop();

    const struct {
        std::string url;
        HttpFailure failure;
        bool endedEarly;
    } cases[] = {
        {server_.url("/silent"), HttpFailure::Send, false},
        {server_.url("/nine"), HttpFailure::Send, false},
        {goneUrl, HttpFailure::Send, false},
        {server_.url("/cut"), HttpFailure::Receive, true},
    };
    for (const auto& c : cases) {
        RecordingReceiver receiver;
        const HttpResult result = get(c.url, receiver);
        EXPECT_EQ(result.failure, c.failure) << c.url;
        EXPECT_EQ(result.endedEarly, c.endedEarly) << c.url;
        EXPECT_NE(result.error, 0u) << c.url;
    }
}

TEST_F(HttpLayerThreads, ARefusedHeaderBlockEndsBeforeTheBody)
{
    server_.setReply("/missing", HttpReply::withStatus(404, "Not Found", "<html>gone</html>"));
    RecordingReceiver receiver;
    receiver.acceptHeaders = false;
    EXPECT_EQ(get(server_.url("/missing"), receiver).failure, HttpFailure::Stopped);
    EXPECT_EQ(receiver.receivedBody(), "");
}

// The idle time-out passes on the fake clock once the server has gone quiet:
// before the reply, no reply arrived; within the body, the body failed.
TEST_F(HttpLayerThreads, IdleTimeOutByPhase)
{
    HttpReply beforeReply = HttpReply::ok("late");
    beforeReply.stallBeforeReply = true;
    server_.setReply("/before", beforeReply);
    HttpReply midBody = HttpReply::ok("0123456789");
    midBody.stallAt = {4};
    server_.setReply("/mid", midBody);

    for (const bool inBody : {false, true}) {
        test::FakeHttpClock clock;
        RecordingReceiver receiver;
        HttpRequestOptions options;
        options.timeoutMs = 300;
        options.clock = &clock;
        auto transfer = std::async(std::launch::async, [&] {
            return get(server_.url(inBody ? "/mid" : "/before"), receiver, options);
        });
        // Expectations only: the transfer must be ended below in any case.
        EXPECT_TRUE(server_.waitForStalls(1));
        if (inBody) {
            EXPECT_TRUE(receiver.waitForBody(4));
        }
        clock.advance(301);
        const HttpResult result = transfer.get();
        EXPECT_EQ(result.failure, inBody ? HttpFailure::Receive : HttpFailure::Send);
        EXPECT_EQ(result.error, kErrorInternetTimeout);
        server_.releaseStalls();
    }
}

// Two quiet spells, each shorter than the time-out, longer than it together.
TEST_F(HttpLayerThreads, TheTimeOutIsIdleNotTotal)
{
    HttpReply slow = HttpReply::ok("0123456789AB");
    slow.stallAt = {4, 8};
    server_.setReply("/slow", slow);
    test::FakeHttpClock clock;
    RecordingReceiver receiver;
    HttpRequestOptions options;
    options.timeoutMs = 300;
    options.clock = &clock;
    auto transfer = std::async(std::launch::async, [&] { return get(server_.url("/slow"), receiver, options); });
    for (const std::size_t bytes : {4u, 8u}) {
        EXPECT_TRUE(receiver.waitForBody(bytes));
        clock.advance(200);
        server_.releaseStalls();
    }
    EXPECT_EQ(transfer.get().failure, HttpFailure::None);
    EXPECT_EQ(receiver.receivedBody(), "0123456789AB");
}

TEST_F(HttpLayerThreads, AStopRequestEndsAStalledTransfer)
{
    HttpReply reply = HttpReply::ok("0123456789");
    reply.stallAt = {2};
    server_.setReply("/s", reply);
    RecordingReceiver receiver;
    auto transfer = std::async(std::launch::async, [&] { return get(server_.url("/s"), receiver); });
    EXPECT_TRUE(receiver.waitForBody(2));
    receiver.stop = true;
    EXPECT_EQ(transfer.get().failure, HttpFailure::Stopped);
    // The server still stalls: the transfer did not wait for it.
    EXPECT_EQ(server_.stalledCount(), 1u);
}

class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name)
    {
        if (const char* old = ::getenv(name))
            old_ = old;
        ::setenv(name, value, 1);
    }
    ~ScopedEnvironment()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST_F(HttpLayerThreads, ProxyComesFromTheDeviceProfileOnly)
{
    server_.setReply("/p", HttpReply::ok("through the proxy"));
    DeviceConfig config = device().config();
    config.proxy = SharedString(u"127.0.0.1:") + SharedString::fromCodePage(std::to_string(server_.port()).c_str(), 0);
    device().reconfigure(config);

    HttpRequestOptions options;
    options.useProxy = true;
    RecordingReceiver receiver;
    EXPECT_EQ(get("http://update.invalid/p", receiver, options).failure, HttpFailure::None);
    EXPECT_EQ(receiver.receivedBody(), "through the proxy");
    ASSERT_EQ(server_.requestCount(), 1u);
    EXPECT_EQ(server_.requests()[0].target, "http://update.invalid/p");

    // Without the proxy option, and with the environment naming a dead
    // proxy, the request goes straight to the server.
    test::LoopbackHttpServer dead;
    const std::string deadProxy = dead.url("");
    dead.stop();
    ScopedEnvironment httpProxy("http_proxy", deadProxy.c_str());
    ScopedEnvironment allProxy("ALL_PROXY", deadProxy.c_str());
    RecordingReceiver direct;
    EXPECT_EQ(get(server_.url("/p"), direct).failure, HttpFailure::None);
    EXPECT_EQ(server_.requests().at(1).target, "/p");
}

TEST_F(HttpLayerThreads, ConnectionState)
{
    std::uint32_t error = 99;
    EXPECT_EQ(internetAttemptConnect(), 0u);
    EXPECT_TRUE(internetCheckConnection(SharedString::fromCodePage(server_.url("/").c_str(), 0).view(), error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(server_.requestCount(), 0u);  // a connection only, no request
    EXPECT_FALSE(internetCheckConnection(u"file:///etc/passwd", error));
    EXPECT_EQ(error, kErrorInternetInvalidUrl);
    std::uint32_t flags = 0;
    EXPECT_TRUE(internetGetConnectedState(flags));
    EXPECT_EQ(flags, kInternetConnectionLan);

    test::LoopbackHttpServer gone;
    const std::string goneUrl = gone.url("/");
    gone.stop();
    EXPECT_FALSE(internetCheckConnection(SharedString::fromCodePage(goneUrl.c_str(), 0).view(), error));
    EXPECT_EQ(error, kErrorInternetCannotConnect);

    DeviceConfig config = device().config();
    config.proxy = u"proxy.invalid:8080";
    config.checkUrl = u"http://127.0.0.1:1/";
    device().reconfigure(config);
    EXPECT_TRUE(internetGetConnectedState(flags));
    EXPECT_EQ(flags, kInternetConnectionLan | kInternetConnectionProxy);
    EXPECT_EQ(connectionCheckUrl(), u"http://127.0.0.1:1/");

    config.networkConnected = false;
    device().reconfigure(config);
    EXPECT_EQ(internetAttemptConnect(), kErrorNotConnected);
    EXPECT_FALSE(internetCheckConnection(SharedString::fromCodePage(server_.url("/").c_str(), 0).view(), error));
    EXPECT_EQ(error, kErrorNotConnected);
    EXPECT_FALSE(internetGetConnectedState(flags));
    EXPECT_EQ(flags, 0u);
}

}  // namespace
}  // namespace druvex
