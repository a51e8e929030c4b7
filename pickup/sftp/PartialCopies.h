#pragma once

#include <wx/file.h>
#include <wx/string.h>

// Local copies that a pickup worker is still writing. A worker left behind at exit (stuck on
// a server that stopped answering) never finishes its copy, and the process then ends without
// waiting for it; the exit removes such copies, which are only ever partial duplicates of a
// document still on the server.

// Creates and opens a new file for a copy in the outbox; empty when none can be made or the
// exit has already begun.
wxString CreatePartialCopy(wxFile& file);

// The copy failed (or was not needed): removes the file and its record unless the exit
// already did.
void DropPartialCopy(const wxString& path);

// The copy is complete and about to leave the server: from now on it may be the only copy,
// so the exit must keep it. False when the exit has already removed it.
bool CompletePartialCopy(const wxString& path);

// At exit, with a worker left behind: removes every copy still in progress and refuses new
// ones.
void RemovePartialCopiesForExit();
