#pragma once

#include <wx/gdicmn.h>

// One place of the main window at 96 DPI (device-independent pixels).
struct WindowPlace {
    int x;
    int y;
    int width;
    int height;

    wxPoint Position() const { return wxPoint(x, y); }
    // wxDefaultSize when the control keeps its best size.
    wxSize Size() const { return width > 0 ? wxSize(width, height) : wxDefaultSize; }
};

namespace WindowPlaces {
#define WINDOW_PLACE(name, x, y, width, height) \
    inline constexpr WindowPlace name{x, y, width, height};
#include "ui/WindowLayout.def"
#undef WINDOW_PLACE
}  // namespace WindowPlaces
