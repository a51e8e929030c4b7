#include "pickup/printing/WinCommandLine.h"

wxString QuoteWindowsArgument(const wxString& argument) {
    wxString quoted = "\"";
    size_t backslashes = 0;
    for (const wxUniChar c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // 2n backslashes give n; one more makes the quote literal.
            quoted.Append('\\', 2 * backslashes + 1);
        } else {
            quoted.Append('\\', backslashes);
        }
        quoted += c;
        backslashes = 0;
    }
    // Backslashes before the closing quote would otherwise escape it.
    quoted.Append('\\', 2 * backslashes);
    quoted += '"';
    return quoted;
}

wxString WithTrailingBackslash(const wxString& directory) {
    if (directory.EndsWith("\\")) {
        return directory;
    }
    return directory + "\\";
}

wxString BuildPrintCommandLine(const wxString& directory, const wxString& program,
                               const wxString& printer, const wxString& file) {
    // A Windows file name cannot contain a double quote, so the program's path needs no
    // escaping; the first word of a command line is split without backslash rules anyway.
    return "\"" + WithTrailingBackslash(directory) + program + "\" -print-to " +
           QuoteWindowsArgument(printer) + " " + QuoteWindowsArgument(file);
}
