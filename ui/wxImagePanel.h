#pragma once

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/dc.h>
#include <wx/panel.h>

// A panel that paints one picture, read once, at its top-left corner. The picture may come
// drawn for higher display scales too, beside the file: NAME_1_5x.EXT and NAME_2x.EXT; the
// panel paints the one that fits its display.
class wxImagePanel : public wxPanel {
public:
    wxImagePanel(wxWindow* parent, const wxString& file, wxBitmapType format);

    void OnPaint(wxPaintEvent& event);
    void OnDpiChanged(wxDPIChangedEvent& event);
    void DrawBackground(wxDC& dc);

    wxBitmap bitmap;  // for this display's scale; invalid when the file could not be read

private:
    wxBitmapBundle pictures;  // every scale that was found

    wxDECLARE_EVENT_TABLE();
};
