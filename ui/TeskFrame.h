#pragma once

#include <string>
#include <utility>
#include <vector>

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/frame.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "ui/WindowLayout.h"

#ifdef _WIN32
// The Windows headers define GetPrinter as a macro (the print spooler's GetPrinterW); they
// are included here first, so that no later include renames the method below.
#include <wx/msw/wrapwin.h>
#include <winspool.h>
#undef GetPrinter
#endif

class PrinterApp;
class TeskTaskBarIcon;

enum { ID_CONNECT = 1 };

class TeskFrame : public wxFrame {
public:
    TeskFrame(PrinterApp* app, const wxString& title, const wxPoint& pos, const wxSize& size,
              long style);

    void SetConnectButton(const std::string& label, bool enabled);
    void SetStatus(const std::string& text);
    std::string GetPrinter();
    // The same as the toolkit's text: on Windows the spooler's wide name, kept whole on its
    // way to the print program.
    wxString GetPrinterName();
    bool HasPrinter();
    // Adds the printers the list lacks, and selects the default unless the user has chosen.
    void AddPrinters(const wxString& defaultName, const wxArrayString& names);
    // Takes the icon out of the notification area, where it would outlive the process.
    void DropTrayIcon();

    void OnConnect(wxCommandEvent& event);
    void OnClose(wxCloseEvent& event);
    void OnIconize(wxIconizeEvent& event);
    void OnDpiChanged(wxDPIChangedEvent& event);

    // Children, owned by the toolkit; public so that tests can look at them.
    PrinterApp* app;
    wxButton* connectButton = nullptr;
    wxTextCtrl* userIdCtrl = nullptr;
    wxTextCtrl* passwordCtrl = nullptr;
    wxChoice* printerChoice = nullptr;
    TeskTaskBarIcon* taskBarIcon = nullptr;
    wxStaticText* statusText = nullptr;

private:
    // Puts a control at its place of the layout, scaled to this window's display.
    void Place(wxWindow* control, const WindowPlace& place);
    void ApplyPlace(wxWindow* control, const WindowPlace& place);

    std::vector<std::pair<wxWindow*, WindowPlace>> placed;

    wxDECLARE_EVENT_TABLE();
};
