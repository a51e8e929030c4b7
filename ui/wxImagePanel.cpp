#include "ui/wxImagePanel.h"

#include <wx/dcclient.h>
#include <wx/filename.h>

wxBEGIN_EVENT_TABLE(wxImagePanel, wxPanel)
    EVT_PAINT(wxImagePanel::OnPaint)
wxEND_EVENT_TABLE()

wxImagePanel::wxImagePanel(wxWindow* parent, const wxString& file, wxBitmapType format)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxNO_BORDER) {
    // A missing picture is not an error worth a dialog: the panel just stays plain.
    if (wxFileName::FileExists(file)) {
        bitmap.LoadFile(file, format);
    }
}

void wxImagePanel::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    DrawBackground(dc);
}

void wxImagePanel::DrawBackground(wxDC& dc) {
    if (bitmap.IsOk()) {
        dc.DrawBitmap(bitmap, 0, 0, false);
    }
}
