#pragma once

#include <string>

#include <wx/event.h>
#include <wx/thread.h>

#include "pickup/SftpEndpoint.h"

// The pickup worker: logs into the SFTP server, watches the pickup directory and hands
// every complete file over to `handler` as a wxEVT_PRINT_FILE. Detached: it deletes itself
// when its run ends, queuing wxEVT_SFTP_FINISHED as its last act.
class SftpThread : public wxThread {
public:
    SftpThread(wxEvtHandler* handler, const std::string& userName, const std::string& password,
               const SftpEndpoint& endpoint = SftpEndpoint::Compiled());
    ~SftpThread() override;

    // Asks `worker` to stop without waiting for it. Safe when the worker has already
    // ended on its own and deleted itself (nothing is done then).
    static wxThreadError RequestStop(SftpThread* worker);

protected:
    ExitCode Entry() override;

private:
    wxEvtHandler* handler;
    std::string userName;
    std::string password;
    SftpEndpoint endpoint;
};

// Makes a worker for the typed account ID (encoded for the server) and password; the
// caller starts it with Run().
SftpThread* CreateSftpThread(wxEvtHandler* handler, const std::string& accountId,
                             const std::string& password,
                             const SftpEndpoint& endpoint = SftpEndpoint::Compiled());
