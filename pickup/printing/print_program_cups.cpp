// Printing through CUPS: lp hands the file to the scheduler and returns once the job is
// spooled, which is when the copy may leave the outbox.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <cups/cups.h>
#include <wx/tokenzr.h>
#include <wx/utils.h>

#include "pickup/printing/PrintProgram.h"

namespace {

bool IsRunnable(const wxString& path) {
    const wxCharBuffer name = path.fn_str();
    struct stat info;
    return stat(name.data(), &info) == 0 && S_ISREG(info.st_mode) && access(name.data(), X_OK) == 0;
}

// The program's full path, found the way execvp would find it; empty when there is none.
// On Unix a failed exec only shows as the child's exit status, so a missing program has to
// be noticed before starting it.
wxString FindProgram(const wxString& program) {
    if (program.empty()) {
        return wxString();
    }
    if (program.Find('/') != wxNOT_FOUND) {
        return IsRunnable(program) ? program : wxString();
    }
    wxString searchPath;
    if (!wxGetEnv("PATH", &searchPath)) {
        searchPath = "/usr/local/bin:/usr/bin:/bin";
    }
    // An empty entry means the current directory, as for the shell.
    wxStringTokenizer entries(searchPath, ":", wxTOKEN_RET_EMPTY_ALL);
    while (entries.HasMoreTokens()) {
        wxString directory = entries.GetNextToken();
        if (directory.empty()) {
            directory = ".";
        }
        const wxString candidate = directory + "/" + program;
        if (IsRunnable(candidate)) {
            return candidate;
        }
    }
    return wxString();
}

}  // namespace

wxString DefaultPrintProgram() {
    return "lp";
}

long StartPrintProgram(const wxString& program, const wxString& printer, const wxString& file,
                       wxProcess* job, const std::string& title) {
    const wxString path = FindProgram(program);
    if (path.empty()) {
        return 0;
    }
    const wxCharBuffer programArg = path.fn_str();
    const wxCharBuffer fileArg = file.fn_str();
    // CUPS names its queues in UTF-8, whatever the locale.
    const wxScopedCharBuffer printerArg = printer.utf8_str();
    // An argument vector: no shell, so blanks and quotes in the names need no escaping.
    // "--" keeps a file name that starts with '-' from being read as an option.
    std::vector<const char*> argv = {programArg.data(), "-d", printerArg.data()};
    if (!title.empty()) {
        argv.insert(argv.end(), {"-t", title.c_str()});
    }
    argv.insert(argv.end(), {"--", fileArg.data(), nullptr});
    return wxExecute(argv.data(), wxEXEC_ASYNC | wxEXEC_HIDE_CONSOLE, job);
}

JobKnown PrintSystemHasJob(const std::string& tag) {
    cups_job_t* jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, nullptr, 0, CUPS_WHICHJOBS_ALL);
    if (count < 0) {
        return JobKnown::CannotTell;
    }
    JobKnown known = JobKnown::No;
    for (int i = 0; i < count; ++i) {
        const std::string title = jobs[i].title != nullptr ? jobs[i].title : "";
        const bool tagged = title.size() >= tag.size() &&
                            title.compare(title.size() - tag.size(), tag.size(), tag) == 0;
        // A job cut off while it was being sent holds no document, and never prints; one
        // cancelled or aborted did not print either.
        const bool whole = jobs[i].state == IPP_JSTATE_COMPLETED ||
                           (jobs[i].state < IPP_JSTATE_CANCELED && jobs[i].size > 0);
        if (tagged && whole) {
            known = JobKnown::Yes;
        } else if (tagged && jobs[i].state < IPP_JSTATE_STOPPED) {
            // What the cut-off print program left: it would wait in the queue, empty, until
            // the scheduler gives up on it.
            cupsCancelJob2(CUPS_HTTP_DEFAULT, jobs[i].dest, jobs[i].id, 0);
        }
    }
    cupsFreeJobs(count, jobs);
    return known;
}

bool ReadsPrintProgramOutput() {
    return true;
}

std::string DescribePrintProgramEnd(int status) {
    // The toolkit gives a program ended by a signal as the negated signal number.
    return status >= 0 ? "exit status " + std::to_string(status)
                       : "signal " + std::to_string(-status);
}
