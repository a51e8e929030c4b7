#include "pickup/MappingScript.h"

#include <wx/utils.h>

#include "app/ResourcesDir.h"

wxString MappingScriptPath() {
    return ResourcesDir() + "/scripts/mapwebdav.sh";
}

void StartMappingScript(const wxString& script) {
    // An argument vector: no shell parses the command itself.
    const wxCharBuffer path = script.fn_str();
    const char* argv[] = {"/bin/sh", path.data(), nullptr};
    wxExecute(argv, wxEXEC_ASYNC | wxEXEC_HIDE_CONSOLE);
}
