#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it

#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/stdpaths.h>

#include "pickup/sftp/NewTempFile.h"

namespace {

// Owns a handle until the C runtime takes it over.
class Handle {
public:
    explicit Handle(HANDLE handle) : handle(handle) {}
    ~Handle() {
        if (valid()) {
            CloseHandle(handle);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle; }
    void release() { handle = INVALID_HANDLE_VALUE; }

private:
    HANDLE handle;
};

}  // namespace

wxString NewTempFile(wxFile& file) {
    // The toolkit's file handles refuse to be deleted while open, and a stuck worker's copy
    // is removed at exit while the worker still holds it. So the name is made by the toolkit
    // and the file opened again with delete sharing: removed then, it goes when it is closed.
    const wxString path =
        wxFileName::CreateTempFileName(wxStandardPaths::Get().GetTempDir() + "\\");
    if (path.empty()) {
        return wxString();
    }
    Handle handle(CreateFileW(path.wc_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const int fd = handle.valid() ? _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.get()),
                                                    _O_BINARY | _O_RDWR)
                                  : -1;
    if (fd < 0) {
        wxRemoveFile(path);
        return wxString();
    }
    handle.release();  // the descriptor owns it now
    file.Attach(fd);
    return path;
}
