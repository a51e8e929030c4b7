#pragma once

#include <wx/event.h>
#include <wx/process.h>
#include <wx/string.h>

#include "pickup/printing/ChildOutput.h"

// Watches one running print program. When the program ends, the job tells `handler` with a
// wxCommandEvent of `doneEventType`, whose extra long is the job's `serial` and whose int is
// 1 when it printed. A program that printed leaves nothing behind: the copy goes from the
// outbox. One that failed (a non-zero exit, or killed) had the only copy left, since the
// server's was removed before the hand-over: the file is kept in the unprinted folder and
// the event's string carries what the user is to be told; one that ends once the desktop
// session is ending was ended with it, and its document stays in the outbox. A failure is logged
// with the program's exit status and the first lines of its error output.
//
// A job handed to wxExecute deletes itself at the end of OnTerminate (the toolkit does
// not delete a process object it was given); one that was never started belongs to
// whoever created it.
class TeskPrintJob : public wxProcess {
public:
    // `printing` says what runs, for the log ("lp on Office_Laser").
    TeskPrintJob(wxEvtHandler* handler, const wxString& file, const wxString& documentName,
                 wxEventType doneEventType, const wxString& printing = wxString());
    ~TeskPrintJob() override;

    void OnTerminate(int pid, int status) override;

    // Jobs whose print program has not been heard to end (user-interface thread only).
    static int Running();

    wxEvtHandler* const handler;  // not owned; only ever queued to
    const wxString file;
    const wxString documentName;  // the document's name on the server
    const wxEventType doneEventType;
    const wxString printing;
    long serial = 0;  // the print queue's name for the job

private:
    void LogPrintFailure(int status);

    ChildOutput output;  // the program's output, where the platform lets it be read
};
