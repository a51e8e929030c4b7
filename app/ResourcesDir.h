#pragma once

#include <wx/string.h>

// Folder of the picture and the icon read at start-up, without a trailing separator.
wxString ResourcesDir();
