#pragma once

#include <wx/menu.h>
#include <wx/taskbar.h>

class TeskFrame;

enum { ID_TRAY_RESTORE = 10001, ID_TRAY_EXIT = 10002 };

// The notification-area icon: the way back to a window hidden by minimising.
class TeskTaskBarIcon : public wxTaskBarIcon {
public:
    explicit TeskTaskBarIcon(TeskFrame* mainFrame);

    wxMenu* CreatePopupMenu() override;

    void OnRestore(wxCommandEvent& event);
    void OnExit(wxCommandEvent& event);
    void OnLeftDoubleClick(wxTaskBarIconEvent& event);

private:
    void RestoreFrame();

    TeskFrame* mainFrame;

    wxDECLARE_EVENT_TABLE();
};
