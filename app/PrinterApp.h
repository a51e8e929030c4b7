#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/arrstr.h>
#include <wx/event.h>
#include <wx/string.h>

#include "app/AppSettings.h"
#include "pickup/printing/PrintQueue.h"
#include "pickup/printing/PrinterDiscovery.h"

class SftpThread;
class TeskFrame;

class PrinterApp : public wxApp {
public:
    PrinterApp();
    explicit PrinterApp(AppSettings settings);

    bool OnInit() override;
    int OnExit() override;

    // The exit sequence; run by the main window's close handler.
    void Shutdown();
    bool IsShuttingDown() const { return shuttingDown; }

    // Brings the main window to the front, out of the tray when it is hidden there.
    void ShowMainWindow();

    // Connection control
    void ToggleConnection(const std::string& userId, const std::string& password);
    bool Connect(const std::string& userId, const std::string& password);
    bool Disconnect();
    void DeletePrinterThread();

    // Printer discovery: asked once, bounded in time (see PrinterDiscovery.h).
    wxString GetDefaultPrinterName();
    wxArrayString GetPrinterNames();
    // The answer of a print system that was too slow for the window's first showing.
    void OnLatePrinters(wxThreadEvent& event);

    // Worker events
    void OnSftpError(wxThreadEvent& event);
    void OnSftpFinished(wxThreadEvent& event);
    void OnSftpConnected(wxThreadEvent& event);
    void OnPrintFile(wxThreadEvent& event);
    void OnSftpStatus(wxThreadEvent& event);
    void OnPrintJobDone(wxCommandEvent& event);
    void OnUpdateAvailable(wxThreadEvent& event);

    void OnQueryEndSession(wxCloseEvent& event);
    void OnEndSession(wxCloseEvent& event);

    // The desktop session is ending: the program ends within the session-end limit, open
    // message boxes or not. Whatever is unfinished stays where the next start finds it.
    void EndSession(const std::string& why);
    // The same once the display has gone: nothing of the window is touched any more.
    void EndSessionWithoutDisplay();

    const AppSettings& GetSettings() const { return settings; }

    SftpThread* printerThread = nullptr;  // running pickup worker, not owned
    TeskFrame* frame = nullptr;           // main window; null once it is being destroyed

protected:
    // The last step of a session end; the program as started by the user ends its process
    // here, since a message box's loop may be running below.
    virtual void LeaveAtSessionEnd() {}

private:
    // What the window shows about the connection, so that the end of a print job can
    // put back the right texts.
    enum class Link { Idle, Connecting, Connected, Disconnecting };

    void ShowLink(Link link);
    int ShowMessage(const wxString& message, const wxString& caption, long style);
    void ShowNoticeOnce(const wxString& notice);
    const DiscoveredPrinters& DiscoveredPrinterList();
    void ConnectHandlers();
    void StartUpdateCheck();
    // Stops the worker and takes no more documents, each step bounded by `deadline`. Uses
    // neither the window nor the event loop.
    void StopForSessionEnd(std::chrono::steady_clock::time_point deadline);
    // The print queue (PrintRequest.cpp): starts what may start now; one that is done at
    // once (empty, already printed, or its program missing) ends here.
    void StartQueuedPrints();
    // True when a print program now runs for the item; otherwise `printed` and `notice` say
    // how it ended.
    bool StartPrint(long serial, const PrintQueue::Item& item, bool& printed, wxString& notice);
    void PrintEnded(long serial, bool printed);
    void ShowPrintEnd(const wxString& notice);

    AppSettings settings;
    Link link = Link::Idle;
    bool shuttingDown = false;
    bool sessionEnding = false;
    bool workerLeftBehind = false;
    bool updateOffered = false;  // the download question comes once per run
    std::optional<DiscoveredPrinters> printers;
    std::vector<wxString> openNotices;  // texts of the notices whose boxes are open
    PrintQueue printQueue;
    // Documents an earlier run left: how many still wait or print, the names of those
    // printed, and whether some may come out twice.
    int earlierWaiting = 0;
    std::vector<wxString> earlierPrinted;
    bool earlierMaybeTwice = false;

    wxDECLARE_EVENT_TABLE();
};
