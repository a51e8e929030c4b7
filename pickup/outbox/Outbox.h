#pragma once

#include <optional>
#include <string>
#include <vector>

#include <wx/file.h>
#include <wx/string.h>

#include "pickup/outbox/OutboxRecord.h"

// The outbox: the local copy of every document taken off the server, in a per-user folder
// that survives a restart, until its print program reports success, it moves to the
// unprinted folder, or it turns out to be another agent's. Beside each copy "<id>.copy" a
// record "<id>.rec" (written whole by a rename; a later stage overwrites only the stage, in
// place) says where it stands, so that the next run can finish what this one could not. A
// copy without a record is a partial one.
//
// The functions may be called from any thread; a copy is named by its full path.
namespace outbox {

// The folder, whether or not it exists yet (platform): $XDG_STATE_HOME/corvane-print-spooler/
// outbox (~/.local/state when XDG_STATE_HOME is unset, empty or relative) on Unix,
// %LOCALAPPDATA%\Corvane Print Spooler\Outbox on Windows.
wxString Folder();

// Creates the folder when needed and a new copy file under a unique name, opened in `file`
// for writing. Returns its path, or empty when none can be made.
wxString NewCopy(wxFile& file);

// The copy (already written, flushed and closed) is complete: writes its record, flushed.
// Once the folder is flushed too (SecureFolder), both survive a power cut, and only then
// may the server's copy go.
bool Secure(const wxString& copy, const OutboxRecord& record);

// Flushes the folder, so that the copies and records secured before survive a power cut:
// once for several copies taken in a row, not once per copy.
bool SecureFolder();

// Moves the document on to `stage`: the stage overwritten in place, or a new record renamed
// over the old when the kept flag changes too. Not flushed: losing it to a power cut only
// repeats a step that is safe to repeat.
bool SetStage(const wxString& copy, OutboxStage stage, bool keptOnServer = false);

std::optional<OutboxRecord> Read(const wxString& copy);

// The copy and its record go (a failed copy, another agent's document, an exit).
void Remove(const wxString& copy);

// The document is printed (or kept elsewhere): the copy goes, and the record with it unless
// the server keeps the file, whose record then stays as done.
void Finished(const wxString& copy);

// The server no longer holds the unchanged file that `copy`'s record remembers: the record
// of a done document goes, others stop remembering the server's file.
void ForgetKept(const wxString& copy);

// A tag unique to the copy, for the print system's job title: "[<id>]".
std::string JobTag(const wxString& copy);

struct Earlier {
    wxString copy;  // the copy's path (gone for a done record)
    OutboxRecord record;
};

// What earlier runs left, oldest first, taken over by this run so that it is handed out
// once. Partial copies (and torn records) are removed on the way.
std::vector<Earlier> ClaimEarlier();

// Gives a claimed document back, for the next claim (its server could not be asked).
void Unclaim(const wxString& copy);

}  // namespace outbox
