#pragma once

#include <libssh/libssh.h>

// Checks the connected server's key against the known-hosts files before any password goes
// out: true when the key is on record, or on first contact, when it is recorded in the
// user's file and its fingerprint logged. Every refusal is logged. `withSystemFile` adds
// the system-wide file (read, never written) to the user's.
bool VerifyServerIdentity(ssh_session session, bool withSystemFile);
