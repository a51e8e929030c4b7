// Placeholder until printing lands.
#include "app/PrinterApp.h"

void PrinterApp::OnPrintFile(wxThreadEvent&) {}
