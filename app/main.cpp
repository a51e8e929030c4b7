#include "app/PrinterApp.h"

wxIMPLEMENT_APP(PrinterApp);
