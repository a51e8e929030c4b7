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
    // "e": close-on-exec, so a print program started meanwhile does not get it.
    std::FILE* file = std::fopen(path, "ae");
    if (file == nullptr) {
        return;
    }
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
}
