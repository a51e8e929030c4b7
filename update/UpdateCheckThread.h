#pragma once

#include <cstddef>
#include <string>

#include <wx/event.h>
#include <wx/thread.h>

#include "app/WorkerThreads.h"
#include "update/FetchResult.h"

// libcurl write callback: appends the received bytes to `*out`. Returns 0, which makes
// libcurl abort the transfer, when `out` is null or the body would grow beyond
// UpdateCheckThread::kMaxBodySize.
size_t WriteToString(char* data, size_t size, size_t count, std::string* out);

// How long one fetch may take. The check runs on a thread nobody waits for, but a server
// that never answers, or trickles its answer, must not keep that thread for ever.
struct FetchSettings {
    long connectTimeoutSeconds = 15;
    long totalTimeoutSeconds = 60;
    // Slower than this many bytes a second for lowSpeedSeconds ends the transfer.
    long lowSpeedBytesPerSecond = 100;
    long lowSpeedSeconds = 20;
    // Certificate authorities to trust instead of the system's; empty: the system's.
    std::string caFile;
};

// Fetches the newest release number once and, when it is newer than the running release,
// queues wxEVT_UPDATE_AVAILABLE with the fetched text to `handler`'s event sink. A failure
// is never shown to the user; its reason goes to the diagnostic log. Detached: nobody
// waits for it.
class UpdateCheckThread : public wxThread {
public:
    // The version text is a few bytes; anything much larger is not one.
    static constexpr size_t kMaxBodySize = 64 * 1024;

    UpdateCheckThread(wxEvtHandler* handler, const std::string& url,
                      const FetchSettings& settings = FetchSettings());
    ~UpdateCheckThread() override;

    // The body of the response for `url`, or why there is none (a final status other than
    // 200 included). Only HTTPS redirections are followed.
    FetchResult FetchVersionText();

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
    FetchSettings settings;
    WorkerThreadToken alive;
};
