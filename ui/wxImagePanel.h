#pragma once

#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/panel.h>

// A panel that paints one picture, read once, at its top-left corner.
class wxImagePanel : public wxPanel {
public:
    wxImagePanel(wxWindow* parent, const wxString& file, wxBitmapType format);

    void OnPaint(wxPaintEvent& event);
    void DrawBackground(wxDC& dc);

    wxBitmap bitmap;  // invalid when the file could not be read

private:
    wxDECLARE_EVENT_TABLE();
};
