// Stands in for a program the spooler starts (the PDF print program, the script host):
// records how it was started into a file of its own in the folder named by
// CORVANE_STANDIN_RECORDS, then exits with 0. One record per start, so concurrent starts
// never share a file. When CORVANE_STANDIN_HOLD names a file that does not exist yet, the
// first start creates it after its record and holds on for ten minutes, as a print program
// busy with a large document would. Lines (UTF-8):
//   program=<the stand-in's own path>
//   commandLine=<the command line as the program received it>
//   cwd=<working directory>
//   arg=<each argument as the C runtime splits the line, program included>
//   lastArgumentExists=<1 when the last argument names an existing file, else 0>
//   firstLine=<the first line of that file, up to 200 bytes>
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::wstring Environment(const wchar_t* name) {
    wchar_t buffer[4096];
    const DWORD got = GetEnvironmentVariableW(name, buffer, 4096);
    return got > 0 && got < 4096 ? std::wstring(buffer, got) : std::wstring();
}

struct LocalFreer {
    void operator()(wchar_t** argv) const { LocalFree(argv); }
};

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};

}  // namespace

int main() {
    const std::wstring folder = Environment(L"CORVANE_STANDIN_RECORDS");
    if (folder.empty()) {
        return 3;
    }
    wchar_t program[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, program, MAX_PATH + 1);
    std::string record = "program=" + Utf8(program) + "\n";
    const wchar_t* commandLine = GetCommandLineW();
    record += "commandLine=" + Utf8(commandLine) + "\n";

    wchar_t cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, cwd);
    record += "cwd=" + Utf8(cwd) + "\n";

    int argc = 0;
    std::unique_ptr<wchar_t*, LocalFreer> argv(CommandLineToArgvW(commandLine, &argc));
    for (int i = 0; argv && i < argc; ++i) {
        record += "arg=" + Utf8(argv.get()[i]) + "\n";
    }
    const bool exists =
        argv && argc > 1 && GetFileAttributesW(argv.get()[argc - 1]) != INVALID_FILE_ATTRIBUTES;
    record += std::string("lastArgumentExists=") + (exists ? "1" : "0") + "\n";
    if (exists) {
        std::unique_ptr<void, HandleCloser> file(CreateFileW(argv.get()[argc - 1], GENERIC_READ,
                                                             FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                             nullptr, OPEN_EXISTING, 0, nullptr));
        char head[200];
        DWORD got = 0;
        if (file.get() != INVALID_HANDLE_VALUE &&
            ReadFile(file.get(), head, sizeof head, &got, nullptr)) {
            const std::string text(head, got);
            record += "firstLine=" + text.substr(0, text.find('\n')) + "\n";
        } else if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
        }
    }

    // Written under a temporary name and renamed: a record that exists is complete.
    const std::wstring name = folder + L"\\record-" + std::to_wstring(GetCurrentProcessId());
    {
        std::unique_ptr<void, HandleCloser> file(CreateFileW(
            (name + L".tmp").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) {
            file.release();
            return 4;
        }
        DWORD written = 0;
        WriteFile(file.get(), record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    }
    if (!MoveFileW((name + L".tmp").c_str(), (name + L".txt").c_str())) {
        return 5;
    }
    const std::wstring hold = Environment(L"CORVANE_STANDIN_HOLD");
    if (!hold.empty()) {
        std::unique_ptr<void, HandleCloser> mark(
            CreateFileW(hold.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
        if (mark.get() != INVALID_HANDLE_VALUE) {
            mark.reset();
            Sleep(10 * 60 * 1000);
        } else {
            mark.release();
        }
    }
    return 0;
}
