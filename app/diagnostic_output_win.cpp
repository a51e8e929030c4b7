#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/DiagnosticOutput.h"

void WriteDiagnosticOutput(const std::string& line) {
    // The program's texts are UTF-8; the debugger shows UTF-16.
    const std::string text = "corvane-print-spooler: " + line + "\n";
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return;
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], length);
    OutputDebugStringW(wide.c_str());
}

void AppendToLogFile(const std::string& line) {
    const wchar_t* path = _wgetenv(L"CORVANE_PRINT_SPOOLER_LOG");
    if (path == nullptr || *path == L'\0') {
        return;
    }
    // The link itself is opened, never what it points at: a reparse point another user
    // planted there is left alone.
    const HANDLE file =
        CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        const std::string text = line + "\r\n";
        DWORD written = 0;
        WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    CloseHandle(file);
}
