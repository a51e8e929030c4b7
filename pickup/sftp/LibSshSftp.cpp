#include "pickup/sftp/LibSshSftp.h"

#include <utility>

LibSshSftp::LibSshSftp(std::shared_ptr<LibSshSession> sessionPointer)
    : sftp(nullptr), session(std::move(sessionPointer)) {
    if (session != nullptr && session->session != nullptr) {
        sftp = sftp_new(session->session);
    }
}

LibSshSftp::~LibSshSftp() {
    if (sftp != nullptr) {
        sftp_free(sftp);
    }
    // `session` is released after this body, so the SSH session outlives the SFTP one.
}
