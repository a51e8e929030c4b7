// Starting and stopping the pickup worker on the user's request.
#include <iostream>

#include <wx/msgdlg.h>

#include "app/PrinterApp.h"
#include "pickup/MappingScript.h"
#include "pickup/sftp/SftpThread.h"
#include "ui/TeskFrame.h"

void PrinterApp::ToggleConnection(const std::string& userId, const std::string& password) {
    // The worker, not the button's label, decides: after a print job the label may lag.
    if (printerThread != nullptr) {
        Disconnect();
    } else {
        Connect(userId, password);
    }
}

bool PrinterApp::Connect(const std::string& userId, const std::string& password) {
    if (!frame->HasPrinter()) {
        ShowMessage("No printers found", wxMessageBoxCaptionStr, wxOK | wxCENTRE);
        return true;
    }
    ShowLink(Link::Connecting);

    SftpThread* worker = CreateSftpThread(this, userId, password, settings.sftp);
    printerThread = worker;
    if (worker->Run() != wxTHREAD_NO_ERROR) {
        // A detached thread that never ran neither deletes itself nor reports its end.
        delete worker;
        printerThread = nullptr;
        ShowLink(Link::Idle);
    }

    StartMappingScript(settings.mappingScript);
    return true;
}

bool PrinterApp::Disconnect() {
    ShowLink(Link::Disconnecting);
    DeletePrinterThread();
    return true;
}

void PrinterApp::DeletePrinterThread() {
    if (printerThread == nullptr) {
        return;
    }
    if (SftpThread::RequestStop(printerThread) != wxTHREAD_NO_ERROR) {
        std::cerr << "Error deleting Printer thread" << std::endl;
    }
}
