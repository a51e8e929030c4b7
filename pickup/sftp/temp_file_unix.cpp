#include <wx/filename.h>
#include <wx/stdpaths.h>

#include "pickup/sftp/NewTempFile.h"

wxString NewTempFile(wxFile& file) {
    return wxFileName::CreateTempFileName(wxStandardPaths::Get().GetTempDir() + "/", &file);
}
