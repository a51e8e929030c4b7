#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/string.h>

#include "app/AppSettings.h"
#include "app/PrinterApp.h"

// A PrinterApp started as the program starts it (OnInit: window, tray icon, printer list),
// with modal dialogs and the browser replaced by recorders so that nothing waits for a
// click. Constructing a wxApp makes it the toolkit's instance; the previous instance is
// put back when the object goes away.
class AppUnderTest {
public:
    struct Message {
        wxString text;
        wxString caption;
        long style;
    };

    // Settings pointing nowhere: the update check fails at once and no SFTP server answers.
    static AppSettings QuietSettings();

    explicit AppUnderTest(AppSettings settings = QuietSettings(), bool init = true);
    ~AppUnderTest();

    PrinterApp& app() { return *application; }

    // Runs the window's close request and lets the toolkit finish the deferred destruction.
    void CloseWindow();

    // Processes pending events until `done` holds or `seconds` have passed.
    bool PumpUntil(const std::function<bool()>& done, double seconds = 30);
    void PumpPending();

    std::vector<Message> messages;
    // Runs while a recorded message box is "open", as the events a real modal box handles.
    std::function<void()> whileMessageOpen;
    std::vector<wxString> browserUrls;
    int answer;  // what the recorded message boxes answer

private:
    wxApp* previous;
    PrinterApp* application;
};
