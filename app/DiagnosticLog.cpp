#include "app/DiagnosticLog.h"

#include <mutex>

#include <wx/datetime.h>

#include "app/DiagnosticOutput.h"

namespace {

std::mutex& LogMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

namespace {

// The length of the UTF-8 sequence that starts `text` at `at` and its code point; 0 when
// the bytes there are not a well-formed sequence.
std::size_t Utf8Sequence(const std::string& text, std::size_t at, char32_t& point) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t least = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return 0;
        }
        point = (point << 6) | (byte(i) & 0x3F);
    }
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    return point < least || point > 0x10FFFF || surrogate ? 0 : length;
}

// Marks that reorder what follows them on screen: a log line read in a terminal or an
// editor would show another text than it holds.
bool IsDirectionControl(char32_t point) {
    return point == 0x061C || point == 0x200E || point == 0x200F ||
           (point >= 0x202A && point <= 0x202E) || (point >= 0x2066 && point <= 0x2069);
}

}  // namespace

std::string OneLine(const std::string& text, std::size_t limit) {
    std::string line;
    bool cut = false;
    for (std::size_t at = 0; at < text.size();) {
        char32_t point = 0;
        const std::size_t length = Utf8Sequence(text, at, point);
        std::string piece;
        if (length == 0) {
            piece = "?";  // not UTF-8: a byte a terminal might take for a control
        } else if (point < 0x20 || (point >= 0x7F && point <= 0x9F)) {
            piece = " ";  // C0 and C1 controls, line ends among them
        } else if (!IsDirectionControl(point)) {
            piece = text.substr(at, length);
        }
        at += length == 0 ? 1 : length;
        // Cut between characters, never inside one.
        if (line.size() + piece.size() > limit) {
            cut = true;
            break;
        }
        line += piece;
    }
    // A library's message often ends in a line end.
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    if (cut) {
        line += "...";
    }
    return line;
}

void LogLine(const std::string& text) {
    const std::string line = OneLine(text, 2000);
    const wxString stamp = wxDateTime::UNow().Format("%Y-%m-%dT%H:%M:%S.%lZ", wxDateTime::UTC);
    // One writer at a time, so lines from the workers and the window never interleave.
    std::lock_guard<std::mutex> lock(LogMutex());
    WriteDiagnosticOutput(line);
    AppendToLogFile(std::string(stamp.utf8_str()) + " " + line);
}
