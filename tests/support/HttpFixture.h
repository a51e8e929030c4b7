#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// tests/fixtures/http_server.py on 127.0.0.1 and a free port, in a temporary directory of
// its own. Started by the constructor (throws std::runtime_error when it does not come
// up), stopped by PID and its directory removed by the destructor.
class HttpFixture {
public:
    enum class Scheme { Http, Https };

    explicit HttpFixture(Scheme scheme = Scheme::Http);
    ~HttpFixture();
    HttpFixture(const HttpFixture&) = delete;
    HttpFixture& operator=(const HttpFixture&) = delete;

    // Ends the server (its open connections are closed); idempotent.
    void Stop();

    int Port() const { return port; }
    pid_t Pid() const { return pid; }
    // "http://127.0.0.1:PORT" + path
    std::string Url(const std::string& path) const { return baseUrl + path; }

    // A file in the server's directory (cert.pem of an HTTPS server, for instance).
    std::string File(const std::string& name) const { return directory + "/" + name; }

    // Lets the requests waiting at /hold be answered.
    void ReleaseHeld() const;

    // The request paths the server has seen, in order.
    std::vector<std::string> RequestedPaths() const;
    // Waits until the server has seen a request for `path`.
    bool WaitForRequest(const std::string& path, std::chrono::milliseconds limit) const;

private:
    std::string directory;
    std::string baseUrl;
    pid_t pid = -1;
    int port = 0;
    int output = -1;  // read end of the server's standard output
};
