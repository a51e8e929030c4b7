#include "app/ResourcesDir.h"

#include <wx/stdpaths.h>

wxString ResourcesDir() {
    // On Windows this is the folder of the executable.
    return wxStandardPaths::Get().GetResourcesDir();
}
