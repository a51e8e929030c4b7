#include <cstdio>

#include "app/CommandLine.h"

void CommandLine::Show() const {
    std::FILE* out = exitCode == 0 ? stdout : stderr;
    std::fputs(text.c_str(), out);
    std::fflush(out);
}

std::string EnvironmentHelp() {
    return "  CORVANE_PRINT_SPOOLER_LOG  file the diagnostic log is appended to\n"
           "  CUPS_SERVER                the CUPS scheduler that prints (default: the\n"
           "                             system's)\n";
}
