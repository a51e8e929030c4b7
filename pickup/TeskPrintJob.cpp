#include "pickup/TeskPrintJob.h"

#include <wx/filefn.h>

#include "app/EventSink.h"

TeskPrintJob::TeskPrintJob(wxEvtHandler* handler, const wxString& file, wxEventType doneEventType)
    : wxProcess(nullptr, wxID_ANY), handler(handler), file(file), doneEventType(doneEventType) {}

TeskPrintJob::~TeskPrintJob() = default;

void TeskPrintJob::OnTerminate(int, int) {
    // The exit code does not matter: the file was either printed or will never be.
    wxRemoveFile(file);
    // The application may be gone by now (a print program that outlived the window):
    // the sink then drops the event.
    QueueToSink(handler, new wxCommandEvent(doneEventType, 0));
    // Not the base: with no parent it would post a process event and delete itself.
    delete this;
}
