#include "ui/wxImagePanel.h"

#include <wx/dcclient.h>
#include <wx/filename.h>
#include <wx/vector.h>

wxBEGIN_EVENT_TABLE(wxImagePanel, wxPanel)
    EVT_PAINT(wxImagePanel::OnPaint)
    EVT_DPI_CHANGED(wxImagePanel::OnDpiChanged)
wxEND_EVENT_TABLE()

wxImagePanel::wxImagePanel(wxWindow* parent, const wxString& file, wxBitmapType format)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
    // A missing picture is not an error worth a dialog: the panel just stays plain. Without
    // the 1x picture, the others are not looked at either.
    if (!wxFileName::FileExists(file)) {
        return;
    }
    wxVector<wxBitmap> found;
    const wxFileName name(file);
    for (const char* suffix : {"", "_1_5x", "_2x"}) {
        wxFileName scaled(name);
        scaled.SetName(name.GetName() + suffix);
        if (wxFileName::FileExists(scaled.GetFullPath())) {
            wxBitmap picture;
            if (picture.LoadFile(scaled.GetFullPath(), format)) {
                found.push_back(picture);
            }
        }
    }
    pictures = wxBitmapBundle::FromBitmaps(found);
    if (pictures.IsOk()) {
        // The bundle draws missing scales from the nearest one it has.
        bitmap = pictures.GetBitmapFor(this);
    }
}

void wxImagePanel::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    DrawBackground(dc);
}

void wxImagePanel::OnDpiChanged(wxDPIChangedEvent& event) {
    if (pictures.IsOk()) {
        bitmap = pictures.GetBitmapFor(this);
        Refresh();
    }
    event.Skip();
}

void wxImagePanel::DrawBackground(wxDC& dc) {
    if (bitmap.IsOk()) {
        dc.DrawBitmap(bitmap, 0, 0, false);
    }
}
