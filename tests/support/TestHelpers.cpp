#include "support/TestHelpers.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include <wx/app.h>
#include <wx/utils.h>

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        wxTheApp->ProcessPendingEvents();
        wxYield();
        if (done()) {
            wxTheApp->ProcessPendingEvents();
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        wxMilliSleep(5);
    }
}

namespace {
struct PipeClose {
    void operator()(FILE* pipe) const { pclose(pipe); }
};
}  // namespace

std::string RunForOutput(const std::string& command) {
    std::unique_ptr<FILE, PipeClose> pipe(popen(command.c_str(), "r"));
    if (!pipe) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string output;
    char buffer[512];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        output.append(buffer, got);
    }
    const int status = pclose(pipe.release());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("failed: " + command);
    }
    return output;
}

std::map<std::string, std::string> KeyValues(const std::string& text) {
    std::map<std::string, std::string> values;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos) {
            values[line.substr(0, equals)] = line.substr(equals + 1);
        }
    }
    return values;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

ScopedEnv::ScopedEnv(const std::string& name, const char* value) : name(name) {
    const char* current = std::getenv(name.c_str());
    had = current != nullptr;
    old = had ? current : "";
    if (value != nullptr) {
        setenv(name.c_str(), value, 1);
    } else {
        unsetenv(name.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (had) {
        setenv(name.c_str(), old.c_str(), 1);
    } else {
        unsetenv(name.c_str());
    }
}
