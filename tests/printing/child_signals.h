#pragma once

#include <csignal>

#include <wx/app.h>

// Once any application object has started a child with wxExecute, the toolkit's SIGCHLD
// handler stays installed for the process and wakes the *current* application object
// through that object's own wake-up pipe, which exists only after the object has set a
// signal handler itself. Tests swap application objects (a PrinterApp per test, the plain
// wxApp in between), so every object that may be current when a child ends (lp, or the
// fixture scripts) gets its pipe here. SIG_DFL leaves no handler of ours in its table;
// wxExecute sets its own again when it starts a child.
inline void PrepareForChildExits(wxAppConsole& app) {
    app.SetSignalHandler(SIGCHLD, SIG_DFL);
}
