// First: on Windows libssh brings winsock2.h, which must come before the toolkit's windows.h.
#include <libssh/libssh.h>

#include "app/PrinterApp.h"

#include <clocale>

#include <wx/image.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "app/EventSink.h"
#include "app/ProgramInfo.h"
#include "app/WorkerEvents.h"
#include "pickup/printing/TeskPrintJob.h"
#include "ui/TeskFrame.h"
#include "ui/WindowLayout.h"
#include "update/UpdateCheck.h"

wxBEGIN_EVENT_TABLE(PrinterApp, wxApp)
    EVT_END_SESSION(PrinterApp::OnEndSession)
wxEND_EVENT_TABLE()

namespace {
constexpr long kMainWindowStyle =
    wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX | wxCLIP_CHILDREN;
}

PrinterApp::PrinterApp() : PrinterApp(AppSettings::Compiled()) {}

PrinterApp::PrinterApp(AppSettings settings) : settings(std::move(settings)) {}

bool PrinterApp::OnInit() {
    // No call to wxApp::OnInit: the program takes no command-line options.
    // The user's character set for whatever still asks the C library (the toolkit leaves it
    // at "C"); the program's own texts are UTF-8 and do not depend on it. Only LC_CTYPE, so
    // that numbers keep their form in the log.
    std::setlocale(LC_CTYPE, "");
    printerThread = nullptr;
    OpenEventSink(this);
    ConnectHandlers();
    if (wxImage::FindHandler(wxBITMAP_TYPE_ICO) == nullptr) {
        wxInitAllImageHandlers();  // the icon file needs the ICO reader
    }

    const wxString title = wxString(kTitlePrefix) + kProgramVersion;
    // The layout is in 96-DPI pixels: scaled here to the display's own.
    frame = new TeskFrame(this, title, wxWindow::FromDIP(WindowPlaces::Frame.Position(), nullptr),
                          wxWindow::FromDIP(WindowPlaces::Frame.Size(), nullptr), kMainWindowStyle);
    frame->Show(true);

    ssh_init();
    StartUpdateCheck();
    return true;
}

void PrinterApp::ConnectHandlers() {
    // wxEvtHandler::Connect by name: PrinterApp::Connect is the connection control.
    wxEvtHandler::Connect(wxEVT_SFTP_ERROR, wxThreadEventHandler(PrinterApp::OnSftpError));
    wxEvtHandler::Connect(wxEVT_SFTP_FINISHED, wxThreadEventHandler(PrinterApp::OnSftpFinished));
    wxEvtHandler::Connect(wxEVT_SFTP_CONNECTED, wxThreadEventHandler(PrinterApp::OnSftpConnected));
    wxEvtHandler::Connect(wxEVT_PRINT_FILE, wxThreadEventHandler(PrinterApp::OnPrintFile));
    wxEvtHandler::Connect(wxEVT_SFTP_STATUS, wxThreadEventHandler(PrinterApp::OnSftpStatus));
    wxEvtHandler::Connect(wxEVT_PRINT_JOB_DONE, wxCommandEventHandler(PrinterApp::OnPrintJobDone));
    wxEvtHandler::Connect(wxEVT_UPDATE_AVAILABLE,
                          wxThreadEventHandler(PrinterApp::OnUpdateAvailable));
}

void PrinterApp::StartUpdateCheck() {
    UrlUpdateCheck check(settings.versionUrl);
    wxThread* worker = check.CreateCheckThread(this);
    if (worker->Run() != wxTHREAD_NO_ERROR) {
        // A detached thread that never started does not delete itself.
        delete worker;
    }
}

void PrinterApp::Shutdown() {
    if (shuttingDown) {
        return;
    }
    shuttingDown = true;

    Disconnect();

    // A worker blocked on a server that stopped answering may never see the stop request,
    // so the wait is bounded; the worker is then left behind.
    wxStopWatch waited;
    while (printerThread != nullptr && waited.Time() < settings.exitWaitLimit.count()) {
        wxYield();
        if (printerThread != nullptr) {
            wxMilliSleep(10);
        }
    }
    if (printerThread != nullptr) {
        workerLeftBehind = true;
        // From here on the worker can no longer hand files over: one it has taken off the
        // server stays with it until it is handed over below, and one it has not stays on
        // the server.
        CloseEventSink(this);
        ProcessPendingEvents();
        printerThread = nullptr;
    }

    // A print program still running would leave its document in the temporary folder, its
    // end never heard: it gets the same time to finish, and its file is then removed or kept.
    wxStopWatch printing;
    while (TeskPrintJob::Running() > 0 && printing.Time() < settings.exitWaitLimit.count()) {
        wxYield();
        if (TeskPrintJob::Running() > 0) {
            wxMilliSleep(10);
        }
    }

    frame->Destroy();
    frame = nullptr;
    // The window is deleted, and the main loop ended, at the next idle time; with a worker
    // left behind no further event may come to bring one.
    wxWakeUpIdle();

    if (!workerLeftBehind) {
        // The worker released its session before it said it had finished.
        ssh_finalize();
    }
}

void PrinterApp::ShowMainWindow() {
    if (frame == nullptr || shuttingDown) {
        return;
    }
    frame->Iconize(false);
    frame->Show(true);
    frame->Raise();
}

int PrinterApp::OnExit() {
    CloseEventSink(this, std::chrono::milliseconds(0));
    return wxApp::OnExit();
}

void PrinterApp::OnEndSession(wxCloseEvent&) {}

int PrinterApp::ShowMessage(const wxString& message, const wxString& caption, long style) {
    return settings.messageBox(message, caption, style);
}
