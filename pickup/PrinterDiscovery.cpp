// Placeholder until printer discovery lands.
#include "app/PrinterApp.h"
#include "pickup/Printers.h"

wxString PrinterApp::GetDefaultPrinterName() { return QueryDefaultPrinterName(); }

wxArrayString PrinterApp::GetPrinterNames() { return QueryPrinterNames(); }
