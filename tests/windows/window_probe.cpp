// Measures the running program's main window, as Windows sees it, for the display-scale
// test (scales_test.py): prints one line of key=value pairs, or exits with 1 when there is
// no such window yet.
//   window_probe.exe TITLE
// dpi, at=X,Y (on the screen), window=W,H (outer size), client=W,H, and connect=X,Y and
// status=X,Y (in the client area).
// For the session-end test (session_end_test.py):
//   window_probe.exe TITLE --texts             prints the texts of the window's controls,
//                                              one per line
//   window_probe.exe TITLE --log-in ID PASSWORD  types both into their fields and presses
//                                              Connect, as the user does
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

struct Found {
    HWND connect = nullptr;
    HWND status = nullptr;
    HWND userId = nullptr;
    HWND password = nullptr;
    std::wstring texts;
};

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

BOOL CALLBACK Visit(HWND child, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    const std::wstring text = TextOf(child);
    if (text == L"Connect") {
        found->connect = child;
    } else if (text == L"Not Connected") {
        found->status = child;
    }
    if (_wcsicmp(ClassOf(child).c_str(), L"Edit") == 0) {
        HWND& field =
            (GetWindowLongW(child, GWL_STYLE) & ES_PASSWORD) ? found->password : found->userId;
        field = field == nullptr ? child : field;
    } else if (!text.empty()) {
        found->texts += text + L"\n";
    }
    return TRUE;
}

POINT InClient(HWND frame, HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    POINT corner{rect.left, rect.top};
    ScreenToClient(frame, &corner);
    return corner;
}

}  // namespace

int LogIn(HWND frame, const Found& found, const wchar_t* userId, const wchar_t* password) {
    if (found.userId == nullptr || found.password == nullptr || found.connect == nullptr) {
        return 1;
    }
    SendMessageW(found.userId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(userId));
    SendMessageW(found.password, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(password));
    SetForegroundWindow(frame);
    SendMessageW(found.connect, BM_CLICK, 0, 0);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    const bool texts = argc == 3 && std::wstring(argv[2]) == L"--texts";
    const bool logIn = argc == 5 && std::wstring(argv[2]) == L"--log-in";
    if (argc != 2 && !texts && !logIn) {
        std::fprintf(stderr, "usage: window_probe TITLE [--texts | --log-in ID PASSWORD]\n");
        return 2;
    }
    // Physical pixels, as the program itself sees them.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    HWND frame = FindWindowW(nullptr, argv[1]);
    if (frame == nullptr) {
        return 1;
    }
    Found found;
    EnumChildWindows(frame, Visit, reinterpret_cast<LPARAM>(&found));
    if (texts) {
        std::printf("%ls", found.texts.c_str());
        return 0;
    }
    if (logIn) {
        return LogIn(frame, found, argv[3], argv[4]);
    }
    if (found.connect == nullptr || found.status == nullptr) {
        return 1;
    }
    RECT outer;
    RECT client;
    GetWindowRect(frame, &outer);
    GetClientRect(frame, &client);
    const POINT connect = InClient(frame, found.connect);
    const POINT status = InClient(frame, found.status);
    std::printf("dpi=%u at=%ld,%ld window=%ld,%ld client=%ld,%ld connect=%ld,%ld status=%ld,%ld\n",
                GetDpiForWindow(frame), outer.left, outer.top, outer.right - outer.left,
                outer.bottom - outer.top, client.right, client.bottom, connect.x, connect.y,
                status.x, status.y);
    return 0;
}
