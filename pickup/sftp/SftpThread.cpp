#include "pickup/sftp/SftpThread.h"

#include <fcntl.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <numeric>
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
#include "pickup/outbox/Outbox.h"
#include "pickup/sftp/AccountName.h"
#include "pickup/sftp/LibSshSession.h"
#include "pickup/sftp/LibSshSftp.h"
#include "pickup/sftp/ListingGate.h"
#include "pickup/sftp/LoginText.h"
#include "pickup/sftp/PartialCopies.h"
#include "pickup/sftp/Removal.h"
#include "pickup/sftp/RemoteCopy.h"
#include "pickup/sftp/RestWatch.h"
#include "pickup/sftp/ServerIdentity.h"
#include "pickup/sftp/SessionLog.h"
#include "pickup/sftp/SftpHandles.h"

namespace {

constexpr long kSessionTimeoutSeconds = 30;
// Once a stop is asked for, a network wait that gets no answer for this long is cut short.
constexpr std::chrono::milliseconds kStopGrace{2000};
constexpr unsigned long kPollPauseMs = 100;
// What one listing takes at most: regular files, and entries read in all.
constexpr std::size_t kMaxListedFiles = 1000;
constexpr std::size_t kMaxListedEntries = 4 * kMaxListedFiles;
// No file system keeps a longer name; the kept copy's name is made from it.
constexpr std::size_t kMaxNameBytes = 1024;
constexpr std::size_t kMaxReported = 1000;

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
        QueueThreadEvent(handler, wxEVT_SFTP_ERROR, std::string("PRINTER connection failed"));
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

    std::string ended = "finishing an earlier run's work";
    if (FinishEarlierWork(sftp->sftp) == Outcome::Continue) {
        ended = PollLoop(sftp->sftp);
    }
    const bool asked = StopRequested();
    if (!asked) {
        LogSessionEnded(session->session, sftp->sftp,
                        watchdog.Expired() ? "waiting on a server that stopped answering" : ended);
    }

    sftp.reset();
    watchdog.Release();
    session.reset();
    // Every end the user did not ask for is told: a stop nobody sees would leave the user
    // waiting for documents that never come. The password stays in the window, so one
    // Connect resumes; the worker itself never reconnects.
    if (!asked) {
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
    if (!endpoint.sshDir.empty()) {
        ssh_options_set(session, SSH_OPTIONS_SSH_DIR, endpoint.sshDir.c_str());
    }
    if (!endpoint.knownHostsFile.empty()) {
        ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, endpoint.knownHostsFile.c_str());
    }
    // The program talks to one server of its own: the user's SSH configuration must not
    // move it elsewhere or weaken the identity check.
    const int off = 0;
    ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &off);

    if (ssh_connect(session) != SSH_OK) {
        LogConnectFailure(session);
        return "PRINTER connection failed";
    }

    // The password goes only to a server we know, or meet for the first time.
    if (!VerifyServerIdentity(session,
                              endpoint.knownHostsFile.empty() && endpoint.sshDir.empty())) {
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

std::string SftpThread::PollLoop(sftp_session sftp) {
    // Lives inside the loop's frame, so its open files are closed before the session goes.
    RestWatch watch;
    std::string watchedPath;
    ListingGate gate({".teskprinting/", userName + "/.teskprinting/"});
    while (!StopRequested()) {
        // An idle poll costs the server one request unless something may have arrived.
        // Only the server's SFTP answers count as signs of life, never other data on the
        // channel: each step below marks its answer.
        const bool mustList =
            gate.MustList([sftp](const std::string& path) { return StatRemoteFolder(sftp, path); });
        watchdog.Progress();
        if (!mustList) {
            Rest(kPollPauseMs);
            continue;
        }
        std::string pickupPath = ".teskprinting/";
        sftp_dir dir = sftp_opendir(sftp, pickupPath.c_str());
        if (dir == nullptr) {
            pickupPath = userName + "/.teskprinting/";
            dir = sftp_opendir(sftp, pickupPath.c_str());
        }
        watchdog.Progress();
        if (dir == nullptr) {
            // A session whose server end has gone never recovers: end the run, so the window
            // stops showing a connection that is not there.
            if (SessionLost(sftp)) {
                return "opening the pickup folder";
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
        const std::vector<Listed> listing = ReadListing(sftp, dir, pickupPath, complete);
        if (StopRequested()) {
            return std::string();
        }
        std::vector<std::string> names;
        for (const auto& entry : listing) {
            names.push_back(entry.name);
        }
        gate.Listed(pickupPath, names);
        if (!complete) {
            HandleListing(sftp, watch, listing, pickupPath);
            return "listing " + OneLine(pickupPath);
        }
        if (HandleListing(sftp, watch, listing, pickupPath) == Outcome::EndRun) {
            return "taking a document";
        }
        Rest(kPollPauseMs);
    }
    return std::string();
}

std::vector<SftpThread::Listed> SftpThread::ReadListing(sftp_session sftp, sftp_dir dir,
                                                        const std::string& pickupPath,
                                                        bool& complete) {
    RemoteDir listing(dir);
    std::vector<Listed> entries;
    std::size_t read = 0;
    bool cut = false;
    for (;;) {
        // A listing that never ends is cut short; the rest comes once earlier files are gone.
        if (entries.size() >= kMaxListedFiles || read >= kMaxListedEntries || StopRequested()) {
            cut = true;
            break;
        }
        const Attributes entry(sftp_readdir(sftp, listing.get()));
        if (entry == nullptr) {
            break;
        }
        ++read;
        watchdog.Progress();
        const std::string name = entry->name != nullptr ? entry->name : "";
        if (name.empty() || name == "." || name == "..") {
            continue;
        }
        if (name.size() > kMaxNameBytes) {
            Report(name, "name longer than " + std::to_string(kMaxNameBytes) + " bytes");
            continue;
        }
        // Without permissions the listing does not tell a file from a FIFO, which would
        // block the session for good: the entry's own attributes are asked for.
        Attributes looked;
        sftp_attributes attributes = entry.get();
        if ((attributes->flags & SSH_FILEXFER_ATTR_PERMISSIONS) == 0) {
            looked.reset(sftp_lstat(sftp, (pickupPath + name).c_str()));
            watchdog.Progress();
            if (looked == nullptr || (looked->flags & SSH_FILEXFER_ATTR_PERMISSIONS) == 0) {
                Report(name, "the server gives no file type");
                continue;
            }
            attributes = looked.get();
        }
        // Only regular files: a FIFO would block the session for good, and a directory
        // cannot be read.
        if (attributes->type != SSH_FILEXFER_TYPE_REGULAR) {
            continue;
        }
        // A size the server does not give is unknown, not 0: such a file is neither taken
        // nor removed.
        if ((attributes->flags & SSH_FILEXFER_ATTR_SIZE) == 0) {
            Report(name, "the server gives no size");
            continue;
        }
        const bool timed = (attributes->flags & SSH_FILEXFER_ATTR_ACMODTIME) != 0;
        entries.push_back(Listed{name, attributes->size, timed ? attributes->mtime : 0});
    }
    const bool atEnd = cut || sftp_dir_eof(listing.get()) != 0;
    const bool closed = sftp_closedir(listing.release()) == SSH_NO_ERROR;
    complete = atEnd && closed;
    return entries;
}

bool SftpThread::IsKept(const Listed& entry) const {
    const auto found = kept.find(entry.name);
    // A time that either side lacks is not compared.
    return found != kept.end() && found->second.size == entry.size &&
           (found->second.mtime == 0 || entry.mtime == 0 || found->second.mtime == entry.mtime);
}

void SftpThread::Report(const std::string& name, const std::string& why) {
    // Once per name and cause in a run, not on every poll; the memory of it is bounded.
    std::string key = why + "\n" + name.substr(0, 200) + "\n" + std::to_string(name.size());
    if (reported.count(key) != 0) {
        return;
    }
    if (reported.size() >= kMaxReported) {
        reported.clear();
    }
    reported.insert(key);
    LogLine("pickup: skipped \"" + OneLine(name, 200) + "\" in the pickup folder: " + why);
}

SftpThread::Outcome SftpThread::HandleListing(sftp_session sftp, RestWatch& watch,
                                              const std::vector<Listed>& serverOrder,
                                              const std::string& pickupPath) {
    // In the order the documents arrived: the oldest modification time first, then the name.
    std::vector<Listed> listing = serverOrder;
    std::stable_sort(listing.begin(), listing.end(), [](const Listed& a, const Listed& b) {
        return a.mtime != b.mtime ? a.mtime < b.mtime : a.name < b.name;
    });
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
            return entry.name == keptFile->first && IsKept(entry);
        });
        if (listed) {
            ++keptFile;
        } else {
            outbox::ForgetKept(keptFile->second.copy);
            keptFile = kept.erase(keptFile);
        }
    }

    // New arrivals join the watch, up to its limit; each is read at once and again in the
    // same rounds as the others.
    std::size_t admitFrom = 0;
    const auto admit = [&] {
        for (; admitFrom < listing.size() && !watch.Full(); ++admitFrom) {
            const Listed& entry = listing[admitFrom];
            if (watch.Find(entry.name) != nullptr || IsKept(entry)) {
                continue;
            }
            const std::string remotePath = pickupPath + entry.name;
            RemoteFile remote(sftp_open(sftp, remotePath.c_str(), O_RDONLY, 0));
            watchdog.Progress();
            if (remote == nullptr) {
                continue;
            }
            QueueThreadEvent(handler, wxEVT_SFTP_STATUS, std::string("Waiting for file"));
            watch.Add(entry.name, std::move(remote));
        }
    };
    admit();
    watch.ReadDue();
    watchdog.Progress();

    // Files at rest are taken in order of arrival; a file in hand is finished before a stop.
    // A file just seen may be the rest of a batch that the previous listing saw in part:
    // what arrived after it waits a moment for it.
    // Copies secured in a row share one flush of the outbox folder before they leave the
    // server: the first alone, then groups twice as large each time, up to a bound, so that
    // a backlog flushes rarely while a single document waits for nothing.
    std::vector<Taken> taken;
    std::size_t groupSize = 1;
    const auto release = [&] {
        const Outcome outcome = ReleaseTaken(sftp, pickupPath, taken);
        taken.clear();
        groupSize = std::min(2 * groupSize, kMaxGroupFiles);
        return outcome;
    };
    bool newcomerBefore = false;
    for (const auto& entry : listing) {
        RestWatch::File* file = watch.Find(entry.name);
        if (file != nullptr && !file->atRest && file->readings < 2) {
            newcomerBefore = true;
        }
        if (file == nullptr || !file->atRest || !backoff.Ready(entry.name)) {
            continue;
        }
        if (newcomerBefore && RestWatch::WaitsForOrder(*file)) {
            break;
        }
        if (StopRequested()) {
            release();
            return Outcome::EndRun;
        }
        // Listed with another size than the rested one: replaced or grown since; read anew.
        if (entry.size != file->size) {
            watch.Drop(entry.name);
            continue;
        }
        // A large file is not copied while smaller ones before it wait for their removal.
        const std::uint64_t takenBytes =
            std::accumulate(taken.begin(), taken.end(), std::uint64_t{0},
                            [](std::uint64_t sum, const Taken& copy) { return sum + copy.size; });
        if (!taken.empty() && takenBytes + file->size > kMaxGroupBytes &&
            release() == Outcome::EndRun) {
            return Outcome::EndRun;
        }
        const Outcome outcome = file->size == 0 ? RemoveEmptyFile(sftp, pickupPath, *file)
                                                : CopyToOutbox(sftp, *file, taken);
        watch.Drop(entry.name);
        if (outcome == Outcome::EndRun) {
            // The session is gone: what waits for its removal stays on the server.
            DropTaken(taken, 0);
            return Outcome::EndRun;
        }
        if (taken.size() >= groupSize && release() == Outcome::EndRun) {
            return Outcome::EndRun;
        }
        // A place is free: a file of a large backlog starts its rest wait now, while the
        // others are copied, not at the next poll.
        admit();
    }
    return release();
}

void SftpThread::DropTaken(const std::vector<Taken>& taken, std::size_t from) {
    for (std::size_t i = from; i < taken.size(); ++i) {
        DropPartialCopy(taken[i].copy);
    }
}

SftpThread::Outcome SftpThread::ReleaseTaken(sftp_session sftp, const std::string& pickupPath,
                                             const std::vector<Taken>& taken) {
    if (taken.empty()) {
        return Outcome::Continue;
    }
    bool secured = false;
    {
        // Local work: a slow disk is no silent server.
        const LinkWatchdog::Pause pause(watchdog);
        secured = outbox::SecureFolder();
    }
    if (!secured) {
        for (const Taken& copy : taken) {
            DropPartialCopy(copy.copy);
            backoff.Failed(copy.name);
        }
        return Outcome::Continue;
    }
    for (std::size_t i = 0; i < taken.size(); ++i) {
        if (Release(sftp, pickupPath + taken[i].name, taken[i]) == Outcome::EndRun) {
            DropTaken(taken, i + 1);
            return Outcome::EndRun;
        }
        // Each removal is a step answered: a group's removals on a slow link add up, and
        // only a wait without any answer may count against the link's bound.
        watchdog.Progress();
    }
    return Outcome::Continue;
}

SftpThread::Outcome SftpThread::CopyToOutbox(sftp_session sftp, RestWatch::File& file,
                                             std::vector<Taken>& taken) {
    wxFile local;
    const wxString localPath = CreatePartialCopy(local);
    if (localPath.empty()) {
        backoff.Failed(file.name);
        return Outcome::Continue;
    }
    QueueThreadEvent(handler, wxEVT_SFTP_STATUS, std::string("Downloading"));

    // Only a complete copy, safely on disk with its record, leaves the server; anything less
    // is dropped here and the file is taken again on a later poll.
    RemoteCopy copy(file.handle.get(), file.size);
    copy.OnAnswer([this] { watchdog.Progress(); });
    copy.StopWhen([this] { return StopRequested(); });
    bool complete = copy.To(local);
    const std::uint64_t copied = copy.Copied();
    {
        // Local work: a slow disk is no silent server.
        const LinkWatchdog::Pause pause(watchdog);
        complete = local.Flush() && complete;
        complete = local.Close() && complete;
    }
    file.handle.reset();
    // Exactly the rested size, or the file changed under the copy (or the server's handle
    // could not see all of it): dropped, and the file is watched again from the start.
    if (complete && copied != file.size) {
        DropPartialCopy(localPath);
        return Outcome::Continue;
    }
    if (!complete) {
        DropPartialCopy(localPath);
        // A stop leaves the file on the server for the next run.
        if (StopRequested()) {
            return Outcome::EndRun;
        }
        // A copy broken by the server's end ends the run, as a broken listing does; any
        // other failure leaves the file for a later poll.
        if (SessionLost(sftp)) {
            return Outcome::EndRun;
        }
        backoff.Failed(file.name);
        return Outcome::Continue;
    }
    bool secured = false;
    {
        const LinkWatchdog::Pause pause(watchdog);
        secured = outbox::Secure(
            localPath, OutboxRecord{file.name, file.size, file.mtime, OutboxStage::Copied, false});
    }
    if (!secured) {
        DropPartialCopy(localPath);
        backoff.Failed(file.name);
        return Outcome::Continue;
    }
    taken.push_back(Taken{localPath, file.name, file.size, file.mtime});
    return Outcome::Continue;
}

SftpThread::Outcome SftpThread::Release(sftp_session sftp, const std::string& remotePath,
                                        const Taken& copy) {
    const wxString& localPath = copy.copy;
    const std::string& name = copy.name;
    bool delivered = false;
    bool removedAtExit = false;
    bool notOurs = false;
    const bool sinkOpen = WithOpenSink(handler, [&] {
        if (!CompletePartialCopy(localPath)) {
            // The exit has begun and removed the copy: the document stays on the server.
            removedAtExit = true;
            return;
        }
        switch (RemoveTakenFile(sftp, remotePath, copy.size, copy.mtime,
                                [&] { return SessionLost(sftp); })) {
            case Removal::Removed:
                outbox::SetStage(localPath, OutboxStage::Removed);
                break;
            case Removal::SessionLost:
                // Not known to be gone: the record stays "copied", for the next run to ask.
                break;
            case Removal::Kept:
                // Left on the server (no permission to delete): printed once, not on every
                // poll nor in the next run.
                outbox::SetStage(localPath, OutboxStage::Removed, true);
                kept[name] = Kept{copy.size, copy.mtime, localPath};
                break;
            case Removal::Gone:
            case Removal::Changed:
                notOurs = true;
                outbox::Remove(localPath);
                return;
        }
        delivered = HandOver(localPath, name, false);
    });
    if (notOurs) {
        return Outcome::Continue;
    }
    if (!sinkOpen || removedAtExit) {
        // The application is gone or leaving: the file stays on the server for next time.
        DropPartialCopy(localPath);
        return Outcome::EndRun;
    }
    // The sink closed during the removal: the local copy may now be the only one, so it
    // stays in the outbox with its record, for the next run.
    return delivered ? Outcome::Continue : Outcome::EndRun;
}

bool SftpThread::HandOver(const wxString& copy, const std::string& name, bool earlier) {
    // The document's own name travels with it, so that a copy kept after a failed print can
    // carry that name.
    auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
    event->SetPayload(copy);
    event->SetString(FromNarrow(name));
    event->SetInt(earlier ? 1 : 0);
    return QueueToSink(handler, event);
}

SftpThread::Outcome SftpThread::FinishEarlierWork(sftp_session sftp) {
    std::vector<outbox::Earlier> earlier = outbox::ClaimEarlier();
    for (std::size_t i = 0; i < earlier.size(); ++i) {
        const outbox::Earlier& document = earlier[i];
        const OutboxRecord& record = document.record;
        if (record.stage == OutboxStage::Done) {
            kept[record.name] = Kept{record.size, record.mtime, document.copy};
            continue;
        }
        if (record.stage == OutboxStage::Copied && record.name.find('/') == std::string::npos) {
            // The removal was never confirmed: the server may still hold the same file, which
            // the normal path then takes.
            bool same = false;
            for (const std::string& folder :
                 {std::string(".teskprinting/"), userName + "/.teskprinting/"}) {
                const Attributes current(sftp_stat(sftp, (folder + record.name).c_str()));
                const bool timed = record.mtime != 0 && current != nullptr &&
                                   (current->flags & SSH_FILEXFER_ATTR_ACMODTIME) != 0;
                same = same || (current != nullptr && current->size == record.size &&
                                (!timed || current->mtime == record.mtime));
            }
            if (SessionLost(sftp)) {
                // Not asked: the rest waits for the next Connect.
                for (std::size_t j = i; j < earlier.size(); ++j) {
                    outbox::Unclaim(earlier[j].copy);
                }
                return Outcome::EndRun;
            }
            if (same) {
                outbox::Remove(document.copy);
                continue;
            }
            outbox::SetStage(document.copy, OutboxStage::Removed);
        }
        if (!WithOpenSink(handler, [&] { HandOver(document.copy, record.name, true); })) {
            return Outcome::EndRun;
        }
    }
    return Outcome::Continue;
}

SftpThread::Outcome SftpThread::RemoveEmptyFile(sftp_session sftp, const std::string& pickupPath,
                                                RestWatch::File& file) {
    file.handle.reset();
    if (RemoveTakenFile(sftp, pickupPath + file.name, 0, file.mtime,
                        [&] { return SessionLost(sftp); }) == Removal::Kept) {
        kept[file.name] = Kept{0, file.mtime, wxString()};
    }
    return Outcome::Continue;
}

SftpThread* CreateSftpThread(wxEvtHandler* handler, const std::string& accountId,
                             const std::string& password, const SftpEndpoint& endpoint) {
    return new SftpThread(handler, EncodeAccountName(AccountIdBytes(accountId)), password,
                          endpoint);
}
