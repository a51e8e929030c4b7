#include "ui/TeskFrame.h"

#include <wx/arrstr.h>
#include <wx/filename.h>
#include <wx/font.h>
#include <wx/icon.h>

#include "app/NarrowText.h"
#include "app/PrinterApp.h"
#include "app/ProgramInfo.h"
#include "app/ResourcesDir.h"
#include "ui/ScreenReader.h"
#include "ui/TeskTaskBarIcon.h"
#include "ui/WindowLayout.h"
#include "ui/wxImagePanel.h"

wxBEGIN_EVENT_TABLE(TeskFrame, wxFrame)
    EVT_CLOSE(TeskFrame::OnClose)
    EVT_ICONIZE(TeskFrame::OnIconize)
    EVT_DPI_CHANGED(TeskFrame::OnDpiChanged)
wxEND_EVENT_TABLE()

namespace {
const wxColour kBlue(66, 135, 193);
const wxColour kGreen(0, 177, 89);

wxFont MakeFont(int points, wxFontWeight weight) {
    return wxFont(points, wxFONTFAMILY_DEFAULT, wxFONTSTYLE_NORMAL, weight, false, wxString(),
                  wxFONTENCODING_DEFAULT);
}

wxIcon LoadIcon(const wxString& file) {
    wxIcon icon;
    if (wxFileName::FileExists(file)) {
        icon.LoadFile(file, wxBITMAP_TYPE_ICO);
    }
    // Without the file, the icon built into the program, where there is one.
    return icon.IsOk() ? icon : BuiltInIcon();
}

}  // namespace

TeskFrame::TeskFrame(PrinterApp* app, const wxString& title, const wxPoint& pos, const wxSize& size,
                     long style)
    : wxFrame(nullptr, wxID_ANY, title, pos, size, style), app(app) {
    const wxString resources = ResourcesDir();
    auto* panel =
        new wxImagePanel(this, resources + "/PrintBackgroundImage.bmp", wxBITMAP_TYPE_ANY);

    taskBarIcon = new TeskTaskBarIcon(this);
    const wxString iconFile = resources + "/corvane48.ico";
    const wxIcon icon = LoadIcon(iconFile);
    taskBarIcon->SetIcon(TrayIconSizes(icon), kProductTitle);
    SetIcon(icon);

    const wxFont smallFont = MakeFont(8, wxFONTWEIGHT_NORMAL);
    const wxFont headingFont = MakeFont(20, wxFONTWEIGHT_BOLD);
    const wxFont explanationFont = MakeFont(12, wxFONTWEIGHT_NORMAL);
    const wxColour white("WHITE");

    // Each control is created at its place, scaled to the display (Place below).
    auto* heading = new wxStaticText(panel, wxID_ANY, kProductTitle, wxDefaultPosition,
                                     wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
    Place(heading, WindowPlaces::Heading);
    heading->SetFont(headingFont);
    heading->SetForegroundColour(white);
    heading->SetBackgroundColour(kBlue);

    auto* explanation =
        new wxStaticText(panel, wxID_ANY, "Please log in to connect your Corvane Print Spooler",
                         wxDefaultPosition, wxDefaultSize, wxALIGN_CENTRE_HORIZONTAL);
    Place(explanation, WindowPlaces::Explanation);
    explanation->SetFont(explanationFont);
    explanation->SetForegroundColour(white);
    explanation->SetBackgroundColour(kBlue);

    statusText = new wxStaticText(panel, wxID_ANY, "Not Connected");
    statusText->SetFont(smallFont);
    statusText->SetForegroundColour(white);
    statusText->SetBackgroundColour(kBlue);
    // Setting the font after creation does not resize the text by itself: placed after it.
    Place(statusText, WindowPlaces::Status);
    MarkAsLiveRegion(statusText);

    userIdCtrl = new wxTextCtrl(panel, wxID_ANY, wxString());
    Place(userIdCtrl, WindowPlaces::UserId);
    passwordCtrl = new wxTextCtrl(panel, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                                  wxTE_PASSWORD);
    Place(passwordCtrl, WindowPlaces::Password);

    connectButton = new wxButton(panel, ID_CONNECT, "Connect");
    Place(connectButton, WindowPlaces::ConnectButton);
    connectButton->SetForegroundColour(white);
    connectButton->SetBackgroundColour(kGreen);
    Connect(ID_CONNECT, wxEVT_BUTTON, wxCommandEventHandler(TeskFrame::OnConnect));
    connectButton->SetFocus();

    const char* labels[] = {"Corvane ID", "Password", "Printer"};
    const WindowPlace labelPlaces[] = {WindowPlaces::UserIdLabel, WindowPlaces::PasswordLabel,
                                       WindowPlaces::PrinterLabel};
    wxStaticText* labelTexts[3];
    for (int i = 0; i < 3; ++i) {
        auto* label = new wxStaticText(panel, wxID_ANY, labels[i]);
        label->SetFont(smallFont);
        label->SetBackgroundColour(white);
        Place(label, labelPlaces[i]);
        labelTexts[i] = label;
    }

    const wxString defaultPrinter = app->GetDefaultPrinterName();
    const wxArrayString printers = app->GetPrinterNames();
    printerChoice = new wxChoice(panel, wxID_ANY, wxDefaultPosition, wxDefaultSize, printers);
    Place(printerChoice, WindowPlaces::PrinterList);
    if (!printers.IsEmpty()) {
        const int index = printers.Index(defaultPrinter, true);
        if (index != wxNOT_FOUND && !defaultPrinter.IsEmpty()) {
            printerChoice->SetSelection(index);
        }
        printerChoice->SetFont(smallFont);
    } else {
        printerChoice->Disable();
    }

    // A screen reader names each field after its label (it would name the list after its
    // current entry).
    NameAfterLabel(userIdCtrl, labelTexts[0]);
    NameAfterLabel(passwordCtrl, labelTexts[1]);
    NameAfterLabel(printerChoice, labelTexts[2]);
}

void TeskFrame::Place(wxWindow* control, const WindowPlace& place) {
    placed.emplace_back(control, place);
    ApplyPlace(control, place);
}

void TeskFrame::ApplyPlace(wxWindow* control, const WindowPlace& place) {
    control->Move(FromDIP(place.Position()));
    if (place.width > 0) {
        // Also its least size: a later font change does not shrink the control to its text.
        control->SetInitialSize(FromDIP(place.Size()));
    } else {
        control->SetSize(control->GetBestSize());
    }
}

void TeskFrame::OnDpiChanged(wxDPIChangedEvent& event) {
    // Moved to a display of another scale: every control to its place at the new one.
    for (const auto& [control, place] : placed) {
        ApplyPlace(control, place);
    }
    event.Skip();
}

void TeskFrame::SetConnectButton(const std::string& label, bool enabled) {
    connectButton->SetLabel(FromNarrow(label));
    connectButton->Enable(enabled);
}

void TeskFrame::SetStatus(const std::string& text) {
    statusText->SetLabel(FromNarrow(text));
    statusText->SetSize(statusText->GetBestSize());
    AnnounceLiveRegion(statusText);
}

std::string TeskFrame::GetPrinter() {
    return ToNarrow(GetPrinterName());
}

wxString TeskFrame::GetPrinterName() {
    if (printerChoice->IsEmpty()) {
        return wxString();
    }
    const int selection = printerChoice->GetCurrentSelection();
    if (selection == wxNOT_FOUND) {
        return wxString();
    }
    return printerChoice->GetString(selection);
}

bool TeskFrame::HasPrinter() {
    return !GetPrinter().empty();
}

void TeskFrame::AddPrinters(const wxString& defaultName, const wxArrayString& names) {
    if (names.IsEmpty()) {
        return;
    }
    const bool chosen = printerChoice->GetSelection() != wxNOT_FOUND;
    for (const wxString& name : names) {
        if (printerChoice->FindString(name, true) == wxNOT_FOUND) {
            printerChoice->Append(name);
        }
    }
    printerChoice->SetFont(MakeFont(8, wxFONTWEIGHT_NORMAL));
    printerChoice->Enable();
    const int index = printerChoice->FindString(defaultName, true);
    if (!chosen && index != wxNOT_FOUND && !defaultName.IsEmpty()) {
        printerChoice->SetSelection(index);
    }
}

void TeskFrame::OnConnect(wxCommandEvent&) {
    app->ToggleConnection(ToNarrow(userIdCtrl->GetValue()), ToNarrow(passwordCtrl->GetValue()));
}

void TeskFrame::OnClose(wxCloseEvent&) {
    // A second close request while the exit is under way changes nothing.
    if (app->IsShuttingDown()) {
        return;
    }
    DropTrayIcon();
    app->Shutdown();
}

void TeskFrame::DropTrayIcon() {
    if (taskBarIcon != nullptr) {
        taskBarIcon->Destroy();
        taskBarIcon = nullptr;
    }
}

void TeskFrame::OnIconize(wxIconizeEvent& event) {
    // Hiding is only safe where a tray icon can bring the window back.
    if (event.IsIconized() && IsShown() && wxTaskBarIcon::IsAvailable()) {
        Show(false);
    }
}
