#include "support/HttpFixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// Reads lines from `fd` until "ready"; returns them, or throws on EOF or time-out.
std::vector<std::string> ReadUntilReady(int fd) {
    std::vector<std::string> lines;
    std::string pending;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            throw std::runtime_error("http_server.py did not report ready");
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error("http_server.py ended before it was ready");
        }
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            lines.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
            if (lines.back() == "ready") {
                return lines;
            }
        }
    }
}

std::string ValueOf(const std::vector<std::string>& lines, const std::string& key) {
    for (const std::string& line : lines) {
        if (line.compare(0, key.size() + 1, key + "=") == 0) {
            return line.substr(key.size() + 1);
        }
    }
    throw std::runtime_error("http_server.py did not report " + key);
}

}  // namespace

HttpFixture::HttpFixture(Scheme scheme) {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-http-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    directory = pattern;

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::filesystem::remove_all(directory);
        throw std::runtime_error("cannot make a pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);

    std::string python = "python3";
    std::string script = std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/http_server.py";
    std::string tls = "--tls";
    std::vector<char*> argv{python.data(), script.data(), directory.data()};
    if (scheme == Scheme::Https) {
        argv.push_back(tls.data());
    }
    argv.push_back(nullptr);

    const int spawned = posix_spawnp(&pid, python.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output = pipeFds[0];
    if (spawned != 0) {
        pid = -1;
        Stop();
        throw std::runtime_error("cannot start python3");
    }
    try {
        const std::vector<std::string> lines = ReadUntilReady(output);
        port = std::stoi(ValueOf(lines, "port"));
        baseUrl = ValueOf(lines, "url");
    } catch (...) {
        Stop();
        throw;
    }
}

HttpFixture::~HttpFixture() {
    Stop();
}

void HttpFixture::Stop() {
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        pid_t done = 0;
        for (int i = 0; i < 500 && done == 0; ++i) {
            done = waitpid(pid, &status, WNOHANG);
            if (done == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        if (done == 0) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        pid = -1;
    }
    if (output >= 0) {
        close(output);
        output = -1;
    }
    if (!directory.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
        directory.clear();
    }
}

std::vector<std::string> HttpFixture::RequestedPaths() const {
    std::vector<std::string> paths;
    std::ifstream log(directory + "/requests.log");
    std::string line;
    while (std::getline(log, line)) {
        paths.push_back(line);
    }
    return paths;
}

void HttpFixture::ReleaseHeld() const {
    std::ofstream(File("release")).put('\n');
}

bool HttpFixture::WaitForRequest(const std::string& path, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        for (const std::string& seen : RequestedPaths()) {
            if (seen == path) {
                return true;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
