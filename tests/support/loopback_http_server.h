// An HTTP server on 127.0.0.1 for the download tests, which can misbehave on
// purpose: a status and body per path, a missing or false Content-Length, a
// body cut after N bytes, a stall that the test ends, a close without reply,
// a redirect, and a queue of replies for retries. It records every request
// and answers one request per connection ("Connection: close").
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace druvex::test {

struct HttpReply {
    int status = 200;
    std::string reason = "OK";
    std::vector<std::pair<std::string, std::string>> headers;  // sent after Content-Length
    std::string body;
    // The Content-Length sent: the body's size unless set; omitted when
    // omitLength is set (the body then ends with the connection).
    std::optional<std::uint64_t> contentLength;
    bool omitLength = false;
    // Only this many body bytes are sent before the connection closes.
    std::optional<std::size_t> cutAfter;
    // At each of these body offsets (ascending) the reply stalls until the
    // next releaseStalls() or stop(), then goes on. 0 stalls before the first
    // body byte.
    std::vector<std::size_t> stallAt;
    // Stalls before anything of the reply is sent (a server that never answers).
    bool stallBeforeReply = false;
    // Reads the request and closes the connection without a byte of reply.
    bool closeWithoutReply = false;
    // The reply's raw bytes, sent in place of everything above.
    std::optional<std::string> raw;

    static HttpReply ok(std::string body);
    static HttpReply withStatus(int code, std::string reason, std::string body = {});
    static HttpReply redirect(std::string location);
};

struct RecordedRequest {
    std::string method;
    std::string target;  // as on the request line (absolute form through a proxy)
    std::vector<std::pair<std::string, std::string>> headers;

    // The first header of that name (case ignored); empty when absent.
    std::string header(std::string_view name) const;
};

class LoopbackHttpServer {
public:
    // Listens on 127.0.0.1 on a free port.
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" + path.
    std::string url(std::string_view path) const;

    // The reply to every request for `path` (the request target without the
    // query); unknown paths get 404.
    void setReply(const std::string& path, HttpReply reply);
    // Replies for the next requests of `path`, one each, before the one of setReply.
    void queueReplies(const std::string& path, std::vector<HttpReply> replies);

    std::vector<RecordedRequest> requests() const;
    std::size_t requestCount() const;
    // Waits until `count` requests have been recorded; false after `limit`.
    bool waitForRequests(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20));
    // Waits until `count` replies are stalled; false after `limit`.
    bool waitForStalls(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(20));
    std::size_t stalledCount() const;
    // Lets every stalled reply go on.
    void releaseStalls();
    // Closes the listener and every connection and joins the connection
    // threads; the port refuses connections afterwards.
    void stop();

private:
    void acceptLoop();
    void serve(int connection);
    std::shared_ptr<const HttpReply> replyFor(const std::string& path);
    // Waits for a release after `generation` (then moved on to it), or
    // stop(); false on stop.
    bool stall(std::uint64_t& generation);

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread acceptThread_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    std::uint64_t releaseGeneration_ = 0;
    std::size_t stalled_ = 0;
    std::map<std::string, std::shared_ptr<const HttpReply>> replies_;
    std::map<std::string, std::vector<std::shared_ptr<const HttpReply>>> queued_;
    std::vector<RecordedRequest> requests_;
    std::vector<int> connections_;
    std::vector<std::thread> threads_;
};

}  // namespace druvex::test
