#include "pickup/printing/TeskPrintJob.h"

#include <wx/filefn.h>

#include "app/DiagnosticLog.h"
#include "app/EventSink.h"
#include "app/NarrowText.h"
#include "app/SessionEnd.h"
#include "pickup/outbox/Outbox.h"
#include "pickup/printing/PrintProgram.h"
#include "pickup/printing/UnprintedFolder.h"

namespace {
int runningJobs = 0;
}

TeskPrintJob::TeskPrintJob(wxEvtHandler* handler, const wxString& file,
                           const wxString& documentName, wxEventType doneEventType,
                           const wxString& printing)
    : wxProcess(nullptr, wxID_ANY),
      handler(handler),
      file(file),
      documentName(documentName),
      doneEventType(doneEventType),
      printing(printing),
      output(*this) {
    ++runningJobs;
    if (ReadsPrintProgramOutput()) {
        Redirect();
        // Read from the start: the program may end within wxExecute.
        output.StartReading();
    }
}

TeskPrintJob::~TeskPrintJob() {
    --runningJobs;
}

void TeskPrintJob::LogPrintFailure(int status) {
    std::string line = "print: " + ToNarrow(printing) + " ended with " +
                       DescribePrintProgramEnd(status) + " for \"" +
                       OneLine(ToNarrow(documentName)) + "\"";
    const std::string errors = output.FirstErrorLines();
    if (!errors.empty()) {
        line += ": " + errors;
    }
    LogLine(line);
}

int TeskPrintJob::Running() {
    return runningJobs;
}

void TeskPrintJob::OnTerminate(int, int status) {
    auto* done = new wxCommandEvent(doneEventType, 0);
    done->SetExtraLong(serial);
    done->SetInt(status == 0 ? 1 : 0);
    // The toolkit reports a program killed by a signal with a negative status.
    if (status == 0) {
        outbox::Finished(file);
    } else if (SessionEndNoticed()) {
        // Ended with the desktop session, which takes the print program with it: no failure
        // of the print. The document waits in the outbox for the next Connect.
        LogLine("print: " + ToNarrow(printing) + " ended with " + DescribePrintProgramEnd(status) +
                " for \"" + OneLine(ToNarrow(documentName)) +
                "\" as the session ended; the document waits in the outbox");
    } else {
        output.Drain();
        LogPrintFailure(status);
        const UnprintedOutcome kept = KeepUnprinted(file, documentName);
        if (!kept.keptAs.empty()) {
            outbox::Finished(file);
        }
        done->SetString(kept.notice);
    }
    // The application may be gone by now (a print program that outlived the window):
    // the sink then drops the event.
    QueueToSink(handler, done);
    // Not the base: with no parent it would post a process event and delete itself.
    delete this;
}
