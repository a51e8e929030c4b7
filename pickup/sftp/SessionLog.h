#pragma once

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <string>

// Log lines (DiagnosticLog) for the ways a pickup session fails, each naming the server
// (user@host:port) and giving the SSH library's own words. The password is never part
// of them.
void LogConnectFailure(ssh_session session);
void LogHostKeyRefused(ssh_session session, ssh_known_hosts_e state);
void LogLoginRefused(ssh_session session, int authResult);
// `sftp` may be null (the library gave no SFTP session).
void LogSftpStartFailure(ssh_session session, sftp_session sftp);
// A run that ended without being asked to: what the session was doing (`during`, e.g.
// "listing .teskprinting/") and what it was left in.
void LogSessionEnded(ssh_session session, sftp_session sftp, const std::string& during);
