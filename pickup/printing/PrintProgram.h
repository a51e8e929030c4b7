#pragma once

#include <string>

#include <wx/process.h>
#include <wx/string.h>

// The platform's print program: "sumatraPDF.exe" on Windows, "lp" elsewhere.
wxString DefaultPrintProgram();

// Starts `program` to print `file` on `printer`, watched by `job` (which is told of the
// program's end through OnTerminate, possibly before this returns when the program ends at
// once). Returns the process id, or 0 when the program could not be started; `job` is
// then not used by the toolkit and still belongs to the caller.
//
// Windows: "<folder>\<program>" -print-to "<printer>" "<file>", run in <folder>, the folder
// of this program.
// Elsewhere: <program> -d <printer> [-t <title>] -- <file>, the program looked up on PATH (or
// taken as a path when it contains a slash); a program that is not there counts as not
// started. `title` names the job in the print system where it keeps one (not on Windows).
long StartPrintProgram(const wxString& program, const wxString& printer, const wxString& file,
                       wxProcess* job, const std::string& title = std::string());

enum class JobKnown { Yes, No, CannotTell };

// Whether the print system has (or had, and printed) a whole job whose title ends with `tag`:
// asked after a restart about a job whose print program's end was never heard. A job of
// that title still waiting for its document (its program was cut off while sending it) is
// cancelled.
JobKnown PrintSystemHasJob(const std::string& tag);

// Whether a print job reads the program's output (and keeps the start of its error output
// for the log). Not on Windows: there a program with redirected output inherits every
// inheritable handle of this one, open partial copies included, and the PDF print program
// reports its errors in windows of its own rather than on its error output.
bool ReadsPrintProgramOutput();

// The end the toolkit reported for a print program, in words: "exit status 3", or how it
// was ended otherwise ("signal 9"; on Windows, the exception code).
std::string DescribePrintProgramEnd(int status);
