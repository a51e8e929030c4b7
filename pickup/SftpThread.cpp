// Placeholder until the pickup worker lands.
#include "pickup/SftpThread.h"

#include "app/EventSink.h"
#include "app/WorkerEvents.h"

SftpThread::SftpThread(wxEvtHandler* handler, const std::string& userName,
                       const std::string& password, const SftpEndpoint& endpoint)
    : wxThread(wxTHREAD_DETACHED),
      handler(handler),
      userName(userName),
      password(password),
      endpoint(endpoint) {}

SftpThread::~SftpThread() {
    QueueThreadEvent(handler, wxEVT_SFTP_FINISHED, std::string("SFTP thread finished"));
}

wxThreadError SftpThread::RequestStop(SftpThread* worker) {
    return worker->Delete(nullptr, wxTHREAD_WAIT_BLOCK);
}

wxThread::ExitCode SftpThread::Entry() {
    while (!TestDestroy()) {
        Sleep(100);
    }
    return nullptr;
}

SftpThread* CreateSftpThread(wxEvtHandler* handler, const std::string& accountId,
                             const std::string& password, const SftpEndpoint& endpoint) {
    return new SftpThread(handler, accountId, password, endpoint);
}
