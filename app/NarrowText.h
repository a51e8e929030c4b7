#pragma once

#include <string>

#include <wx/string.h>

// The network libraries and the workers speak narrow text in the current locale's
// encoding; the toolkit shows wxString. Text the locale cannot represent becomes empty.
inline wxString FromNarrow(const std::string& text) {
    return wxString(text.c_str(), wxConvLibc);
}

inline std::string ToNarrow(const wxString& text) {
    const wxCharBuffer buffer = text.mb_str(wxConvLibc);
    return buffer.data() != nullptr ? std::string(buffer.data()) : std::string();
}
