#pragma once

#include <wx/arrstr.h>
#include <wx/string.h>

// The platform's printer list: the Windows print spooler, or CUPS elsewhere.
wxString QueryDefaultPrinterName();  // empty when there is no default
wxArrayString QueryPrinterNames();   // in the print system's order
