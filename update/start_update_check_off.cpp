#include "app/PrinterApp.h"

// A build without the update check (CORVANE_UPDATE_CHECK=OFF), for packages whose updates
// come from the system's package manager.
void PrinterApp::StartUpdateCheck() {}
