// The print request handler: each downloaded file is printed by a print program of its
// own, watched by a TeskPrintJob that removes the file when the program ends.
#include <memory>
#include <string>

#include <wx/filefn.h>
#include <wx/msgdlg.h>

#include "app/PrinterApp.h"
#include "app/WorkerEvents.h"
#include "pickup/PrintProgram.h"
#include "pickup/TeskPrintJob.h"
#include "ui/TeskFrame.h"

void PrinterApp::OnPrintFile(wxThreadEvent& event) {
    const wxString path = event.GetPayload<wxString>();

    // Read at the moment of printing: a new choice applies to the next file.
    std::string printer;
    if (frame != nullptr) {
        frame->SetStatus("Printing");
        printer = frame->GetPrinter();
    }

    auto job = std::make_unique<TeskPrintJob>(this, path, wxEVT_PRINT_JOB_DONE);
    if (StartPrintProgram(settings.printProgram, printer, path, job.get()) != 0) {
        // The job now belongs to the running program and deletes itself when it ends
        // (possibly already, inside the start).
        job.release();
        return;
    }

    // Never started, so the job will never hear of an end: do its part here, and put the
    // window back as for a finished job.
    job.reset();
    wxRemoveFile(path);
    wxCommandEvent done(wxEVT_PRINT_JOB_DONE, 0);
    OnPrintJobDone(done);
    if (frame != nullptr && !shuttingDown) {
        ShowMessage("The print program could not be started", wxMessageBoxCaptionStr,
                    wxOK | wxCENTRE);
    }
}
