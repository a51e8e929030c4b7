#pragma once

// The program's folders under the user's XDG base directories (Unix only).
#include <wx/string.h>
#include <wx/utils.h>

// "<$variable>/corvane-print-spooler/<leaf>", or under "~/<fallback>" when the variable is
// unset or not an absolute path (the XDG rules ignore a relative one).
inline wxString XdgFolder(const char* variable, const wxString& fallback, const wxString& leaf) {
    wxString base;
    if (!wxGetEnv(variable, &base) || !base.StartsWith("/")) {
        base = wxGetHomeDir() + "/" + fallback;
    }
    while (base.length() > 1 && base.Last() == '/') {
        base.RemoveLast();
    }
    return base + "/corvane-print-spooler/" + leaf;
}
