#include <windows.h>

#include <string>

#include "app/CommandLine.h"
#include "app/ProgramInfo.h"

namespace {

std::wstring Wide(const std::string& utf8) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

}  // namespace

void CommandLine::Show() const {
    // A GUI program has no console to print to.
    const UINT icon = exitCode == 0 ? MB_ICONINFORMATION : MB_ICONERROR;
    MessageBoxW(nullptr, Wide(text).c_str(), Wide(kProductTitle).c_str(), MB_OK | icon);
}

std::string EnvironmentHelp() {
    return "  CORVANE_PRINT_SPOOLER_LOG  file the diagnostic log is appended to\n";
}
