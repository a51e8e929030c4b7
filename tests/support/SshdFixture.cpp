#include "support/SshdFixture.h"

#include "support/TestHelpers.h"

#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
std::vector<int> Pids(const std::string& text) {
    std::vector<int> pids;
    std::istringstream words(text);
    for (int pid = 0; words >> pid;) {
        pids.push_back(pid);
    }
    return pids;
}
}  // namespace

SshdFixture::SshdFixture(const std::string& fixturesDir, Sftp sftp)
    : script(fixturesDir + "/sshd_fixture.py") {
    char pattern[] = "/tmp/corvane-sshd-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("no temporary directory for sshd");
    }
    directory = pattern;
    try {
        std::string option;
        if (sftp == Sftp::LogRequests) {
            option = "--sftp-log '" + directory + "/sftp-requests.log'";
        } else if (sftp == Sftp::SwapReplies) {
            option = "--swap-replies";
        }
        Parse(Run("start", option));
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

void SshdFixture::SetPassword(const std::string& newPassword) {
    // Through standard input: no shell between the bytes and the account.
    FILE* chpasswd = popen("chpasswd", "w");
    if (chpasswd == nullptr) {
        throw std::runtime_error("chpasswd cannot be started");
    }
    const std::string line = user + ":" + newPassword + "\n";
    fwrite(line.data(), 1, line.size(), chpasswd);
    if (pclose(chpasswd) != 0) {
        throw std::runtime_error("chpasswd refused the password");
    }
    password = newPassword;
}

std::vector<int> SshdFixture::KillSessions() {
    return Pids(Run("kill-sessions"));
}

bool SshdFixture::HasSessions() {
    return !Run("sessions").empty();
}

std::vector<int> SshdFixture::Sessions() {
    return Pids(Run("sessions"));
}

std::string SshdFixture::Log() const {
    return ReadAll(logPath);
}

std::string SshdFixture::RequestLog() const {
    return requestLogPath.empty() ? std::string() : ReadAll(requestLogPath);
}

void SshdFixture::SetHostile(const std::string& modes) const {
    std::ofstream(swappedPath + ".mode") << modes << "\n";
}

bool SshdFixture::SwappedReplies() const {
    return !ReadAll(swappedPath).empty();
}

std::string SshdFixture::Run(const std::string& action, const std::string& option) const {
    return RunForOutput("python3 '" + script + "' " + action + " '" + directory + "' " + option);
}

void SshdFixture::Parse(const std::string& output) {
    std::map<std::string, std::string> values = KeyValues(output);
    if (values.count("port") != 0) {
        port = std::stoi(values["port"]);
    }
    if (values.count("pid") != 0) {
        pid = std::stoi(values["pid"]);
    }
    for (auto [key, member] : {std::pair{"user", &user},
                               {"password", &password},
                               {"home", &home},
                               {"pickup", &pickup},
                               {"log", &logPath},
                               {"sftp_log", &requestLogPath},
                               {"swapped", &swappedPath}}) {
        if (values.count(key) != 0) {
            *member = values[key];
        }
    }
    if (port == 0 || user.empty()) {
        throw std::runtime_error("sshd fixture printed no port/user");
    }
}
