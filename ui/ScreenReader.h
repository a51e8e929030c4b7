#pragma once

class wxStaticText;
class wxWindow;

// What a screen reader needs beyond what the toolkit tells it by itself; nothing of the
// window's look or keyboard order changes. One file per platform: screen_reader_gtk.cpp
// (ATK, read through AT-SPI) and screen_reader_win.cpp (MSAA).

// Gives `field` the text of `label` as its name and ties the two together, so that the
// field is read out as "Corvane ID, text" rather than "text".
void NameAfterLabel(wxWindow* field, wxStaticText* label);

// Makes `status` a live region: a new text is read out without the focus going there.
void MarkAsLiveRegion(wxStaticText* status);

// Tells the screen reader that the live region `status` now shows a new text.
void AnnounceLiveRegion(wxStaticText* status);
