#pragma once

#include <wx/file.h>
#include <wx/string.h>

// Per platform: creates a new file under a unique name in the user's temporary folder and
// opens it in `file` for writing. Returns its path, or empty when none could be made. On
// Windows it is opened with delete sharing, so that it can be removed while still open.
wxString NewTempFile(wxFile& file);
