#pragma once

#include <chrono>
#include <functional>
#include <string>

#include <wx/string.h>

#include "pickup/sftp/SftpEndpoint.h"

// Everything the application takes from outside the program: the compiled-in constants
// of this build and the toolkit's modal dialogs. The program runs with Compiled(); tests
// substitute local servers and non-blocking dialogs.
struct AppSettings {
    SftpEndpoint sftp;
    std::string versionUrl;
    wxString downloadUrl;
    // The print program: "sumatraPDF.exe" beside the program on Windows, "lp" found
    // on the search path elsewhere.
    wxString printProgram;
    // The drive-mapping script run on every connect (MappingScriptPath()).
    wxString mappingScript;
    // How long the exit waits for the pickup worker before leaving without it.
    std::chrono::milliseconds exitWaitLimit{std::chrono::seconds(5)};
    // How long the program may take to end when the desktop session ends under it.
    std::chrono::milliseconds sessionEndLimit{std::chrono::seconds(4)};
    // wxMessageBox(message, caption, style) without parent; returns the answer.
    std::function<int(const wxString&, const wxString&, long)> messageBox;
    // wxLaunchDefaultBrowser(url); returns whether a browser was started.
    std::function<bool(const wxString&)> launchBrowser;

    static AppSettings Compiled();
};
