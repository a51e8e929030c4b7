// POSIX only: the fixtures' scripts are run through the shell.
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "support/TestHelpers.h"

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
