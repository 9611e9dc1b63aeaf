// Python's http.server on 127.0.0.1 and a free port, serving a folder: an
// independent real HTTP server for end-to-end download tests. Started by
// the test, ended when the object goes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace druvex::test {

class PythonHttpServer {
public:
    // Starts `python3 -m http.server` over `folder`; running() tells whether
    // it came up (python3 may be missing).
    explicit PythonHttpServer(const std::filesystem::path& folder);
    ~PythonHttpServer();
    PythonHttpServer(const PythonHttpServer&) = delete;
    PythonHttpServer& operator=(const PythonHttpServer&) = delete;

    bool running() const { return port_ != 0; }
    std::uint16_t port() const { return port_; }
    // "http://127.0.0.1:<port>" + path.
    std::string url(std::string_view path) const;

private:
    pid_t pid_ = -1;
    std::uint16_t port_ = 0;
};

}  // namespace druvex::test
