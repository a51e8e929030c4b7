#pragma once

#include <string>

#include <wx/string.h>

// The narrow text the workers, the network libraries and the log exchange is UTF-8 on every
// platform, whatever the C library's locale: the locale's own conversion turns every
// character beyond ASCII into nothing under "C", and on Windows into the ANSI code page,
// which loses what that page lacks. The few places that need the code page's bytes (the
// account ID on Windows) convert on their own.
inline wxString FromNarrow(const std::string& text) {
    const wxString converted = wxString::FromUTF8(text.data(), text.size());
    if (!converted.empty() || text.empty()) {
        return converted;
    }
    // Not UTF-8 (a name an older client put on the server): each byte as its Latin-1
    // character, so that nothing is lost from sight.
    return wxString(text.data(), wxConvISO8859_1, text.size());
}

inline std::string ToNarrow(const wxString& text) {
    const wxScopedCharBuffer buffer = text.utf8_str();
    return std::string(buffer.data(), buffer.length());
}
