#include "pickup/MappingScript.h"

#include <wx/utils.h>

void StartMappingScript() {
    wxExecute("cscript.exe scripts\\mapwebdav.vbs", wxEXEC_ASYNC | wxEXEC_HIDE_CONSOLE);
}
