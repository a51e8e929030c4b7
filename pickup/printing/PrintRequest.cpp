// The print request handler: each downloaded file is printed by a print program of its
// own, watched by a TeskPrintJob that deals with the file when the program ends.
#include <memory>
#include <string>

#include <wx/filefn.h>
#include <wx/filename.h>

#include "app/DiagnosticLog.h"
#include "app/NarrowText.h"
#include "app/PrinterApp.h"
#include "app/WorkerEvents.h"
#include "pickup/printing/PrintProgram.h"
#include "pickup/printing/TeskPrintJob.h"
#include "pickup/printing/UnprintedFolder.h"
#include "ui/TeskFrame.h"

void PrinterApp::OnPrintFile(wxThreadEvent& event) {
    const wxString path = event.GetPayload<wxString>();
    const wxString documentName = event.GetString();

    // Read at the moment of printing: a new choice applies to the next file.
    wxString printer;
    if (frame != nullptr) {
        frame->SetStatus("Printing");
        printer = frame->GetPrinterName();
    }

    wxCommandEvent done(wxEVT_PRINT_JOB_DONE, 0);
    // An empty document has nothing to print, and lp refuses it as a failure: it is done.
    if (wxFileName::GetSize(path) == 0) {
        wxRemoveFile(path);
        OnPrintJobDone(done);
        return;
    }

    const wxString printing =
        settings.printProgram +
        (printer.empty() ? wxString(" (no printer chosen)") : " on " + printer);
    auto job =
        std::make_unique<TeskPrintJob>(this, path, documentName, wxEVT_PRINT_JOB_DONE, printing);
    if (StartPrintProgram(settings.printProgram, printer, path, job.get()) != 0) {
        // The job now belongs to the running program and deletes itself when it ends
        // (possibly already, inside the start).
        job.release();
        return;
    }

    // Never started, so the job will never hear of an end: the document is kept here, and
    // the window put back as for a finished job.
    job.reset();
    LogLine("print: cannot start " + ToNarrow(printing) + " for \"" +
            OneLine(ToNarrow(documentName)) + "\": the program is missing or cannot be run");
    done.SetString("The print program could not be started. " +
                   KeepUnprinted(path, documentName).notice);
    OnPrintJobDone(done);
}
