#include "support/AppUnderTest.h"

#include <csignal>

#include <wx/defs.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "support/TestHelpers.h"
#include "ui/TeskFrame.h"

AppSettings AppUnderTest::QuietSettings() {
    AppSettings settings = AppSettings::Compiled();
    // Port 9 (discard) has no listener on these machines: connections are refused at once.
    settings.versionUrl = "http://127.0.0.1:9/downloads/corvane-print-spooler-version.txt";
    settings.downloadUrl = "http://127.0.0.1:9/download-business/";
    settings.sftp.host = "127.0.0.1";
    settings.sftp.port = "9";
    return settings;
}

AppUnderTest::AppUnderTest(AppSettings settings, bool init) : answer(wxOK), previous(wxTheApp) {
    settings.messageBox = [this](const wxString& text, const wxString& caption, long style) {
        messages.push_back(Message{text, caption, style});
        if (whileMessageOpen) {
            whileMessageOpen();
        }
        return answer;
    };
    settings.launchBrowser = [this](const wxString& url) {
        browserUrls.push_back(url);
        return true;
    };
    application = new PrinterApp(std::move(settings));
    // The toolkit's SIGCHLD handler, once installed by any wxExecute, wakes whichever
    // application object is current through that object's own pipe, which exists only
    // once the object has set a signal handler itself.
#ifndef _WIN32
    application->SetSignalHandler(SIGCHLD, SIG_DFL);
#endif
    if (init) {
        application->OnInit();
    }
}

AppUnderTest::~AppUnderTest() {
    CloseWindow();
    application->OnExit();
    delete application;
    wxApp::SetInstance(previous);
}

void AppUnderTest::CloseWindow() {
    if (application->frame != nullptr && !application->IsShuttingDown()) {
        application->frame->Close(true);
    }
    // Deferred destruction happens in idle processing.
    for (int i = 0; i < 5; ++i) {
        application->ProcessPendingEvents();
        application->ProcessIdle();
    }
}

void AppUnderTest::PumpPending() {
    application->ProcessPendingEvents();
    wxYield();
}

bool AppUnderTest::PumpUntil(const std::function<bool()>& done, double seconds) {
    return ::PumpUntil(done, std::chrono::milliseconds(static_cast<long>(seconds * 1000)));
}
