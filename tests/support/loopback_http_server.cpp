#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace druvex::test {

namespace {

constexpr std::size_t kMaxRequestHead = 64 * 1024;

bool sendAll(int connection, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

bool equalNoCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The request line and headers, or nothing when the client sent no complete head.
std::optional<RecordedRequest> readRequest(int connection)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > kMaxRequestHead)
            return std::nullopt;
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        head.append(buffer, static_cast<std::size_t>(got));
    }
    head.resize(head.find("\r\n\r\n"));
    RecordedRequest request;
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const std::size_t firstBlank = requestLine.find(' ');
    const std::size_t secondBlank = requestLine.find(' ', firstBlank + 1);
    if (firstBlank == std::string::npos || secondBlank == std::string::npos)
        return std::nullopt;
    request.method = requestLine.substr(0, firstBlank);
    request.target = requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1);
    while (lineEnd != std::string::npos) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::size_t valueStart = colon + 1;
        while (valueStart < line.size() && line[valueStart] == ' ')
            ++valueStart;
        request.headers.emplace_back(line.substr(0, colon), line.substr(valueStart));
    }
    return request;
}

// The path of a request target: without the query, and without scheme and
// host when a proxy client sent the absolute form.
std::string pathOf(const std::string& target)
{
    std::string path = target;
    if (const std::size_t scheme = path.find("://"); scheme != std::string::npos) {
        const std::size_t slash = path.find('/', scheme + 3);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    return path.substr(0, path.find('?'));
}

std::string head(const HttpReply& reply)
{
    std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason + "\r\n";
    if (!reply.omitLength)
        text += "Content-Length: " + std::to_string(reply.contentLength.value_or(reply.body.size())) + "\r\n";
    for (const auto& [name, value] : reply.headers)
        text += name + ": " + value + "\r\n";
    text += "Connection: close\r\n\r\n";
    return text;
}

}  // namespace

HttpReply HttpReply::ok(std::string body)
{
    HttpReply reply;
    reply.body = std::move(body);
    return reply;
}

HttpReply HttpReply::withStatus(int code, std::string reason, std::string body)
{
    HttpReply reply;
    reply.status = code;
    reply.reason = std::move(reason);
    reply.body = std::move(body);
    return reply;
}

HttpReply HttpReply::redirect(std::string location)
{
    HttpReply reply = withStatus(302, "Found", "moved");
    reply.headers.emplace_back("Location", std::move(location));
    return reply;
}

std::string RecordedRequest::header(std::string_view name) const
{
    for (const auto& [key, value] : headers) {
        if (equalNoCase(key, name))
            return value;
    }
    return {};
}

LoopbackHttpServer::LoopbackHttpServer()
{
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the loopback HTTP server cannot listen");
    port_ = ntohs(address.sin_port);
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    stop();
}

std::string LoopbackHttpServer::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void LoopbackHttpServer::setReply(const std::string& path, HttpReply reply)
{
    std::lock_guard lock(mutex_);
    replies_[path] = std::make_shared<const HttpReply>(std::move(reply));
}

void LoopbackHttpServer::queueReplies(const std::string& path, std::vector<HttpReply> replies)
{
    std::lock_guard lock(mutex_);
    auto& queue = queued_[path];
    for (HttpReply& reply : replies)
        queue.push_back(std::make_shared<const HttpReply>(std::move(reply)));
}

std::vector<RecordedRequest> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackHttpServer::requestCount() const
{
    std::lock_guard lock(mutex_);
    return requests_.size();
}

bool LoopbackHttpServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return requests_.size() >= count; });
}

bool LoopbackHttpServer::waitForStalls(std::size_t count, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return stalled_ >= count; });
}

std::size_t LoopbackHttpServer::stalledCount() const
{
    std::lock_guard lock(mutex_);
    return stalled_;
}

void LoopbackHttpServer::releaseStalls()
{
    {
        std::lock_guard lock(mutex_);
        ++releaseGeneration_;
    }
    changed_.notify_all();
}

void LoopbackHttpServer::stop()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(mutex_);
        if (stopping_ && listener_ < 0)
            return;
        stopping_ = true;
        for (int connection : connections_)
            ::shutdown(connection, SHUT_RDWR);
        if (listener_ >= 0)
            ::shutdown(listener_, SHUT_RDWR);
    }
    changed_.notify_all();
    if (acceptThread_.joinable())
        acceptThread_.join();
    {
        std::lock_guard lock(mutex_);
        threads.swap(threads_);
    }
    for (std::thread& thread : threads)
        thread.join();
    std::lock_guard lock(mutex_);
    if (listener_ >= 0) {
        ::close(listener_);
        listener_ = -1;
    }
}

void LoopbackHttpServer::acceptLoop()
{
    for (;;) {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex_);
        if (stopping_) {
            if (connection >= 0)
                ::close(connection);
            return;
        }
        if (connection < 0)
            continue;
        connections_.push_back(connection);
        threads_.emplace_back([this, connection] { serve(connection); });
    }
}

std::shared_ptr<const HttpReply> LoopbackHttpServer::replyFor(const std::string& path)
{
    std::lock_guard lock(mutex_);
    if (auto queued = queued_.find(path); queued != queued_.end() && !queued->second.empty()) {
        auto reply = queued->second.front();
        queued->second.erase(queued->second.begin());
        return reply;
    }
    if (auto reply = replies_.find(path); reply != replies_.end())
        return reply->second;
    return std::make_shared<const HttpReply>(HttpReply::withStatus(404, "Not Found", "no such file\n"));
}

bool LoopbackHttpServer::stall(std::uint64_t& generation)
{
    std::unique_lock lock(mutex_);
    ++stalled_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return stopping_ || releaseGeneration_ != generation; });
    generation = releaseGeneration_;
    --stalled_;
    return !stopping_;
}

void LoopbackHttpServer::serve(int connection)
{
    [&] {
        const std::optional<RecordedRequest> request = readRequest(connection);
        if (!request)
            return;
        // A release from now on ends this reply's stall, even one that comes
        // before the stall (the client may see the bytes before this thread
        // gets there).
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(*request);
            generation = releaseGeneration_;
        }
        changed_.notify_all();
        const std::shared_ptr<const HttpReply> reply = replyFor(pathOf(request->target));
        if (reply->closeWithoutReply)
            return;
        if (reply->stallBeforeReply && !stall(generation))
            return;
        if (reply->raw) {
            sendAll(connection, *reply->raw);
            return;
        }
        if (!sendAll(connection, head(*reply)) || request->method == "HEAD")
            return;
        std::string_view body = reply->body;
        if (reply->cutAfter)
            body = body.substr(0, *reply->cutAfter);
        std::size_t sent = 0;
        for (const std::size_t offset : reply->stallAt) {
            if (offset < sent || offset > body.size())
                break;
            if (!sendAll(connection, body.substr(sent, offset - sent)) || !stall(generation))
                return;
            sent = offset;
        }
        sendAll(connection, body.substr(sent));
    }();
    std::lock_guard lock(mutex_);
    std::erase(connections_, connection);
    ::close(connection);
}

}  // namespace druvex::test
