// First: on Windows libssh brings winsock2.h, which must come before the toolkit's windows.h.
#include <libssh/libssh.h>

#include "app/PrinterApp.h"

#include <algorithm>
#include <chrono>
#include <clocale>

#include <wx/image.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "app/DiagnosticLog.h"
#include "app/EventSink.h"
#include "app/ProgramInfo.h"
#include "app/SessionEnd.h"
#include "app/WorkerEvents.h"
#include "app/WorkerThreads.h"
#include "pickup/printing/TeskPrintJob.h"
#include "ui/TeskFrame.h"
#include "ui/WindowLayout.h"

wxBEGIN_EVENT_TABLE(PrinterApp, wxApp)
    EVT_QUERY_END_SESSION(PrinterApp::OnQueryEndSession)
    EVT_END_SESSION(PrinterApp::OnEndSession)
wxEND_EVENT_TABLE()

namespace {
constexpr long kMainWindowStyle =
    wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxCLOSE_BOX | wxCLIP_CHILDREN;
}

PrinterApp::PrinterApp() : PrinterApp(AppSettings::Compiled()) {}

PrinterApp::PrinterApp(AppSettings settings) : settings(std::move(settings)) {}

bool PrinterApp::OnInit() {
    // No call to wxApp::OnInit: the program's options were read before the toolkit started.
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

    // A print program still running would leave its document in the outbox, its end never
    // heard (the next run would ask the print system about it): it gets the same time to
    // finish, and its file is then removed or kept. Documents still waiting for their turn
    // stay in the outbox for the next Connect.
    wxStopWatch printing;
    while (TeskPrintJob::Running() > 0 && printing.Time() < settings.exitWaitLimit.count()) {
        wxYield();
        if (TeskPrintJob::Running() > 0) {
            wxMilliSleep(10);
        }
    }

    if (frame == nullptr) {
        return;  // the session ended meanwhile, and took the window with it
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

// The session may end: nothing here keeps it, not even an open message box.
void PrinterApp::OnQueryEndSession(wxCloseEvent&) {}

void PrinterApp::OnEndSession(wxCloseEvent&) {
    EndSession("the desktop session is ending");
}

void PrinterApp::EndSession(const std::string& why) {
    if (sessionEnding) {
        return;
    }
    sessionEnding = true;
    NoteSessionEnd();
    // From here on no message box opens and no close request starts the usual exit.
    shuttingDown = true;
    LogLine("exit: " + why + "; ending now, unfinished documents stay for the next start");
    const auto deadline = std::chrono::steady_clock::now() + settings.sessionEndLimit;
    if (frame != nullptr) {
        frame->DropTrayIcon();
    }
    StopForSessionEnd(deadline);
    if (frame != nullptr) {
        frame->Destroy();
        frame = nullptr;
    }
    LeaveAtSessionEnd();
}

void PrinterApp::EndSessionWithoutDisplay() {
    if (sessionEnding) {
        // Already ending; what is left of that is cut short by the process's end.
        LeaveAtSessionEnd();
        return;
    }
    sessionEnding = true;
    NoteSessionEnd();
    shuttingDown = true;
    // The window can no longer be drawn, nor destroyed: any call would meet the broken
    // connection again.
    frame = nullptr;
    LogLine(
        "exit: the connection to the display was lost; ending now, unfinished documents "
        "stay for the next start");
    StopForSessionEnd(std::chrono::steady_clock::now() + settings.sessionEndLimit);
    LeaveAtSessionEnd();
}

void PrinterApp::StopForSessionEnd(std::chrono::steady_clock::time_point deadline) {
    using namespace std::chrono;
    const auto left = [deadline] {
        return std::max(milliseconds(0),
                        duration_cast<milliseconds>(deadline - steady_clock::now()));
    };
    Disconnect();
    // Nothing more is handed over: a document in the middle of its copy stays on the server
    // for the next start (a hand-over already removing its file still gets its event).
    CloseEventSink(this, std::min(left(), milliseconds(1000)));
    // The worker needs nothing from this thread to end; given a moment, it closes its
    // session cleanly.
    WaitForWorkerThreads(std::min(left(), milliseconds(2000)));
    // Documents off the server and not yet printed (handed over, waiting in the print queue,
    // or at a print program the session is ending too) wait in the outbox, which the next
    // Connect finishes; nothing here waits for a print program.
}

int PrinterApp::ShowMessage(const wxString& message, const wxString& caption, long style) {
    return settings.messageBox(message, caption, style);
}
