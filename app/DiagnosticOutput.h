#pragma once

#include <string>

// The platform's side of the diagnostic log (diagnostic_output_*.cpp); callers hold the
// log's lock.

// Writes `line` and a line end where a developer or supporter looks: standard error, or
// the debugger's output on Windows.
void WriteDiagnosticOutput(const std::string& line);

// Appends `line` and a line end to the file named by CORVANE_PRINT_SPOOLER_LOG, if it is
// set. The file is opened for each line, so it can be moved or removed while the program
// runs, and no child process ever inherits it.
void AppendToLogFile(const std::string& line);
