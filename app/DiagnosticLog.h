#pragma once

#include <cstddef>
#include <string>

// The one place where the program says why something failed, for whoever supports the
// user; the user is told in the window as before. Each call writes one line to standard
// error (the debugger's output on Windows) and, when the environment variable
// CORVANE_PRINT_SPOOLER_LOG names a file, appends it there with a UTC timestamp. Safe to
// call from any thread. Callers never pass passwords or document contents.
void LogLine(const std::string& text);

// `text` fit for one log line: C0 and C1 control characters (line ends included) become
// blanks, direction controls go, bytes that are not UTF-8 become "?", and it is cut to
// `limit` bytes on a character boundary, marked with "...". For texts that come from outside
// the program (a server's answer, a print program's output).
std::string OneLine(const std::string& text, std::size_t limit = 300);
