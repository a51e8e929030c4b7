// Screen readers on Windows read the window through MSAA. A native edit field takes its name
// from the static text just before it in the window order, which here is not its label (the
// labels are made after the fields, and the order is the keyboard's): the toolkit's
// accessibility support names each control itself.
#include "ui/ScreenReader.h"

#include <wx/access.h>
#include <wx/msw/wrapwin.h>
#include <wx/stattext.h>
#include <wx/window.h>

namespace {

// The window's standard MSAA object, with its name taken from elsewhere and, for the status
// line, the role of a status bar (whose changes readers follow).
class NamedAccessible : public wxAccessible {
public:
    NamedAccessible(wxWindow* window, const wxString& name, bool liveRegion)
        : wxAccessible(window), name(name), liveRegion(liveRegion) {}

    wxAccStatus GetName(int childId, wxString* result) override {
        if (childId != wxACC_SELF) {
            return wxACC_NOT_IMPLEMENTED;
        }
        // The status line is named by what it shows now.
        *result = liveRegion ? GetWindow()->GetLabel() : name;
        return wxACC_OK;
    }

    wxAccStatus GetRole(int childId, wxAccRole* role) override {
        if (childId != wxACC_SELF || !liveRegion) {
            return wxACC_NOT_IMPLEMENTED;
        }
        *role = wxROLE_SYSTEM_STATUSBAR;
        return wxACC_OK;
    }

private:
    wxString name;
    bool liveRegion;
};

}  // namespace

void NameAfterLabel(wxWindow* field, wxStaticText* label) {
    // The window owns its accessible object and deletes it.
    field->SetAccessible(new NamedAccessible(field, label->GetLabel(), false));
}

void MarkAsLiveRegion(wxStaticText* status) {
    status->SetAccessible(new NamedAccessible(status, wxString(), true));
}

void AnnounceLiveRegion(wxStaticText* status) {
#ifndef EVENT_OBJECT_LIVEREGIONCHANGED
#define EVENT_OBJECT_LIVEREGIONCHANGED 0x8019
#endif
    // What a live region sends when its text changes (Windows 8 on; ignored before).
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, static_cast<HWND>(status->GetHWND()),
                   OBJID_CLIENT, CHILDID_SELF);
}
