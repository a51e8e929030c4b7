#include "support/ProftpdFixture.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

#include "support/TestHelpers.h"

ProftpdFixture::ProftpdFixture(const std::string& fixturesDir, const std::string& user)
    : script(fixturesDir + "/proftpd_fixture.py") {
    char pattern[] = "/tmp/corvane-proftpd-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("no temporary directory for proftpd");
    }
    directory = pattern;
    auto values = KeyValues(
        RunForOutput("python3 '" + script + "' start '" + directory + "' --user '" + user + "'"));
    if (values.count("port") != 0) {
        port = std::stoi(values["port"]);
    }
    if (port == 0) {
        RunForOutput("python3 '" + script + "' stop '" + directory + "'");
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
        throw std::runtime_error("proftpd fixture printed no port");
    }
}

ProftpdFixture::~ProftpdFixture() {
    try {
        RunForOutput("python3 '" + script + "' stop '" + directory + "'");
    } catch (...) {
    }
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}
