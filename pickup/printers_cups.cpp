// Placeholder until printer discovery lands.
#include "pickup/Printers.h"

wxString QueryDefaultPrinterName() { return wxString(); }
wxArrayString QueryPrinterNames() { return wxArrayString(); }
