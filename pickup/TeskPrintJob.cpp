#include "pickup/TeskPrintJob.h"

#include <wx/filefn.h>

#include "app/EventSink.h"
#include "pickup/UnprintedFolder.h"

namespace {
int runningJobs = 0;
}

TeskPrintJob::TeskPrintJob(wxEvtHandler* handler, const wxString& file,
                           const wxString& documentName, wxEventType doneEventType)
    : wxProcess(nullptr, wxID_ANY),
      handler(handler),
      file(file),
      documentName(documentName),
      doneEventType(doneEventType) {
    ++runningJobs;
}

TeskPrintJob::~TeskPrintJob() {
    --runningJobs;
}

int TeskPrintJob::Running() {
    return runningJobs;
}

void TeskPrintJob::OnTerminate(int, int status) {
    auto* done = new wxCommandEvent(doneEventType, 0);
    // The toolkit reports a program killed by a signal with a negative status.
    if (status == 0) {
        wxRemoveFile(file);
    } else {
        done->SetString(KeepUnprinted(file, documentName).notice);
    }
    // The application may be gone by now (a print program that outlived the window):
    // the sink then drops the event.
    QueueToSink(handler, done);
    // Not the base: with no parent it would post a process event and delete itself.
    delete this;
}
