#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <wx/event.h>

// Support for the test programs that run under Wine. The servers they talk to (sshd, the
// web server, cupsd) run on the build machine, started by tests/windows/wine_run.py, which
// passes their ports, accounts and folders in CORVANE_* environment variables; folders come
// as Windows paths (Z:\...).

// The variable's value; the test fails (and the value is empty) when the driver did not
// set it.
std::string DriverValue(const char* name);
// The same in UTF-8, whatever the ANSI code page holds: for texts beyond it.
std::string DriverText(const char* name);

// A folder of its own under %TEMP% whose name has a blank in it; removed with everything
// in it when the object goes away.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix);
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path; }
    std::string Native() const;  // the path in the current code page

private:
    std::filesystem::path path;
};

// One start of a stand-in program (tests/windows/standin_main.cpp).
struct StandinStart {
    std::string program;
    std::string commandLine;
    std::string cwd;
    std::vector<std::string> args;
    bool lastArgumentExists = false;
};

// The starts recorded in `folder` so far (UTF-8 texts), in no particular order.
std::vector<StandinStart> ReadStandinStarts(const std::filesystem::path& folder);

// Puts a copy of the stand-in program (CORVANE_STANDIN) into `folder` as `name`.
void PlaceStandin(const std::filesystem::path& folder, const std::string& name);

// Records the texts of the pickup worker's events as the tests compare them: the status,
// connected, error and finished texts, and "PRINT" for a hand-over (whose paths are kept).
class WorkerEventLog : public wxEvtHandler {
public:
    WorkerEventLog();
    ~WorkerEventLog() override;

    std::vector<std::string> texts;
    std::vector<wxString> printedPaths;
    bool Has(const std::string& text) const;

private:
    void OnEvent(wxThreadEvent& event);
};
