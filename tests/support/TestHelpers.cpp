#include "support/TestHelpers.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

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
    // Through the toolkit: the same on POSIX and Windows.
    if (value != nullptr) {
        wxSetEnv(name, value);
    } else {
        wxUnsetEnv(name);
    }
}

ScopedEnv::~ScopedEnv() {
    if (had) {
        wxSetEnv(name, old);
    } else {
        wxUnsetEnv(name);
    }
}
