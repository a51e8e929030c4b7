#include "ui/TeskTaskBarIcon.h"

#include "ui/TeskFrame.h"

wxBEGIN_EVENT_TABLE(TeskTaskBarIcon, wxTaskBarIcon)
    EVT_MENU(ID_TRAY_RESTORE, TeskTaskBarIcon::OnRestore)
    EVT_MENU(ID_TRAY_EXIT, TeskTaskBarIcon::OnExit)
    EVT_TASKBAR_LEFT_DCLICK(TeskTaskBarIcon::OnLeftDoubleClick)
wxEND_EVENT_TABLE()

TeskTaskBarIcon::TeskTaskBarIcon(TeskFrame* mainFrame) : mainFrame(mainFrame) {}

wxMenu* TeskTaskBarIcon::CreatePopupMenu() {
    auto* menu = new wxMenu(wxString(), 0);
    menu->Append(ID_TRAY_RESTORE, "&Restore", wxString(), wxITEM_NORMAL);
    menu->AppendSeparator();
    menu->Append(ID_TRAY_EXIT, "E&xit", wxString(), wxITEM_NORMAL);
    return menu;
}

void TeskTaskBarIcon::RestoreFrame() {
    mainFrame->Iconize(false);
    mainFrame->Show(true);
}

void TeskTaskBarIcon::OnRestore(wxCommandEvent&) {
    RestoreFrame();
}

void TeskTaskBarIcon::OnLeftDoubleClick(wxTaskBarIconEvent&) {
    RestoreFrame();
}

void TeskTaskBarIcon::OnExit(wxCommandEvent&) {
    mainFrame->Close(true);
}
