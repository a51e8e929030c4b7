#include "WineTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/EventSink.h"
#include "app/WorkerEvents.h"

namespace fs = std::filesystem;

std::string DriverValue(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        ADD_FAILURE() << name << " is not set: run this program through tests/windows/wine_run.py";
        return std::string();
    }
    return value;
}

std::string DriverText(const char* name) {
    const std::wstring wideName(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = _wgetenv(wideName.c_str());
    if (value == nullptr || *value == L'\0') {
        ADD_FAILURE() << name << " is not set: run this program through tests/windows/wine_run.py";
        return std::string();
    }
    const int length = WideCharToMultiByte(CP_UTF8, 0, value, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, value, -1, &text[0], length, nullptr, nullptr);
    text.resize(text.size() - 1);  // the terminating null
    return text;
}

ScratchFolder::ScratchFolder(const std::string& prefix) {
    static int serial = 0;
    path = fs::temp_directory_path() /
           (prefix + " " + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial));
    fs::remove_all(path);
    fs::create_directories(path);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string ScratchFolder::Native() const {
    return path.string();
}

std::vector<StandinStart> ReadStandinStarts(const fs::path& folder) {
    std::vector<StandinStart> starts;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        if (entry.path().extension() != ".txt") {
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        StandinStart start;
        std::string line;
        while (std::getline(in, line)) {
            // The recording script writes CRLF line ends.
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            const size_t equals = line.find('=');
            const std::string key = line.substr(0, equals);
            const std::string value = equals == std::string::npos ? "" : line.substr(equals + 1);
            if (key == "program") {
                start.program = value;
            } else if (key == "commandLine") {
                start.commandLine = value;
            } else if (key == "cwd") {
                start.cwd = value;
            } else if (key == "arg") {
                start.args.push_back(value);
            } else if (key == "lastArgumentExists") {
                start.lastArgumentExists = value == "1";
            }
        }
        starts.push_back(start);
    }
    return starts;
}

void PlaceStandin(const fs::path& folder, const std::string& name) {
    const std::string standin = DriverValue("CORVANE_STANDIN");
    std::error_code error;
    fs::copy_file(standin, folder / name, fs::copy_options::overwrite_existing, error);
    ASSERT_FALSE(error) << "copying " << standin << ": " << error.message();
}

WorkerEventLog::WorkerEventLog() {
    for (const wxEventType type : {wxEVT_SFTP_ERROR, wxEVT_SFTP_FINISHED, wxEVT_SFTP_CONNECTED,
                                   wxEVT_PRINT_FILE, wxEVT_SFTP_STATUS}) {
        Connect(type, wxThreadEventHandler(WorkerEventLog::OnEvent));
    }
    OpenEventSink(this);
}

WorkerEventLog::~WorkerEventLog() {
    CloseEventSink(this, std::chrono::milliseconds(0));
}

bool WorkerEventLog::Has(const std::string& text) const {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

void WorkerEventLog::OnEvent(wxThreadEvent& event) {
    if (event.GetEventType() == wxEVT_PRINT_FILE) {
        printedPaths.push_back(event.GetPayload<wxString>());
        texts.push_back("PRINT");
        return;
    }
    const std::string text = event.GetPayload<std::string>();
    texts.push_back(event.GetEventType() == wxEVT_SFTP_ERROR ? "ERROR " + text : text);
}
