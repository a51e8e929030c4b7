#include "app/ResourcesDir.h"

#include <wx/filename.h>
#include <wx/stdpaths.h>

wxString ResourcesDir() {
    // A build keeps its data beside the executable; an installed program under
    // <prefix>/share/corvane-print-spooler.
    const wxString exeDir = ProgramDir();
    if (wxFileName::FileExists(exeDir + "/PrintBackgroundImage.bmp") ||
        wxFileName::FileExists(exeDir + "/corvane48.ico")) {
        return exeDir;
    }
    return wxStandardPaths::Get().GetInstallPrefix() + "/share/corvane-print-spooler";
}

wxString ProgramDir() {
    return wxFileName(wxStandardPaths::Get().GetExecutablePath()).GetPath();
}

wxIcon BuiltInIcon() {
    return wxIcon();  // an ELF program carries no icon
}

wxBitmapBundle TrayIconSizes(const wxIcon& icon) {
    // The desktop's tray scales the icon it is given.
    return wxBitmapBundle(icon);
}
