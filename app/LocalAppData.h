#pragma once

// The program's folders under the user's local application data (Windows only).
#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it
#include <shlobj.h>

#include <wx/stdpaths.h>
#include <wx/utils.h>

// "<local application data>\Corvane Print Spooler\<leaf>"; empty when Windows names no
// such folder.
inline wxString LocalAppDataFolder(const wxString& leaf) {
    wxString base = wxStandardPaths::MSWGetShellDir(CSIDL_LOCAL_APPDATA);
    if (base.empty()) {
        wxGetEnv("LOCALAPPDATA", &base);
    }
    if (base.empty()) {
        return wxString();
    }
    while (base.length() > 1 && (base.Last() == '\\' || base.Last() == '/')) {
        base.RemoveLast();
    }
    return base + "\\Corvane Print Spooler\\" + leaf;
}
