// The print request handler: the documents handed over wait in the print queue, and each is
// printed by a print program of its own, one at a time per printer, watched by a
// TeskPrintJob that deals with the file when the program ends.
#include <memory>
#include <string>
#include <vector>

#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "app/DiagnosticLog.h"
#include "app/NarrowText.h"
#include "app/PrinterApp.h"
#include "app/WorkerEvents.h"
#include "pickup/outbox/Outbox.h"
#include "pickup/printing/PrintProgram.h"
#include "pickup/printing/TeskPrintJob.h"
#include "pickup/printing/UnprintedFolder.h"
#include "ui/TeskFrame.h"

namespace {

// At most this many names in the message about an earlier run's documents.
constexpr std::size_t kNamesShown = 10;

// The job's title in the print system: the document's name, and the copy's tag, which
// finds the job again after a restart.
std::string JobTitle(const wxString& documentName, const std::string& tag) {
    // The name as the user knows it, without the controls a server may have put in it.
    return OneLine(ToNarrow(documentName), 80) + " " + tag;
}

}  // namespace

void PrinterApp::OnPrintFile(wxThreadEvent& event) {
    PrintQueue::Item item;
    item.file = event.GetPayload<wxString>();
    item.documentName = event.GetString();
    item.earlier = event.GetInt() == 1;
    // Read when the document arrives: a new choice applies to the next document.
    if (frame != nullptr) {
        item.printer = frame->GetPrinterName();
    }
    if (item.earlier) {
        ++earlierWaiting;
    }
    printQueue.Add(std::move(item));
    StartQueuedPrints();
}

void PrinterApp::StartQueuedPrints() {
    std::vector<wxString> notices;
    // Once the exit has begun, what waits stays in the outbox for the next run.
    while (!shuttingDown) {
        auto next = printQueue.NextToStart();
        if (!next) {
            break;
        }
        bool printed = false;
        wxString notice;
        if (StartPrint(next->serial, next->item, printed, notice)) {
            continue;
        }
        // Done at once: nothing runs for it, and the next may start.
        PrintEnded(next->serial, printed);
        notices.push_back(notice);
    }
    for (const wxString& notice : notices) {
        ShowPrintEnd(notice);
    }
}

bool PrinterApp::StartPrint(long serial, const PrintQueue::Item& item, bool& printed,
                            wxString& notice) {
    if (frame != nullptr) {
        frame->SetStatus("Printing");
    }
    // An empty document has nothing to print, and lp refuses it as a failure: it is done.
    if (wxFileName::GetSize(item.file) == 0) {
        outbox::Finished(item.file);
        printed = true;
        return false;
    }

    const std::string tag = outbox::JobTag(item.file);
    const auto record = item.earlier ? outbox::Read(item.file) : std::nullopt;
    if (record && record->stage == OutboxStage::Given) {
        // The earlier run ended before it heard its print program end.
        switch (PrintSystemHasJob(tag)) {
            case JobKnown::Yes:
                LogLine("print: \"" + OneLine(ToNarrow(item.documentName)) +
                        "\" from an earlier run was already with the print system");
                outbox::Finished(item.file);
                printed = true;
                return false;
            case JobKnown::CannotTell:
                earlierMaybeTwice = true;
                break;
            case JobKnown::No:
                break;
        }
    }
    outbox::SetStage(item.file, OutboxStage::Given);

    const wxString printing =
        settings.printProgram +
        (item.printer.empty() ? wxString(" (no printer chosen)") : " on " + item.printer);
    auto job = std::make_unique<TeskPrintJob>(this, item.file, item.documentName,
                                              wxEVT_PRINT_JOB_DONE, printing);
    job->serial = serial;
    if (StartPrintProgram(settings.printProgram, item.printer, item.file, job.get(),
                          JobTitle(item.documentName, tag)) != 0) {
        // The job now belongs to the running program and deletes itself when it ends
        // (possibly already, inside the start).
        job.release();
        return true;
    }

    // Never started, so the job will never hear of an end: the document is kept here.
    job.reset();
    LogLine("print: cannot start " + ToNarrow(printing) + " for \"" +
            OneLine(ToNarrow(item.documentName)) + "\": the program is missing or cannot be run");
    const UnprintedOutcome kept = KeepUnprinted(item.file, item.documentName);
    if (!kept.keptAs.empty()) {
        outbox::Finished(item.file);
    }
    notice = "The print program could not be started. " + kept.notice;
    return false;
}

void PrinterApp::PrintEnded(long serial, bool printed) {
    const auto item = printQueue.Ended(serial);
    if (!item || !item->earlier) {
        return;
    }
    --earlierWaiting;
    if (printed) {
        earlierPrinted.push_back(item->documentName);
    }
}

void PrinterApp::OnPrintJobDone(wxCommandEvent& event) {
    PrintEnded(event.GetExtraLong(), event.GetInt() == 1);
    // The next document starts before any box about this one is shown.
    StartQueuedPrints();
    ShowPrintEnd(event.GetString());
}

void PrinterApp::ShowPrintEnd(const wxString& notice) {
    if (frame == nullptr) {
        return;
    }
    // Show the connection as it really is: a worker may still be picking files up.
    ShowLink(printerThread != nullptr ? link : Link::Idle);
    // A job that failed says where its document went.
    if (!notice.empty() && !shuttingDown) {
        ShowNoticeOnce(notice);
    }
    // One message for all that an earlier run left, once the last of it has ended.
    if (earlierWaiting == 0 && !earlierPrinted.empty() && !shuttingDown) {
        const std::size_t count = earlierPrinted.size();
        wxString message = count == 1 ? wxString("1 document from an earlier run was printed: ")
                                      : wxString::Format(
                                            "%zu documents from an earlier run "
                                            "were printed: ",
                                            count);
        for (std::size_t i = 0; i < count && i < kNamesShown; ++i) {
            message += (i == 0 ? "" : ", ") + FromNarrow(OneLine(ToNarrow(earlierPrinted[i]), 100));
        }
        if (count > kNamesShown) {
            message += wxString::Format(" and %zu more", count - kNamesShown);
        }
        message += ".";
        if (earlierMaybeTwice) {
            message +=
                " The program ended while some were being printed, so they may have "
                "come out twice.";
        }
        earlierPrinted.clear();
        earlierMaybeTwice = false;
        ShowMessage(message, wxMessageBoxCaptionStr, wxOK | wxCENTRE);
    }
}
