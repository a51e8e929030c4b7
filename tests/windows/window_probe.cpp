// Measures the running program's main window, as Windows sees it, for the display-scale
// test (scales_test.py): prints one line of key=value pairs, or exits with 1 when there is
// no such window yet.
//   window_probe.exe TITLE
// dpi, at=X,Y (on the screen), window=W,H (outer size), client=W,H, and connect=X,Y and
// status=X,Y (in the client area).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

struct Found {
    HWND connect = nullptr;
    HWND status = nullptr;
};

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

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_probe TITLE\n");
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
