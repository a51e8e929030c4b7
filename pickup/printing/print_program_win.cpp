// Printing on Windows: the PDF print program beside this program prints the file
// on the named printer and exits.
#include <cstdio>
#include <string>

#include <wx/filename.h>
#include <wx/log.h>
#include <wx/utils.h>

#include "app/NarrowText.h"
#include "app/ResourcesDir.h"
#include "pickup/printing/PrintProgram.h"
#include "pickup/printing/WinCommandLine.h"

wxString DefaultPrintProgram() {
    return "sumatraPDF.exe";
}

long StartPrintProgram(const wxString& program, const wxString& printer, const wxString& file,
                       wxProcess* job, const std::string&) {
    // Beside the program, and run there: never from the working directory, where another
    // user may have placed a program of the same name (or a library it loads).
    const wxString directory = ProgramDir();
    wxExecuteEnv env;
    env.cwd = WithTrailingBackslash(directory);

    // Wide from end to end: the toolkit starts it with CreateProcessW, so a printer name
    // beyond the ANSI code page arrives whole.
    const wxString commandLine = BuildPrintCommandLine(directory, program, printer, file);

    // A program that cannot be started is reported to the user by the caller; the
    // toolkit's own log message about it would only repeat that.
    wxLogNull quiet;
    return wxExecute(commandLine, wxEXEC_ASYNC | wxEXEC_HIDE_CONSOLE, job, &env);
}

JobKnown PrintSystemHasJob(const std::string&) {
    // The PDF print program gives its jobs no title of ours to find them by.
    return JobKnown::CannotTell;
}

bool ReadsPrintProgramOutput() {
    return false;
}

std::string DescribePrintProgramEnd(int status) {
    if (status >= 0) {
        return "exit status " + std::to_string(status);
    }
    // A crash ends a program with its exception code (0xC0000005...).
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
    return std::string("exit status ") + code;
}
