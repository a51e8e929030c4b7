// Windows: a mutex in the session's namespace, and a message-only window of a class named
// for the user and session, which a later copy finds and posts its request to.
#include <wx/msw/wrapwin.h>  // windows.h as the toolkit wants it

#include <wx/app.h>
#include <wx/utils.h>
#include <wx/window.h>

#include "app/SingleInstance.h"

namespace {

constexpr UINT kShowMessage = WM_APP + 1;

void ShowInFront(const std::function<void()>& show) {
    show();
    // The later copy allowed this process to take the foreground.
    if (wxWindow* top = wxTheApp->GetTopWindow()) {
        SetForegroundWindow(top->GetHWND());
    }
}

class MessageWindow : public ShowListener {
public:
    MessageWindow(const wxString& className, std::function<void()> show)
        : className(className), show(std::move(show)) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &MessageWindow::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = this->className.wc_str();
        if (RegisterClassW(&windowClass) == 0) {
            return;
        }
        window = CreateWindowExW(0, this->className.wc_str(), L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, windowClass.hInstance, nullptr);
        if (window != nullptr) {
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        }
    }
    ~MessageWindow() override {
        if (window != nullptr) {
            DestroyWindow(window);
        }
        UnregisterClassW(className.wc_str(), GetModuleHandleW(nullptr));
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    bool listening() const { return window != nullptr; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kShowMessage) {
            auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self != nullptr) {
                const std::function<void()> show = self->show;
                wxTheApp->CallAfter([show] { ShowInFront(show); });
            }
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    wxString className;
    std::function<void()> show;
    HWND window = nullptr;
};

}  // namespace

InstancePlace SessionInstancePlace() {
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    const wxString name = wxString::Format("CorvanePrintSpooler-%s-%lu", wxGetUserId(),
                                           static_cast<unsigned long>(session));
    InstancePlace place;
    // The folder plays no part here.
    place.lockName = "Local\\" + name;
    place.service = name;
    return place;
}

std::unique_ptr<ShowListener> ListenForShowRequests(const InstancePlace& place,
                                                    std::function<void()> show) {
    auto window = std::make_unique<MessageWindow>(place.service, std::move(show));
    if (!window->listening()) {
        return nullptr;
    }
    return window;
}

bool RequestShow(const InstancePlace& place) {
    for (int attempt = 0; attempt < kShowRequestAttempts; ++attempt) {
        const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, place.service.wc_str(), nullptr);
        if (window != nullptr) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            AllowSetForegroundWindow(process);
            return PostMessageW(window, kShowMessage, 0, 0) != 0;
        }
        Sleep(kShowRequestPause);
    }
    return false;
}
