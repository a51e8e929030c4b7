#pragma once

#include <wx/string.h>

// Windows command lines are one string that the started program splits into arguments
// itself (CommandLineToArgvW and the C runtime follow the same rules). These build such
// lines; they are plain text functions, so they are built and tested on every platform.

// `argument` enclosed in double quotes so that the Windows rules give it back unchanged:
// a double quote inside becomes \", the backslashes before it and before the closing quote
// are doubled, other backslashes stay as they are.
wxString QuoteWindowsArgument(const wxString& argument);

// `directory` followed by one backslash, unless it already ends with one ("C:\").
wxString WithTrailingBackslash(const wxString& directory);

// The print program's command line:
//   "<directory>\<program>" -print-to "<printer>" "<file>"
// The program's path is quoted so that a directory with blanks cannot start another
// program (CreateProcess would try "C:\Program" first).
wxString BuildPrintCommandLine(const wxString& directory, const wxString& program,
                               const wxString& printer, const wxString& file);
