// Placeholder until the update prompt lands.
#include "app/PrinterApp.h"

void PrinterApp::OnUpdateAvailable(wxThreadEvent&) {}
