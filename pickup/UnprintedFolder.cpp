#include "pickup/UnprintedFolder.h"

#include <wx/filename.h>
#include <wx/log.h>

namespace {

// Leaves room for " (NNNN)" within the 255 bytes most file systems allow.
constexpr size_t kMaxNameBytes = 200;
// An extension longer than this is more likely part of the name than a file type.
constexpr size_t kMaxExtensionLength = 16;
constexpr int kMaxNumberedNames = 10000;

const wxString kForbiddenCharacters = "/\\:*?\"<>|";

bool IsDeviceName(const wxString& stem) {
    static const wxString kDevices[] = {"CON", "PRN", "AUX", "NUL"};
    const wxString upper = stem.Upper();
    for (const wxString& device : kDevices) {
        if (upper == device) {
            return true;
        }
    }
    return upper.length() == 4 && (upper.StartsWith("COM") || upper.StartsWith("LPT")) &&
           upper[3] >= '0' && upper[3] <= '9';
}

// Splits at the last dot that is not the first character: "a.tar.gz" -> "a.tar", ".gz".
void SplitExtension(const wxString& name, wxString* stem, wxString* extension) {
    const int dot = name.Find('.', true);
    if (dot > 0 && name.length() - dot <= kMaxExtensionLength) {
        *stem = name.Left(dot);
        *extension = name.Mid(dot);
    } else {
        *stem = name;
        extension->clear();
    }
}

size_t Utf8Length(const wxString& text) {
    return text.utf8_str().length();
}

// Drops characters from the end until the UTF-8 form fits `bytes`.
wxString Shortened(wxString text, size_t bytes) {
    while (!text.empty() && Utf8Length(text) > bytes) {
        text.RemoveLast();
    }
    return text;
}

}  // namespace

wxString SafeDocumentName(const wxString& name) {
    wxString safe;
    for (const wxUniChar c : name) {
        const bool control = c.GetValue() < 0x20 || c.GetValue() == 0x7f;
        safe += control || kForbiddenCharacters.Find(c) != wxNOT_FOUND ? wxUniChar('_') : c;
    }
    // Windows drops trailing dots and blanks; leading ones make "..", or a hidden file.
    safe.Trim(false).Trim(true);
    while (!safe.empty() && (safe.Last() == '.' || safe.Last() == ' ')) {
        safe.RemoveLast();
    }
    while (!safe.empty() && (safe[0] == '.' || safe[0] == ' ')) {
        safe.Remove(0, 1);
    }
    if (safe.empty()) {
        return "document";
    }

    wxString stem;
    wxString extension;
    SplitExtension(safe, &stem, &extension);
    if (IsDeviceName(stem)) {
        stem = "_" + stem;
    }
    if (Utf8Length(stem) + Utf8Length(extension) > kMaxNameBytes) {
        stem = Shortened(stem, kMaxNameBytes - Utf8Length(extension));
        stem.Trim(true);
    }
    return stem + extension;
}

wxString NumberedName(const wxString& safeName, int n) {
    if (n <= 1) {
        return safeName;
    }
    wxString stem;
    wxString extension;
    SplitExtension(safeName, &stem, &extension);
    return wxString::Format("%s (%d)%s", stem, n, extension);
}

UnprintedOutcome KeepUnprinted(const wxString& file, const wxString& documentName) {
    // Failures here are reported in the notice; the toolkit's own log boxes would only
    // repeat them, one per failed call.
    wxLogNull quiet;
    const wxString folder = UnprintedFolder();
    UnprintedOutcome outcome;
    // Private documents: the folders made here are the user's alone.
    if (!folder.empty() && wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL)) {
        const wxString name = SafeDocumentName(documentName);
        for (int n = 1; n <= kMaxNumberedNames; ++n) {
            const wxString target = folder + wxFILE_SEP_PATH + NumberedName(name, n);
            const MoveOutcome moved = MoveWithoutReplacing(file, target);
            if (moved == MoveOutcome::Moved) {
                outcome.keptAs = target;
            }
            if (moved != MoveOutcome::NameTaken) {
                break;
            }
        }
    }
    if (!outcome.keptAs.empty()) {
        outcome.notice = "The document could not be printed. It was kept in " + folder + ".";
    } else {
        outcome.notice = "The document could not be printed, nor kept in " + folder +
                         ". It was left in " + wxFileName(file).GetPath() + ".";
    }
    return outcome;
}
