#include "pickup/printing/UnprintedFolder.h"

#include <algorithm>
#include <iterator>

#include <wx/filename.h>
#include <wx/log.h>

namespace {

// Leaves room for " (NNNN)" within the 255 bytes most file systems allow.
constexpr size_t kMaxNameBytes = 200;
// An extension longer than this is more likely part of the name than a file type.
constexpr size_t kMaxExtensionLength = 16;
constexpr int kMaxNumberedNames = 10000;
// What NumberedName may add: " (10000)".
constexpr size_t kNumberedRoom = 8;
// Below this a kept name would say nothing; the document then stays where it is.
constexpr size_t kShortestKeptName = 12;

const wxString kForbiddenCharacters = "/\\:*?\"<>|";

// Windows opens a device for any name whose part before the first dot, without its trailing
// blanks and dots, is a device's: "nul.report.pdf", "AUX .pdf".
bool IsDeviceName(const wxString& name) {
    static const wxString kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    wxString upper = name.BeforeFirst('.').Upper();
    while (!upper.empty() && (upper.Last() == ' ' || upper.Last() == '.')) {
        upper.RemoveLast();
    }
    for (const wxString& device : kDevices) {
        if (upper == device) {
            return true;
        }
    }
    if (upper.length() != 4 || !(upper.StartsWith("COM") || upper.StartsWith("LPT"))) {
        return false;
    }
    // Superscript digits count as digits here too.
    const wxUniChar digit = upper[3];
    return (digit >= '0' && digit <= '9') || digit == wxUniChar(0xB9) || digit == wxUniChar(0xB2) ||
           digit == wxUniChar(0xB3);
}

template <std::size_t N>
bool IsOneOf(const wxString& extension, const wxString (&types)[N]) {
    const wxString lower = extension.Lower();
    return std::find(std::begin(types), std::end(types), lower) != std::end(types);
}

// Types that Windows runs when the file is opened; the server chooses the name.
bool IsExecutableType(const wxString& extension) {
    static const wxString kTypes[] = {".exe", ".lnk", ".hta", ".bat",
                                      ".cmd", ".scr", ".js",  ".vbs"};
    return IsOneOf(extension, kTypes);
}

// Documents that keep their type where any other type may act when its folder is merely
// shown (.url, .scf, .library-ms, .searchConnector-ms fetch icons from the network).
bool IsDocumentType(const wxString& extension) {
    static const wxString kTypes[] = {".pdf", ".ps",   ".xps", ".txt", ".png",
                                      ".jpg", ".jpeg", ".tif", ".tiff"};
    return IsOneOf(extension, kTypes);
}

// Embedding, override and isolate controls: "invoice\u202Efdp.exe" shows as "invoiceexe.pdf".
bool IsDirectionControl(wxUniChar c) {
    const auto value = c.GetValue();
    return (value >= 0x202A && value <= 0x202E) || (value >= 0x2066 && value <= 0x2069);
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

size_t Utf16Length(const wxString& text) {
    size_t length = 0;
    for (const wxUniChar c : text) {
        length += c.GetValue() > 0xFFFF ? 2 : 1;
    }
    return length;
}

// The longest start of `text` whose size, counted character by character with `size`,
// fits `limit`: one pass, whatever the length of the name.
template <typename Size>
wxString LongestStart(const wxString& text, size_t limit, Size size) {
    size_t used = 0;
    size_t characters = 0;
    for (const wxUniChar c : text) {
        const size_t next = size(c.GetValue());
        if (used + next > limit) {
            break;
        }
        used += next;
        ++characters;
    }
    return text.Left(characters);
}

size_t Utf8Size(wxUint32 c) {
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

size_t Utf16Size(wxUint32 c) {
    return c > 0xFFFF ? 2 : 1;
}

}  // namespace

wxString SafeDocumentName(const wxString& name, size_t maxUtf16, KeptTypes types) {
    wxString safe;
    for (const wxUniChar c : name) {
        if (IsDirectionControl(c)) {
            continue;
        }
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
    const int lastDot = safe.Find('.', true);
    const bool appendText = types == KeptTypes::DocumentsOnly
                                ? lastDot != wxNOT_FOUND && !IsDocumentType(safe.Mid(lastDot))
                                : IsExecutableType(extension);
    if (appendText) {
        extension += ".txt";
    }
    if (IsDeviceName(stem + extension)) {
        stem = "_" + stem;
    }
    if (Utf8Length(stem) + Utf8Length(extension) > kMaxNameBytes) {
        stem = LongestStart(stem, kMaxNameBytes - Utf8Length(extension), Utf8Size);
        stem.Trim(true);
    }
    if (maxUtf16 > Utf16Length(extension) &&
        Utf16Length(stem) + Utf16Length(extension) > maxUtf16) {
        stem = LongestStart(stem, maxUtf16 - Utf16Length(extension), Utf16Size);
        stem.Trim(true);
    }
    if (stem.empty()) {
        stem = "d";
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
    // The kept path stays within the platform's limit, with room for a number.
    const size_t limit = KeptPathLimit();
    const size_t used = Utf16Length(folder) + 1 + kNumberedRoom;
    const bool fits = limit == 0 || limit >= used + kShortestKeptName;
    if (!folder.empty() && fits && wxFileName::Mkdir(folder, 0700, wxPATH_MKDIR_FULL)) {
        const wxString name =
            SafeDocumentName(documentName, limit == 0 ? 0 : limit - used, PlatformKeptTypes());
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
