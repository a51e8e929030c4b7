#include "pickup/sftp/SftpThread.h"

#include <fcntl.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <mutex>

#include <libssh/libssh.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/stdpaths.h>

#include "app/DiagnosticLog.h"
#include "app/EventSink.h"
#include "app/NarrowText.h"
#include "app/WorkerEvents.h"
#include "pickup/sftp/AccountName.h"
#include "pickup/sftp/LibSshSession.h"
#include "pickup/sftp/LibSshSftp.h"
#include "pickup/sftp/ListingGate.h"
#include "pickup/sftp/LoginText.h"
#include "pickup/sftp/PartialCopies.h"
#include "pickup/sftp/Removal.h"
#include "pickup/sftp/RemoteCopy.h"
#include "pickup/sftp/RestWatch.h"
#include "pickup/sftp/SessionLog.h"
#include "pickup/sftp/SftpHandles.h"

namespace {

constexpr long kSessionTimeoutSeconds = 30;
// Once a stop is asked for, a network wait that gets no answer for this long is cut short.
constexpr std::chrono::milliseconds kStopGrace{2000};
constexpr unsigned long kPollPauseMs = 100;

// Workers that have not yet destroyed themselves. A stop request reaches only these, so a
// request for a worker that ended on its own is harmless.
std::mutex& LiveMutex() {
    static std::mutex mutex;
    return mutex;
}

std::set<SftpThread*>& LiveWorkers() {
    static std::set<SftpThread*> workers;
    return workers;
}

}  // namespace

SftpThread::SftpThread(wxEvtHandler* handler, const std::string& userName,
                       const std::string& password, const SftpEndpoint& endpoint)
    : wxThread(wxTHREAD_DETACHED),
      handler(handler),
      userName(userName),
      password(password),
      endpoint(endpoint),
      watchdog(std::chrono::seconds(kSessionTimeoutSeconds), kStopGrace) {
    std::lock_guard<std::mutex> lock(LiveMutex());
    LiveWorkers().insert(this);
}

SftpThread::~SftpThread() {
    std::lock_guard<std::mutex> lock(LiveMutex());
    LiveWorkers().erase(this);
    QueueThreadEvent(handler, wxEVT_SFTP_FINISHED, std::string("SFTP thread finished"));
}

wxThreadError SftpThread::RequestStop(SftpThread* worker) {
    // Only marks the request: the user-interface thread never waits for the worker.
    std::lock_guard<std::mutex> lock(LiveMutex());
    if (LiveWorkers().count(worker) != 0) {
        worker->stopRequested = true;
        worker->watchdog.RequestStop();
    }
    return wxTHREAD_NO_ERROR;
}

bool SftpThread::StopRequested() {
    return stopRequested || TestDestroy();
}

void SftpThread::Rest(unsigned long milliseconds) {
    const LinkWatchdog::Pause pause(watchdog);
    Sleep(milliseconds);
}

bool SftpThread::SessionLost(sftp_session sftp) const {
    return ::SessionLost(sftp) || watchdog.Cut();
}

wxThread::ExitCode SftpThread::Entry() {
    // The program reports nothing but its events; no toolkit log messages from here.
    wxLogNull noLog;

    auto session = std::make_shared<LibSshSession>();
    if (session->session == nullptr) {
        LogLine("pickup: the SSH library gave no session");
        return nullptr;
    }
    const std::string failure = OpenSession(session->session);
    if (!failure.empty()) {
        QueueThreadEvent(handler, wxEVT_SFTP_ERROR, failure);
        return nullptr;
    }

    // From here on no wait on the server outlasts the session timeout.
    watchdog.Watch(ssh_get_fd(session->session));
    auto sftp = std::make_shared<LibSshSftp>(session);
    if (sftp->sftp != nullptr) {
        watchdog.WatchChannel(sftp->sftp->channel);
    }
    if (sftp->sftp == nullptr || sftp_init(sftp->sftp) != SSH_OK) {
        LogSftpStartFailure(session->session, sftp->sftp);
        QueueThreadEvent(handler, wxEVT_SFTP_ERROR,
                         std::string(watchdog.Expired() ? "PRINTER connection failed"
                                                        : "SFTP initialisation failed"));
        sftp.reset();
        watchdog.Release();
        session.reset();
        return nullptr;
    }
    QueueThreadEvent(handler, wxEVT_SFTP_CONNECTED, std::string("SFTP connected"));

    PollLoop(sftp->sftp);
    if (!StopRequested()) {
        LogSessionEnded(session->session, sftp->sftp);
    }

    sftp.reset();
    watchdog.Release();
    session.reset();
    // A server that stopped answering is a lost connection, unless the user was leaving.
    if (watchdog.Expired() && !stopRequested) {
        QueueThreadEvent(handler, wxEVT_SFTP_ERROR, std::string("PRINTER connection failed"));
    }
    return nullptr;
}

std::string SftpThread::OpenSession(ssh_session session) {
    const long timeout = kSessionTimeoutSeconds;
    ssh_options_set(session, SSH_OPTIONS_HOST, endpoint.host.c_str());
    ssh_options_set(session, SSH_OPTIONS_USER, userName.c_str());
    ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &timeout);
    if (!endpoint.port.empty()) {
        ssh_options_set(session, SSH_OPTIONS_PORT_STR, endpoint.port.c_str());
    }
    if (!endpoint.knownHostsFile.empty()) {
        ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, endpoint.knownHostsFile.c_str());
        const int off = 0;
        ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &off);
    }

    if (ssh_connect(session) != SSH_OK) {
        LogConnectFailure(session);
        return "PRINTER connection failed";
    }

    // The password goes only to a server we know, or meet for the first time.
    const ssh_known_hosts_e known = ssh_session_is_known_server(session);
    switch (known) {
        case SSH_KNOWN_HOSTS_OK:
            break;
        case SSH_KNOWN_HOSTS_UNKNOWN:
        case SSH_KNOWN_HOSTS_NOT_FOUND:
            // Trusted on first contact; failing to remember it does not change that.
            ssh_session_update_known_hosts(session);
            break;
        default:
            LogHostKeyRefused(session, known);
            return "Server identity could not be verified";
    }

    const std::vector<std::string> forms = PasswordForms(password);
    int auth = SSH_AUTH_DENIED;
    for (size_t i = 0; i < forms.size() && auth == SSH_AUTH_DENIED; ++i) {
        auth = ssh_userauth_password(session, userName.c_str(), forms[i].c_str());
        if (auth == SSH_AUTH_SUCCESS && i > 0) {
            LogLine("pickup: the server took the password in the code page's form, not UTF-8");
        }
    }
    if (auth != SSH_AUTH_SUCCESS) {
        LogLoginRefused(session, auth);
        return "User name or password incorrect";
    }
    return std::string();
}

void SftpThread::PollLoop(sftp_session sftp) {
    // Lives inside the loop's frame, so its open files are closed before the session goes.
    RestWatch watch;
    std::string watchedPath;
    ListingGate gate({".teskprinting/", userName + "/.teskprinting/"});
    while (!StopRequested()) {
        // An idle poll costs the server one request unless something may have arrived.
        if (!gate.MustList(
                [sftp](const std::string& path) { return StatRemoteFolder(sftp, path); })) {
            Rest(kPollPauseMs);
            continue;
        }
        std::string pickupPath = ".teskprinting/";
        sftp_dir dir = sftp_opendir(sftp, pickupPath.c_str());
        if (dir == nullptr) {
            pickupPath = userName + "/.teskprinting/";
            dir = sftp_opendir(sftp, pickupPath.c_str());
        }
        if (dir == nullptr) {
            // A session whose server end has gone never recovers: end the run, so the window
            // stops showing a connection that is not there.
            if (SessionLost(sftp)) {
                return;
            }
            Rest(kPollPauseMs);
            continue;
        }
        // Files are watched by name within one directory: a switch to the other form of
        // the path starts afresh.
        if (pickupPath != watchedPath) {
            watch.Clear();
            watchedPath = pickupPath;
        }
        bool complete = false;
        const std::vector<Listed> listing = ReadListing(sftp, dir, complete);
        std::vector<std::string> names;
        for (const auto& entry : listing) {
            names.push_back(entry.name);
        }
        gate.Listed(pickupPath, names);
        if (HandleListing(sftp, watch, listing, pickupPath) == Outcome::EndRun || !complete) {
            return;
        }
        Rest(kPollPauseMs);
    }
}

std::vector<SftpThread::Listed> SftpThread::ReadListing(sftp_session sftp, sftp_dir dir,
                                                        bool& complete) {
    RemoteDir listing(dir);
    std::vector<Listed> entries;
    for (;;) {
        const Attributes entry(sftp_readdir(sftp, listing.get()));
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->name != nullptr ? entry->name : "";
        if (name.empty() || name == "." || name == "..") {
            continue;
        }
        // Only regular files: a FIFO would block the session for good, and a directory
        // cannot be read.
        if (entry->type != SSH_FILEXFER_TYPE_REGULAR) {
            continue;
        }
        entries.push_back(Listed{name, entry->size});
    }
    const bool atEnd = sftp_dir_eof(listing.get()) != 0;
    const bool closed = sftp_closedir(listing.release()) == SSH_NO_ERROR;
    complete = atEnd && closed;
    return entries;
}

SftpThread::Outcome SftpThread::HandleListing(sftp_session sftp, RestWatch& watch,
                                              const std::vector<Listed>& listing,
                                              const std::string& pickupPath) {
    std::vector<std::string> names;
    for (const auto& entry : listing) {
        names.push_back(entry.name);
    }
    watch.KeepOnly(names);
    backoff.KeepOnly(names);
    // A file left on the server is remembered only while it is listed unchanged: once gone,
    // the same name and size uploaded again is a new document.
    for (auto keptFile = kept.begin(); keptFile != kept.end();) {
        const bool listed = std::any_of(listing.begin(), listing.end(), [&](const Listed& entry) {
            return entry.name == keptFile->first && entry.size == keptFile->second;
        });
        keptFile = listed ? std::next(keptFile) : kept.erase(keptFile);
    }

    // New arrivals join the watch, up to its limit; each is read at once and again in the
    // same rounds as the others.
    for (const auto& entry : listing) {
        if (watch.Full()) {
            break;
        }
        if (watch.Find(entry.name) != nullptr || kept.count({entry.name, entry.size}) != 0) {
            continue;
        }
        const std::string remotePath = pickupPath + entry.name;
        RemoteFile remote(sftp_open(sftp, remotePath.c_str(), O_RDONLY, 0));
        if (remote == nullptr) {
            continue;
        }
        QueueThreadEvent(handler, wxEVT_SFTP_STATUS, std::string("Waiting for file"));
        watch.Add(entry.name, std::move(remote));
    }
    watch.ReadDue();

    // Files at rest are taken in listing order; a file in hand is finished before a stop.
    for (const auto& entry : listing) {
        RestWatch::File* file = watch.Find(entry.name);
        if (file == nullptr || !file->atRest || !backoff.Ready(entry.name)) {
            continue;
        }
        if (StopRequested()) {
            return Outcome::EndRun;
        }
        // Listed with another size than the rested one: replaced or grown since; read anew.
        if (entry.size != file->size) {
            watch.Drop(entry.name);
            continue;
        }
        const Outcome outcome = file->size == 0 ? RemoveEmptyFile(sftp, pickupPath, *file)
                                                : TakeFile(sftp, pickupPath, *file);
        watch.Drop(entry.name);
        if (outcome == Outcome::EndRun) {
            return Outcome::EndRun;
        }
    }
    return Outcome::Continue;
}

SftpThread::Outcome SftpThread::TakeFile(sftp_session sftp, const std::string& pickupPath,
                                         RestWatch::File& file) {
    const std::string remotePath = pickupPath + file.name;
    wxFile local;
    const wxString localPath = CreatePartialCopy(local);
    if (localPath.empty()) {
        backoff.Failed(file.name);
        return Outcome::Continue;
    }
    QueueThreadEvent(handler, wxEVT_SFTP_STATUS, std::string("Downloading"));

    // Only a complete copy, safely on disk, leaves the server; anything less is dropped
    // here and the file is taken again on a later poll.
    RemoteCopy copy(file.handle.get(), file.size);
    bool complete = copy.To(local);
    const std::uint64_t copied = copy.Copied();
    complete = local.Flush() && complete;
    complete = local.Close() && complete;
    file.handle.reset();
    // Exactly the rested size, or the file changed under the copy (or the server's handle
    // could not see all of it): dropped, and the file is watched again from the start.
    if (complete && copied != file.size) {
        DropPartialCopy(localPath);
        return Outcome::Continue;
    }
    if (!complete) {
        DropPartialCopy(localPath);
        // A copy broken by the server's end ends the run, as a broken listing does; any
        // other failure leaves the file for a later poll.
        if (SessionLost(sftp)) {
            return Outcome::EndRun;
        }
        backoff.Failed(file.name);
        return Outcome::Continue;
    }

    const std::string& name = file.name;
    bool delivered = false;
    bool removedAtExit = false;
    bool notOurs = false;
    const bool sinkOpen = WithOpenSink(handler, [&] {
        if (!CompletePartialCopy(localPath)) {
            // The exit has begun and removed the copy: the document stays on the server.
            removedAtExit = true;
            return;
        }
        switch (RemoveTakenFile(sftp, remotePath, file.size, file.mtime,
                                [&] { return SessionLost(sftp); })) {
            case Removal::Removed:
            case Removal::SessionLost:
                break;
            case Removal::Kept:
                // Left on the server (no permission to delete): printed once, not on every
                // poll.
                kept.insert({name, copied});
                break;
            case Removal::Gone:
            case Removal::Changed:
                notOurs = true;
                wxRemoveFile(localPath);
                return;
        }
        // The document's own name travels with it, so that a copy kept after a failed
        // print can carry that name.
        auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
        event->SetPayload(localPath);
        event->SetString(FromNarrow(name));
        delivered = QueueToSink(handler, event);
    });
    if (notOurs) {
        return Outcome::Continue;
    }
    if (!sinkOpen || removedAtExit) {
        // The application is gone or leaving: the file stays on the server for next time.
        DropPartialCopy(localPath);
        return Outcome::EndRun;
    }
    // The sink closed during the removal: the local copy may now be the only one, so it is
    // left in the temporary directory rather than deleted.
    return delivered ? Outcome::Continue : Outcome::EndRun;
}

SftpThread::Outcome SftpThread::RemoveEmptyFile(sftp_session sftp, const std::string& pickupPath,
                                                RestWatch::File& file) {
    file.handle.reset();
    if (RemoveTakenFile(sftp, pickupPath + file.name, 0, file.mtime,
                        [&] { return SessionLost(sftp); }) == Removal::Kept) {
        kept.insert({file.name, 0});
    }
    return Outcome::Continue;
}

SftpThread* CreateSftpThread(wxEvtHandler* handler, const std::string& accountId,
                             const std::string& password, const SftpEndpoint& endpoint) {
    return new SftpThread(handler, EncodeAccountName(AccountIdBytes(accountId)), password,
                          endpoint);
}
