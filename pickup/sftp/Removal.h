#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <libssh/sftp.h>

// Taking a copied file off the server. A document belongs to the agent whose removal takes
// it off: another agent on the same account may hold a copy of the same file.
enum class Removal {
    // Removed by this agent: the copy is the document's.
    Removed,
    // Someone else removed it first (or the service withdrew it): the copy is dropped.
    Gone,
    // No longer the file that was copied (replaced, truncated, written to): not removed, and
    // the copy is dropped; the file is watched again from the start.
    Changed,
    // Still there and cannot be removed (no permission): the copy is handed over, once.
    Kept,
    // The session ended before the server answered: the file may or may not be gone, so the
    // copy is handed over rather than risk losing the document.
    SessionLost,
};

// SFTP v3 has no file identity, so "the file that was copied" is the name with the size and
// modification time (0: unknown) it rested at: that narrows a replacement race without
// closing it.
// `lost` tells whether the session has gone (the library's own view may lag behind a link
// the worker cut itself); a failed call on a lost session says nothing about the file.
Removal RemoveTakenFile(sftp_session sftp, const std::string& path, std::uint64_t size,
                        std::uint32_t mtime, const std::function<bool()>& lost);

// The session's server end has gone, as far as the library knows: nothing sent now gets an
// answer.
bool SessionLost(sftp_session sftp);
