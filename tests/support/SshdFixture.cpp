#include "support/SshdFixture.h"

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

SshdFixture::SshdFixture(const std::string& fixturesDir)
    : script(fixturesDir + "/sshd_fixture.py") {
    char pattern[] = "/tmp/corvane-sshd-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("no temporary directory for sshd");
    }
    directory = pattern;
    try {
        Parse(Run("start"));
    } catch (...) {
        Run("stop");
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
        throw;
    }
}

SshdFixture::~SshdFixture() {
    try {
        Run("stop");
    } catch (...) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

void SshdFixture::Restart(bool newHostKey) {
    Parse(Run("restart", newHostKey ? "--new-host-key" : ""));
}

std::vector<int> SshdFixture::KillSessions() {
    std::vector<int> pids;
    std::istringstream lines(Run("kill-sessions"));
    int killed = 0;
    while (lines >> killed) {
        pids.push_back(killed);
    }
    return pids;
}

bool SshdFixture::HasSessions() {
    return !Run("sessions").empty();
}

std::vector<int> SshdFixture::Sessions() {
    std::vector<int> pids;
    std::istringstream lines(Run("sessions"));
    int pid = 0;
    while (lines >> pid) {
        pids.push_back(pid);
    }
    return pids;
}

std::string SshdFixture::Log() const {
    std::ifstream in(logPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string SshdFixture::Run(const std::string& action, const std::string& option) const {
    const std::string command =
        "python3 '" + script + "' " + action + " '" + directory + "' " + option;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + script);
    }
    std::string output;
    char buffer[512];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    if (pclose(pipe) != 0) {
        throw std::runtime_error("sshd fixture failed: " + command);
    }
    return output;
}

void SshdFixture::Parse(const std::string& output) {
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "port") {
            port = std::stoi(value);
        } else if (key == "pid") {
            pid = std::stoi(value);
        } else if (key == "user") {
            user = value;
        } else if (key == "password") {
            password = value;
        } else if (key == "home") {
            home = value;
        } else if (key == "pickup") {
            pickup = value;
        } else if (key == "log") {
            logPath = value;
        }
    }
    if (port == 0 || user.empty()) {
        throw std::runtime_error("sshd fixture printed no port/user");
    }
}
