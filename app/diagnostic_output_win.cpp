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
    std::FILE* file = _wfopen(path, L"a");
    if (file == nullptr) {
        return;
    }
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
}
