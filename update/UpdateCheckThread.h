#pragma once

#include <cstddef>
#include <string>

#include <wx/event.h>
#include <wx/thread.h>

#include "app/WorkerThreads.h"

// libcurl write callback: appends the received bytes to `*out`. Returns 0, which makes
// libcurl abort the transfer, when `out` is null or the body would grow beyond
// UpdateCheckThread::kMaxBodySize.
size_t WriteToString(char* data, size_t size, size_t count, std::string* out);

// Fetches the newest release number once and, when it is newer than the running release,
// queues wxEVT_UPDATE_AVAILABLE with the fetched text to `handler`'s event sink. Every
// failure ends the thread without a trace. Detached: nobody waits for it.
class UpdateCheckThread : public wxThread {
public:
    // The version text is a few bytes; anything much larger is not one.
    static constexpr size_t kMaxBodySize = 64 * 1024;

    UpdateCheckThread(wxEvtHandler* handler, const std::string& url);
    ~UpdateCheckThread() override;

    // The body of the response for `url`; throws a std::string message on any failure,
    // including a final status other than 200.
    std::string FetchVersionText();

    // Whether `fetched` names a later release than `current`. A text that does not start
    // with three dotted numbers is never newer.
    static bool IsNewerVersion(const std::string& current, const std::string& fetched);

    // How many checks have come to the end of Entry in this process, events queued
    // included; lets a caller tell that a check finished without reporting anything.
    static unsigned FinishedCount();

protected:
    ExitCode Entry() override;

private:
    wxEvtHandler* handler;  // not owned; reached only through its event sink
    std::string url;
    WorkerThreadToken alive;
};
