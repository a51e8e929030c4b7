// The unprinted folder on Windows: under the user's local application data, moved there by
// MoveFileExW, which refuses to replace a file unless asked to and copies across volumes.
#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it
#include <shlobj.h>

#include <wx/stdpaths.h>
#include <wx/utils.h>

#include "app/LocalAppData.h"
#include "pickup/printing/UnprintedFolder.h"

namespace {

// Marks a kept document as coming from the internet, as a browser marks a download: Windows
// then warns before opening it, and Office opens it in protected view. A volume without
// alternate data streams keeps the file unmarked.
void MarkFromInternet(const wxString& file) {
    const HANDLE stream = CreateFileW((file + ":Zone.Identifier").wc_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (stream == INVALID_HANDLE_VALUE) {
        return;
    }
    static const char kZone[] = "[ZoneTransfer]\r\nZoneId=3\r\n";
    DWORD written = 0;
    WriteFile(stream, kZone, sizeof kZone - 1, &written, nullptr);
    CloseHandle(stream);
}

}  // namespace

KeptTypes PlatformKeptTypes() {
    return KeptTypes::DocumentsOnly;
}

size_t KeptPathLimit() {
    // Programs that open the kept document, Explorer among them, stop at MAX_PATH.
    return MAX_PATH - 1;
}

wxString UnprintedFolder() {
    return LocalAppDataFolder("Unprinted");
}

MoveOutcome MoveWithoutReplacing(const wxString& from, const wxString& to) {
    // Write-through: across volumes the call returns only once the copy is on disk and the
    // source is gone.
    if (MoveFileExW(from.wc_str(), to.wc_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)) {
        MarkFromInternet(to);
        return MoveOutcome::Moved;
    }
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? MoveOutcome::NameTaken
                                                                       : MoveOutcome::Failed;
}
