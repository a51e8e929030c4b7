#pragma once

#include <memory>

#include <libssh/sftp.h>

#include "pickup/sftp/LibSshSession.h"

// Owns one SFTP session and keeps the SSH session under it alive, so the SFTP session is
// always freed before the SSH session is disconnected and freed, whichever owner lets go
// first. Held only through std::shared_ptr (std::make_shared).
class LibSshSftp {
public:
    explicit LibSshSftp(std::shared_ptr<LibSshSession> sessionPointer);
    ~LibSshSftp();
    LibSshSftp(const LibSshSftp&) = delete;
    LibSshSftp& operator=(const LibSshSftp&) = delete;

    // Null when the library could not make one; the user checks before use.
    sftp_session sftp;
    std::shared_ptr<LibSshSession> session;
};
