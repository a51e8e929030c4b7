// The printer list of the login form, from the platform's print system.
#include "app/PrinterApp.h"
#include "pickup/Printers.h"

wxString PrinterApp::GetDefaultPrinterName() {
    return QueryDefaultPrinterName();
}

wxArrayString PrinterApp::GetPrinterNames() {
    return QueryPrinterNames();
}
