#pragma once

#include <string>

#include <wx/file.h>
#include <wx/string.h>

// The outbox's file work, per platform.
namespace outbox {

// Creates `folder` and its parents, readable only by the user.
bool MakeFolder(const wxString& folder);
// Creates `path`, which must not exist, and opens it in `file` for writing. On Windows it is
// opened with delete sharing, so that it can be removed while still open.
bool CreateNew(const wxString& path, wxFile& file);
// Writes `text` to `temporary`, then renames it over `path`. With `durable`, the text is
// flushed before the rename, and the rename itself where the platform can (the folder
// needs FlushFolder where it cannot).
bool WriteByRename(const wxString& temporary, const wxString& path, const std::string& text,
                   bool durable);
// Makes the names created and renamed in `folder` survive a power cut.
bool FlushFolder(const wxString& folder);

}  // namespace outbox
