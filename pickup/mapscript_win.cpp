#include "pickup/MappingScript.h"

#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it
#include <wx/utils.h>

#include "app/ResourcesDir.h"
#include "pickup/printing/WinCommandLine.h"

namespace {

// The script host of the system folder, not one found on the search path (which starts
// with the working directory).
wxString ScriptHost() {
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) {
        return wxString();
    }
    return WithTrailingBackslash(wxString(folder)) + "cscript.exe";
}

}  // namespace

wxString MappingScriptPath() {
    return ProgramDir() + "\\scripts\\mapwebdav.vbs";
}

void StartMappingScript(const wxString& script) {
    const wxString host = ScriptHost();
    if (host.empty()) {
        return;
    }
    wxExecute(QuoteWindowsArgument(host) + " " + QuoteWindowsArgument(script),
              wxEXEC_ASYNC | wxEXEC_HIDE_CONSOLE);
}
