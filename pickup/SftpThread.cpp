#include "pickup/SftpThread.h"

#include <fcntl.h>

#include <memory>
#include <mutex>

#include <libssh/libssh.h>
#include <wx/file.h>
#include <wx/filefn.h>
#include <wx/filename.h>
#include <wx/log.h>
#include <wx/stdpaths.h>

#include "app/EventSink.h"
#include "app/NarrowText.h"
#include "app/WorkerEvents.h"
#include "pickup/AccountName.h"
#include "pickup/LibSshSession.h"
#include "pickup/LibSshSftp.h"

namespace {

constexpr long kSessionTimeoutSeconds = 30;
constexpr unsigned long kPollPauseMs = 100;
constexpr unsigned long kRestCheckMs = 500;
constexpr size_t kCopyChunk = 16384;

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

struct AttributesFree {
    void operator()(sftp_attributes attributes) const { sftp_attributes_free(attributes); }
};
using Attributes = std::unique_ptr<sftp_attributes_struct, AttributesFree>;

struct FileClose {
    void operator()(sftp_file file) const { sftp_close(file); }
};
using RemoteFile = std::unique_ptr<sftp_file_struct, FileClose>;

struct DirClose {
    void operator()(sftp_dir dir) const { sftp_closedir(dir); }
};
using RemoteDir = std::unique_ptr<sftp_dir_struct, DirClose>;

// Copies the whole remote file; false on any read or write failure.
bool CopyAll(sftp_file from, wxFile& to, std::uint64_t& copied) {
    char buffer[kCopyChunk];
    for (;;) {
        const ssize_t got = sftp_read(from, buffer, sizeof buffer);
        if (got == 0) {
            return true;
        }
        // A killed server process can end a read with a negative result while the
        // library reports end of file: any negative result is a failed copy.
        if (got < 0) {
            return false;
        }
        if (to.Write(buffer, static_cast<size_t>(got)) != static_cast<size_t>(got)) {
            return false;
        }
        copied += static_cast<std::uint64_t>(got);
    }
}

}  // namespace

SftpThread::SftpThread(wxEvtHandler* handler, const std::string& userName,
                       const std::string& password, const SftpEndpoint& endpoint)
    : wxThread(wxTHREAD_DETACHED),
      handler(handler),
      userName(userName),
      password(password),
      endpoint(endpoint) {
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
    }
    return wxTHREAD_NO_ERROR;
}

bool SftpThread::StopRequested() {
    return stopRequested || TestDestroy();
}

wxThread::ExitCode SftpThread::Entry() {
    // The program reports nothing but its events; no toolkit log messages from here.
    wxLogNull noLog;

    auto session = std::make_shared<LibSshSession>();
    if (session->session == nullptr) {
        return nullptr;
    }
    const std::string failure = OpenSession(session->session);
    if (!failure.empty()) {
        QueueThreadEvent(handler, wxEVT_SFTP_ERROR, failure);
        return nullptr;
    }

    auto sftp = std::make_shared<LibSshSftp>(session);
    if (sftp->sftp == nullptr || sftp_init(sftp->sftp) != SSH_OK) {
        QueueThreadEvent(handler, wxEVT_SFTP_ERROR, std::string("SFTP initialisation failed"));
        sftp.reset();
        session.reset();
        return nullptr;
    }
    QueueThreadEvent(handler, wxEVT_SFTP_CONNECTED, std::string("SFTP connected"));

    PollLoop(sftp->sftp);

    sftp.reset();
    session.reset();
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
        return "PRINTER connection failed";
    }

    // The password goes only to a server we know, or meet for the first time.
    switch (ssh_session_is_known_server(session)) {
        case SSH_KNOWN_HOSTS_OK:
            break;
        case SSH_KNOWN_HOSTS_UNKNOWN:
        case SSH_KNOWN_HOSTS_NOT_FOUND:
            // Trusted on first contact; failing to remember it does not change that.
            ssh_session_update_known_hosts(session);
            break;
        default:
            return "Server identity could not be verified";
    }

    if (ssh_userauth_password(session, userName.c_str(), password.c_str()) != SSH_AUTH_SUCCESS) {
        return "User name or password incorrect";
    }
    return std::string();
}

void SftpThread::PollLoop(sftp_session sftp) {
    while (!StopRequested()) {
        std::string pickupPath = ".teskprinting/";
        sftp_dir dir = sftp_opendir(sftp, pickupPath.c_str());
        if (dir == nullptr) {
            pickupPath = userName + "/.teskprinting/";
            dir = sftp_opendir(sftp, pickupPath.c_str());
        }
        if (dir == nullptr) {
            Sleep(kPollPauseMs);
            continue;
        }
        if (HandleListing(sftp, dir, pickupPath) == Outcome::EndRun) {
            return;
        }
        Sleep(kPollPauseMs);
    }
}

SftpThread::Outcome SftpThread::HandleListing(sftp_session sftp, sftp_dir dir,
                                              const std::string& pickupPath) {
    RemoteDir listing(dir);
    for (;;) {
        // A stop during a burst of files ends after the current file.
        if (StopRequested()) {
            return Outcome::EndRun;
        }
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
        if (kept.count({name, entry->size}) != 0) {
            continue;
        }
        if (TakeFile(sftp, pickupPath, name) == Outcome::EndRun) {
            return Outcome::EndRun;
        }
    }
    const bool complete = sftp_dir_eof(listing.get()) != 0;
    const bool closed = sftp_closedir(listing.release()) == SSH_NO_ERROR;
    return complete && closed ? Outcome::Continue : Outcome::EndRun;
}

SftpThread::Outcome SftpThread::TakeFile(sftp_session sftp, const std::string& pickupPath,
                                         const std::string& name) {
    const std::string remotePath = pickupPath + name;
    RemoteFile remote(sftp_open(sftp, remotePath.c_str(), O_RDONLY, 0));
    if (remote == nullptr) {
        return Outcome::Continue;
    }
    QueueThreadEvent(handler, wxEVT_SFTP_STATUS, std::string("Waiting for file"));
    if (!WaitUntilAtRest(remote.get())) {
        return Outcome::Continue;
    }

    wxFile local;
    const wxString localPath =
        wxFileName::CreateTempFileName(wxStandardPaths::Get().GetTempDir() + "/", &local);
    if (localPath.empty() || !local.IsOpened()) {
        if (!localPath.empty()) {
            wxRemoveFile(localPath);
        }
        return Outcome::Continue;
    }
    QueueThreadEvent(handler, wxEVT_SFTP_STATUS, std::string("Downloading"));

    // Only a complete copy, safely on disk, leaves the server; anything less is dropped
    // here and the file is taken again on a later poll.
    std::uint64_t copied = 0;
    bool complete = CopyAll(remote.get(), local, copied);
    complete = local.Flush() && complete;
    complete = local.Close() && complete;
    remote.reset();
    if (!complete) {
        wxRemoveFile(localPath);
        return Outcome::Continue;
    }

    bool delivered = false;
    const bool sinkOpen = WithOpenSink(handler, [&] {
        if (sftp_unlink(sftp, remotePath.c_str()) != SSH_NO_ERROR) {
            // Left on the server (no permission to delete): printed once, not on every poll.
            kept.insert({name, copied});
        }
        // The document's own name travels with it, so that a copy kept after a failed
        // print can carry that name.
        auto* event = new wxThreadEvent(wxEVT_PRINT_FILE, wxID_ANY);
        event->SetPayload(localPath);
        event->SetString(FromNarrow(name));
        delivered = QueueToSink(handler, event);
    });
    if (!sinkOpen) {
        // The application is gone or leaving: the file stays on the server for next time.
        wxRemoveFile(localPath);
        return Outcome::EndRun;
    }
    // The sink closed during the removal: the local copy may now be the only one, so it is
    // left in the temporary directory rather than deleted.
    return delivered ? Outcome::Continue : Outcome::EndRun;
}

bool SftpThread::WaitUntilAtRest(sftp_file file) {
    // Taken once two size readings half a second apart agree.
    std::uint64_t previous = 0;
    std::uint64_t current = UINT64_MAX;
    do {
        // Nothing has been taken yet, so a stop may end the wait: an upload that keeps
        // growing must not hold up a disconnect.
        if (StopRequested()) {
            return false;
        }
        previous = current;
        Sleep(kRestCheckMs);
        const Attributes attributes(sftp_fstat(file));
        if (attributes == nullptr) {
            return false;
        }
        current = attributes->size;
    } while (current != previous);
    return true;
}

SftpThread* CreateSftpThread(wxEvtHandler* handler, const std::string& accountId,
                             const std::string& password, const SftpEndpoint& endpoint) {
    return new SftpThread(handler, EncodeAccountName(accountId), password, endpoint);
}
