#pragma once

#include <wx/string.h>

// The deployment's drive-mapping script in the program's own folder: scripts/mapwebdav.sh
// beside its data on Unix (the build folder, or <prefix>/share/corvane-print-spooler),
// scripts\mapwebdav.vbs beside the program on Windows. Never the working directory: a
// script placed there by another user would run as this one.
wxString MappingScriptPath();

// Starts `script` without waiting for it and without looking at its result; on Windows
// through the system folder's script host.
void StartMappingScript(const wxString& script);
