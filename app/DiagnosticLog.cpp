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

std::string OneLine(const std::string& text, std::size_t limit) {
    std::string line;
    for (const char c : text) {
        const unsigned char byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7f ? ' ' : c;
    }
    // A library's message often ends in a line end.
    while (!line.empty() && line.back() == ' ') {
        line.pop_back();
    }
    if (line.size() > limit) {
        line.resize(limit);
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
