#include "app/PrinterApp.h"
#include "update/UpdateCheck.h"

void PrinterApp::StartUpdateCheck() {
    UrlUpdateCheck check(GetSettings().versionUrl);
    wxThread* worker = check.CreateCheckThread(this);
    if (worker->Run() != wxTHREAD_NO_ERROR) {
        // A detached thread that never started does not delete itself.
        delete worker;
    }
}
