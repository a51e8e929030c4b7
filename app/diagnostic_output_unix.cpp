#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/DiagnosticOutput.h"

void WriteDiagnosticOutput(const std::string& line) {
    std::fprintf(stderr, "corvane-print-spooler: %s\n", line.c_str());
    std::fflush(stderr);
}

void AppendToLogFile(const std::string& line) {
    const char* path = std::getenv("CORVANE_PRINT_SPOOLER_LOG");
    if (path == nullptr || *path == '\0') {
        return;
    }
    // Never through a symbolic link another local user may have planted, and readable by
    // this user alone; close-on-exec, so a print program started meanwhile does not get it.
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    const std::string text = line + "\n";
    const ssize_t written = write(fd, text.data(), text.size());
    static_cast<void>(written);  // a log that cannot be written has nowhere to say so
    close(fd);
}
