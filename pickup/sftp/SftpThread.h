#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <libssh/sftp.h>
#include <wx/event.h>
#include <wx/thread.h>

#include "app/WorkerThreads.h"
#include "pickup/sftp/CopyBackoff.h"
#include "pickup/sftp/LinkWatchdog.h"
#include "pickup/sftp/RestWatch.h"
#include "pickup/sftp/SftpEndpoint.h"

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
    enum class Outcome { Continue, EndRun };
    // A regular file as the directory listing shows it.
    struct Listed {
        std::string name;
        std::uint64_t size;
        std::uint32_t mtime;  // 0: not given
    };
    // A file the server would not let go, printed once: its size and time, and the copy
    // whose record remembers it.
    struct Kept {
        std::uint64_t size;
        std::uint32_t mtime;
        wxString copy;
    };

    bool StopRequested();
    // Sleeps between network steps; the link's bound does not run meanwhile.
    void Rest(unsigned long milliseconds);
    // The session can no longer reach the server: its end has gone, or the link was cut.
    bool SessionLost(sftp_session sftp) const;
    // Connects, checks the server's identity and logs in; returns the error text for the
    // user, or an empty text on success.
    std::string OpenSession(ssh_session session);
    // Before new documents: finishes what earlier runs left in the outbox.
    Outcome FinishEarlierWork(sftp_session sftp);
    // Returns what the session was doing when it ended by itself (empty after a stop).
    std::string PollLoop(sftp_session sftp);
    // The regular files of the pickup directory in the server's order, at most
    // kMaxListedFiles of them; `complete` is false after a listing error or a failed close.
    std::vector<Listed> ReadListing(sftp_session sftp, sftp_dir dir, const std::string& pickupPath,
                                    bool& complete);
    // Logs, once per run, why a listed entry is not taken.
    void Report(const std::string& name, const std::string& why);
    Outcome HandleListing(sftp_session sftp, RestWatch& watch, const std::vector<Listed>& listing,
                          const std::string& pickupPath);
    // Whether `entry` is a file left on the server that was printed already.
    bool IsKept(const Listed& entry) const;
    // Hands a copy over to be printed; false when the application is gone or leaving.
    bool HandOver(const wxString& copy, const std::string& name, bool earlier);
    // A copy secured in the outbox whose file is still on the server.
    struct Taken {
        wxString copy;
        std::string name;
        std::uint64_t size;
        std::uint32_t mtime;
    };
    // At most this many copies, and this many bytes, wait for one flush of the outbox folder.
    static constexpr std::size_t kMaxGroupFiles = 16;
    static constexpr std::uint64_t kMaxGroupBytes = 4 << 20;

    // Copies a file at rest into the outbox with its record; adds it to `taken` when secured.
    Outcome CopyToOutbox(sftp_session sftp, RestWatch::File& file, std::vector<Taken>& taken);
    // Flushes the outbox folder, then removes each of `taken` on the server and hands it over.
    Outcome ReleaseTaken(sftp_session sftp, const std::string& pickupPath,
                         const std::vector<Taken>& taken);
    Outcome Release(sftp_session sftp, const std::string& remotePath, const Taken& copy);
    // Drops the copies from `from` on: their files stay on the server for a later take.
    void DropTaken(const std::vector<Taken>& taken, std::size_t from);
    // A file that stayed empty: there is nothing to print, so it is only removed.
    Outcome RemoveEmptyFile(sftp_session sftp, const std::string& pickupPath,
                            RestWatch::File& file);

    wxEvtHandler* handler;
    std::string userName;
    std::string password;
    SftpEndpoint endpoint;
    WorkerThreadToken alive;
    // Set by RequestStop from the user-interface thread; checked before every poll and
    // before every file taken.
    std::atomic<bool> stopRequested{false};
    // Files handed over whose removal on the server failed, by name: not handed over again,
    // in this run or the next, while they stay unchanged.
    std::map<std::string, Kept> kept;
    // Files whose copy failed here (disk full): copied again only after a growing pause.
    CopyBackoff backoff;
    LinkWatchdog watchdog;
    std::set<std::string> reported;
};

// Makes a worker for the typed account ID (encoded for the server) and password, both
// UTF-8; the caller starts it with Run().
SftpThread* CreateSftpThread(wxEvtHandler* handler, const std::string& accountId,
                             const std::string& password,
                             const SftpEndpoint& endpoint = SftpEndpoint::Compiled());
