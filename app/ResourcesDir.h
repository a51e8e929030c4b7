#pragma once

#include <wx/bmpbndl.h>
#include <wx/icon.h>
#include <wx/string.h>

// Folder of the picture and the icon read at start-up, without a trailing separator.
wxString ResourcesDir();

// Folder of the running program file, without a trailing separator: where the programs and
// scripts it starts are looked up, never the working directory.
wxString ProgramDir();

// The icon built into the program file, for when the icon file is missing; an invalid icon
// where the program carries none.
wxIcon BuiltInIcon();

// The tray's icon in the sizes the notification area may ask for at each display scale.
wxBitmapBundle TrayIconSizes(const wxIcon& icon);
