#include <wx/filename.h>
#include <wx/utils.h>

#include "app/SingleInstance.h"

namespace {

wxString FileNamePart(const wxString& text) {
    wxString part;
    for (const wxUniChar c : text) {
        part += wxIsalnum(c) || c == '.' || c == '-' || c == '_' ? c : wxUniChar('_');
    }
    return part;
}

}  // namespace

InstancePlace SessionInstancePlace() {
    // The runtime folder lives as long as the user's login; one user may have several
    // displays, each a desktop session of its own.
    wxString display;
    if (!wxGetEnv("WAYLAND_DISPLAY", &display) || display.empty()) {
        wxGetEnv("DISPLAY", &display);
    }
    wxString folder;
    wxGetEnv("XDG_RUNTIME_DIR", &folder);
    if (folder.empty() || !wxIsAbsolutePath(folder) || !wxFileName::DirExists(folder)) {
        folder = wxGetHomeDir();  // where the toolkit would put the lock
    }
    const wxString name =
        ".corvane-print-spooler-" + FileNamePart(wxGetUserId()) + "-" + FileNamePart(display);

    InstancePlace place;
    place.lockName = name + ".lock";
    place.lockFolder = folder;
    // A path: the toolkit's IPC then uses a Unix socket, made for this user only.
    place.service = folder + "/" + name + ".sock";
    return place;
}
