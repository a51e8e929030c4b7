#pragma once

#include <libssh/libssh.h>

// Owns one SSH session handle. Held only through std::shared_ptr (std::make_shared), so
// an SFTP session built on it can keep it alive.
class LibSshSession {
public:
    LibSshSession();
    ~LibSshSession();
    LibSshSession(const LibSshSession&) = delete;
    LibSshSession& operator=(const LibSshSession&) = delete;

    // Null when the library could not make a session; the user checks before use.
    ssh_session session;
};
