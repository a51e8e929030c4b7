#pragma once

#include <string>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

// Log lines (DiagnosticLog) for the ways a pickup session fails, each naming the server
// (user@host:port) and giving the SSH library's own words. The password is never part
// of them.
void LogConnectFailure(ssh_session session);
// `why` completes "host key of <server> ...": "has changed", "cannot be checked: ...".
void LogHostKeyRefused(ssh_session session, const std::string& why);
// First contact: the key's fingerprint (as ssh shows it) and the file it went to.
void LogHostKeyRecorded(ssh_session session, const std::string& file, bool recorded);
void LogLoginRefused(ssh_session session, int authResult);
// `sftp` may be null (the library gave no SFTP session).
void LogSftpStartFailure(ssh_session session, sftp_session sftp);
// A run that ended without being asked to: what the session was doing (`during`, e.g.
// "listing .teskprinting/") and what it was left in.
void LogSessionEnded(ssh_session session, sftp_session sftp, const std::string& during);

// A string option as the session holds it; empty when it has none.
std::string SessionOption(ssh_session session, ssh_options_e type);
