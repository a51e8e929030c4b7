#include "pickup/sftp/Removal.h"

#include <libssh/libssh.h>

#include "pickup/sftp/SftpHandles.h"

bool SessionLost(sftp_session sftp) {
    return ssh_is_connected(sftp->session) == 0 || ssh_channel_is_open(sftp->channel) == 0;
}

namespace {

// After a failed call: whether the server said the name does not exist. Asked only while
// the session lives, since the library's last error may be an older one otherwise.
bool NoSuchFile(sftp_session sftp, const std::function<bool()>& lost) {
    return !lost() && sftp_get_error(sftp) == SSH_FX_NO_SUCH_FILE;
}

}  // namespace

Removal RemoveTakenFile(sftp_session sftp, const std::string& path, std::uint64_t size,
                        std::uint32_t mtime, const std::function<bool()>& lost) {
    const Attributes current(sftp_stat(sftp, path.c_str()));
    if (current == nullptr) {
        if (NoSuchFile(sftp, lost)) {
            return Removal::Gone;
        }
        // Not removed: whatever is there is found again by this session or the next.
        if (lost()) {
            return Removal::Changed;
        }
        // A name that cannot be looked up yet was read: removed as before.
    } else {
        // A time that either answer leaves out is not compared: a server that gives it in
        // one kind of answer only must not make every file look changed.
        const bool timed = mtime != 0 && (current->flags & SSH_FILEXFER_ATTR_ACMODTIME) != 0;
        // A size left out is unknown: nothing is removed on a guess.
        const bool sized = (current->flags & SSH_FILEXFER_ATTR_SIZE) != 0;
        if (!sized || current->size != size || (timed && current->mtime != mtime)) {
            return Removal::Changed;
        }
    }

    if (sftp_unlink(sftp, path.c_str()) == SSH_NO_ERROR) {
        return Removal::Removed;
    }
    if (lost()) {
        return Removal::SessionLost;
    }
    if (sftp_get_error(sftp) == SSH_FX_NO_SUCH_FILE) {
        return Removal::Gone;
    }
    const Attributes after(sftp_stat(sftp, path.c_str()));
    if (after != nullptr) {
        return Removal::Kept;
    }
    if (lost()) {
        return Removal::SessionLost;
    }
    return sftp_get_error(sftp) == SSH_FX_NO_SUCH_FILE ? Removal::Gone : Removal::Kept;
}
