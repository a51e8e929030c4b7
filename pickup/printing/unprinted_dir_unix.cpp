// The unprinted folder on Unix: under the XDG data directory, moved there with a hard link
// (which never replaces a file) or, across file systems, by a copy flushed to disk.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/filefn.h>
#include <wx/utils.h>

#include "app/UnixDescriptor.h"
#include "app/XdgFolder.h"
#include "pickup/printing/UnprintedFolder.h"

namespace {

bool CopyAll(int from, int to) {
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(from, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!WriteAll(to, buffer, static_cast<size_t>(got))) {
            return false;
        }
    }
}

// The copy must be on disk before the only other copy goes.
MoveOutcome CopyThenRemove(const char* from, const char* to) {
    Descriptor in(open(from, O_RDONLY | O_CLOEXEC));
    if (!in.valid()) {
        return MoveOutcome::Failed;
    }
    Descriptor out(open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.valid()) {
        return errno == EEXIST ? MoveOutcome::NameTaken : MoveOutcome::Failed;
    }
    bool copied = CopyAll(in.get(), out.get()) && fsync(out.get()) == 0;
    copied = out.Close() && copied;
    if (!copied) {
        unlink(to);
        return MoveOutcome::Failed;
    }
    unlink(from);
    return MoveOutcome::Moved;
}

}  // namespace

KeptTypes PlatformKeptTypes() {
    return KeptTypes::AllButPrograms;
}

size_t KeptPathLimit() {
    return 0;  // PATH_MAX is far beyond any folder and name made here
}

wxString UnprintedFolder() {
    return XdgFolder("XDG_DATA_HOME", ".local/share", "unprinted");
}

MoveOutcome MoveWithoutReplacing(const wxString& from, const wxString& to) {
    const wxCharBuffer fromName = from.fn_str();
    const wxCharBuffer toName = to.fn_str();
    if (link(fromName.data(), toName.data()) == 0) {
        unlink(fromName.data());
        return MoveOutcome::Moved;
    }
    if (errno == EEXIST) {
        return MoveOutcome::NameTaken;
    }
    // EXDEV, or a file system without hard links.
    return CopyThenRemove(fromName.data(), toName.data());
}
