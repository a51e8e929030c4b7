#include "pickup/sftp/LibSshSession.h"

LibSshSession::LibSshSession() : session(ssh_new()) {}

LibSshSession::~LibSshSession() {
    if (session != nullptr) {
        ssh_disconnect(session);
        ssh_free(session);
    }
}
