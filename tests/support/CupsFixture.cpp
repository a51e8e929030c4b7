#include "support/CupsFixture.h"

#include "support/TestHelpers.h"

#include <cups/cups.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

const std::string kScript = std::string(CORVANE_SOURCE_DIR) + "/tests/fixtures/cupsd_fixture.sh";

std::string Quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

CupsFixture::CupsFixture(const std::vector<std::string>& queues, const std::string& defaultQueue) {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-cups-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    directory = pattern;

    std::string command = "sh " + Quoted(kScript) + " start " + Quoted(directory);
    if (!defaultQueue.empty()) {
        command += " --default " + Quoted(defaultQueue);
    }
    for (const std::string& queue : queues) {
        command += " " + Quoted(queue);
    }
    std::map<std::string, std::string> values;
    try {
        values = KeyValues(RunForOutput(command));
    } catch (...) {
        // The script cleans up after a failed start; the directory may be left.
        std::filesystem::remove_all(directory);
        throw;
    }
    socket = values["socket"];
    capture = values["capture"];
    pid = static_cast<pid_t>(std::atol(values["pid"].c_str()));
    PointClientsHere();
}

CupsFixture::~CupsFixture() {
    RestoreEnvironment();
    Stop();
}

void CupsFixture::PointClientsHere() {
    const std::string home = directory + "/home";
    const std::string clientRoot = directory + "/client";
    std::filesystem::create_directories(home);
    std::filesystem::create_directories(clientRoot);
    const std::pair<const char*, const char*> settings[] = {
        {"CUPS_SERVER", socket.c_str()},
        // No client.conf and no lpoptions of the machine's own.
        {"CUPS_SERVERROOT", clientRoot.c_str()},
        {"HOME", home.c_str()},
        {"PRINTER", nullptr},
        {"LPDEST", nullptr},
    };
    for (const auto& [name, value] : settings) {
        const char* old = std::getenv(name);
        savedEnvironment.push_back({name, {old != nullptr, old != nullptr ? old : ""}});
        if (value != nullptr) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    // libcups keeps the server it has read from the environment once.
    cupsSetServer(socket.c_str());
}

void CupsFixture::RestoreEnvironment() {
    for (const auto& [name, old] : savedEnvironment) {
        if (old.first) {
            setenv(name.c_str(), old.second.c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    savedEnvironment.clear();
    cupsSetServer(nullptr);
}

void CupsFixture::Stop() {
    try {
        RunForOutput("sh " + Quoted(kScript) + " stop " + Quoted(directory));
    } catch (const std::exception&) {
        // The scheduler is not our child (the script started it in the background), so it
        // cannot be waited for here; a plain SIGTERM is the fallback.
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }
    pid = -1;
}

bool CupsFixture::Refuses() const {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", socket.c_str());
    const bool refused =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0;
    close(fd);
    return refused;
}

void CupsFixture::StopScheduler() {
    if (pid > 0) {
        kill(pid, SIGTERM);
    }
    // cupsd takes about 1.5 s to stop; the limit only keeps a scheduler that never stops
    // from holding the test.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Refuses()) {
        if (std::chrono::steady_clock::now() > deadline) {
            throw std::runtime_error("cupsd did not stop");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<std::string> CupsFixture::Jobs(const std::string& queue) const {
    std::map<long, std::string> byJob;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(capture + "/" + queue, error)) {
        const std::string name = entry.path().filename().string();
        // job-<id>.bin; the backend writes under a hidden name first.
        if (name.rfind("job-", 0) == 0 && name.size() > 8 &&
            name.compare(name.size() - 4, 4, ".bin") == 0) {
            byJob[std::atol(name.c_str() + 4)] = ReadAll(entry.path().string());
        }
    }
    std::vector<std::string> jobs;
    for (const auto& job : byJob) {
        jobs.push_back(job.second);
    }
    return jobs;
}
