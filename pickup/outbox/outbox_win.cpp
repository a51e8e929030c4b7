// The outbox on Windows: under the user's local application data; records replaced by
// MoveFileExW, write-through, after FlushFileBuffers where it matters.
#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include <wx/filename.h>
#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "app/LocalAppData.h"
#include "pickup/outbox/Outbox.h"
#include "pickup/outbox/OutboxFiles.h"

namespace outbox {
namespace {

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

wxString Folder() {
    return LocalAppDataFolder("Outbox");
}

bool MakeFolder(const wxString& folder) {
    if (wxFileName::DirExists(folder)) {
        return true;
    }
    return wxFileName::Mkdir(folder, wxS_DIR_DEFAULT, wxPATH_MKDIR_FULL);
}

bool CreateNew(const wxString& path, wxFile& file) {
    // The toolkit's file handles refuse to be deleted while open, and a stuck worker's copy
    // is removed at exit while the worker still holds it: opened with delete sharing, it
    // goes when it is closed.
    Handle handle(CreateFileW(path.wc_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const int fd = handle.valid() ? _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.get()),
                                                    _O_BINARY | _O_RDWR)
                                  : -1;
    if (fd < 0) {
        return false;  // the handle, if any, is closed on the way out
    }
    handle.release();  // the descriptor owns it now
    file.Attach(fd);
    return true;
}

bool WriteByRename(const wxString& temporary, const wxString& path, const std::string& text,
                   bool durable) {
    bool written = false;
    {
        Handle handle(CreateFileW(temporary.wc_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) {
            return false;
        }
        DWORD done = 0;
        written =
            WriteFile(handle.get(), text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
            done == text.size();
        written = (!durable || FlushFileBuffers(handle.get())) && written;
    }
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (!written || !MoveFileExW(temporary.wc_str(), path.wc_str(), flags)) {
        DeleteFileW(temporary.wc_str());
        return false;
    }
    return true;
}

bool FlushFolder(const wxString&) {
    // A durable rename is written through already, and NTFS logs the names it creates.
    return true;
}

}  // namespace outbox
