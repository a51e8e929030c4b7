#include "app/PrinterApp.h"

#include <wx/defs.h>

void PrinterApp::OnUpdateAvailable(wxThreadEvent&) {
    // Set before asking: the modal question runs its own event loop, which may deliver a
    // second report while the first is still being answered.
    if (updateOffered) {
        return;
    }
    updateOffered = true;

    const int answer =
        ShowMessage("An update is available. Download now?", "Update Available", wxYES_NO);
    if (answer == wxYES) {
        // Whether a browser could be started is of no consequence here.
        GetSettings().launchBrowser(GetSettings().downloadUrl);
    }
}
