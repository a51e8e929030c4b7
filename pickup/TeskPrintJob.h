#pragma once

#include <wx/event.h>
#include <wx/process.h>
#include <wx/string.h>

// Watches one running print program. When the program ends, the job removes the
// temporary file it printed and tells `handler` with a wxCommandEvent of `doneEventType`.
//
// A job handed to wxExecute deletes itself at the end of OnTerminate (the toolkit does
// not delete a process object it was given); one that was never started belongs to
// whoever created it.
class TeskPrintJob : public wxProcess {
public:
    TeskPrintJob(wxEvtHandler* handler, const wxString& file, wxEventType doneEventType);
    ~TeskPrintJob() override;

    void OnTerminate(int pid, int status) override;

    wxEvtHandler* const handler;  // not owned; only ever queued to
    const wxString file;
    const wxEventType doneEventType;
};
