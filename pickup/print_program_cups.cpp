// Placeholder until printing lands.
#include "pickup/PrintProgram.h"

wxString DefaultPrintProgram() { return "lp"; }

long StartPrintProgram(const wxString&, const std::string&, const wxString&, wxProcess*) {
    return 0;
}
