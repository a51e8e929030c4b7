#include "pickup/MappingScript.h"

#include <wx/utils.h>

void StartMappingScript() {
    // An argument vector: no shell parses the command itself.
    const char* argv[] = {"sh", "scripts/mapwebdav.sh", nullptr};
    wxExecute(argv, wxEXEC_ASYNC | wxEXEC_HIDE_CONSOLE);
}
