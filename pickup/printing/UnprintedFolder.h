#pragma once

#include <wx/string.h>

// A document whose printing failed has already been removed from the server, so the local
// copy is the only one left: it is moved into a per-user folder that survives a restart,
// where the user can find it and print it by other means.

// The folder, whether or not it exists yet: $XDG_DATA_HOME/corvane-print-spooler/unprinted
// (~/.local/share when XDG_DATA_HOME is unset, empty or relative) on Unix,
// %LOCALAPPDATA%\Corvane Print Spooler\Unprinted on Windows.
wxString UnprintedFolder();

// The longest full path a kept document may have, in UTF-16 units; 0 where the platform's
// own limit is out of reach (Windows: 259, MAX_PATH without its terminating null).
size_t KeptPathLimit();

// Which types a kept document may show. DocumentsOnly: a few document types keep theirs and
// every other name gets ".txt" appended (Windows, where a file may act when its folder is
// only shown). AllButPrograms: only types Windows would run get ".txt".
enum class KeptTypes { DocumentsOnly, AllButPrograms };
KeptTypes PlatformKeptTypes();

// The document's name on the server turned into a plain file name that is safe on every
// platform: no path separators or characters Windows refuses, no "." or "..", no device
// names (judged, as Windows does, on the part before the first dot), no direction controls
// that would show a false type, no type `types` forbids ("x.exe" becomes "x.exe.txt"), not
// hidden, not empty, not too long; with `maxUtf16` (0: no such bound) at most that many
// UTF-16 units. Linear in the length of the name.
wxString SafeDocumentName(const wxString& name, size_t maxUtf16 = 0,
                          KeptTypes types = KeptTypes::AllButPrograms);

// The n-th name tried for a kept document: "name.pdf", then "name (2).pdf", "name (3).pdf"...
wxString NumberedName(const wxString& safeName, int n);

enum class MoveOutcome { Moved, NameTaken, Failed };

// Moves `from` to `to` without ever replacing a file at `to`; across file systems it copies,
// flushes the copy to disk and only then removes `from`. On failure `from` is left as it was.
MoveOutcome MoveWithoutReplacing(const wxString& from, const wxString& to);

struct UnprintedOutcome {
    wxString keptAs;  // full path of the kept document; empty when it could not be kept
    wxString notice;  // what the user is told
};

// Keeps `file` in the unprinted folder under `documentName` made safe and unique. When that
// fails (the folder cannot be made, the disk is full) the file stays where it is, and the
// notice says where.
UnprintedOutcome KeepUnprinted(const wxString& file, const wxString& documentName);
