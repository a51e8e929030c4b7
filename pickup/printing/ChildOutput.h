#pragma once

#include <cstddef>
#include <string>

#include <wx/process.h>
#include <wx/timer.h>

// Reads a redirected child process's output while it runs, so that a chatty program never
// waits on a full pipe: the standard output is dropped, and the start of the error output
// is kept for the log. Reading never waits. Lives on the user-interface thread, as long
// as the process object it reads from.
class ChildOutput : private wxTimer {
public:
    explicit ChildOutput(wxProcess& process);
    ~ChildOutput() override;
    ChildOutput(const ChildOutput&) = delete;
    ChildOutput& operator=(const ChildOutput&) = delete;

    // Reads every few milliseconds from now on.
    void StartReading();
    // Reads what is there now (after the program's end: what it left in the pipes).
    void Drain();
    // Up to `lines` first lines of the error output, joined by " | ", fit for one log line.
    std::string FirstErrorLines(std::size_t lines = 3) const;

private:
    void Notify() override;

    wxProcess& process;
    std::string errorStart;  // the first bytes of the error output
};
