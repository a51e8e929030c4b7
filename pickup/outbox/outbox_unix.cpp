// The outbox on Unix: under the XDG state directory; records replaced by rename(2), and
// flushed with fsync where it matters, the folder apart, since a rename is durable only
// once its folder is flushed.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <wx/filename.h>
#include <wx/utils.h>

#include "app/UnixDescriptor.h"
#include "app/XdgFolder.h"
#include "pickup/outbox/Outbox.h"
#include "pickup/outbox/OutboxFiles.h"

namespace outbox {

bool FlushFolder(const wxString& folder) {
    const Descriptor fd(open(folder.fn_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.valid() && fsync(fd.get()) == 0;
}

wxString Folder() {
    return XdgFolder("XDG_STATE_HOME", ".local/state", "outbox");
}

bool MakeFolder(const wxString& folder) {
    if (wxFileName::DirExists(folder)) {
        return true;
    }
    return wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL);
}

bool CreateNew(const wxString& path, wxFile& file) {
    const int fd = open(path.fn_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    file.Attach(fd);
    return true;
}

bool WriteByRename(const wxString& temporary, const wxString& path, const std::string& text,
                   bool durable) {
    Descriptor fd(open(temporary.fn_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid()) {
        return false;
    }
    bool written = WriteAll(fd.get(), text.data(), text.size());
    written = (!durable || fdatasync(fd.get()) == 0) && written;
    written = fd.Close() && written;
    if (!written || rename(temporary.fn_str(), path.fn_str()) != 0) {
        unlink(temporary.fn_str());
        return false;
    }
    return true;
}

}  // namespace outbox
