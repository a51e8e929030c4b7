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
// Windows: "<cwd>\<program>" -print-to "<printer>" "<file>", run in the working directory.
// Elsewhere: <program> -d <printer> -- <file>, the program looked up on PATH (or taken as
// a path when it contains a slash); a program that is not there counts as not started.
long StartPrintProgram(const wxString& program, const std::string& printer, const wxString& file,
                       wxProcess* job);
